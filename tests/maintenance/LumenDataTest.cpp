// clsLumenData's queries and OpenDB against a throwaway PostgreSQL server.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "QuillData/ado/Ado.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Text.h"
#include "QuillData/maintenance/clsLumenData.h"
#include "support/CuttingProxy.h"
#include "support/PgServer.h"
#include "support/TestSupport.h"

namespace QuillData {
namespace {

class LumenDataTest : public test::PgServerTest {
 protected:
  void SetUp() override {
    PgServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Server().Psql(
        "CREATE TABLE parts (id integer PRIMARY KEY, name varchar(40), width float8);"
        "INSERT INTO parts VALUES (1, 'door', 600.5), (2, 'shelf', NULL), (3, 'back', 1200);",
        Database());
    gTraceFlag = L"1";
    ASSERT_TRUE(lumen->OpenDB(ConnectionString(), trace, errors));
    trace->Clear();
  }
  void TearDown() override {
    gTraceFlag.clear();
    gSP.reset();
    gE.reset();
  }

  // Entry under `module`, and exit when `exited`.
  void ExpectTrace(const std::wstring& procedure, const std::wstring& module, bool exited) {
    auto events = trace->Events();
    ASSERT_EQ(events.size(), exited ? 2u : 1u);
    EXPECT_TRUE(events[0].enter && events[0].procedure == procedure && events[0].module == module);
    if (exited) {
      EXPECT_TRUE(!events[1].enter && events[1].procedure == procedure);
    }
  }

  std::shared_ptr<StreamTrace> trace = std::make_shared<StreamTrace>();
  std::shared_ptr<PolicyErrorHandler> errors = std::make_shared<PolicyErrorHandler>();
  std::shared_ptr<clsLumenData> lumen = CreateObjectAs<clsLumenData>(L"QuillData.clsLumenData");
};

TEST_F(LumenDataTest, AnyQueryComesBackAsAClientSideStaticReadOnlyRecordset) {
  int32_t n = -1;
  auto rows = lumen->Get_Lumen_Set(L"SELECT id, name, width FROM parts ORDER BY id", n);
  ASSERT_TRUE(rows);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(rows->RecordCount(), 3);
  EXPECT_EQ(rows->CursorType(), ado::adOpenStatic);
  EXPECT_EQ(rows->CursorLocation(), ado::adUseClient);
  EXPECT_EQ(rows->LockType(), ado::adLockReadOnly);
  auto fields = rows->Fields();
  ASSERT_EQ(fields->Count(), 3);
  EXPECT_EQ(fields->Item(L"NAME")->Value(), Variant(L"door"));
  EXPECT_EQ(fields->Item(L"width")->Value(), Variant(600.5));
  rows->MoveNext();
  EXPECT_TRUE(fields->Item(L"width")->Value().IsNull());
  ExpectTrace(L"Get_Lumen_Set", L"modDB", true);
  EXPECT_TRUE(errors->Reports().empty());
}

TEST_F(LumenDataTest, FailingSqlGoesToTheCompanionWithTheDriversMessage) {
  for (auto [sql, message] : {std::pair{L"SELEC id FROM parts", L"syntax error"},
                              std::pair{L"SELECT * FROM nowhere", L"\"nowhere\" does not exist"}}) {
    errors->Clear();
    trace->Clear();
    int32_t n = 42;
    EXPECT_FALSE(lumen->Get_Lumen_Set(sql, n));
    EXPECT_EQ(n, 42);
    auto reports = errors->Reports();
    ASSERT_EQ(reports.size(), 1u) << ToUtf8(sql);
    EXPECT_EQ(reports[0].module, L"clsLumenData");
    EXPECT_EQ(reports[0].procedure, L"Get_Lumen_Set");
    EXPECT_EQ(reports[0].flag, 0);
    EXPECT_NE(reports[0].description.find(message), std::wstring::npos)
        << ToUtf8(reports[0].description);
    ExpectTrace(L"Get_Lumen_Set", L"modDB", false);  // leaving traces no exit
  }
}

TEST_F(LumenDataTest, AFailedOpenReportsAndReturnsFalse) {
  clsLumenData other;
  EXPECT_FALSE(other.OpenDB(Server().ConnectionString("no_such_database"), trace, errors));
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].module + L"." + reports[0].procedure, L"clsQuillData.OpenDB");
  EXPECT_EQ(reports[0].flag, 0);
  EXPECT_NE(reports[0].description.find(L"no_such_database"), std::wstring::npos);
}

#if QUILLDATA_HAS_FORK
TEST(LumenServerGoneTest, AnIdleRestartIsBridgedAndALostAnswerIsNeverRepeated) {
  const std::string binaries = test::PgServer::Binaries();
  if (binaries.empty()) GTEST_SKIP() << test::PgServer::SkipReason();
  test::PgServer server(binaries);
  server.Psql("CREATE TABLE t (n integer)");
  auto count = [&] { return server.Psql("COPY (SELECT count(*) FROM t) TO STDOUT"); };
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 2);
  clsLumenData lumen;
  ASSERT_TRUE(lumen.OpenDB(server.ConnectionString(), nullptr, errors));

  // The server closed the idle connection: the text goes on a new one, once, unreported.
  server.Stop();
  server.Start();
  EXPECT_NE(lumen.Get_Lumen_Set(L"INSERT INTO t VALUES (1)"), nullptr);
  EXPECT_TRUE(errors->Reports().empty());
  EXPECT_EQ(count(), "1\n");

  // The server ran the text and its answer was lost: any text may write, so it is not sent
  // again, however often the companion answers "retry".
  test::CuttingProxy proxy(server.Port());
  clsLumenData cut;
  ASSERT_TRUE(cut.OpenDB(test::ViaPort(server.ConnectionString(), server.Port(), proxy.Port()),
                         nullptr, errors));
  proxy.SwallowNextAnswer();
  EXPECT_EQ(cut.Get_Lumen_Set(L"INSERT INTO t VALUES (2)"), nullptr);
  EXPECT_EQ(proxy.Swallowed(), 1);
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 3u);
  for (const auto& r : reports) EXPECT_EQ(r.kind, ErrorKind::OutcomeUnknown);
  EXPECT_NE(reports[1].description.find(L"not sent again"), std::wstring::npos);
  EXPECT_EQ(count(), "2\n");

  int32_t n = -1;
  auto rows = cut.Get_Lumen_Set(L"SELECT 1 UNION SELECT 2", n);
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(cut.Conn()->State(), ado::adStateOpen);
  EXPECT_EQ(errors->Reports().size(), 3u);
  gE.reset();
}
#else
TEST(LumenServerGoneTest, AnIdleRestartIsBridgedAndALostAnswerIsNeverRepeated) {
  GTEST_SKIP() << "starts and stops a server of its own and cuts its answers: POSIX processes "
                  "and sockets";
}
#endif

}  // namespace
}  // namespace QuillData
