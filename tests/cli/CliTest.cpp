// The built `quilldata` binary: what it prints and its exit codes.
#include <gtest/gtest.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "QuillData/Config.h"
#include "QuillData/locale/Locale.h"
#include "RunTool.h"
#include "cli/Batch.h"
#include "cli/Json.h"
#if QUILLDATA_WITH_SQLITE
#include "sqlite/SqliteFixture.h"
#endif

namespace QuillData::cli {
namespace {

using Result = runner::ToolResult;
using runner::Quote;
using runner::Tool;

#if QUILLDATA_WITH_SQLITE

class CliOnSqlite : public ::testing::Test {
 protected:
  std::string Db(const char* name) const { return Quote((dir_ / name).string()); }
  test::ScratchDir scratch_;
  const std::filesystem::path dir_ = scratch_.path();
};

TEST_F(CliOnSqlite, InitMakesADatabaseOnlyWhereThereIsNoneAndCallReadsItUnderEveryLocale) {
  Result r = Tool("init " + Db("b.db") + " --sample");
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* env : {"LC_ALL=C.UTF-8", "LC_ALL=de_DE.UTF-8"}) {
    r = Tool("call --db " + Db("b.db") + " GETTblMachining", env);
    ASSERT_EQ(r.code, 0) << env << r.err;
    Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["errors"], Json::array());
    ASSERT_GT(doc["result"]["count"].get<int>(), 0);
    EXPECT_EQ(doc["lngRecordsAffected"], doc["result"]["count"]);
    EXPECT_EQ(doc["result"]["items"].size(), doc["result"]["count"].get<size_t>());
  }
  // A file that holds anything is left as it is.
  auto size = std::filesystem::file_size(dir_ / "b.db");
  r = Tool("init " + Db("b.db"));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
  EXPECT_EQ(std::filesystem::file_size(dir_ / "b.db"), size);
  EXPECT_NE(r.err.find("it holds the schema, version"), std::string::npos) << r.err;
  // An empty file is no database yet: init may fill it.
  std::ofstream(dir_ / "empty.db").close();
  EXPECT_EQ(Tool("init " + Db("empty.db")).code, 0);
  // A file of an older schema (here one made before versions were recorded, whose ids come
  // back) is upgraded, once.
  std::ofstream(dir_ / "old.db").close();
  ASSERT_EQ(Tool("query --db " + Db("old.db") + " " + Quote(testing::VersionOneSchema())).code, 0);
  r = Tool("init " + Db("old.db"));
  ASSERT_EQ(r.code, 0) << r.err;
  const Json upgraded = Json::parse(r.out);
  EXPECT_EQ(upgraded["from"], 1);
  EXPECT_EQ(upgraded["version"], kSqliteSchemaVersion);
  EXPECT_EQ(Tool("init " + Db("old.db")).code, 2);
}

// Each command-line value reaches its own argument as its own type: what lands in the
// database shows a swapped, lost or misconverted argument.
TEST_F(CliOnSqlite, EveryArgumentLandsInItsOwnColumn) {
  ASSERT_EQ(Tool("init " + Db("a.db")).code, 0);
  auto call = [&](const std::string& args) {
    Result r = Tool("call --db " + Db("a.db") + " " + args);
    EXPECT_EQ(r.code, 0) << args << r.err;
    return Json::parse(r.out)["result"];
  };
  const std::string mach = std::to_string(
      call("INSERTMachining " + Quote("O'Brien \xC3\xA4") + " G 7 1.5 -2.25 1e3").get<int>());
  call("INSERTMachLink " + mach + " 3 list expr true 0");
  EXPECT_EQ(call("GETTblMachining")["items"][0]["record"],
            Json::parse(R"({"MachID": )" + mach + R"(, "MachName": "O'Brien \u00e4",
                "MachGroup": "G", "X": 1.5, "Y": -2.25, "Z": 1000.0, "MachLibID": 7})"));
  Json link = call("GETTblMachLink")["items"][0]["record"];
  EXPECT_EQ(std::to_string(link["MachID"].get<int>()), mach);
  EXPECT_EQ(link["MachRuleID"], 3);
  EXPECT_EQ(link["MachListVar"], "list");
  EXPECT_EQ(link["MachExprVar"], "expr");
  EXPECT_EQ(link["MirrorX"], true);
  EXPECT_EQ(link["MirrorY"], false);
}

TEST_F(CliOnSqlite, AnyReportedErrorExitsOneWithTheFirstOnStderr) {
  ASSERT_EQ(Tool("init " + Db("a.db") + " --sample").code, 0);
  std::ofstream(dir_ / "notes.txt") << "not a database, only words in a text file";
  struct Case {
    std::string args;
    std::string stderrText;
  } cases[] = {
      {"--db " + Db("a.db") + " UPDATEVariableMachining 1 X nan", "not a finite number"},
      {"--db " + Db("a.db") + " --on-error continue UPDATEVariableMachining 1 X inf",
       "not a finite number"},
      {"--db " + Db("a.db") + " --on-error exit UPDATEVariableMachining 1 X nan",
       "--on-error exit ended the call"},
      {"--db " + Db("a.db") + " UPDATEParaMachRouting NoSuchColumn 1 1", "NoSuchColumn"},
      {"--db " + Db("notes.txt") + " GETTblMachining", "file is not a database"},
      {"--db " + Db("a.db") + " --sqlite-lib /nonexistent GETTblMachining",
       "could not open " + (dir_ / "a.db").string() + ": Cannot load the SQLite library"},
  };
  for (const Case& c : cases) {
    Result r = Tool("call " + c.args);
    EXPECT_EQ(r.code, 1) << c.args << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(c.stderrText), std::string::npos) << c.args << "\n" << r.err;
    Json doc = Json::parse(r.out);
    ASSERT_FALSE(doc["errors"].empty()) << c.args;
    // The error stderr names is in the document: the first one, or when the store did not
    // open, OpenDB's own report of why.
    Json named = doc["errors"][0];
    for (const Json& e : doc["errors"])
      if (doc.contains("opened") && e["procedure"] == "OpenDB") {
        named = e;
        break;
      }
    EXPECT_NE(r.err.find(named["description"].get<std::string>()), std::string::npos) << c.args;
  }
  // Why a file did not open reaches the error companion with the store's own code.
  Json notADatabase = Json::parse(Tool("call --db " + Db("notes.txt") + " GETTblMachining").out);
  EXPECT_EQ(notADatabase["errors"][0]["procedure"], "OpenDB");
  EXPECT_EQ(notADatabase["errors"][0]["sqliteCode"], 26);  // SQLITE_NOTADB
  Result ok = Tool("call --db " + Db("a.db") + " --summary GETTblMachining");
  EXPECT_EQ(ok.code, 0) << ok.err;
  EXPECT_EQ(ok.err, "");
}

TEST_F(CliOnSqlite, DemoPrintsEveryReader) {
  Result r = Tool("demo");
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* title : {"GETFilterScenariosCol(true): ", "GETFilterScenariosCol(false): ",
                            "GETTblMachining: ", "GETTblMachRouting: ", "GETTblMFGScenario: "})
    EXPECT_NE(r.out.find(title), std::string::npos) << title;
  // Keeping the database where asked, but never over an existing one.
  EXPECT_EQ(Tool("demo " + Db("kept.db")).code, 0);
  EXPECT_GT(std::filesystem::file_size(dir_ / "kept.db"), 0u);
  EXPECT_EQ(Tool("demo " + Db("kept.db")).code, 2);
}

class CliBatch : public CliOnSqlite {
 protected:
  void SetUp() override { ASSERT_EQ(Tool("init " + Db("a.db")).code, 0); }
  int Machinings() {
    Result r = Tool("call --summary --db " + Db("a.db") + " GETTblMachining");
    return Json::parse(r.out)["result"]["count"].get<int>();
  }
  std::string Script(const char* name, const std::string& text) {
    std::ofstream(dir_ / name) << text;
    return Db(name);
  }
  static Json Summary(const std::string& out) {
    return Json::parse(out.substr(out.rfind("{\"summary\"")))["summary"];
  }
  // 10,000 insert lines; line 7,000 is `bad`.
  static std::string TenThousand(const std::string& bad) {
    std::string text;
    for (int i = 1; i <= 10000; ++i) {
      text += i == 7000 ? bad
                        : "INSERTMachining M" + std::to_string(i) + " D 1 " + std::to_string(i) +
                              ".5 0 0";
      text += '\n';
    }
    return text;
  }
};

// Bad input is refused before anything is written, with and without --atomic. A line the
// store refuses: without --atomic the other 9,999 are committed; with it nothing is.
TEST_F(CliBatch, TenThousandLinesWithABadSeventhThousandth) {
  const std::string badInput = Script("input.txt", TenThousand("INSERTMachining M7000 D 1 x 0 0"));
  for (const char* atomic : {"", "--atomic "}) {
    Result r = Tool("batch --db " + Db("a.db") + " " + atomic + badInput);
    EXPECT_EQ(r.code, 2) << atomic;
    EXPECT_NE(r.err.find("line 7000: INSERTMachining: argument 4 (X) must be a number"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(Machinings(), 0);

  const std::string refused =
      Script("refused.txt", TenThousand("INSERTMachining M7000 D 1 nan 0 0"));
  Result r = Tool("batch --atomic --db " + Db("a.db") + " " + refused);
  EXPECT_EQ(r.code, kExitRolledBack) << r.err;
  Json summary = Summary(r.out);
  EXPECT_EQ(summary["run"], 7000);
  EXPECT_EQ(summary["failedLines"], Json::array({7000}));
  EXPECT_EQ(summary["committed"], false);
  EXPECT_EQ(Machinings(), 0);

  r = Tool("batch --db " + Db("a.db") + " " + refused);
  EXPECT_EQ(r.code, 1) << r.err;
  summary = Summary(r.out);
  EXPECT_EQ(summary["succeeded"], 9999);
  EXPECT_EQ(summary["failedLines"], Json::array({7000}));
  EXPECT_EQ(summary["committed"], true);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 10001);
  EXPECT_NE(r.err.find("line 7000: "), std::string::npos) << r.err;
  EXPECT_EQ(Machinings(), 9999);
}

// Both line forms land as call's would, exactly; --on-error exit ends the batch at its first
// error and keeps nothing.
TEST_F(CliBatch, JsonAndWordLinesLandExactlyAndExitRollsBack) {
  Result r = Tool("batch --db " + Db("a.db") + " " +
                  Script("ok.txt",
                         "{\"operation\": \"INSERTMachining\", \"args\": [\"Exact\", \"D\", 1, "
                         "0.1, 1e-300, -0.5]}\n"
                         "INSERTMachining \"O'Brien \\\"35\\\"\" D 2 0.30000000000000004 0 0\n"
                         "GETTblMachining\n"));
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string last = r.out.substr(0, r.out.rfind("\n{\"summary\""));
  Json read = Json::parse(last.substr(last.rfind('\n') + 1));
  EXPECT_EQ(read["line"], 3);
  const Json& items = read["result"]["items"];
  EXPECT_EQ(items[0]["record"]["X"], 0.1);
  EXPECT_EQ(items[0]["record"]["Y"], 1e-300);
  EXPECT_EQ(items[1]["record"]["MachName"], "O'Brien \"35\"");
  EXPECT_EQ(items[1]["record"]["X"], 0.30000000000000004);

  r = Tool("batch --on-error exit --db " + Db("a.db") + " " +
           Script("exit.txt",
                  "INSERTMachining A D 1 1 1 1\nUPDATEVariableMachining 1 NoSuchColumn 1\n"
                  "INSERTMachining B D 1 1 1 1\n"));
  EXPECT_EQ(r.code, kExitRolledBack);
  EXPECT_EQ(Summary(r.out)["run"], 2);
  EXPECT_NE(r.err.find("--on-error exit ended the batch at line 2"), std::string::npos) << r.err;
  EXPECT_EQ(Machinings(), 2);
}

#if QUILLDATA_HAS_FORK
// SIGINT in the middle: the work so far is rolled back, and the exit code says why.
TEST_F(CliBatch, AnInterruptedBatchRollsBack) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "INSERTMachining M" + std::to_string(i) + " D 1 1 1 1\n";
  std::ofstream(dir_ / "big.txt") << text;
  const std::string out = (dir_ / "out.txt").string(), err = (dir_ / "err.txt").string();
  const pid_t pid = runner::StartTool(
      {"batch", "--db", (dir_ / "a.db").string(), (dir_ / "big.txt").string()}, out, err);
  ASSERT_TRUE(runner::Eventually([&] {
    std::error_code ec;
    return std::filesystem::file_size(out, ec) > 1000 && !ec;
  }));
  ::kill(pid, SIGINT);
  EXPECT_EQ(runner::WaitTool(pid), 128 + SIGINT) << runner::ReadFile(err);
  Json summary = Summary(runner::ReadFile(out));
  EXPECT_EQ(summary["interrupted"], "SIGINT");
  EXPECT_EQ(summary["committed"], false);
  EXPECT_EQ(Machinings(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.db-journal"));
}
#else
TEST_F(CliBatch, AnInterruptedBatchRollsBack) {
  GTEST_SKIP() << "sends SIGINT to a running tool: POSIX signals";
}
#endif

#if QUILLDATA_WITH_MAINTENANCE

class CliMaintenance : public CliOnSqlite {
 protected:
  void SetUp() override {
    CliOnSqlite::SetUp();
    ASSERT_EQ(Tool("init " + Db("src.db") + " --sample").code, 0);
  }
  Result Query(const std::string& db, const std::string& sql, const std::string& more = "") {
    return Tool("query --db " + Db(db.c_str()) + " " + more + " " + Quote(sql));
  }
};

TEST_F(CliMaintenance, QueryFailuresAndBadUsage) {
  Result r = Query("src.db", "SELECT * FROM NoSuchTable");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("no such table: NoSuchTable"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  r = Query("missing.db", "SELECT 1");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
  // A table shows real numbers exactly as the JSON does, whatever the locale.
  r = Tool("query --table --db " + Db("src.db") + " 'SELECT 0.1 + 0.2 AS sum'",
           "LC_ALL=de_DE.UTF-8");
  EXPECT_NE(r.out.find("0.30000000000000004"), std::string::npos) << r.out;
  r = Tool("query --db " + Quote(dir_.string()) + " 'SELECT 1'");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("is a directory"), std::string::npos) << r.err;
  for (std::string args : {std::string("query 'SELECT 1'"),
                           "query --db " + Db("src.db") + " --server 'DSN=x' 'SELECT 1'",
                           "query --db " + Db("src.db") + " '  '", std::string("query --db x")}) {
    r = Tool(args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_FALSE(r.err.empty()) << args;
  }
}

// A write the database refuses every time, answered "retry" twice: three attempts, each in
// the document with the companion's answer.
TEST_F(CliMaintenance, RetriedErrorsFollowTheOnErrorPolicyAndExitOne) {
  ASSERT_EQ(Query("src.db",
                  "CREATE TRIGGER refuse BEFORE INSERT ON MachVariable "
                  "BEGIN SELECT RAISE(ABORT, 'refused'); END")
                .code,
            0);
  Result r =
      Tool("call --db " + Db("src.db") + " --on-error retry:2 INSERTMachVariable V 1 1 true");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("INSERTMachVariable reported 3 errors, the first: refused"),
            std::string::npos)
      << r.err;
  Json doc = Json::parse(r.out);
  ASSERT_EQ(doc["errors"].size(), 3u) << r.out;
  EXPECT_EQ(doc["errors"][0]["procedure"], "clsQuillData_INSERTMachVariable");
  EXPECT_EQ(doc["errors"][0]["action"], "retry");
  EXPECT_EQ(doc["errors"][2]["action"], "leave");
  EXPECT_EQ(doc["errors"][2]["sqliteCode"], 1811);  // SQLITE_CONSTRAINT_TRIGGER
  EXPECT_EQ(doc["errors"][2]["kind"], "constraint");
}

TEST_F(CliMaintenance, CopyRefusesAndLeavesEverythingAsItWas) {
  std::ofstream(dir_ / "taken.db") << "keep me";
  std::ofstream(dir_ / "notes.txt") << "not a database";
  struct Case {
    std::string args;
    std::string message;
  };
  for (const Case& c : {
           Case{Db("src.db") + " " + Db("taken.db"), "already exists"},
           Case{Db("notes.txt") + " " + Db("new1.db"), "not a SQLite database"},
           Case{Db("src.db") + " " + Db("no/such/folder/new2.db"), "does not exist"},
           Case{Db("absent.db") + " " + Db("new3.db"), "does not exist"},
       }) {
    Result r = Tool("copy " + c.args);
    EXPECT_EQ(r.code, 2) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(runner::ReadFile(dir_ / "taken.db"), "keep me");
  // Nothing else appeared in the folder (no copy, no partial file).
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_))
    names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"src.db", "taken.db", "notes.txt"}));
}

#if QUILLDATA_HAS_FORK && QUILLDATA_WITH_TRANSFER
// Work files that an interrupted run left (its process has ended) are named and removed by
// the next run; those of a process still running are left to it. SIGINT during a transfer
// rolls it back and removes its own.
TEST_F(CliMaintenance, InterruptedRunsLeaveNoWorkFilesBehind) {
  const std::string gone = "99999999";  // beyond any process id
  const std::string alive = std::to_string(::getpid());
  for (const std::string& name : {"t.db.transfer-" + gone, "t.db.transfer-" + gone + "-journal",
                                  "t.db.transfer-" + alive, ".c.db.partial-" + gone + "-0-7"})
    std::ofstream(dir_ / name) << "left";
  Result r = Tool("transfer " + Db("src.db") + " " + Db("t.db"));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("removed " + (dir_ / ("t.db.transfer-" + gone + "-journal")).string() +
                       ", left by an interrupted run (process " + gone + " has ended)"),
            std::string::npos)
      << r.err;
  r = Tool("copy " + Db("src.db") + " " + Db("c.db"));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find(".c.db.partial-" + gone + "-0-7"), std::string::npos) << r.err;
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_))
    names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"src.db", "t.db", "c.db", "t.db.transfer-" + alive}));

  ASSERT_EQ(
      Query("src.db",
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300000) "
            "INSERT INTO MachVariable (Name, Value, Requested, MachLibID) "
            "SELECT 'V' || i, i, 0, 1 FROM n")
          .code,
      0);
  const std::string out = (dir_ / "out.txt").string(), err = (dir_ / "err.txt").string();
  const pid_t pid = runner::StartTool(
      {"transfer", (dir_ / "src.db").string(), (dir_ / "big.db").string()}, out, err);
  const std::string work = (dir_ / ("big.db.transfer-" + std::to_string(pid))).string();
  ASSERT_TRUE(runner::Eventually([&] { return std::filesystem::exists(work); }));
  ::kill(pid, SIGINT);
  EXPECT_EQ(runner::WaitTool(pid), 128 + SIGINT) << runner::ReadFile(err);
  EXPECT_NE(runner::ReadFile(err).find("interrupted by SIGINT"), std::string::npos);
  for (const auto& e : std::filesystem::directory_iterator(dir_))
    EXPECT_FALSE(e.path().filename().string().starts_with("big.db")) << e.path();
}
#endif

#endif

#endif

}  // namespace
}  // namespace QuillData::cli
