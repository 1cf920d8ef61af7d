// The server administration: the T-SQL it sends, on a recording provider, with every name
// quoted; and MakeDetachCopy through an administration layer whose database files live in a
// temporary folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QuillData/contract/Module.h"
#include "QuillData/contract/Text.h"
#include "QuillData/maintenance/ServerAdmin.h"
#include "QuillData/maintenance/clsLumenData.h"
#include "support/RecordingProvider.h"
#include "support/TestSupport.h"

namespace QuillData {
namespace {

namespace fs = std::filesystem;
using testing::RecordingProvider;
using Policy = PolicyErrorHandler::Policy;

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
  EXPECT_NE(LastSql().find(L"WHERE name = N'O''Neil'"), std::wstring::npos) << ToUtf8(LastSql());

  Answer({{L"D:\\SQL Data\\ON.mdf"}});
  EXPECT_EQ(db->PrimaryFilePath(), L"D:\\SQL Data\\");
  EXPECT_NE(LastSql().find(L"DB_ID(N'O''Neil') AND file_id = 1"), std::wstring::npos);
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

// A server with one database "Parts" whose files are real files in a folder. It records
// each call, and whether the copies existed when the database was detached and attached.
class FolderServer : public ServerAdmin, public AdminDatabase {
 public:
  std::wstring folder;
  std::vector<std::wstring> calls;
  bool attached = true;
  bool copiesAtDetach = false;
  bool copiesAtAttach = false;
  std::wstring folderOverride;        // a PrimaryFilePath other than the files' folder
  std::function<void()> afterDetach;  // what else happens to the files at the detach
  int attachesToRefuse = 0;

  bool CopiesExist() const {
    return fs::exists(folder + L"Copy.mdf") || fs::exists(folder + L"Copy_log.ldf");
  }
  std::wstring PrimaryFilePath() override {
    return folderOverride.empty() ? folder : folderOverride;
  }
  std::wstring DataFilePhysicalName() override { return L"  " + folder + L"Parts.mdf "; }
  std::wstring LogFilePhysicalName() override { return L" " + folder + L"Parts_log.ldf  "; }

  void Connect(const std::wstring& server, const std::wstring& login,
               const std::wstring& password) override {
    calls.push_back(L"Connect " + server + L" " + login + L" " + password);
  }
  std::shared_ptr<AdminDatabase> Databases(const std::wstring& name,
                                           const std::wstring& owner) override {
    calls.push_back(L"Databases " + name + L" " + owner);
    return std::shared_ptr<AdminDatabase>(std::shared_ptr<void>(), this);  // not owning
  }
  void DetachDB(const std::wstring& name) override {
    calls.push_back(L"DetachDB " + name);
    copiesAtDetach = CopiesExist();
    attached = false;
    if (afterDetach) afterDetach();
  }
  void AttachDB(const std::wstring& name, const std::wstring& files) override {
    calls.push_back(L"AttachDB " + name + L" " + files);
    if (attachesToRefuse > 0) {
      --attachesToRefuse;
      throw QuillError(-2147467259, L"SQLDMO.SQLServer", L"attach refused");
    }
    copiesAtAttach = fs::exists(folder + L"Copy.mdf") && fs::exists(folder + L"Copy_log.ldf");
    attached = true;
  }
};

class DetachCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("quilldata-detach-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    server->folder = dir.wstring() + L"/";
    std::ofstream(dir / "Parts.mdf") << "data pages";
    std::ofstream(dir / "Parts_log.ldf") << "log records";
    previous = RegisterServerAdmin(kSqlServerAdminId, [s = server] { return s; });
    gSP = trace;
    gE = errors;
    gTraceFlag = L"1";
  }
  void TearDown() override {
    RegisterServerAdmin(kSqlServerAdminId, previous);
    gTraceFlag.clear();
    gSP.reset();
    gE.reset();
    fs::remove_all(dir);
  }

  Variant Copy() { return lumen.MakeDetachCopy(L"sa", L"secret", L"db01", L"Parts", L"Copy"); }
  // true for an entry, false for an exit.
  std::vector<bool> Traced() const {
    std::vector<bool> kinds;
    for (const auto& e : trace->Events()) {
      EXPECT_EQ(e.procedure, L"MakeDetachCopy");
      EXPECT_EQ(e.module, e.enter ? L"modDB" : L"");
      kinds.push_back(e.enter);
    }
    return kinds;
  }

  fs::path dir;
  std::shared_ptr<FolderServer> server = std::make_shared<FolderServer>();
  ServerAdminFactory previous;
  std::shared_ptr<StreamTrace> trace = std::make_shared<StreamTrace>();
  std::shared_ptr<PolicyErrorHandler> errors = std::make_shared<PolicyErrorHandler>();
  clsLumenData lumen;
};

TEST_F(DetachCopyTest, CopiesBothFilesBesideTheOriginalsAndAttachesAgain) {
  EXPECT_TRUE(Copy().IsEmpty());
  const std::wstring& f = server->folder;
  EXPECT_EQ(server->calls, (std::vector<std::wstring>{
                               L"Connect db01 sa secret", L"Databases Parts dbo", L"DetachDB Parts",
                               L"AttachDB Parts [" + f + L"Parts.mdf],[" + f + L"Parts_log.ldf]"}));
  EXPECT_FALSE(server->copiesAtDetach);
  EXPECT_TRUE(server->copiesAtAttach);
  EXPECT_EQ(test::ReadFile(dir / "Copy.mdf"), "data pages");
  EXPECT_EQ(test::ReadFile(dir / "Copy_log.ldf"), "log records");
  EXPECT_EQ(Traced(), (std::vector<bool>{true, false}));
  EXPECT_TRUE(errors->Reports().empty());
}

TEST_F(DetachCopyTest, NoFailureLeavesTheDatabaseDetachedOrAHalfCopy) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    bool detached;            // whether it got as far as the detach
    const wchar_t* reported;  // in the one report
  } cases[] = {
      {"source unreadable", [&] { fs::remove(dir / "Parts_log.ldf"); }, false,
       L"cannot read the database file"},
      {"source is a folder",
       [&] {
         fs::remove(dir / "Parts_log.ldf");
         fs::create_directory(dir / "Parts_log.ldf");
       },
       false, L"cannot read the database file"},
      {"destination folder missing", [&] { server->folderOverride = server->folder + L"gone/"; },
       false, L"cannot write to the folder"},
      {"a source vanishes after the detach",
       [&] { server->afterDetach = [&] { fs::remove(dir / "Parts_log.ldf"); }; }, true,
       L"The database was attached again."},
      {"the server refuses the attach once", [&] { server->attachesToRefuse = 1; }, true,
       L"attach refused The database was attached again."},
  };
  for (Policy policy : {Policy::Retry, Policy::Leave}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (policy == Policy::Retry ? ", answer 0" : ", leave"));
      TearDown();
      server = std::make_shared<FolderServer>();
      SetUp();
      c.arrange();
      auto handler = std::make_shared<PolicyErrorHandler>(policy, 5);
      gE = handler;

      EXPECT_TRUE(Copy().IsEmpty());
      auto reports = handler->Reports();
      ASSERT_EQ(reports.size(), 1u);  // the answer 0 does not retry
      EXPECT_EQ(reports[0].module + L"." + reports[0].procedure, L"frmMain.MakeDetachCopy");
      EXPECT_NE(reports[0].description.find(c.reported), std::wstring::npos)
          << ToUtf8(reports[0].description);
      EXPECT_TRUE(server->attached);
      const bool detachedOnce =
          std::count(server->calls.begin(), server->calls.end(), L"DetachDB Parts") == 1;
      EXPECT_EQ(detachedOnce, c.detached);
      EXPECT_FALSE(fs::exists(dir / "Copy.mdf"));
      EXPECT_FALSE(fs::exists(dir / "Copy_log.ldf"));
    }
  }
}

TEST_F(DetachCopyTest, AnAttachTheServerAlwaysRefusesIsReportedAsDetachedWithItsFiles) {
  server->attachesToRefuse = 2;
  EXPECT_TRUE(Copy().IsEmpty());
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].description.find(L"it is detached, its files are [" + server->folder +
                                        L"Parts.mdf]"),
            std::wstring::npos)
      << ToUtf8(reports[0].description);
  EXPECT_FALSE(fs::exists(dir / "Copy.mdf"));
}

TEST_F(DetachCopyTest, AnExistingCopyIsRefusedBeforeTheDetachAndLeftAsItIs) {
  std::ofstream(dir / "Copy_log.ldf") << "another database's log";
  EXPECT_TRUE(Copy().IsEmpty());
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].number, 58);
  EXPECT_TRUE(server->attached);
  EXPECT_EQ(server->calls.back(), L"Databases Parts dbo");
  EXPECT_EQ(test::ReadFile(dir / "Copy_log.ldf"), "another database's log");
  EXPECT_FALSE(fs::exists(dir / "Copy.mdf"));
}

TEST_F(DetachCopyTest, ANewNameWithAPathIsRefusedBeforeAnythingHappens) {
  for (const wchar_t* name : {L"../Copy", L"sub/Copy", L"..", L"", L"a\\b"}) {
    errors->Clear();
    server->calls.clear();
    EXPECT_TRUE(lumen.MakeDetachCopy(L"sa", L"secret", L"db01", L"Parts", name).IsEmpty());
    ASSERT_EQ(errors->Reports().size(), 1u) << std::wstring(name).size();
    EXPECT_EQ(errors->Reports()[0].number, ErrNo::InvalidProcedureCall);
    EXPECT_TRUE(server->calls.empty()) << "nothing reached the server";
    EXPECT_TRUE(server->attached);
  }
  EXPECT_FALSE(fs::exists(dir.parent_path() / "Copy.mdf"));
}

}  // namespace
}  // namespace QuillData
