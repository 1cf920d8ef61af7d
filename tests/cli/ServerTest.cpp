// `quilldata call --server` and `quilldata query --server` on a real PostgreSQL server loaded
// with schema/postgresql.sql, through the tool binary as a person would run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "QuillData/Config.h"
#include "QuillData/contract/Text.h"
#include "QuillData/locale/Locale.h"
#include "RunTool.h"
#include "cli/Json.h"
#include "support/PgServer.h"

namespace QuillData::cli {
namespace {

using runner::Quote;
using runner::Tool;
using runner::ToolResult;

class CliOnServer : public test::PgServerTest {
 protected:
  void SetUp() override {
    PgServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Server().LoadSchema(Database());
    // The driver list the server helper set up reaches the tool through the environment.
    conn_ = Quote(ToUtf8(ConnectionString()));
  }
  ToolResult Call(const std::string& args) { return Tool("call --server " + conn_ + " " + args); }
  ToolResult Query(const std::string& sql, const std::string& more = "") {
    return Tool("query --server " + conn_ + " " + more + " " + Quote(sql));
  }
  std::string conn_;
};

TEST_F(CliOnServer, CallWritesAndReadsThroughTheStoredProcedures) {
  ToolResult r = Call("INSERTMachining 'Hinge bore 35' H 1 22.5 96 13");
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  Json doc = Json::parse(r.out);
  EXPECT_EQ(doc["errors"], Json::array());
  const int id = doc["result"].get<int>();
  EXPECT_GT(id, 0);
  r = Call("INSERTMachVertical 'Cup' V " + std::to_string(id));
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  r = Call("GETTblMachining");
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  doc = Json::parse(r.out);
  EXPECT_EQ(doc["lngRecordsAffected"], 1);
  EXPECT_EQ(doc["result"]["items"][0]["record"]["MachName"], "Hinge bore 35") << r.out;
  EXPECT_EQ(doc["result"]["items"][0]["record"]["X"], 22.5);
}

TEST_F(CliOnServer, QueryPrintsTheRowsAndReportsTheServersMessage) {
  ASSERT_EQ(Call("INSERTMachVariable Depth 12.5 1 true").code, 0);
  // The schema keeps the record fields' mixed case in quoted column names.
  ToolResult r = Query(R"(SELECT "Name", "Value", "MachLibID" FROM MachVariable)");
  ASSERT_EQ(r.code, 0) << r.err;
  Json doc = Json::parse(r.out);
  EXPECT_EQ(doc["recordCount"], 1);
  ASSERT_EQ(doc["columns"].size(), 3u);
  EXPECT_EQ(doc["rows"][0][0], "Depth");
  EXPECT_EQ(doc["rows"][0][1], "12.5");
  EXPECT_EQ(doc["rows"][0][2], 1);

  r = Query(R"(SELECT "Name" FROM MachVariable)", "--table");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Depth"), std::string::npos);
  EXPECT_NE(r.out.find("(1 record)"), std::string::npos) << r.out;

  r = Query("SELECT * FROM nothing_here");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("nothing_here"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

// Under a comma locale the text-number columns read back on the server as on the embedded
// backend, on both providers; text that no store holds as it is (here a NUL, which one
// driver would cut) is refused with one clear error before anything is sent.
TEST_F(CliOnServer, TextReadsAndIsRefusedAlikeOnBothProviders) {
  test::ScratchDir scratch;
  std::ofstream(scratch.path() / "zero.txt") << std::string("Hinge\0 35", 9);
  const std::string german = "LC_ALL=de_DE.UTF-8";
  std::vector<std::string> connections{conn_};
  if (QUILLDATA_WITH_LIBPQ) connections.push_back(Quote(ToUtf8(ConnectionString(true))));
  for (const std::string& conn : connections) {
    auto call = [&](const std::string& args) {
      return Tool("call --server " + conn + " " + args, german);
    };
    const std::string name = conn == conn_ ? "DepthOdbc" : "DepthLibpq";
    ToolResult r = call("INSERTMachVariable " + name + " 1 1 true");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const std::string id = std::to_string(Json::parse(r.out)["result"].get<int>());
    ASSERT_EQ(call("UPDATEMachVariable " + name + " 12,5 1 " + id).code, 0);
    Json read = Json::parse(call("GETTblMachVariable").out)["result"]["items"];
    auto item =
        std::find_if(read.begin(), read.end(), [&](const Json& i) { return i["key"] == name; });
    ASSERT_NE(item, read.end());
    EXPECT_EQ((*item)["record"]["Value"], "12,5") << conn;

    r = call("INSERTMachining @" + Quote((scratch.path() / "zero.txt").string()) + " D 1 1 1 1");
    EXPECT_EQ(r.code, 1);
    Json error = Json::parse(r.out)["errors"][0];
    EXPECT_EQ(error["kind"], "refused argument") << r.out;
    EXPECT_NE(error["description"].get<std::string>().find("NUL character at character 6"),
              std::string::npos);
  }
  // Stored with "." whatever the locale that wrote it (where the tool's locale had a comma:
  // on Windows it is the user's, whatever the environment says).
  if (QUILLDATA_ENVIRONMENT_CHOOSES_LOCALE || UserLocale::Current().DecimalSeparator() == L",") {
    EXPECT_NE(Query(R"(SELECT "Value" FROM MachVariable)").out.find("\"12.5\""), std::string::npos);
  }
  EXPECT_EQ(Json::parse(Call("--summary GETTblMachining").out)["result"]["count"], 0);
}

TEST_F(CliOnServer, AServerThatIsNotThereFailsWithExitOne) {
  const std::wstring conn = test::ViaPort(ConnectionString(), Server().Port(), 1);
  ToolResult r = Tool("query --server " + Quote(ToUtf8(conn)) + " 'SELECT 1'");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("could not open"), std::string::npos) << r.err;
  r = Tool("call --server " + Quote(ToUtf8(conn)) + " GETTblMachining");
  EXPECT_EQ(r.code, 1);
  // Why it did not open reaches the error companion, with the server's own code.
  Json error = Json::parse(r.out)["errors"][0];
  EXPECT_EQ(error["procedure"], "OpenDB");
  EXPECT_FALSE(error["sqlState"].get<std::string>().empty()) << r.out;
}

}  // namespace
}  // namespace QuillData::cli
