// The built `quilldata` binary: what it prints and its exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "QuillData/Config.h"
#include "RunTool.h"
#include "cli/Json.h"

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

TEST_F(CliOnSqlite, InitThenCallReadsTheSampleUnderEveryLocale) {
  Result r = Tool("init " + Db("a.db") + " --sample");
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* env : {"LC_ALL=C.UTF-8", "LC_ALL=de_DE.UTF-8"}) {
    r = Tool("call --db " + Db("a.db") + " GETTblMachining", env);
    ASSERT_EQ(r.code, 0) << env << r.err;
    Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["errors"], Json::array());
    ASSERT_GT(doc["result"]["count"].get<int>(), 0);
    EXPECT_EQ(doc["lngRecordsAffected"], doc["result"]["count"]);
    EXPECT_EQ(doc["result"]["items"].size(), doc["result"]["count"].get<size_t>());
  }
}

TEST_F(CliOnSqlite, InitRefusesToTouchAFileThatHoldsAnything) {
  ASSERT_EQ(Tool("init " + Db("b.db")).code, 0);
  auto size = std::filesystem::file_size(dir_ / "b.db");
  Result r = Tool("init " + Db("b.db") + " --sample");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
  EXPECT_EQ(std::filesystem::file_size(dir_ / "b.db"), size);
  // An empty file is no database yet: init may fill it.
  std::ofstream(dir_ / "empty.db").close();
  EXPECT_EQ(Tool("init " + Db("empty.db")).code, 0);
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
    // The first error in the document is the one stderr names.
    EXPECT_NE(r.err.find(doc["errors"][0]["description"].get<std::string>()), std::string::npos)
        << c.args;
  }
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

#endif

#endif

}  // namespace
}  // namespace QuillData::cli
