// The SQL Server administration: the exact T-SQL it sends, on a recording provider.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "QuillData/contract/Error.h"
#include "QuillData/maintenance/ServerAdmin.h"
#include "support/RecordingProvider.h"

namespace QuillData {
namespace {

using testing::RecordingProvider;

ado::RowSet Rows(std::vector<std::vector<Variant>> rows) {
  ado::RowSet set;
  const size_t columns = rows.empty() ? 1 : rows[0].size();
  for (size_t i = 0; i < columns; ++i) set.columns.push_back({L"c" + std::to_wstring(i)});
  set.rows = std::move(rows);
  return set;
}

class SqlServerAdminTest : public ::testing::Test {
 protected:
  void SetUp() override { server->Connect(L"db01\\prod;x", L"sa", L"p\"w;d"); }
  const std::wstring& LastSql() const { return recorder->Commands().back().text; }
  void Answer(std::vector<std::vector<Variant>> rows) { recorder->Answer(Rows(std::move(rows))); }

  std::shared_ptr<RecordingProvider> recorder = std::make_shared<RecordingProvider>();
  std::shared_ptr<ServerAdmin> server = MakeSqlServerAdmin(recorder);
};

TEST_F(SqlServerAdminTest, ConnectsToMasterWithTheValuesQuoted) {
  EXPECT_EQ(recorder->Opened().back(),
            L"Provider=SQLOLEDB;Data Source=\"db01\\prod;x\";Initial Catalog=master;"
            L"User ID=\"sa\";Password=\"p\"\"w;d\"");
  auto trusted = MakeSqlServerAdmin(recorder);
  trusted->Connect(L"db01", L"", L"");
  EXPECT_EQ(recorder->Opened().back(),
            L"Provider=SQLOLEDB;Data Source=\"db01\";Initial Catalog=master;"
            L"Integrated Security=SSPI");
}

TEST(AdminConnectionStringTest, KeepsTheUsersDriverAndSettingsAndReplacesWhoAndWhere) {
  struct Case {
    const wchar_t* user;
    const wchar_t* login;
    const wchar_t* built;
  } cases[] = {
      // ADO style: encryption and certificate trust carry over, server and database do not.
      {L"Provider=MSOLEDBSQL;Data Source=old;Initial Catalog=Parts;User ID=u;Password=p;"
       L"Encrypt=True;TrustServerCertificate=True;Connect Timeout=5",
       L"sa",
       L"Provider=\"MSOLEDBSQL\";Data Source=\"db01\";Initial Catalog=master;"
       L"User ID=\"sa\";Password=\"pw\";Encrypt=\"True\";TrustServerCertificate=\"True\";"
       L"Connect Timeout=\"5\""},
      // ODBC style, signed in with the process's identity.
      {L"Driver={ODBC Driver 18 for SQL Server};Server=old;Database=Parts;UID=u;PWD=p;"
       L"Encrypt=yes;TrustServerCertificate=yes",
       L"",
       L"Driver={ODBC Driver 18 for SQL Server};Server=db01;Database=master;"
       L"Trusted_Connection=yes;Encrypt=yes;TrustServerCertificate=yes"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AdminConnectionString(c.user, L"db01", c.login, L"pw"), c.built);
  }
}

TEST_F(SqlServerAdminTest, ReadsTheDatabaseAndItsFilesFromTheCatalog) {
  Answer({{L"O'Neil", L"DOMAIN\\admin"}});
  auto db = server->Databases(L"O'Neil", L"dbo");
  EXPECT_EQ(LastSql(),
            L"SELECT name, SUSER_SNAME(owner_sid) FROM sys.databases WHERE name = N'O''Neil';");

  Answer({{L"D:\\SQL Data\\ON.mdf"}});
  EXPECT_EQ(db->PrimaryFilePath(), L"D:\\SQL Data\\");
  EXPECT_EQ(LastSql(),
            L"SELECT TOP (1) physical_name FROM sys.master_files WHERE database_id "
            L"= DB_ID(N'O''Neil') AND file_id = 1 ORDER BY file_id;");
  Answer({{L"D:\\SQL Data\\ON.mdf"}});
  EXPECT_EQ(db->DataFilePhysicalName(), L"D:\\SQL Data\\ON.mdf");
  EXPECT_NE(LastSql().find(L"AND type = 0 AND data_space_id = 1 ORDER"), std::wstring::npos);
  Answer({{L"/var/opt/mssql/data/ON_log.ldf"}});
  EXPECT_EQ(db->LogFilePhysicalName(), L"/var/opt/mssql/data/ON_log.ldf");
  EXPECT_NE(LastSql().find(L"AND type = 1 ORDER"), std::wstring::npos);

  // Missing: the database, a database of that owner, a file.
  Answer({});
  EXPECT_THROW(server->Databases(L"Gone", L"dbo"), QuillError);
  Answer({{L"Parts", L"DOMAIN\\admin"}});
  EXPECT_THROW(server->Databases(L"Parts", L"someone"), QuillError);
  Answer({});
  EXPECT_THROW(db->LogFilePhysicalName(), QuillError);
}

TEST_F(SqlServerAdminTest, DetachesAndAttachesWithQuotedNames) {
  server->DetachDB(L"Parts]'x");
  EXPECT_EQ(LastSql(), L"EXEC master.dbo.sp_detach_db @dbname = N'Parts]''x';");

  const std::wstring files = AttachFileList({L"C:\\d\\it's.mdf", L"C:\\d\\a]b_log.ldf"});
  EXPECT_EQ(files, L"[C:\\d\\it's.mdf],[C:\\d\\a]]b_log.ldf]");
  server->AttachDB(L"Parts]'x", files);
  EXPECT_EQ(LastSql(),
            L"CREATE DATABASE [Parts]]'x] ON (FILENAME = N'C:\\d\\it''s.mdf'), "
            L"(FILENAME = N'C:\\d\\a]b_log.ldf') FOR ATTACH;");

  const size_t sent = recorder->Commands().size();
  for (const wchar_t* bad : {L"", L"p.mdf", L"[p.mdf", L"[a],", L"[a][b]", L"[]"}) {
    EXPECT_THROW(server->AttachDB(L"Parts", bad), QuillError);
  }
  EXPECT_EQ(recorder->Commands().size(), sent);  // nothing sent for a malformed list
}

}  // namespace
}  // namespace QuillData
