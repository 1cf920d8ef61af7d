// `quilldata call` in-process: settings to connection values, the JSON document, exit codes,
// and the companions' answers, against a backend that records what it received.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeBackend.h"
#include "QuillData/contract/Trap.h"
#include "tool/Call.h"

namespace QuillData::tool {
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

TEST_F(CallCommand, OpensSqliteWithFolderFileAndTraceSwitchAndPrintsOneDocument) {
  settings_.sqliteLib = "/opt/sqlite";
  settings_.trace = true;
  ASSERT_EQ(Run("INSERTMachRouting", {"Pocket", "12"}), kExitOk) << err_.str();
  EXPECT_EQ(requested_, L"QuillData.clsQuillData_SqlLite");
  EXPECT_EQ(fake_->connArgs,
            (std::vector<Variant>{L"/opt/sqlite", std::wstring(db_.wstring()), L"1"}));
  EXPECT_EQ(fake_->called, "INSERTMachRouting");
  Json doc = Output();
  std::vector<std::string> keys;
  for (auto it = doc.begin(); it != doc.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"operation", "result", "lngRecordsAffected", "errors",
                                            "trace"}));
  EXPECT_EQ(doc["operation"], "INSERTMachRouting");
  EXPECT_EQ(doc["result"], FakeBackend::kInt);
  EXPECT_EQ(doc["lngRecordsAffected"], FakeBackend::kWrittenCount);
  EXPECT_EQ(doc["errors"], Json::array());
}

TEST_F(CallCommand, TheServerBackendTakesTheConnectionStringAndTraceSwitch) {
  settings_.db.clear();
  settings_.server = "Driver=PostgreSQL Unicode;Server=127.0.0.1";
  ASSERT_EQ(Run("GETTblMachVariable", {}), kExitOk) << err_.str();
  EXPECT_EQ(requested_, L"QuillData.clsQuillData_MSSQL");
  EXPECT_EQ(fake_->connArgs,
            (std::vector<Variant>{L"Driver=PostgreSQL Unicode;Server=127.0.0.1", L"0"}));
}

TEST_F(CallCommand, ACollectionInFullOrAsItsCount) {
  ASSERT_EQ(Run("GETTblMachVariable", {}), kExitOk);
  Json doc = Output();
  EXPECT_EQ(doc["result"]["count"], 1);
  EXPECT_EQ(doc["result"]["items"][0]["key"], "5");
  EXPECT_EQ(doc["result"]["items"][0]["record"]["Name"], "Depth");

  settings_.summary = true;
  ASSERT_EQ(Run("GETTblMachVariable", {}), kExitOk);
  EXPECT_EQ(Output()["result"], Json::parse(R"({"count": 1})"));
  // A scalar result is not affected by --summary.
  ASSERT_EQ(Run("DELMachining", {"1"}), kExitOk);
  EXPECT_EQ(Output()["result"], FakeBackend::kInt);
}

TEST_F(CallCommand, AnErrorThatReachesTheCallerExitsOneWithTheError) {
  // OpenDB runs `during` too; only the operation throws.
  fake_->during = [&] {
    if (!fake_->called.empty())
      throw QuillError(ErrNo::StatementError, L"clsQuillData_", L"no such table")
          .WithSqlState(L"42P01", 7);
  };
  EXPECT_EQ(Run("DELMachining", {"3"}), kExitFailed);
  Json doc = Output();
  EXPECT_EQ(doc["result"], Json(nullptr));
  ASSERT_EQ(doc["errors"].size(), 1u);
  EXPECT_EQ(doc["errors"][0]["number"], ErrNo::StatementError);
  EXPECT_EQ(doc["errors"][0]["description"], "no such table");
  EXPECT_EQ(doc["errors"][0]["procedure"], "DELMachining");
  EXPECT_EQ(doc["errors"][0]["action"], "raised");
  EXPECT_EQ(doc["errors"][0]["sqlState"], "42P01");
  EXPECT_EQ(doc["errors"][0]["nativeError"], 7);
  EXPECT_FALSE(doc["errors"][0].contains("sqliteCode"));
}

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

TEST_F(CallCommand, TheExitAnswerPrintsTheDocumentAndEndsTheProcessWithOne) {
  settings_.onError = *ParseErrorPolicy("exit");
  fake_->during = [&] {
    if (fake_->called.empty()) return;
    Trap(L"clsFake", L"clsFake_DELMachLink").Run([&](Trap& t) {
      t.Step([] { throw QuillError(ErrNo::StatementError, L"clsQuillData_", L"disk I/O error"); });
    });
  };
  EXPECT_EXIT(
      {
        RunCall(settings_, "DELMachLink", {"8"}, std::cerr, std::cerr,
                [this](std::wstring_view) { return fake_; });
        std::exit(7);
      },
      ::testing::ExitedWithCode(kExitFailed), "\"endedProcess\": true");
}

TEST_F(CallCommand, AStoreThatDoesNotOpenExitsOneWithWhatTheCompanionSaw) {
  fake_->openResult = false;
  fake_->during = [] {
    std::wstring module = L"clsQuillData_SqlLite", procedure = L"OpenDB";
    QuillError e(ErrNo::FileNotFound, L"clsSqlLite", L"libsqlite3.so.0 not found");
    ObjectPtr app;
    int32_t flag = 2;
    gE->HandleError(e, app, module, procedure, gSP, flag);
  };
  EXPECT_EQ(Run("GETTblMachining", {}), kExitFailed);
  EXPECT_EQ(fake_->called, "");  // no operation after a failed open
  Json doc = Output();
  EXPECT_EQ(doc["opened"], false);
  ASSERT_EQ(doc["errors"].size(), 1u);
  EXPECT_EQ(doc["errors"][0]["description"], "libsqlite3.so.0 not found");
  EXPECT_NE(err_.str().find("could not open"), std::string::npos);
}

TEST_F(CallCommand, BadUsageExitsTwoBeforeAnythingIsOpened) {
  struct Case {
    std::string op;
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {"GETTblNothing", {}, "unknown operation \"GETTblNothing\""},
      {"--verbose", {}, "unknown option --verbose"},
      {"DELMachining", {}, "missing argument MachID"},
      {"DELMachining", {"x"}, "usage: DELMachining(MachID int32"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.op, c.args), kExitUsage) << c.op;
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
    EXPECT_TRUE(requested_.empty()) << c.op;
    EXPECT_EQ(out_.str(), "");
  }

  settings_.db = (db_.parent_path() / "quilldata-no-such.db").string();
  EXPECT_EQ(Run("GETTblMachining", {}), kExitUsage);
  EXPECT_NE(err_.str().find("no database file"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(settings_.db));  // not created either
  settings_.db = db_.parent_path().string();            // a folder is no database file
  EXPECT_EQ(Run("GETTblMachining", {}), kExitUsage);
  EXPECT_NE(err_.str().find("is a directory"), std::string::npos) << err_.str();
  settings_.db.clear();
  EXPECT_EQ(Run("GETTblMachining", {}), kExitUsage);
  settings_.db = db_.string();
  settings_.server = "DSN=x";
  EXPECT_EQ(Run("GETTblMachining", {}), kExitUsage);
  EXPECT_TRUE(requested_.empty());
}

TEST_F(CallCommand, ABackendThatIsNotBuiltIsAUsageError) {
  std::ostringstream out, err;
  int code = RunCall(settings_, "GETTblMachining", {}, out, err, [](std::wstring_view name) {
    return CreateBackend(std::wstring(name) + L"_NotBuilt");
  });
  EXPECT_EQ(code, kExitUsage);
  EXPECT_NE(err.str().find("not available in this build"), std::string::npos) << err.str();
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

TEST(ErrorPolicyText, OnlyTheFourAnswers) {
  using P = PolicyErrorHandler::Policy;
  EXPECT_EQ(ParseErrorPolicy("leave")->policy, P::Leave);
  EXPECT_EQ(ParseErrorPolicy("continue")->policy, P::Continue);
  EXPECT_EQ(ParseErrorPolicy("exit")->policy, P::EndProcess);
  EXPECT_EQ(ParseErrorPolicy("retry:0")->retries, 0);
  EXPECT_EQ(ParseErrorPolicy("retry:12")->retries, 12);
  for (const char* bad :
       {"", "retry", "retry:", "retry:-1", "retry:+2", "retry:2x", "Leave", "stop"})
    EXPECT_EQ(ParseErrorPolicy(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace QuillData::tool
