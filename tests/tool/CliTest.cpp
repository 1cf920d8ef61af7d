// The built `quilldata` binary: what it prints and its exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tool/Json.h"

namespace QuillData::tool {
namespace {

struct Result {
  int code;
  std::string out, err;
};

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the tool with arguments already quoted for the shell, after environment settings.
Result Tool(const std::string& args, const std::string& env = "") {
  auto dir = std::filesystem::temp_directory_path();
  auto out = dir / ("quilldata-cli-" + std::to_string(::getpid()) + ".out");
  auto err = dir / ("quilldata-cli-" + std::to_string(::getpid()) + ".err");
  std::string command = env + " '" + QUILLDATA_TOOL + "' " + args + " >'" + out.string() + "' 2>'" +
                        err.string() + "'";
  int status = std::system(command.c_str());
  Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return r;
}

TEST(Cli, RecordsShowsFieldsTypesAndConstructionDefaults) {
  Result r = Tool("records tblMachRouting");
  ASSERT_EQ(r.code, 0) << r.err;
  Json j = Json::parse(r.out);
  EXPECT_EQ(j["name"], "tblMachRouting");
  std::map<std::string, Json> byName;
  for (const Json& f : j["fields"]) byName[f["name"]] = f;
  EXPECT_EQ(byName["lngToolRotationSpeed"]["default"], "18000");
  EXPECT_EQ(byName["lngToolRotationSpeed"]["type"], "string");
  EXPECT_EQ(byName["lngGrain"]["default"], "");
  EXPECT_EQ(byName["MachID"]["type"], "int32");
  EXPECT_EQ(byName["MachID"]["default"], 0);
  EXPECT_EQ(j["fields"][0]["name"], "lngMachRoutingID");

  r = Tool("records");
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(Json::parse(r.out).size(), 25u);
  r = Tool("records tblNothing");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("no record type \"tblNothing\""), std::string::npos);
}

TEST(Cli, OperationsListsTheTable) {
  Result r = Tool("operations");
  ASSERT_EQ(r.code, 0);
  Json j = Json::parse(r.out);
  ASSERT_EQ(j.size(), 65u);
  EXPECT_EQ(j[0]["name"], "DELFilter");
  EXPECT_EQ(j[64]["name"], "UPDATEVariableMachining");
  r = Tool("operations INSERTMFGPartTypes");
  ASSERT_EQ(r.code, 0);
  j = Json::parse(r.out);
  EXPECT_EQ(j["arguments"][7], Json::parse(R"({"name": "blnSubtypeName", "type": "bool",
                                               "optional": true, "default": false})"));
  EXPECT_EQ(j["result"], "none");
}

TEST(Cli, BadUsageExitsTwo) {
  for (const char* args : {"", "frobnicate", "call", "init", "operations NoSuchOperation",
                           "call --on-error sometimes --db x GETTblMachining",
                           "call --db /nonexistent.db NoSuchOperation"}) {
    Result r = Tool(args);
    EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    EXPECT_FALSE(r.err.empty()) << args;
  }
  Result r = Tool("call --db /nonexistent.db DELMachining one");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(
      r.err.find("usage: DELMachining(MachID int32[, lngRecordsAffected int32 = -1]) -> int32"),
      std::string::npos)
      << r.err;
  r = Tool("call --db /nonexistent.db DELMachining 1");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("no database file"), std::string::npos) << r.err;
}

TEST(Cli, HelpIsNotAnError) {
  Result r = Tool("--help");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("call"), std::string::npos);
  EXPECT_NE(r.out.find("'.' as decimal point"), std::string::npos);
}

#if QUILLDATA_WITH_SQLITE

class CliOnSqlite : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() / ("quilldata-cli-db-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Db(const char* name) const { return "'" + (dir_ / name).string() + "'"; }
  std::filesystem::path dir_;
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
  // An empty schema answers with empty collections.
  r = Tool("call --db " + Db("b.db") + " --summary GETTblMachVariable");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Json::parse(r.out)["result"], Json::parse(R"({"count": 0})"));
  // An empty file is no database yet: init may fill it.
  std::ofstream(dir_ / "empty.db").close();
  EXPECT_EQ(Tool("init " + Db("empty.db")).code, 0);
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

#endif

}  // namespace
}  // namespace QuillData::tool
