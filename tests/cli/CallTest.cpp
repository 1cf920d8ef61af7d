// `quilldata call` in-process: settings to connection values, the JSON document, exit codes,
// and the companions' answers, against a backend that records what it received.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeBackend.h"
#include "cli/Call.h"
#include "cli/Cli.h"
#include "contract/Trap.h"

namespace QuillData::cli {
namespace {

using testing::FakeBackend;

class CallCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::filesystem::temp_directory_path() /
          ("quilldata-call-" + std::to_string(::getpid()) + ".db");
    std::ofstream(db_).put('\0');
    settings_.db = db_.string();
    fake_ = std::make_shared<FakeBackend>();
  }
  void TearDown() override {
    std::filesystem::remove(db_);
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

  std::filesystem::path db_;
  CallSettings settings_;
  std::shared_ptr<FakeBackend> fake_;
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
  const auto dir = std::filesystem::temp_directory_path();
  const auto text = dir / ("quilldata-arg-" + std::to_string(::getpid()) + ".txt");
  const auto latin1 = dir / ("quilldata-arg-" + std::to_string(::getpid()) + ".bin");
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
  std::filesystem::remove(text);
  std::filesystem::remove(latin1);
}

}  // namespace
}  // namespace QuillData::cli
