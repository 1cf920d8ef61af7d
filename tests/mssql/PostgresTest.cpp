// The server backend on a real PostgreSQL server loaded with schema/postgresql.sql: the
// conformance suite, what the driver really stores, and the server failing under it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/locale/Locale.h"
#include "QuillData/mssql/clsQuillData_MSSQL.h"
#include "conformance/ConformanceSuite.h"
#include "support/CuttingProxy.h"
#include "support/PgServer.h"
#include "support/RecordingProvider.h"
#include "support/TestSupport.h"

namespace QuillData::test {
namespace {

// A database of the shared server with the schema loaded, made once: each test copies it.
const std::string& SchemaTemplate(PgServer& server) {
  static const std::string name = [&] {
    std::string db = server.NewDatabase();
    server.LoadSchema(db);
    return db;
  }();
  return name;
}

std::shared_ptr<clsQuillData> OpenBackend(const std::wstring& connectionString,
                                          const std::shared_ptr<cE>& errors) {
  auto db = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_MSSQL");
  if (!db->OpenDB(nullptr, errors, {connectionString, L"0"})) {
    throw std::runtime_error("OpenDB failed on " + ToUtf8(connectionString));
  }
  return db;
}

// The server process behind the backend's connection.
pid_t BackendPid(clsQuillData& db) {
  auto rows = dynamic_cast<clsQuillData_MSSQL&>(db).OwnConn()->Execute(L"SELECT pg_backend_pid()");
  return static_cast<pid_t>(CLng(rows->Fields()->Item(0)->Value()));
}

std::vector<ErrorKind> Kinds(const PolicyErrorHandler& errors) {
  std::vector<ErrorKind> kinds;
  for (const auto& r : errors.Reports()) kinds.push_back(r.kind);
  return kinds;
}

std::string gLastDatabase;

// Every test runs on both providers: ODBC (psqlODBC) and libpq; some also through a pooler.
template <Via via>
std::shared_ptr<clsQuillData> OpenOnNewDatabase(const std::shared_ptr<cE>& errors) {
  PgServer* server = PgServer::Shared();
  if (!server || (IsPooled(via) && !PgBouncer::Shared())) return nullptr;
  gLastDatabase = server->NewDatabase(SchemaTemplate(*server));
  return OpenBackend(ConnectionStringVia(*server, gLastDatabase, via), errors);
}

std::string PoolerSkipReason() {
  return PgServer::Binaries().empty() ? PgServer::SkipReason() : PgBouncer::SkipReason();
}

// psql on the last database; a query's values come back through COPY, unformatted.
std::string RunSql(const std::string& sql) {
  PgServer& server = *PgServer::Shared();
  if (sql.rfind("SELECT", 0) != 0) {
    server.Psql(sql, gLastDatabase);
    return {};
  }
  std::string out = server.Psql("COPY (" + sql + " LIMIT 1) TO STDOUT", gLastDatabase);
  const size_t end = out.find_first_of("\t\n");
  return end == std::string::npos ? out : out.substr(0, end);
}

}  // namespace
}  // namespace QuillData::test

namespace QuillData::conformance {
INSTANTIATE_TEST_SUITE_P(
    Postgres, ConformanceTest,
    ::testing::Values(Backend{"Postgres", test::OpenOnNewDatabase<test::Via::Odbc>, test::RunSql,
                              test::PgServer::SkipReason},
                      Backend{"PostgresLibpq", test::OpenOnNewDatabase<test::Via::Libpq>,
                              test::RunSql, test::PgServer::SkipReason},
                      // Through a pooler that lends server connections per transaction.
                      Backend{"PooledPostgres", test::OpenOnNewDatabase<test::Via::PooledOdbc>,
                              test::RunSql, test::PoolerSkipReason},
                      Backend{"PooledPostgresLibpq",
                              test::OpenOnNewDatabase<test::Via::PooledLibpq>, test::RunSql,
                              test::PoolerSkipReason}),
    BackendName);
}  // namespace QuillData::conformance

namespace QuillData::test {
namespace {

class ServerTest : public PgServerTest, public ::testing::WithParamInterface<Via> {
 protected:
  void SetUp() override {
    PgServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
    Server().LoadSchema(Database());
    db = OpenBackend(ConnectionString(), errors);
  }
  std::wstring ConnectionString() const {
    return PgServerTest::ConnectionString(IsLibpq(GetParam()));
  }
  void TearDown() override {
    db.reset();
    gE.reset();
  }

  std::string Sql(const std::string& sql) { return Server().Psql(sql, Database()); }

  std::shared_ptr<PolicyErrorHandler> errors;
  std::shared_ptr<clsQuillData> db;
};

TEST_P(ServerTest, ValuesAreStoredAsTheCallConvertedThem) {
  int32_t mach = db->INSERTMachining(L"Saw", L"G", 1, 12.345, -0.125, 99999.99);
  auto m = db->GETTblMachining()->ItemAs<tblMachining>(Variant(std::to_wstring(mach)));
  ASSERT_NE(m, nullptr);
  EXPECT_DOUBLE_EQ(m->X, 12.35);  // a decimal of scale 2
  EXPECT_DOUBLE_EQ(m->Y, -0.13);
  EXPECT_DOUBLE_EQ(m->Z, 99999.99);

  int32_t even = db->INSERTSELLinkIDFromMachiningLinks(L"T", L"D", L"N", 90.5, 0, 0, 0, L"", L"");
  int32_t odd = db->INSERTSELLinkIDFromMachiningLinks(L"T", L"D", L"N", 91.5, 0, 0, 0, L"", L"");
  auto links = db->GETTblGlobalMachiningLinks();
  EXPECT_DOUBLE_EQ(
      links->ItemAs<tblGlobal_Machining_Links>(Variant(std::to_wstring(even)))->fldAngle, 90);
  EXPECT_DOUBLE_EQ(
      links->ItemAs<tblGlobal_Machining_Links>(Variant(std::to_wstring(odd)))->fldAngle, 92);

  const std::wstring longName = std::wstring(50, L'a') + L"0123456789";
  db->INSERTMachVariable(longName, L"v", 1, true);
  EXPECT_TRUE(db->GETTblMachVariable()->Contains(std::wstring(50, L'a')));
  EXPECT_TRUE(errors->Reports().empty());
}

TEST_P(ServerTest, ANullOrABadCellSpoilsOnlyItsField) {
  int32_t mach = db->INSERTMachining(L"M", L"G", 1, 1, 2, 3);
  int32_t routing = db->INSERTMachRouting(L"R", mach);
  // A server's table may hold a null in any column.
  Sql("ALTER TABLE Machining ALTER COLUMN \"MachName\" DROP NOT NULL");
  Sql("UPDATE Machining SET \"MachName\" = NULL");
  auto m = db->GETTblMachining()->ItemAs<tblMachining>(Variant(std::to_wstring(mach)));
  EXPECT_EQ(m->MachName, L"");
  EXPECT_EQ(m->MachGroup, L"G");
  EXPECT_EQ(m->Z, 3);
  EXPECT_TRUE(errors->Reports().empty());

  Sql("ALTER TABLE MachRouting ALTER COLUMN \"MachID\" TYPE text");
  Sql("UPDATE MachRouting SET \"MachID\" = 'abc'");
  auto goOn = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Continue);
  gE = goOn;
  auto rows = db->GETTblMachRouting();
  ASSERT_EQ(rows->Count(), 1);
  auto r = rows->ItemAs<tblMachRouting>(Variant(std::to_wstring(routing)));
  EXPECT_EQ(r->MachID, 0);
  EXPECT_EQ(r->strName, L"R");
  EXPECT_EQ(r->strActiveFlag, L"A");
  ASSERT_EQ(goOn->Reports().size(), 1u);
  const std::wstring where =
      L"(MachRouting.MachID, row with key '" + std::to_wstring(routing) + L"')";
  EXPECT_NE(goOn->Reports()[0].description.find(where), std::wstring::npos)
      << ToUtf8(goOn->Reports()[0].description);
}

TEST_P(ServerTest, ATooLargeDecimalOrTextIsRefusedAndNothingIsWritten) {
  EXPECT_EQ(db->INSERTMachining(L"Big", L"G", 1, 123456.0, 0, 0), 0);  // precision 7, scale 2
  EXPECT_EQ(db->INSERTMachining(std::wstring(21, L'n'), L"G", 1, 0, 0, 0), 0);
  EXPECT_EQ(db->INSERTMachining(L"Group", L"GG", 1, 0, 0, 0), 0);
  EXPECT_EQ(errors->Reports().size(), 3u);
  EXPECT_EQ(db->GETTblMachining()->Count(), 0);
}

TEST_P(ServerTest, AProcedureThatDoesNotExistIsReportedWithTheServersMessage) {
  Sql("DROP FUNCTION p_d_machining(integer)");
  int32_t mach = db->INSERTMachining(L"M", L"G", 1, 0, 0, 0);
  EXPECT_EQ(db->DELMachining(mach), 0);
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].procedure, L"DelMachining");
  EXPECT_NE(reports[0].description.find(L"p_d_machining"), std::wstring::npos)
      << ToUtf8(reports[0].description);
  EXPECT_EQ(reports[0].sqlState, L"42883") << "undefined function, as a field of its own";
  EXPECT_EQ(reports[0].kind, ErrorKind::NotFound);
  EXPECT_EQ(db->GETTblMachining()->Count(), 1);
}

// A call runs again and again on the statement prepared for it: each run still gets its own
// result, new row or row found again, and a run the server refuses spoils no later one.
TEST_P(ServerTest, ARepeatedCallIsPreparedOnceAndEachRunKeepsItsOwnResult) {
  std::vector<int32_t> ids;
  for (int i = 0; i < 40; ++i) {
    const int32_t id =
        db->INSERTMachining(L"Cut " + std::to_wstring(i % 10), L"C", 1, i * 0.25, 0, 0);
    if (i < 10) {
      ASSERT_GT(id, ids.empty() ? 0 : ids.back()) << i;
      ids.push_back(id);
    } else {
      EXPECT_EQ(id, ids[i % 10]) << i;
    }
    if (i == 20) {
      Sql("ALTER TABLE Machining ADD CHECK (\"X\" < 100)");
      EXPECT_EQ(db->INSERTMachining(L"Too far", L"C", 1, 500, 0, 0), 0);
      ASSERT_EQ(errors->Reports().size(), 1u);
      EXPECT_EQ(errors->Reports()[0].sqlState, L"23514");
      EXPECT_EQ(errors->Reports()[0].kind, ErrorKind::Constraint);
    }
  }
  EXPECT_GT(db->INSERTMachining(L"Last", L"C", 1, 99.5, 0, 0), ids.back());
  EXPECT_EQ(Sql("COPY (SELECT count(*), sum(\"X\") FROM Machining) TO STDOUT"), "11\t110.75\n");

  auto conn = std::dynamic_pointer_cast<clsQuillData_MSSQL>(db)->OwnConn();
  auto prepared = conn->Execute(
      L"SELECT count(*)::integer FROM pg_prepared_statements WHERE statement ILIKE "
      L"'%p_i_machining%' AND statement NOT ILIKE '%pg_prepared_statements%'");
  EXPECT_EQ(prepared->Fields()->Item(0)->Value(), Variant(int32_t{1}));
  EXPECT_EQ(errors->Reports().size(), 1u);
}

// An answer lost in transit: the server ran the call, the client never heard. A call that
// looks its row up first is sent again where the database proves its procedures are the
// shipped ones; anything else is reported "outcome unknown" and never sent twice.
TEST_P(ServerTest, AnAnswerLostInTransitIsSentAgainOnlyWhereThatIsSafe) {
  CuttingProxy proxy(Server().Port());
  const std::wstring viaProxy = ViaPort(ConnectionString(), Server().Port(), proxy.Port());
  auto rows = [&](const char* name) {
    return Sql(std::string("COPY (SELECT count(*), min(\"MachID\") FROM Machining WHERE "
                           "\"MachName\" = '") +
               name + "') TO STDOUT");
  };
  auto retrying = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 3);
  auto shipped = OpenBackend(viaProxy, retrying);
  shipped->INSERTMachining(L"Warm", L"G", 1, 0, 0, 0);  // the call is prepared
  proxy.SwallowNextAnswer();
  const int32_t id = shipped->INSERTMachining(L"Once", L"G", 1, 0, 0, 0);
  EXPECT_EQ(proxy.Swallowed(), 1);
  EXPECT_EQ(rows("Once"), "1\t" + std::to_string(id) + "\n");
  EXPECT_EQ(Kinds(*retrying), std::vector<ErrorKind>{ErrorKind::OutcomeUnknown});

  // A plain insert, in a database of version 1, whose functions were not one step.
  Sql("UPDATE tblSchema_Version SET \"fldVersion\" = 1");
  Sql("CREATE OR REPLACE FUNCTION P_I_Machining(machname text, machgroup text, x numeric, "
      "y numeric, z numeric, machlibid integer) RETURNS integer LANGUAGE sql AS $$ "
      "INSERT INTO Machining (\"MachName\", \"MachGroup\", \"X\", \"Y\", \"Z\", "
      "\"MachLibID\") VALUES (machname, machgroup, x, y, z, machlibid) RETURNING \"MachID\" $$");
  retrying->Clear();
  auto plain = OpenBackend(viaProxy, retrying);
  plain->INSERTMachining(L"Warm", L"G", 1, 0, 0, 0);
  proxy.SwallowNextAnswer();
  EXPECT_EQ(plain->INSERTMachining(L"Plain", L"G", 1, 0, 0, 0), 0);
  EXPECT_EQ(rows("Plain").substr(0, 2), "1\t");
  EXPECT_EQ(Kinds(*retrying), std::vector<ErrorKind>(4, ErrorKind::OutcomeUnknown));
  EXPECT_NE(retrying->Reports()[1].description.find(L"not sent again"), std::wstring::npos);
  // The connection is new and the next call runs.
  EXPECT_GT(plain->INSERTMachining(L"Next", L"G", 1, 0, 0, 0), 0);
  EXPECT_EQ(retrying->Reports().size(), 4u);
}

// The session's server process stops (SIGSTOP), or the pooler in front of the server does:
// the call ends at the command timeout, and the connection given up is replaced by the next
// call.
TEST_P(ServerTest, AFrozenServerProcessOrPoolerTimesOutAndTheNextCallWorks) {
  std::unique_ptr<PgBouncer> pooler;
  if (!PgBouncer::Program().empty()) pooler = std::make_unique<PgBouncer>(Server());
  for (const bool pooled : {false, true}) {
    if (pooled && !pooler) break;
    SCOPED_TRACE(pooled ? "pooler" : "server");
    errors->Clear();
    const std::wstring string =
        pooled ? pooler->ConnectionString(Database(), IsLibpq(GetParam())) : ConnectionString();
    auto frozen = OpenBackend(string + L";Command Timeout=2", errors);
    frozen->INSERTMachining(pooled ? L"Pooled" : L"Before", L"G", 1, 0, 0, 0);
    const pid_t pid = pooled ? pooler->Pid() : BackendPid(*frozen);
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    struct Resume {
      pid_t pid;
      ~Resume() { kill(pid, SIGCONT); }
    } resume{pid};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(frozen->GETTblMachining()->Count(), 0);
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 2.0);
    EXPECT_LT(waited, 5.0);
    ASSERT_EQ(Kinds(*errors), std::vector<ErrorKind>{ErrorKind::Timeout});
    kill(pid, SIGCONT);
    EXPECT_EQ(frozen->GETTblMachining()->Count(), pooled ? 2 : 1);
    EXPECT_EQ(errors->Reports().size(), 1u);
  }
}

// A login that cannot succeed (a database that does not exist) is tried once for each
// answer of the companion, a second apart, never in a silent loop of its own.
TEST_P(ServerTest, ARefusedLoginIsTriedOncePerReportAtMostOnceASecond) {
  auto retrying = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 3);
  auto refused = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_MSSQL");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(
      refused->OpenDB(nullptr, retrying,
                      {Server().ConnectionString("no_such_database", IsLibpq(GetParam())), L"0"}));
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto kinds = Kinds(*retrying);
  ASSERT_EQ(kinds.size(), 4u);
  for (ErrorKind kind : kinds) EXPECT_TRUE(kind == ErrorKind::Login || kind == ErrorKind::NotFound);
  EXPECT_GE(waited, 2.9);
}

// Inside a transaction a writer that fails undoes only its own statements; the store ending
// the transaction (its connection killed) is reported by every later call, and nothing of the
// work is committed or silently redone on a new connection.
TEST_P(ServerTest, AFailedWriterUndoesOnlyItselfAndALostTransactionIsReportedNotHidden) {
  // A procedure that deletes, then fails.
  Sql("CREATE OR REPLACE FUNCTION P_D_Machining(machid integer) RETURNS integer "
      "LANGUAGE plpgsql AS $$ BEGIN DELETE FROM Machining WHERE \"MachID\" = machid; "
      "RAISE EXCEPTION 'refused'; END $$");
  const int32_t before = db->INSERTMachining(L"Before", L"G", 1, 0, 0, 0);
  ASSERT_EQ(db->BeginTrans(), 1);
  const int32_t a = db->INSERTMachining(L"A", L"G", 1, 0, 0, 0);
  // More calls than one run of savepoints holds: the failure comes in the second run.
  for (int i = 0; i < 40; ++i) db->INSERTMachining(L"Row " + std::to_wstring(i), L"G", 1, 0, 0, 0);
  EXPECT_EQ(db->DELMachining(before), 0);
  EXPECT_EQ(errors->Reports().size(), 1u);
  const int32_t b = db->INSERTMachining(L"B", L"G", 1, 0, 0, 0);
  EXPECT_TRUE(db->CommitTrans());
  auto machinings = db->GETTblMachining();
  for (int32_t id : {before, a, b}) EXPECT_TRUE(machinings->Contains(std::to_wstring(id))) << id;

  errors->Clear();
  ASSERT_EQ(db->BeginTrans(), 1);
  EXPECT_GT(db->INSERTMachining(L"Lost", L"G", 1, 0, 0, 0), 0);
  Sql("SELECT pg_terminate_backend(" + std::to_string(BackendPid(*db)) + ")");
  EXPECT_EQ(db->INSERTMachining(L"Lost too", L"G", 1, 0, 0, 0), 0);
  EXPECT_EQ(db->INSERTMachining(L"Lost three", L"G", 1, 0, 0, 0), 0);
  EXPECT_TRUE(db->InTransaction());
  EXPECT_FALSE(db->CommitTrans());
  EXPECT_FALSE(db->InTransaction());
  EXPECT_EQ(Kinds(*errors), std::vector<ErrorKind>(3, ErrorKind::TransactionAborted));
  EXPECT_EQ(Sql("COPY (SELECT count(*) FROM Machining WHERE \"MachName\" LIKE 'Lost%') TO "
                "STDOUT"),
            "0\n");
  // The scope is over: the next call opens a new connection.
  EXPECT_EQ(db->GETTblMachining()->Count(), 43);
  EXPECT_EQ(errors->Reports().size(), 3u);
}

// A serialization failure ends the transaction on the server: the writer, every later one
// and CommitTrans report it, and nothing after the failure is committed.
TEST_P(ServerTest, ASerializationFailureEndsTheTransactionForEveryLaterCall) {
  const int32_t mach = db->INSERTMachining(L"Shared", L"G", 1, 0, 0, 0);
  Sql("ALTER DATABASE " + Database() + " SET default_transaction_isolation = 'repeatable read'");
  auto isolated = OpenBackend(ConnectionString(), errors);
  ASSERT_EQ(isolated->BeginTrans(), 1);
  EXPECT_EQ(isolated->GETTblMachining()->Count(), 1);  // the snapshot is taken
  Sql("UPDATE Machining SET \"MachName\" = 'Theirs' WHERE \"MachID\" = " + std::to_string(mach));
  isolated->UPDATEMachNameFromMachining(L"Mine", 1, mach);
  EXPECT_EQ(isolated->INSERTMachining(L"After", L"G", 1, 0, 0, 0), 0);
  EXPECT_FALSE(isolated->CommitTrans());
  const auto kinds = Kinds(*errors);
  ASSERT_EQ(kinds.size(), 3u);
  EXPECT_EQ(errors->Reports()[0].sqlState, L"40001");
  for (ErrorKind kind : kinds) EXPECT_EQ(kind, ErrorKind::TransactionAborted);
  EXPECT_EQ(Sql("COPY (SELECT string_agg(\"MachName\", ',') FROM Machining) TO STDOUT"),
            "Theirs\n");
  EXPECT_GT(isolated->INSERTMachining(L"Later", L"G", 1, 0, 0, 0), 0);
  EXPECT_EQ(errors->Reports().size(), 3u);
}

// A pooler that lends server sessions per statement cannot hold a transaction: BeginTrans
// says so, nothing is written, and single calls go on through it.
TEST_P(ServerTest, APoolerThatCannotHoldATransactionRefusesBeginTrans) {
  if (PgBouncer::Program().empty()) GTEST_SKIP() << PgBouncer::SkipReason();
  PgBouncer perStatement(Server(), "statement");
  auto pooled = OpenBackend(perStatement.ConnectionString(Database(), IsLibpq(GetParam())), errors);
  EXPECT_GT(pooled->INSERTMachining(L"Before", L"G", 1, 0, 0, 0), 0);
  EXPECT_EQ(pooled->BeginTrans(), 0);
  EXPECT_FALSE(pooled->InTransaction());
  EXPECT_EQ(Kinds(*errors), std::vector<ErrorKind>{ErrorKind::Unsupported});
  EXPECT_GT(pooled->INSERTMachining(L"After", L"G", 1, 0, 0, 0), 0);
  EXPECT_EQ(Sql("COPY (SELECT string_agg(\"MachName\", ',' ORDER BY \"MachID\") FROM Machining) "
                "TO STDOUT"),
            "Before,After\n");
  EXPECT_EQ(errors->Reports().size(), 1u);
  pooled.reset();
}

INSTANTIATE_TEST_SUITE_P(Postgres, ServerTest, ::testing::Values(Via::Odbc, Via::Libpq), ViaName);

// The server going away: a server of the test's own with the schema loaded; for some cases
// also behind a pooler in transaction mode, which keeps the clients' connections while the
// server's come and go.
class ServerGoneTest : public ::testing::TestWithParam<Via> {
 protected:
  void SetUp() override {
    if (IsPooled(GetParam()) && PgBouncer::Program().empty())
      GTEST_SKIP() << PgBouncer::SkipReason();
    if (PgServer::Binaries().empty()) GTEST_SKIP() << PgServer::SkipReason();
    server = std::make_unique<PgServer>(PgServer::Binaries());
    database = server->NewDatabase();
    server->LoadSchema(database);
    if (IsPooled(GetParam())) pooler = std::make_unique<PgBouncer>(*server);
  }
  void TearDown() override { gE.reset(); }
  std::wstring Connection() const {
    return ConnectionStringVia(*server, database, GetParam(), pooler.get());
  }

  std::optional<SmallDisk> disk;  // first: it outlives the server that writes on it
  std::unique_ptr<PgServer> server;
  std::string database;
  std::unique_ptr<PgBouncer> pooler;
};

TEST_P(ServerGoneTest, TheNextCallReportsTheLossAndARetriedOpenDBWaitsForTheServer) {
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
  const std::wstring connection = Connection();
  auto db = OpenBackend(connection, errors);
  int32_t first = db->INSERTConstructionScenario(L"Before", L"");
  EXPECT_GT(first, 0);

  server->Stop();
  EXPECT_EQ(db->INSERTConstructionScenario(L"During", L""), 0);
  ASSERT_EQ(errors->Reports().size(), 1u);
  EXPECT_EQ(errors->Reports()[0].procedure, L"InsertConstructionScenario");
  EXPECT_FALSE(errors->Reports()[0].description.empty());

  // While it is down, OpenDB reports the driver's message with flag 2.
  EXPECT_FALSE(db->OpenDB(nullptr, errors, {connection, L"0"}));
  ASSERT_EQ(errors->Reports().size(), 2u);
  EXPECT_EQ(errors->Reports()[1].flag, 2);
  EXPECT_FALSE(errors->Reports()[1].description.empty());

  // The object whose OpenDB failed connects on a later call: answered "retry", the call
  // waits for the server to come back, up to the connect timeout.
  auto retrying = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 1);
  gE = retrying;
  std::thread starter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    server->Start();
  });
  EXPECT_EQ(db->INSERTConstructionScenario(L"Before", L""), first);
  starter.join();
  EXPECT_EQ(Kinds(*retrying), std::vector<ErrorKind>{ErrorKind::ConnectionLost});
  EXPECT_GT(db->INSERTConstructionScenario(L"After", L""), first);
  EXPECT_EQ(retrying->Reports().size(), 1u);
}

// The server restarts while the connection is idle: every kind of call goes on a new
// connection, once, and nobody is told.
TEST_P(ServerGoneTest, AfterAnIdleRestartEveryKindOfCallRunsOnceUnreported) {
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 3);
  auto db = OpenBackend(Connection(), errors);
  const int32_t kept = db->INSERTMachining(L"Kept", L"G", 1, 0, 0, 0);
  const int32_t gone = db->INSERTMachining(L"Gone", L"G", 1, 0, 0, 0);
  auto restart = [&] {
    server->Stop();
    server->Start();
  };
  restart();
  EXPECT_EQ(db->GETTblMachining()->Count(), 2);
  restart();
  db->UPDATEMachNameFromMachining(L"Renamed", 1, kept);
  restart();
  EXPECT_GT(db->INSERTMachRouting(L"Route", kept), 0);
  restart();
  db->DELMachining(gone);
  restart();
  EXPECT_GT(db->INSERTMachining(L"New", L"G", 1, 0, 0, 0), gone);
  restart();
  ASSERT_EQ(db->BeginTrans(), 1);
  db->INSERTMachVariable(L"Var", L"1", 1, false);
  EXPECT_TRUE(db->CommitTrans());
  auto rows = [&](const std::string& sql) {
    return server->Psql("COPY (" + sql + ") TO STDOUT", database);
  };
  EXPECT_EQ(rows("SELECT string_agg(\"MachName\", ',' ORDER BY \"MachName\") FROM Machining"),
            "New,Renamed\n");
  EXPECT_EQ(rows("SELECT count(*) FROM MachRouting"), "1\n");
  EXPECT_EQ(rows("SELECT count(*) FROM MachVariable"), "1\n");
  EXPECT_TRUE(errors->Reports().empty()) << ToUtf8(errors->Reports()[0].description);
}

// Also behind a pooler, which may hide the restart altogether: a write waits in its queue for
// the server.
class ServerRestartTest : public ServerGoneTest {};

TEST_P(ServerRestartTest, AStreamOfWritesOutlivesARestartUnderRetryWithEveryRowOnce) {
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 3);
  auto db = OpenBackend(Connection() + L";Connect Timeout=20", errors);

  // The server stops once the stream is under way and comes back a moment later.
  std::atomic<int> written{0};
  std::atomic<bool> restarted{false};
  std::thread restarter([&] {
    while (written < 20) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server->Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    server->Start();
    restarted = true;
  });
  std::set<int32_t> ids;
  int rows = 0;
  for (; rows < 5000 && !(restarted && rows >= 60); ++rows) {
    // A look-up-then-insert: sending it again after a loss cannot write it twice.
    ids.insert(db->INSERTMachining(L"Row" + std::to_wstring(rows), L"G", 1, rows, 0, 0));
    ++written;
  }
  restarter.join();

  EXPECT_EQ(static_cast<int>(ids.size()), rows);
  EXPECT_EQ(ids.count(0), 0u) << "a write failed for good";
  // What the server holds: one row per write, none twice.
  auto stored = db->GETTblMachining();
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->Count(), rows);
  auto reports = errors->Reports();
  EXPECT_TRUE(pooler || !reports.empty()) << "the restart fell between two writes unnoticed";
  for (const auto& r : reports) EXPECT_EQ(r.action, kRetry) << ToUtf8(r.description);
}

TEST_P(ServerGoneTest, AFullDiskFailsTheOneWriteAndKeepsEveryEarlierRowAndTheConnection) {
  disk.emplace("64k", "postgres");
  if (!disk->Mounted()) GTEST_SKIP() << "no small tmpfs can be mounted here: disk full untested";
  server->Psql("CREATE TABLESPACE small LOCATION '" + disk->path().string() + "'");
  server->Psql("ALTER TABLE Machining SET TABLESPACE small", database);
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
  auto db = OpenBackend(Connection(), errors);

  int written = 0;
  while (written < 20000 &&
         db->INSERTMachining(L"Row" + std::to_wstring(written), L"G", 1, 0, 0, 0) > 0) {
    ++written;
  }
  ASSERT_EQ(errors->Reports().size(), 1u) << "the disk never filled";
  EXPECT_NE(errors->Reports()[0].description.find(L"No space left on device"), std::wstring::npos)
      << ToUtf8(errors->Reports()[0].description);
  // Every row written before is there; the failed one is not; the connection goes on.
  EXPECT_EQ(db->GETTblMachining()->Count(), written);
  EXPECT_GT(db->INSERTConstructionScenario(L"Elsewhere", L""), 0);
  EXPECT_EQ(errors->Reports().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Postgres, ServerGoneTest, ::testing::Values(Via::Odbc, Via::Libpq),
                         ViaName);
INSTANTIATE_TEST_SUITE_P(Postgres, ServerRestartTest,
                         ::testing::Values(Via::Odbc, Via::Libpq, Via::PooledOdbc,
                                           Via::PooledLibpq),
                         ViaName);

TEST_P(ServerTest, ManyRowsLongValuesAndNullsBetweenThemArriveWhole) {
  // More rows than one fetch brings, nulls among them, and values far longer than a cell's
  // buffer (text beyond the basic plane, bytes), next to each other in one block.
  std::wstring longText;
  while (longText.size() < 6000) longText += L"\u00dcber-Fr\u00e4se \U0001F600 ";
  Sql("INSERT INTO MachVertical (\"MachVerticalID\", \"MachDescription\", \"strName\") "
      "SELECT g, CASE WHEN g % 7 = 0 THEN NULL WHEN g IN (1234, 1235) THEN '" +
      ToUtf8(longText) + "' ELSE 'd' || g END, 'v' || g FROM generate_series(1, 2500) g");
  Sql("INSERT INTO tblLocal_Designs (\"fldDesignName\", \"fldCreated\", \"fldData\") "
      "VALUES ('D', '2024-02-29 12:30:00', decode(repeat('00ff7f', 700), 'hex'))");

  int32_t count = -1;
  auto rows = db->GETTblMachVertical(count);
  ASSERT_EQ(count, 2500);
  for (int g = 1; g <= 2500; ++g) {
    auto v = rows->ItemAs<tblMachVertical>(Variant(std::to_wstring(g)));
    ASSERT_NE(v, nullptr) << g;
    const std::wstring expected = g % 7 == 0               ? L""
                                  : g == 1234 || g == 1235 ? longText
                                                           : L"d" + std::to_wstring(g);
    ASSERT_EQ(v->MachDescription, expected) << g;
    ASSERT_EQ(v->strName, L"v" + std::to_wstring(g)) << g;
  }

  auto design = db->GETTblLocalDesigns()->ItemAs<tblLocal_Designs>(1);
  ASSERT_NE(design, nullptr);
  EXPECT_NEAR(design->fldCreated.value, *DaysFromCivil(2024, 2, 29, 12, 30, 0), 1e-9);
  const auto* bytes = design->fldData.Get<Variant::Bytes>();
  ASSERT_NE(bytes, nullptr);
  ASSERT_EQ(bytes->size(), 2100u);
  EXPECT_EQ((*bytes)[2097], 0x00);
  EXPECT_EQ((*bytes)[2098], 0xff);
  EXPECT_EQ((*bytes)[2099], 0x7f);
  EXPECT_TRUE(errors->Reports().empty());
}

TEST(ServerReaders, OnAProviderThatOnlyGathersRowsEachCellConvertsAsItsFieldSays) {
  auto recorder = std::make_shared<QuillData::testing::RecordingProvider>();
  ado::RegisterProvider(L"Recording", recorder);
  ado::RowSet rows;
  rows.columns = {{L"machid", ado::adInteger},     {L"MachName", ado::adVarWChar},
                  {L"MachGroup", ado::adVarWChar}, {L"X", ado::adVarWChar},
                  {L"Y", ado::adDouble},           {L"MachLibID", ado::adDouble}};
  rows.rows = {
      {Variant(7), Variant(L"Saw"), Variant::Null(), Variant(L"2"), Variant(0.5), Variant(3.5)},
      {Variant(7), Variant(L"Drill"), Variant(L"G"), Variant(L"-1"), Variant(1.0), Variant(4.5)}};
  recorder->AnswerFor(L"SELECT * FROM Machining;", rows);
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Continue);
  auto db = OpenBackend(L"Provider=Recording", errors);

  int32_t count = -1;
  auto machinings = db->GETTblMachining(count);
  EXPECT_EQ(count, 2);
  auto first = machinings->ItemAs<tblMachining>(Variant(L"7"));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->MachName, L"Saw");
  EXPECT_EQ(first->MachGroup, L"");
  EXPECT_EQ(first->X, 2);
  EXPECT_EQ(first->MachLibID, 4);  // half to even
  // The second row shares the key: it goes in without one.
  auto second = machinings->ItemAs<tblMachining>(Variant(2));
  EXPECT_EQ(second->MachName, L"Drill");
  EXPECT_EQ(second->X, -1);
  EXPECT_EQ(second->MachLibID, 4);
  EXPECT_FALSE(machinings->KeyAt(2).has_value());
  // The table lacks Z: each row reports it, naming the row.
  ASSERT_EQ(errors->Reports().size(), 2u);
  EXPECT_NE(errors->Reports()[0].description.find(L"(Machining.Z, row with key '7')"),
            std::wstring::npos)
      << ToUtf8(errors->Reports()[0].description);
  db.reset();
  gE.reset();
  ado::RegisterProvider(L"Recording", nullptr);
}

}  // namespace
}  // namespace QuillData::test
