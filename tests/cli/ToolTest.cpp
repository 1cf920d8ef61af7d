// The tool in-process: `quilldata call` (settings to connection values, the JSON document, exit
// codes, the companions' answers) against a backend that records what it received; dispatch
// of every operation to its own member; the value parsers; the JSON form of values; and the
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

#include "FakeBackend.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/locale/Locale.h"
#include "cli/Call.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "cli/Operations.h"
#include "cli/TextTable.h"
#include "contract/Trap.h"
#include "support/TestSupport.h"

namespace QuillData::cli {
namespace {

using testing::FakeBackend;

class CallCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(scratch_ / "call.db").put('\0');
    settings_.db = (scratch_ / "call.db").string();
  }
  void TearDown() override {
    gE.reset();
    gSP.reset();
  }

  int Run(const std::string& op, std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    requested_.clear();
    auto fake = fake_;
    return RunCall(settings_, op, args, out_, err_, [this, fake](std::wstring_view name) {
      requested_ = name;
      return fake;
    });
  }
  Json Output() const { return Json::parse(out_.str()); }

  test::ScratchDir scratch_;
  CallSettings settings_;
  std::shared_ptr<FakeBackend> fake_ = std::make_shared<FakeBackend>();
  std::ostringstream out_, err_;
  std::wstring requested_;
};

TEST_F(CallCommand, ErrorsReportedToTheCompanionFollowTheOnErrorPolicy) {
  settings_.onError = *ParseErrorPolicy("retry:2");
  settings_.trace = true;
  int attempts = 0;
  fake_->during = [&] {
    if (fake_->called.empty()) return;  // OpenDB
    Trap(L"clsFake", L"clsFake_DELMachLink", {.traced = true}).Run([&](Trap& t) {
      t.Step([&] {
        ++attempts;
        throw QuillError(ErrNo::StatementError, L"clsQuillData_", L"database is locked")
            .WithSqliteCode(5);
      });
    });
  };
  // The companion left: nothing reached us, but a script must still see the failure.
  EXPECT_EQ(Run("DELMachLink", {"8"}), kExitFailed);
  EXPECT_EQ(attempts, 3);
  EXPECT_NE(err_.str().find("DELMachLink reported 3 errors, the first: database is locked"),
            std::string::npos)
      << err_.str();
  Json doc = Output();
  ASSERT_EQ(doc["errors"].size(), 3u);
  EXPECT_EQ(doc["errors"][0]["module"], "clsFake");
  EXPECT_EQ(doc["errors"][0]["procedure"], "clsFake_DELMachLink");
  EXPECT_EQ(doc["errors"][0]["source"], "clsQuillData_");
  EXPECT_EQ(doc["errors"][0]["action"], "retry");
  EXPECT_EQ(doc["errors"][2]["action"], "leave");
  EXPECT_EQ(doc["errors"][2]["sqliteCode"], 5);
  // Entered, never exited: leaving skips the exit trace.
  EXPECT_EQ(doc["trace"], Json::parse(R"([{"event": "enter", "module": "clsFake",
                                           "procedure": "clsFake_DELMachLink"}])"));
}

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
  std::ofstream(text) << "line one\nline two\r\n";
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

// A distinct, valid command-line value for argument `a` of every operation.
std::string ValueFor(ArgType type, size_t a) {
  switch (type) {
    case ArgType::Int32:
      return std::to_string(-100 - static_cast<int>(a));
    case ArgType::Double:
      return std::to_string(a) + ".25";
    case ArgType::Bool:
      return a % 2 ? "true" : "0";
    case ArgType::String:
      return "s" + std::to_string(a) + " O'Brien \xC3\xA4\xE6\x97\xA5";
  }
  return "";
}

Variant Expected(ArgType type, size_t a) {
  switch (type) {
    case ArgType::Int32:
      return int32_t(-100 - static_cast<int>(a));
    case ArgType::Double:
      return a + 0.25;
    case ArgType::Bool:
      return a % 2 == 1;
    case ArgType::String:
      return FromUtf8(ValueFor(type, a));
  }
  return {};
}

TEST(OperationDispatch, EveryOperationReachesItsOwnMemberWithItsArgumentsInOrder) {
  for (const OperationEntry& op : Operations()) {
    SCOPED_TRACE(op.NameUtf8());
    std::vector<std::string> values;
    std::vector<Variant> expected;
    for (size_t a = 0; a < op.Args().size(); ++a) {
      values.push_back(ValueFor(op.Args()[a].type, a));
      expected.push_back(Expected(op.Args()[a].type, a));
    }
    testing::FakeBackend fake;
    CallResult r = op.Bind(values)(fake);
    EXPECT_EQ(fake.called, op.NameUtf8());
    EXPECT_EQ(fake.received, expected);
    switch (op.Result()) {
      case ResultType::None:
        EXPECT_TRUE(r.result.IsEmpty());
        break;
      case ResultType::Int32:
        EXPECT_EQ(r.result, Variant(testing::FakeBackend::kInt));
        break;
      case ResultType::Variant:
        EXPECT_EQ(r.result, Variant(L"variant answer"));
        break;
      case ResultType::Collection:
        ASSERT_NE(r.result.ObjectAs<Tessera::Collection>(), nullptr);
        EXPECT_EQ(r.result.ObjectAs<Tessera::Collection>()->Count(), 1);
        break;
    }
    bool hasByRef = !op.Args().empty() && op.Args().back().byRef;
    EXPECT_EQ(r.recordsAffected.has_value(), hasByRef);
    if (hasByRef) {
      EXPECT_EQ(*r.recordsAffected, testing::FakeBackend::kWrittenCount);
    }
  }
}

TEST(OperationDispatch, OmittedOptionalArgumentsArriveWithTheirDefaults) {
  testing::FakeBackend fake;
  FindOperation("INSERTMachRouting")->Bind({"Pocket", "3"})(fake);
  EXPECT_EQ(fake.received, (std::vector<Variant>{L"Pocket", int32_t(3), int32_t(0), int32_t(-1)}));

  FindOperation("INSERTMFGPartTypes")->Bind({"1", "2", "a", "b", "c", "d", "e"})(fake);
  EXPECT_EQ(fake.received.at(7), Variant(false));
  EXPECT_EQ(fake.received.at(8), Variant(int32_t(-1)));

  // A bound call starts from the parsed values every time, not from what the last call wrote.
  auto bound = FindOperation("GETTblMachining")->Bind({"12"});
  bound(fake);
  EXPECT_EQ(fake.received, std::vector<Variant>{int32_t(12)});
  bound(fake);
  EXPECT_EQ(fake.received, std::vector<Variant>{int32_t(12)});
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

TEST(JsonCollections, ItemsInOrderWithTheirKeysOrCountAlone) {
  Tessera::Collection c;
  for (int id : {3, 1, 2}) {
    auto v = std::make_shared<tblMachVariable>();
    v->MachVarID = id;
    v->Name = L"v" + std::to_wstring(id);
    c.Add(Variant(v), Variant(std::to_wstring(id)));
  }
  c.Add(Variant(std::make_shared<tblMachVariable>()));  // no key
  Json j = CollectionToJson(c);
  EXPECT_EQ(j["count"], 4);
  ASSERT_EQ(j["items"].size(), 4u);
  EXPECT_EQ(j["items"][0]["key"], "3");
  EXPECT_EQ(j["items"][0]["record"]["Name"], "v3");
  EXPECT_EQ(j["items"][2]["key"], "2");
  EXPECT_EQ(j["items"][3]["key"], Json(nullptr));
  EXPECT_EQ(j.begin().key(), "count");

  EXPECT_EQ(CollectionToJson(c, false), Json::parse(R"({"count": 4})"));
  EXPECT_EQ(CollectionToJson(Tessera::Collection()), Json::parse(R"({"count": 0, "items": []})"));
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

TEST(TextTable, PlainRowsAreAlignedPaddedAndCut) {
  std::ostringstream out;
  PrintTable(out, {L"a", L"bb"},
             {{L"1"}, {L"long text that goes on and on past the cell's width", L"x"}});
  auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("a", 0), 0u);
  EXPECT_EQ(lines[2], "1");  // the missing cell is blank
  EXPECT_LT(lines[3].size(), 40u);
  EXPECT_NE(lines[3].find("\u2026"), std::string::npos);
  std::ostringstream none;
  PrintTable(none, {}, {{L"1"}});
  EXPECT_EQ(none.str(), "");
}

}  // namespace
}  // namespace QuillData::cli
