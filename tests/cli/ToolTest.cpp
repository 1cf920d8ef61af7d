// The tool in-process: the catalogues, help and usage mistakes; arguments from files; the value
// parsers; the JSON form of values; and the
// readable table the demo prints.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/locale/Locale.h"
#include "cli/Call.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "cli/Operations.h"
#include "cli/TextTable.h"
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
      {{"operations", "insertmachrouting"}, kExitUsage, "", "no operation"},
      {{"call"}, kExitUsage, "", "name the operation"},
      {{"call", "--on-error", "sometimes", "DELFilter"}, kExitUsage, "", "not \"sometimes\""},
      {{"call", "DELFilter", "--trace"}, kExitUsage, "", "--trace comes after the operation"},
      {{"call", "--db", "x.db", "DELFilter", "\xff"}, kExitUsage, "", "not valid UTF-8"},
      {{"frobnicate"}, kExitUsage, "", ""},
  };
  for (const Case& c : cases) {
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
  std::string restore = std::setlocale(LC_ALL, nullptr);
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  EXPECT_EQ(ParseDouble("1.5"), 1.5);
  EXPECT_EQ(ParseDouble("-0.125"), -0.125);
  EXPECT_EQ(ParseDouble("+2.5e3"), 2500.0);
  EXPECT_EQ(ParseDouble("42"), 42.0);
  for (const char* bad : {"", "1,5", "1.5 ", " 1.5", "1.2.3", "++1", "abc", "0x1p3"})
    EXPECT_EQ(ParseDouble(bad), std::nullopt) << bad;
  std::setlocale(LC_ALL, restore.c_str());
  unsetenv("LC_ALL");
}

TEST(JsonValues, EveryKindOfValueHasItsFormUnderACommaLocale) {
  std::string restore = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
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
  std::setlocale(LC_ALL, restore.c_str());
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

}  // namespace
}  // namespace QuillData::cli
