// Several workstations on one server: find-or-insert writers called by clients at once leave
// one row per key and hand every client its id; a call waits for another session's open
// transaction that holds its key or its machining; and no id is handed out twice, neither by
// the server's numbering nor after a transfer.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <latch>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "support/PgServer.h"
#if QUILLDATA_WITH_SQLITE && QUILLDATA_WITH_MAINTENANCE
#include "QuillData/maintenance/Transfer.h"
#include "QuillData/sqlite/Schema.h"
#include "sqlite/SqliteFixture.h"
#include "support/TestSupport.h"
#endif

namespace QuillData::test::clients {
namespace {

std::shared_ptr<clsQuillData> Open(const std::wstring& connection,
                                   const std::shared_ptr<cE>& errors) {
  auto db = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_MSSQL");
  return db->OpenDB(nullptr, errors, {connection, L"0"}) ? db : nullptr;
}

std::wstring N(const wchar_t* prefix, int i) {
  return prefix + std::to_wstring(i);
}

// Each provider straight to the server, and through a pooler that lends server connections
// per transaction.
class ManyClientsTest : public PgServerTest, public ::testing::WithParamInterface<Via> {
 protected:
  void SetUp() override {
    PgServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (IsPooled(GetParam()) && !PgBouncer::Shared()) GTEST_SKIP() << PgBouncer::SkipReason();
    Server().LoadSchema(Database());
  }
  std::wstring Conn(const std::string& database) const {
    return ConnectionStringVia(Server(), database, GetParam());
  }

  // Runs `body` on `clients` backends, each of its own on a thread of its own, released
  // together once all are open; returns what any of them reported.
  std::vector<std::string> AtOnce(int clients,
                                  const std::function<void(clsQuillData&, int client)>& body) {
    const std::wstring connection = Conn(Database());
    std::latch open(clients);
    std::mutex mutex;
    std::vector<std::string> reported;
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
      threads.emplace_back([&, c] {
        auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
        auto db = Open(connection, errors);
        open.arrive_and_wait();
        std::string failure = db ? "" : "client " + std::to_string(c) + " could not open";
        try {
          if (db) body(*db, c);
        } catch (const QuillError& e) {
          failure = ToUtf8(e.Description());
        }
        db.reset();
        gE.reset();
        std::lock_guard lock(mutex);
        for (const auto& r : errors->Reports())
          reported.push_back(ToUtf8(r.procedure + L": " + r.description));
        if (!failure.empty()) reported.push_back(failure);
      });
    }
    for (auto& t : threads) t.join();
    return reported;
  }

  // What a query returns, as COPY prints it, without the last line break.
  std::string Value(const std::string& select) {
    std::string out = Server().Psql("COPY (" + select + ") TO STDOUT", Database());
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
};

constexpr int kClients = 4;
constexpr int kKeys = 200;

// One writer of each family, every client calling it for the same keys in the same order.
struct Family {
  const char* name;
  // The id the call returns for key i; -1 for a writer without one.
  std::function<int32_t(clsQuillData&, int client, int i)> call;
  // Keys and rows of the table afterwards, "keys<TAB>rows": 200 of each.
  std::string count;
};

TEST_P(ManyClientsTest, ClientsAtOnceFindOrInsertOneRowPerKeyAndShareItsId) {
  const std::vector<Family> families = {
      {"machining",
       [](clsQuillData& db, int, int i) {
         return db.INSERTMachining(N(L"M", i), L"G", 1, i * 0.25, 0, 0);
       },
       "SELECT count(DISTINCT \"MachName\"), count(*) FROM Machining"},
      {"variable",
       [](clsQuillData& db, int, int i) {
         return db.INSERTMachVariable(N(L"V", i), L"1", 1, true);
       },
       "SELECT count(DISTINCT \"Name\"), count(*) FROM MachVariable"},
      // The expression variable is found without regard to letter case: each client spells it
      // its own way.
      {"link",
       [](clsQuillData& db, int c, int i) {
         return db.INSERTMachLink(7, i, L"list", c % 2 ? N(L"EXPR", i) : N(L"expr", i), true,
                                  false);
       },
       "SELECT count(DISTINCT \"MachRuleID\"), count(*) FROM MachLink"},
      {"assignment",
       [](clsQuillData& db, int, int i) {
         return db.INSERTImprintAssignments(3, L"T", i, 2, L"f1", L"f2", L"n1", L"n2", L"1", L"2",
                                            L"", L"", true);
       },
       "SELECT count(DISTINCT \"fldstrPartType1\"), count(*) FROM tblGlobal_Imprint_Assignments"},
      // Each client sets its own link column of the same assignment's pattern: one pattern per
      // assignment, holding all four.
      {"pattern",
       [](clsQuillData& db, int c, int i) {
         static const wchar_t* const kFields[] = {L"EE", L"EF", L"FE", L"FF"};
         db.INSERTUPDATEGlobalRelationAssignments(3, i, 2, L"1", L"2", L"f1", L"f2", L"n1", L"n2",
                                                  1000 * (c + 1) + i, kFields[c]);
         return -1;
       },
       "SELECT count(DISTINCT a.\"fldPartType1\"), count(*) FROM tblGlobal_Relation_Assignments a "
       "JOIN tblGlobal_Relationship_Patterns p USING (\"fldPatternID\") WHERE p.\"fldLinkIDEE\" "
       "> 0 AND p.\"fldLinkIDEF\" > 0 AND p.\"fldLinkIDFE\" > 0 AND p.\"fldLinkIDFF\" > 0 AND "
       "(SELECT count(*) FROM tblGlobal_Relationship_Patterns) = 200"},
  };
  for (const Family& family : families) {
    SCOPED_TRACE(family.name);
    std::vector<std::vector<int32_t>> ids(kClients, std::vector<int32_t>(kKeys));
    EXPECT_EQ(AtOnce(kClients,
                     [&](clsQuillData& db, int c) {
                       for (int i = 0; i < kKeys; ++i) ids[c][i] = family.call(db, c, i);
                     }),
              std::vector<std::string>{});
    EXPECT_EQ(Value(family.count), "200\t200");
    int differing = 0;  // keys whose clients got different ids, or none
    for (int i = 0; i < kKeys; ++i) {
      bool same = ids[0][i] != 0;
      for (int c = 1; c < kClients; ++c) same = same && ids[c][i] == ids[0][i];
      differing += same ? 0 : 1;
    }
    EXPECT_EQ(differing, 0);
  }

  // A routing row is written anew by every call, for a machining that exists: while three
  // clients add rows, the fourth deletes every other machining. No row outlives its
  // machining, and each row written has an id of its own.
  std::vector<int32_t> machinings;
  {
    auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
    auto db = Open(Conn(Database()), errors);
    ASSERT_NE(db, nullptr);
    for (int i = 0; i < kKeys; ++i)
      machinings.push_back(db->INSERTMachining(N(L"R", i), L"G", 2, 0, 0, 0));
    db.reset();
    gE.reset();
  }
  std::vector<std::set<int32_t>> kept(kClients);
  EXPECT_EQ(AtOnce(kClients,
                   [&](clsQuillData& db, int c) {
                     for (int i = 0; i < kKeys; ++i) {
                       if (c == kClients - 1) {
                         if (i % 2 == 0) db.DELMachining(machinings[i]);
                       } else if (const int32_t id = db.INSERTMachRouting(L"R", machinings[i])) {
                         if (i % 2 == 1) kept[c].insert(id);
                       }
                     }
                   }),
            std::vector<std::string>{});
  std::set<int32_t> ids;
  for (const auto& client : kept) ids.insert(client.begin(), client.end());
  EXPECT_EQ(ids.size(), size_t{(kClients - 1) * kKeys / 2});
  EXPECT_EQ(
      Value("SELECT count(*), count(DISTINCT \"lngMachRoutingID\"), sum(\"lngMachRoutingID\") "
            "FROM MachRouting"),
      std::to_string(ids.size()) + "\t" + std::to_string(ids.size()) + "\t" +
          std::to_string(std::accumulate(ids.begin(), ids.end(), int64_t{0})));
  EXPECT_EQ(Value("SELECT count(*) FROM MachRouting r WHERE NOT EXISTS (SELECT 1 FROM Machining "
                  "m WHERE m.\"MachID\" = r.\"MachID\")"),
            "0");
}

// Another session's transaction, still open, holds a machining's name (found or inserted),
// deletes one machining and adds a routing row to another. Calls for the same rows wait for
// it to end and then see what it did.
TEST_P(ManyClientsTest, ACallWaitsForAnOpenTransactionThatHoldsItsRow) {
  Value(
      "SELECT P_I_Machining('Deleted', 'G', 0, 0, 0, 1), P_I_Machining('Routed', 'G', 0, 0, 0, 1)");
  const std::string deleted =
      Value("SELECT \"MachID\" FROM Machining WHERE \"MachName\" = 'Deleted'");
  const std::string routed =
      Value("SELECT \"MachID\" FROM Machining WHERE \"MachName\" = 'Routed'");
  std::thread holder([&] {
    Server().Psql("BEGIN; SELECT P_I_Machining('Held', 'G', 0, 0, 0, 1); SELECT P_D_Machining(" +
                      deleted + "); SELECT P_I_MachRouting('Early', " + routed +
                      ", 0); SELECT pg_sleep(2); COMMIT;",
                  Database());
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (Value("SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep' AND "
               "datname = current_database()") != "1" &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

  int32_t held = 0;
  int32_t routing = -1;
  EXPECT_EQ(AtOnce(3,
                   [&](clsQuillData& db, int c) {
                     if (c == 0) held = db.INSERTMachining(L"Held", L"G", 1, 0, 0, 0);
                     if (c == 1) routing = db.INSERTMachRouting(L"Late", std::stoi(deleted));
                     if (c == 2) db.DELMachining(std::stoi(routed));
                   }),
            std::vector<std::string>{});
  holder.join();
  EXPECT_EQ(Value("SELECT count(*), min(\"MachID\") FROM Machining WHERE \"MachName\" = 'Held'"),
            "1\t" + std::to_string(held));
  EXPECT_EQ(routing, 0) << "a routing row for the machining deleted meanwhile";
  EXPECT_EQ(Value("SELECT count(*) FROM Machining"), "1");
  EXPECT_EQ(Value("SELECT count(*) FROM MachRouting"), "0");
}

// Every table's own id comes from the server's numbering, which never goes back; the imprint
// definitions take their assignment's.
TEST_P(ManyClientsTest, EveryIdComesFromANumberingThatNeverGoesBack) {
  EXPECT_EQ(Value("SELECT string_agg(c.table_name || '.' || c.column_name, ' ') "
                  "FROM information_schema.table_constraints t JOIN "
                  "information_schema.key_column_usage k USING (constraint_name, table_name) JOIN "
                  "information_schema.columns c USING (table_name, column_name) "
                  "WHERE t.constraint_type = 'PRIMARY KEY' AND t.table_schema = current_schema() "
                  "AND (c.is_identity = 'NO' OR c.identity_cycle = 'YES')"),
            "tblglobal_imprint_definitions.fldlngRelationPattern");
}

#if QUILLDATA_WITH_SQLITE && QUILLDATA_WITH_MAINTENANCE
// A transfer restarts each server id's numbering past the highest id the source ever handed
// out (a deleted row's too), and never below where the target's numbering stood; a file that
// numbers with AUTOINCREMENT keeps the mark as well.
TEST_P(ManyClientsTest, ATransferNeverRestartsTheNumberingBelowAnIdUsedBefore) {
  ScratchDir dir;
  // A file (its ids number with AUTOINCREMENT): machinings 1, 2 and 3, the last one deleted.
  const auto source = dir / "source.db", target = dir / "target.db";
  CreateDatabase(source, false);
  CreateDatabase(target, false);
  EXPECT_EQ(
      testing::RawDb(source).Exec(
          "INSERT INTO Machining (MachName) VALUES ('a'), ('b'), ('c'); DELETE FROM Machining "
          "WHERE MachID = 3; INSERT INTO MachVariable (Name) VALUES ('v');"),
      0);
  // The target's variables had ids up to 5 once.
  Value("SELECT P_I_MachVariable('v' || g, '', false, 1) FROM generate_series(1, 5) g");
  Server().Psql("DELETE FROM MachVariable", Database());

  TransferDatabase({source, {}}, {{}, Conn(Database())});
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
  auto db = Open(Conn(Database()), errors);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->INSERTMachining(L"d", L"G", 1, 0, 0, 0), 4);
  EXPECT_EQ(db->INSERTMachVariable(L"w", L"", 1, false), 6);
  db->DELMachining(4);
  db.reset();
  gE.reset();

  // On from this server, which has handed out machining 4: to another server and to a file.
  const std::string other = Server().NewDatabase();
  Server().LoadSchema(other);
  TransferDatabase({{}, Conn(Database())}, {{}, Conn(other)});
  EXPECT_EQ(Server().Psql("COPY (SELECT P_I_Machining('e', 'G', 0, 0, 0, 1)) TO STDOUT", other),
            "5\n");
  TransferDatabase({{}, Conn(Database())}, {target, {}});
  EXPECT_EQ(testing::RawDb(target).Query("SELECT seq FROM sqlite_sequence WHERE name = "
                                         "'Machining'"),
            std::vector<testing::Row>{{"4"}});
  EXPECT_TRUE(errors->Reports().empty());
}
#endif

INSTANTIATE_TEST_SUITE_P(Postgres, ManyClientsTest,
                         ::testing::Values(Via::Odbc, Via::Libpq, Via::PooledOdbc,
                                           Via::PooledLibpq),
                         ViaName);

}  // namespace
}  // namespace QuillData::test::clients
