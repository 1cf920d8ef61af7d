// The server administration: every name it sends quoted, on a recording provider; and
// MakeDetachCopy through an administration layer whose database files live in a
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

ado::RowSet Rows(std::vector<Variant> row) {
  ado::RowSet set;
  for (size_t i = 0; i < row.size(); ++i) set.columns.push_back({L"c" + std::to_wstring(i)});
  set.rows = {std::move(row)};
  return set;
}

// Every name that reaches the server travels quoted: a hostile database name, file name,
// server or password stays one literal or identifier; a malformed file list sends nothing.
TEST(SqlServerAdminTest, EveryNameReachingTheServerIsQuoted) {
  auto recorder = std::make_shared<RecordingProvider>();
  auto server = MakeSqlServerAdmin(recorder);
  const std::wstring name = L"Pa]rts'x";
  recorder->Answer(Rows({name, L"DOMAIN\\admin"}));
  std::shared_ptr<AdminDatabase> db;
  const struct {
    std::function<void()> run;
    std::wstring sent;  // a part of the last command or connection string
  } cases[] = {
      {[&] { server->Connect(L"db01\\prod;x", L"sa", L"p\"w;d"); },
       L"Data Source=\"db01\\prod;x\";Initial Catalog=master;User ID=\"sa\";"
       L"Password=\"p\"\"w;d\""},
      {[&] { db = server->Databases(name, L"dbo"); }, L"WHERE name = N'Pa]rts''x'"},
      {[&] {
         recorder->Answer(Rows({L"D:\\SQL Data\\P.mdf"}));
         EXPECT_EQ(db->PrimaryFilePath(), L"D:\\SQL Data\\");
       },
       L"DB_ID(N'Pa]rts''x') AND file_id = 1"},
      {[&] { EXPECT_THROW(db->DataFilePhysicalName(), QuillError); }, L"DB_ID(N'Pa]rts''x')"},
      {[&] { server->DetachDB(name); }, L"sp_detach_db @dbname = N'Pa]rts''x';"},
      {[&] {
         server->AttachDB(name, AttachFileList({L"C:\\d\\it's.mdf", L"C:\\d\\a]b.ldf"}));
       },
       L"CREATE DATABASE [Pa]]rts'x] ON (FILENAME = N'C:\\d\\it''s.mdf'), "
       L"(FILENAME = N'C:\\d\\a]b.ldf') FOR ATTACH;"},
  };
  for (const auto& c : cases) {
    c.run();
    const std::wstring& last =
        recorder->Commands().empty() ? recorder->Opened().back() : recorder->Commands().back().text;
    EXPECT_NE(last.find(c.sent), std::wstring::npos) << ToUtf8(last);
  }
  const size_t sent = recorder->Commands().size();
  for (const wchar_t* bad : {L"", L"p.mdf", L"[p.mdf", L"[a],", L"[a][b]", L"[]"}) {
    EXPECT_THROW(server->AttachDB(name, bad), QuillError);
  }
  EXPECT_EQ(recorder->Commands().size(), sent);
  // A database of another owner is not found.
  recorder->Answer(Rows({name, L"DOMAIN\\admin"}));
  EXPECT_THROW(server->Databases(name, L"someone"), QuillError);

  // The user's own driver and settings stay; who and where are replaced, quoted.
  EXPECT_EQ(AdminConnectionString(L"Driver={ODBC Driver 18 for SQL Server};Server=old;UID=u;"
                                  L"Encrypt=yes",
                                  L"db;01", L"sa", L"p};w"),
            L"Driver={ODBC Driver 18 for SQL Server};Server={db;01};Database=master;UID=sa;"
            L"PWD={p}};w};Encrypt=yes");
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
