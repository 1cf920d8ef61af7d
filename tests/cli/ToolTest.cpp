// The tool in-process: the catalogues, help and usage mistakes; arguments from files; the value
// parsers; the JSON form of values; and the
// readable table the demo prints.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

#include "QuillData/Config.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/locale/Locale.h"
#include "cli/Batch.h"
#include "cli/Call.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "cli/OperationDocs.h"
#include "cli/Operations.h"
#include "cli/TextTable.h"
#include "locale/LocaleFixture.h"
#include "support/TestSupport.h"

namespace QuillData::cli {
namespace {

// What needs no database: the catalogues, help, and usage mistakes, each with its exit code
// and where its text goes.
TEST(CommandLine, CataloguesHelpAndUsageMistakes) {
  struct Case {
    std::vector<const char*> args;
    int code;
    std::string out, err;  // a part of what each stream shows
  } cases[] = {
      {{"help"}, kExitOk, "Subcommands:", ""},
      {{"help", "call"}, kExitOk, "OPERATION [ARG ...]", ""},
      {{"help", "nosuch"}, kExitUsage, "", "no command \"nosuch\""},
      {{"--version"}, kExitOk, "quilldata ", ""},
      {{"records"}, kExitOk, "tblMachining", ""},
      {{"records", "tblMachLink"}, kExitOk, "MirrorX", ""},
      {{"records", "tblNothing"}, kExitUsage, "", "no record type \"tblNothing\""},
      {{"operations"}, kExitOk, "UPDATEVariableMachining", ""},
      {{"operations", "INSERTMachRouting"},
       kExitOk,
       "INSERTMachRouting(Name string, MachID int32[, lngPocket int32 = 0[, lngRecordsAffected "
       "int32 = -1]]) -> int32",
       ""},
      {{"operations", "insertmachrouting"}, kExitUsage, "", "did you mean INSERTMachRouting?"},
      {{"call"}, kExitUsage, "", "name the operation"},
      {{"call", "--on-error", "sometimes", "DELFilter"}, kExitUsage, "", "not \"sometimes\""},
      {{"call", "DELFilter", "--trace"}, kExitUsage, "", "--trace comes after the operation"},
      // Arguments count from the operation, as its signature does.
      {{"call", "--db", "x.db", "DELFilter", "1", "--", "\xff"},
       kExitUsage,
       "",
       "argument 2 of DELFilter (lngPartType2) is not valid UTF-8"},
      {{"call", "--db", "x.db", "INSERTMachining", "a", "b", "1", "x", "1", "1"},
       kExitUsage,
       "",
       "argument 4 (X) must be a number"},
      {{"batch", "--db", "x.db", "\xff"}, kExitUsage, "", "word 4 of the command line"},
      // What is near a name that names nothing.
      {{"frobnicate"}, kExitUsage, "", "no command \"frobnicate\" (`quilldata help`"},
      {{"--versoin"}, kExitUsage, "", "unknown option --versoin (did you mean --version?)"},
      {{"cal"}, kExitUsage, "", "(did you mean call?)"},
      {{"help", "tranfer"}, kExitUsage, "", "(did you mean transfer?)"},
      {{"call", "--dbb", "x.db", "GETTblMachining"}, kExitUsage, "", "(did you mean --db?)"},
      {{"query", "--tabel", "SELECT 1"}, kExitUsage, "", "(did you mean --table?)"},
      {{"call", "--db", "x.db", "INSERTMachning"},
       kExitUsage,
       "",
       "(did you mean INSERTMachining?)"},
      {{"records", "tblMachRoute"}, kExitUsage, "", "(did you mean tblMachRouting?)"},
      {{"transfer", "--jsn", "a", "b"}, kExitUsage, "", "(did you mean --json?)"},
      {{"transfer", "--help"}, kExitOk, "FROM TO", ""},
      {{"operations", "--doc", "DELMachining"}, kExitOk, "its vertical drillings", ""},
  };
  for (const Case& c : cases) {
    // A build without the transfer (Windows) refuses it before reading its options.
    if (!QUILLDATA_WITH_TRANSFER && c.args[0] == std::string("transfer") && c.code != kExitOk)
      continue;
    std::vector<const char*> argv{"quilldata"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const std::string line = c.args[0] + std::string(c.args.size() > 1 ? " " : "") +
                             (c.args.size() > 1 ? c.args[1] : "");
    std::ostringstream out, err;
    EXPECT_EQ(Main(int(argv.size()), argv.data(), out, err), c.code) << line << err.str();
    EXPECT_NE(out.str().find(c.out), std::string::npos) << line << ": " << out.str();
    EXPECT_NE(err.str().find(c.err), std::string::npos) << line << ": " << err.str();
  }
}

TEST(CommandLine, HelpSaysEachThingOnce) {
  std::ostringstream out, err;
  const char* call[] = {"quilldata", "call", "--help"};
  ASSERT_EQ(Main(3, call, out, err), kExitOk);
  const std::string text = out.str();
  EXPECT_EQ(text.find("Exit codes"), text.rfind("Exit codes")) << text;
  const char* transfer[] = {"quilldata", "help", "transfer"};
  out.str("");
  ASSERT_EQ(Main(3, transfer, out, err), kExitOk);
  for (const char* part : {"FROM", "TO", "--json", "--sqlite-lib DIR", "NAME.transfer-PID"})
    EXPECT_NE(out.str().find(part), std::string::npos) << part;
}

// Each operation is documented once, beside its line in Operations.inc, and docs/operations.md
// is made of those comments: it must be what the tool makes of them now.
TEST(OperationsDocumentation, EveryOperationHasItsTextAndTheCommittedFileIsCurrent) {
  for (const OperationEntry& op : Operations()) {
    if (op.Result() == ResultType::Collection && op.RequiredCount() == 0) continue;  // tables
    EXPECT_GT(OperationComment(op).size(), 20u) << op.NameUtf8() << " has no documentation";
  }
  const std::string markdown = OperationsMarkdown();
  for (const char* part : {"## Deletes (slots 4-16)", "| `GETTblMachining` | Machining |",
                           "### INSERTCopyMachiningScenario", "## Updates (slots 60-68)"})
    EXPECT_NE(markdown.find(part), std::string::npos) << part;
#if QUILLDATA_WITH_MSSQL
  EXPECT_NE(
      markdown.find("| `INSERTMachining` | `strMachName` | `@MachName` | at most 20 characters |"),
      std::string::npos);
  EXPECT_NE(OperationDoc(*FindOperation("UPDATEVariableMachining"))
                .find("NewValue (@NewValue): from -99999.99 to 99999.99, rounded to 2 decimals"),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(std::filesystem::path(QUILLDATA_SOURCE_DIR) / "docs/operations.md"),
            markdown)
      << "docs/operations.md is stale: run `quilldata operations --markdown > docs/operations.md`";
#endif
}

TEST(ArgumentsFromFiles, AtFileAndDashAreReadOthersKept) {
  test::ScratchDir scratch;
  const auto dir = scratch.path();
  const auto text = dir / "arg.txt";
  const auto latin1 = dir / "arg.bin";
  std::ofstream(text, std::ios::binary) << "line one\nline two\r\n";
  std::ofstream(latin1) << "Ma\xdf";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::vector<std::string> expanded;  // empty: refused
    std::string why;
  } cases[] = {
      {{"@" + text.string(), "-1", "@", "x"}, "", {"line one\nline two", "-1", "@", "x"}, ""},
      {{"-", "2"}, "from stdin\n\n", {"from stdin\n", "2"}, ""},
      {{"-", "-"}, "a", {}, "only one argument can come from standard input"},
      {{"@" + dir.string() + "/quilldata-no-such"}, "", {}, "no readable file"},
      {{"@" + dir.string()}, "", {}, "is a directory"},
      {{"@" + latin1.string()}, "", {}, "is not valid UTF-8"},
      {{"-"}, "\xff", {}, "standard input is not valid UTF-8"},
  };
  for (Case& c : cases) {
    std::istringstream in(c.input);
    std::string why;
    std::vector<std::string> args = c.args;
    EXPECT_EQ(ExpandArguments(args, in, why), !c.expanded.empty()) << c.args[0];
    if (c.expanded.empty()) {
      EXPECT_NE(why.find(c.why), std::string::npos) << why;
    } else {
      EXPECT_EQ(args, c.expanded);
    }
  }
}

TEST(BatchScripts, WordsSplitAsCallTakesThem) {
  const struct {
    std::string line;
    std::vector<std::string> words;  // empty with `why`: refused
    std::string why;
  } cases[] = {
      {R"(INSERTMachining "Hinge 35" 'D' 1   12.5)",
       {"INSERTMachining", "Hinge 35", "D", "1", "12.5"},
       ""},
      {R"(a\ b "say \"hi\" \\ \n" 'it''s' "")", {"a b", R"(say "hi" \ \n)", "its", ""}, ""},
      {"x # a comment \"", {"x"}, ""},
      {"  # only a comment", {}, ""},
      {R"(x "open)", {}, "(\") is not closed"},
      {"x 'open", {}, "(') is not closed"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> words;
    std::string why;
    EXPECT_EQ(SplitWords(c.line, words, why), c.why.empty()) << c.line;
    EXPECT_EQ(words, c.words) << c.line;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.line << ": " << why;
  }
}

// Every bad line is named by its number before anything runs; good lines and comments are
// not named.
TEST(BatchScripts, BadLinesAreNamedByNumber) {
  std::istringstream script(
      "INSERTMachining x D 1 1 2\n"
      "# DELMachining nothing\n"
      "NOSUCH 1\n"
      "{\"operation\": \"DELMachining\", \"args\": [null]}\n"
      "{\"operation\": \"DELMachining\", \"arguments\": [1]}\n"
      "DELMachining -\n"
      "DELMachining 1\n"
      "{\"operation\": \"DELMachining\", \"args\": [1.5]}\n"
      "\xff\n"
      "{\"operation\": \"UPDATEVariableMachining\", \"args\": [1, \"X\", 0.1]}\n");
  std::vector<BatchLine> lines;
  std::vector<std::string> problems;
  EXPECT_FALSE(ReadScript(script, lines, problems));
  const std::vector<std::string> expected = {
      "line 1: INSERTMachining: missing argument 6 (Z, double)",
      "line 3: unknown operation \"NOSUCH\"",
      "line 4: argument 1 of DELMachining is null",
      "line 5: unknown key \"arguments\"",
      "line 6: argument 1 of DELMachining is -, standard input",
      "line 8: DELMachining: argument 1 (MachID) must be a whole number",
      "line 9: not valid UTF-8 text"};
  ASSERT_EQ(problems.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(problems[i].rfind(expected[i], 0), 0u) << problems[i];
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].number, 7);
  EXPECT_EQ(lines[1].operation, "UPDATEVariableMachining");

  std::istringstream many(std::string(12, '\n') + std::string(13, 'x') + "\n" + [] {
    std::string text;
    for (int i = 0; i < 11; ++i) text += "NOSUCH\n";
    return text;
  }());
  problems.clear();
  EXPECT_FALSE(ReadScript(many, lines, problems));
  EXPECT_EQ(problems.back(), "and 2 more bad lines");
}

TEST(OperationArguments, WholeNumbersAreStrictDecimalWithinInt32) {
  EXPECT_EQ(ParseInt32("0"), 0);
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInt32("+2147483647"), INT32_MAX);
  EXPECT_EQ(ParseInt32("007"), 7);
  for (const char* bad : {"", "-", "+", "2147483648", "-2147483649", "99999999999999999999", " 1",
                          "1 ", "1.0", "1e3", "0x10", "--1", "+-1", "1_000"})
    EXPECT_EQ(ParseInt32(bad), std::nullopt) << bad;
}

TEST(OperationArguments, RealNumbersUseADotUnderEveryLocale) {
  // Even with a comma locale in the environment and as the global C locale.
  testing::SavedLocaleEnvironment saved;
  testing::UseLocale("de_DE.UTF-8");
  std::setlocale(LC_ALL, testing::kGermanCLocale);
  EXPECT_EQ(ParseDouble("1.5"), 1.5);
  EXPECT_EQ(ParseDouble("-0.125"), -0.125);
  EXPECT_EQ(ParseDouble("+2.5e3"), 2500.0);
  EXPECT_EQ(ParseDouble("42"), 42.0);
  for (const char* bad : {"", "1,5", "1.5 ", " 1.5", "1.2.3", "++1", "abc", "0x1p3"})
    EXPECT_EQ(ParseDouble(bad), std::nullopt) << bad;
}

TEST(JsonValues, EveryKindOfValueHasItsFormUnderACommaLocale) {
  testing::SavedLocaleEnvironment saved;
  std::setlocale(LC_ALL, testing::kGermanCLocale);
  const std::string text =
      "O'Brien \"q\" \xC3\xA4\xC3\xB8 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\n";
  const std::pair<Variant, Json> cases[] = {
      {Variant(), nullptr},
      {Variant::Null(), nullptr},
      {true, true},
      {int16_t{-7}, -7},
      {int32_t{2147483647}, 2147483647},
      {1.5, 1.5},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {-std::numeric_limits<double>::infinity(), "-Infinity"},
      {Decimal{-1250, 2}, "-12.50"},
      {Date{45351.5}, "2024-02-29 12:00:00"},
      {std::wstring(L"O'Brien \"q\" \u00e4\u00f8 \u65e5\u672c \U0001F600\n"), text},
      {Variant::Bytes{}, ""},
      {Variant::Bytes{'M'}, "TQ=="},
      {Variant::Bytes{'M', 'a'}, "TWE="},
      {Variant::Bytes{'M', 'a', 0xff, 0}, "TWH/AA=="},
      {Variant::Array{int32_t{1}, L"a", Variant()}, Json::array({1, "a", nullptr})},
      {Variant(std::make_shared<clsQuillData>()), Json{{"object", "clsQuillData"}}},
  };
  for (const auto& [in, expected] : cases) EXPECT_EQ(ToJson(in), expected) << Dump(expected, -1);
  EXPECT_EQ(Dump(ToJson(Variant(1.5)), -1), "1.5");
  EXPECT_EQ(Dump(text, -1),
            "\"O'Brien \\\"q\\\" \xC3\xA4\xC3\xB8 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\\n\"");
}

TEST(JsonCollections, ACollectionHoldingItselfEndsInsteadOfRecursing) {
  auto c = std::make_shared<Tessera::Collection>();
  auto link = std::make_shared<tblMachLink>();
  link->VarList = c;
  c->Add(Variant(link), Variant(L"self"));
  Json j = ToJson(Variant(c));
  EXPECT_EQ(j["items"][0]["record"]["VarList"],
            Json::parse(R"({"object": "Collection", "cycle": true})"));
  link->VarList.reset();  // break the cycle so both are freed
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);) out.push_back(line);
  return out;
}

TEST(TextTable, NarrowRecordsGetOneAlignedRowEach) {
  Tessera::Collection c;
  for (auto [id, name] : {std::pair{1, L"Depth"}, std::pair{12, L"Width of the groove"}}) {
    auto v = std::make_shared<tblMachVariable>();
    v->MachVarID = id;
    v->Name = name;
    c.Add(Variant(v), Variant(std::to_wstring(id)));
  }
  std::ostringstream out;
  PrintCollection(out, "GETTblMachVariable", c);
  auto lines = Lines(out.str());
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "GETTblMachVariable: 2 records");
  EXPECT_EQ(lines[1].rfind("key  MachVarID  Name", 0), 0u) << lines[1];
  // Every column starts at the same place on every line.
  auto column = lines[1].find("Name");
  EXPECT_EQ(lines[3].substr(column, 5), "Depth");
  EXPECT_EQ(lines[4].substr(column, 19), "Width of the groove");
  EXPECT_EQ(lines[2].substr(0, 3), "---");
}

// A table prints real numbers exactly as the JSON does, whatever the locale, and cuts long
// cells only where it is asked to.
TEST(TextTable, NumbersAreExactAndLongCellsAreCutUnlessKeptWhole) {
  {
    testing::SavedLocaleEnvironment saved;
    testing::UseLocale("de_DE.UTF-8");
    EXPECT_EQ(DisplayText(Variant(0.1 + 0.2)), L"0.30000000000000004");
    EXPECT_EQ(DisplayText(Variant(1e300)), L"1e+300");
    EXPECT_EQ(DisplayText(Variant(Decimal{-1250, 2})), L"-12.50");
    EXPECT_EQ(DisplayText(Variant(std::numeric_limits<double>::quiet_NaN())), L"NaN");
  }

  const std::wstring name = L"tblGlobal_Contr_Featr_Patterns";  // 30 characters
  std::ostringstream cut, whole;
  PrintTable(cut, {L"table"}, {{name}});
  PrintTable(whole, {L"table"}, {{name}}, 120, kWholeCells);
  EXPECT_EQ(cut.str().find(ToUtf8(name)), std::string::npos);
  EXPECT_NE(whole.str().find(ToUtf8(name)), std::string::npos);
}

}  // namespace
}  // namespace QuillData::cli
