// server-init and the transfer between a database file and a real PostgreSQL server: what
// arrives, byte for byte and through every reader; refusals; and a transfer that fails or is
// killed part-way leaving the target as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/maintenance/ServerSchema.h"
#include "QuillData/maintenance/Transfer.h"
#include "QuillData/sqlite/Schema.h"
#include "cli/Json.h"
#include "cli/Operations.h"
#include "cli/RunTool.h"
#include "contract/TableReaders.h"
#include "maintenance/dialect/Dialect.h"
#include "maintenance/transfer/FileSide.h"
#include "maintenance/transfer/ServerSide.h"
#include "sqlite/SchemaTables.h"
#include "sqlite/SqliteFixture.h"
#include "support/PgServer.h"
#include "support/TestSupport.h"

namespace QuillData {
namespace {

namespace fs = std::filesystem;

// Lines of a query's result through psql, one row per line, columns separated by tabs.
std::vector<std::string> Lines(const test::PgServer& server, const std::string& database,
                               const std::string& select) {
  std::istringstream in(server.Psql("COPY (" + select + ") TO STDOUT", database));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs SQL on the file, on a connection of its own.
// What the tool says of a transfer of `rows` rows: every table of the schema is carried.
std::string Verified(int64_t rows) {
  return std::to_string(rows) + " rows in " + std::to_string(sqlite_detail::SchemaTables().size()) +
         " tables, verified";
}

void Exec(const fs::path& file, const std::string& sql) {
  testing::RawDb raw(file);
  ASSERT_EQ(raw.Exec(sql), SQLITE_OK) << raw.Error() << " in " << sql;
}

// Each value with its storage class, exactly: REAL as its bits, TEXT and BLOB as their bytes;
// the first row holds the column names.
using Table = std::vector<std::vector<std::string>>;
std::map<std::string, Table> ReadFile(const fs::path& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::vector<std::string> names;
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &stmt, nullptr);
  while (sqlite3_step(stmt) == SQLITE_ROW)
    names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
  sqlite3_finalize(stmt);
  std::map<std::string, Table> out;
  for (const auto& name : names) {
    // The id counters are kept one row per table, in the order the tables were first written.
    const std::string order = name == "sqlite_sequence" ? "name" : "rowid";
    sqlite3_prepare_v2(db, ("SELECT * FROM \"" + name + "\" ORDER BY " + order).c_str(), -1, &stmt,
                       nullptr);
    Table& rows = out[name];
    rows.emplace_back();
    for (int c = 0; c < sqlite3_column_count(stmt); ++c)
      rows[0].emplace_back(sqlite3_column_name(stmt, c));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        const int type = sqlite3_column_type(stmt, c);
        std::string cell = std::to_string(type) + ":";
        if (type == SQLITE_FLOAT) {
          cell += std::to_string(std::bit_cast<uint64_t>(sqlite3_column_double(stmt, c)));
        } else if (type != SQLITE_NULL) {
          const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, c));
          cell.append(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
        }
        row.push_back(std::move(cell));
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return out;
}

// The sample data and rows no transfer should bend: quotes of every kind, backslashes, array
// and escape syntax, the driver's parameter mark, non-ASCII text, emoji, 100 KB of text,
// doubles at the edges of their range, both booleans, a date with a fraction, and blobs
// holding every byte value, an empty one and 100 KB.
void MakeShop(const fs::path& path) {
  CreateDatabase(path, true);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const std::vector<std::string> texts = {
      "O'Brien's \"quoted\" \\back\\slash\\",
      "{braces},{\"array\"},NULL,{fn now()} ? ?? $1 $$ -- /* not a comment */",
      "Grüße, Œuvre, 東京, Ελληνικά, עברית",
      "emoji 🪚🔩🛠️ and a surrogate pair 𝄞",
      std::string(100 * 1024, 'x') + "end",
      "",
      "NULL",
      " leading and trailing blanks ",
      "line\nbreak\ttab\rreturn"};
  const std::vector<double> doubles = {0.1,
                                       1.0 / 3,
                                       -2.5e-300,
                                       4.9406564584124654e-324,
                                       1.7976931348623157e308,
                                       123456789.12345678,
                                       -0.0,
                                       9007199254740993.0};
  sqlite3_stmt* m = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO Machining (MachID, MachName, MachGroup, X, Y, Z, MachLibID) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?)",
                     -1, &m, nullptr);
  for (size_t i = 0; i < texts.size(); ++i) {
    sqlite3_bind_int(m, 1, static_cast<int>(100 + i));
    sqlite3_bind_text(m, 2, texts[i].c_str(), static_cast<int>(texts[i].size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(m, 3, texts[(i + 1) % texts.size()].c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(m, 4, doubles[i % doubles.size()]);
    sqlite3_bind_double(m, 5, doubles[(i + 3) % doubles.size()]);
    sqlite3_bind_double(m, 6, doubles[(i + 5) % doubles.size()]);
    sqlite3_bind_int(m, 7, static_cast<int>(i % 3));
    EXPECT_EQ(sqlite3_step(m), SQLITE_DONE);
    sqlite3_reset(m);
  }
  sqlite3_finalize(m);
  sqlite3_stmt* d = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO tblLocal_Designs (fldDesignID, fldDesignName, fldComputerName, "
                     "fldCheckSum, fldCreated, fldData) VALUES (?, ?, 'PC', 7, ?, ?)",
                     -1, &d, nullptr);
  std::string every;
  for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
  const std::vector<std::pair<std::string, std::string>> designs = {
      {"2024-02-29 23:59:59.25", every + "\\x00'\"{}"},
      {"1999-12-31 00:00:00", ""},
      {"2030-01-01 12:00:00", std::string(100 * 1024, '\xA5')}};
  for (size_t i = 0; i < designs.size(); ++i) {
    sqlite3_bind_int(d, 1, static_cast<int>(10 + i));
    sqlite3_bind_text(d, 2, texts[i].c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(d, 3, designs[i].first.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(d, 4, designs[i].second.data(), static_cast<int>(designs[i].second.size()),
                      SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(d), SQLITE_DONE);
    sqlite3_reset(d);
  }
  sqlite3_finalize(d);
  sqlite3_close(db);
  // More rows for the readers, without ids of their own.
  Exec(path,
       "INSERT INTO MachVariable (MachVarID, Name, Value, Requested, MachLibID) VALUES "
       "(50, 'Flag on', '1', 1, 7), (51, 'Flag off', 'x''y', 0, 7);"
       "CREATE TEMP TABLE n AS WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
       "WHERE i < 299) SELECT i FROM n;"
       "INSERT INTO tblFilter_Scenarios SELECT '0', 'P' || i, 'Q' || i, 'A', 'B' FROM n;"
       "INSERT INTO tblMFG_Part_Types SELECT i || '', 'Part ' || i, 'S' || i, 'Sub', i % 2, "
       "'Panel', 'Length' FROM n");
}

// Every test runs with the server reached through ODBC and through libpq (true).
class TransferTest : public test::PgServerTest, public ::testing::WithParamInterface<bool> {
 protected:
  std::wstring Conn(const test::PgServer& server, const std::string& db) const {
    return server.ConnectionString(db, GetParam());
  }
  // A database of the server with the schema installed by server-init.
  std::string InitializedDatabase() {
    const std::string db = Server().NewDatabase();
    EXPECT_TRUE(InitializeServer(Conn(Server(), db)).installed);
    return db;
  }
  TransferSide OnServer(const std::string& db) { return {{}, Conn(Server(), db)}; }
  int64_t ServerRows(const std::string& db) {
    int64_t rows = 0;
    for (const auto& table : PostgresSchemaTables()) {
      if (table != "tblSchema_Version")
        rows += std::stoll(Lines(Server(), db, "SELECT count(*) FROM " + table).at(0));
    }
    return rows;
  }

  test::ScratchDir scratch_;
  const fs::path dir_ = scratch_.path();
};

TEST_P(TransferTest, ServerInitInstallsWhatPsqlLoadsOnceAndRefusesTablesOfTheSameNames) {
  // The catalogue of a database: tables with their columns, and functions with their
  // arguments.
  auto catalogue = [&](const std::string& db) {
    return Lines(Server(), db,
                 "SELECT table_name || '.' || column_name || ' ' || data_type || ' ' || "
                 "is_nullable || ' ' || coalesce(column_default, '') FROM "
                 "information_schema.columns WHERE table_schema = 'public' UNION ALL "
                 "SELECT p.oid::regprocedure::text || ' ' || md5(p.prosrc) FROM pg_proc p "
                 "WHERE p.pronamespace = 'public'::regnamespace ORDER BY 1");
  };
  const std::string byPsql = Server().NewDatabase();
  Server().LoadSchema(byPsql);
  const std::string byTool = Server().NewDatabase();
  const auto first = InitializeServer(Conn(Server(), byTool));
  EXPECT_TRUE(first.installed);
  EXPECT_EQ(first.version, kServerSchemaVersion);
  EXPECT_EQ(catalogue(byTool), catalogue(byPsql));
  const auto versionRow = Lines(Server(), byTool, "SELECT * FROM tblSchema_Version");
  EXPECT_EQ(versionRow.size(), 1u);

  // Again: nothing changes, not even the functions' identities.
  const std::string oidsSql =
      "SELECT oid FROM pg_proc WHERE pronamespace = 'public'::regnamespace UNION ALL "
      "SELECT oid FROM pg_class WHERE relnamespace = 'public'::regnamespace ORDER BY 1";
  const auto oids = Lines(Server(), byTool, oidsSql);
  const auto again = InitializeServer(Conn(Server(), byTool));
  EXPECT_FALSE(again.installed);
  EXPECT_EQ(again.version, kServerSchemaVersion);
  EXPECT_EQ(Lines(Server(), byTool, oidsSql), oids);
  EXPECT_EQ(Lines(Server(), byTool, "SELECT * FROM tblSchema_Version"), versionRow);

  // Version 1, whose look-up-first functions did not hold their key: upgraded in one
  // transaction to what the script installs, with a version row more. A newer version is
  // refused, and nothing changes.
  Server().Psql(
      "UPDATE tblSchema_Version SET \"fldVersion\" = 1; DROP FUNCTION quill_lock_key; CREATE OR "
      "REPLACE FUNCTION P_U_VariableMachining(machid integer, variabletoupdate text, newvalue "
      "numeric) RETURNS integer LANGUAGE sql AS $$ SELECT 0 $$",
      byTool);
  const auto upgraded = InitializeServer(Conn(Server(), byTool));
  EXPECT_FALSE(upgraded.installed);
  EXPECT_EQ(upgraded.upgradedFrom, 1);
  EXPECT_EQ(upgraded.version, kServerSchemaVersion);
  EXPECT_EQ(catalogue(byTool), catalogue(byPsql));
  const std::string versions = "SELECT \"fldVersion\" FROM tblSchema_Version ORDER BY 1";
  EXPECT_EQ(Lines(Server(), byTool, versions),
            (std::vector<std::string>{"1", std::to_string(kServerSchemaVersion)}));
  Server().Psql(
      "INSERT INTO tblSchema_Version VALUES (" + std::to_string(kServerSchemaVersion + 1) + ")",
      byTool);
  auto newer =
      EXPECT_QUILL_ERROR(InitializeServer(Conn(Server(), byTool)), ServerInitRefusal::NewerVersion);
  EXPECT_EQ(newer.Kind(), ErrorKind::RefusedArgument);
  EXPECT_NE(newer.Description().find(L"newer"), std::wstring::npos) << ToUtf8(newer.Description());
  EXPECT_EQ(catalogue(byTool), catalogue(byPsql));

  // Someone else's tables of the same names: refused, naming them, nothing written.
  Server().Psql("CREATE TABLE machining (x int); CREATE TABLE tblscenario (y text)", Database());
  auto e = EXPECT_QUILL_ERROR(InitializeServer(Conn(Server(), Database())),
                              ServerInitRefusal::TablesExist);
  EXPECT_NE(e.Description().find(L"Machining"), std::wstring::npos) << ToUtf8(e.Description());
  EXPECT_NE(e.Description().find(L"tblScenario"), std::wstring::npos);
  EXPECT_EQ(Lines(Server(), Database(),
                  "SELECT count(*) FROM pg_proc WHERE pronamespace = 'public'::regnamespace"),
            std::vector<std::string>{"0"});
  EXPECT_EQ(Lines(Server(), Database(),
                  "SELECT count(*) FROM pg_class WHERE relnamespace = 'public'::regnamespace "
                  "AND relkind = 'r'"),
            std::vector<std::string>{"2"});
}

TEST_P(TransferTest, FileToServerToFileKeepsEveryValueAndId) {
  const fs::path shop = dir_ / "shop.db";
  const fs::path back = dir_ / "back.db";
  MakeShop(shop);
  const std::string db = InitializedDatabase();
  int64_t reported = 0;
  const auto there = TransferDatabase({shop, {}}, OnServer(db));
  const auto home = TransferDatabase(OnServer(db), {back, {}});
  ASSERT_EQ(there.size(), 24u);
  for (size_t t = 0; t < there.size(); ++t) {
    EXPECT_EQ(there[t].sourceRows, there[t].targetRows) << ToUtf8(there[t].table);
    EXPECT_EQ(there[t].sourceChecksum, there[t].targetChecksum) << ToUtf8(there[t].table);
    // Both ways the same contents, whichever side computed the checksum.
    EXPECT_EQ(home[t].targetChecksum, there[t].targetChecksum) << ToUtf8(there[t].table);
    reported += there[t].nullsAsDefault;
  }

  // Byte for byte, except where the server's column refuses NULL and holds its default.
  std::set<std::string> notNull;
  for (const auto& line :
       Lines(Server(), db,
             "SELECT lower(table_name) || '.' || column_name FROM information_schema.columns "
             "WHERE table_schema = 'public' AND is_nullable = 'NO'"))
    notNull.insert(line);
  const auto before = ReadFile(shop);
  const auto after = ReadFile(back);
  ASSERT_EQ(before.size(), after.size());
  int64_t defaulted = 0;
  for (const auto& [table, rows] : before) {
    ASSERT_TRUE(after.count(table)) << table;
    const Table& other = after.at(table);
    ASSERT_EQ(rows.size(), other.size()) << table;
    const auto& columns = rows[0];
    std::string lower = table;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (size_t r = 1; r < rows.size(); ++r) {
      for (size_t c = 0; c < rows[r].size(); ++c) {
        if (rows[r][c] == "5:" && notNull.count(lower + "." + columns[c])) {
          EXPECT_NE(other[r][c], "5:");
          ++defaulted;
          continue;
        }
        EXPECT_TRUE(other[r][c] == rows[r][c])
            << table << " row " << r << " column " << columns[c] << ": " << rows[r][c].substr(0, 80)
            << " came back as " << other[r][c].substr(0, 80);
      }
    }
  }
  EXPECT_EQ(defaulted, reported);
  EXPECT_GT(defaulted, 0);  // the sample's routing row written with its name only
}

// Fields that one backend's reader leaves unfilled by design.
struct Unfilled {
  std::wstring_view operation;
  std::wstring_view field;
};
constexpr Unfilled kUnfilled[] = {
    {L"GETTblMachRouting", L"MachDescription"},         // the server's reader
    {L"GETTblLocalRelationAssignments", L"fldItemID"},  // the server's reader
    {L"GETTblLocalDesigns", L"fldData"},                // the file's reader
};

TEST_P(TransferTest, AllReadersAnswerAlikeOnTheFileAndOnTheServerAfterTheMove) {
  const fs::path shop = dir_ / "readers.db";
  MakeShop(shop);
  {
    // The file's readers take a double through its 15-digit text and a date without a
    // fraction of a second: values both backends read alike.
    Exec(shop,
         "UPDATE Machining SET X = CAST(printf('%.15g', X) AS REAL), Y = CAST(printf('%.15g', "
         "Y) AS REAL), Z = CAST(printf('%.15g', Z) AS REAL);"
         "UPDATE tblLocal_Designs SET fldCreated = substr(fldCreated, 1, 19)");
  }
  const std::string db = InitializedDatabase();
  TransferDatabase({shop, {}}, OnServer(db));

  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
  auto file = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_SqlLite");
  ASSERT_TRUE(file->OpenDB(nullptr, errors, {L"", shop.wstring(), L"0"}));
  auto server = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_MSSQL");
  ASSERT_TRUE(server->OpenDB(nullptr, errors, {Conn(Server(), db), L"0"}));

  int readers = 0;
  for (const auto& op : cli::Operations()) {
    if (op.Result() != cli::ResultType::Collection) continue;
    ++readers;
    for (const std::string flag : {"true", "false"}) {
      // Only GETFilterScenariosCol takes an argument besides the count.
      const bool takesFlag = op.RequiredCount() == 1;
      if (!takesFlag && flag == "false") continue;
      auto call = op.Bind(takesFlag ? std::vector<std::string>{flag} : std::vector<std::string>{});
      const Variant a = call(*file).result;
      const Variant b = call(*server).result;
      auto left = a.ObjectAs<Tessera::Collection>();
      auto right = b.ObjectAs<Tessera::Collection>();
      ASSERT_TRUE(left && right) << op.NameUtf8();
      ASSERT_EQ(left->Count(), right->Count()) << op.NameUtf8();
      EXPECT_GT(left->Count(), 0) << op.NameUtf8();
      for (int32_t i = 1; i <= left->Count(); ++i) {
        auto x = left->Item(i).ObjectAs<Record>();
        auto y = right->Item(i).ObjectAs<Record>();
        ASSERT_TRUE(x && y) << op.NameUtf8();
        // The one difference the backends are made with: the server keys a filter row whose
        // second part type is "0" by its first part type and subtype only.
        std::wstring key = left->KeyAt(i).value_or(L"?");
        if (op.Name() == L"GETTblFilterScenarios" &&
            std::static_pointer_cast<tblFilter_Scenarios>(x)->fldPartType2 == L"0")
          key = key.substr(0, key.find(L'#'));
        ASSERT_EQ(key, right->KeyAt(i).value_or(L"?")) << op.NameUtf8() << " item " << i;
        const RecordType& type = x->Type();
        ASSERT_EQ(&type, &y->Type());
        for (size_t f = 0; f < type.Fields().size(); ++f) {
          const bool unfilled =
              std::any_of(std::begin(kUnfilled), std::end(kUnfilled), [&](const Unfilled& u) {
                return u.operation == op.Name() && u.field == type.Fields()[f].name;
              });
          if (unfilled) continue;
          EXPECT_TRUE(type.Get(*x, f) == type.Get(*y, f))
              << op.NameUtf8() << " item " << i << " field " << ToUtf8(type.Fields()[f].name);
        }
      }
    }
  }
  EXPECT_EQ(readers, static_cast<int>(readers::All().size()) + 1);  // and GETFilterScenariosCol
  EXPECT_TRUE(errors->Reports().empty());
}

TEST_P(TransferTest, RefusalsAndFailuresLeaveTheTargetAsItWas) {
  const fs::path shop = dir_ / "shop.db";
  MakeShop(shop);
  const std::string db = InitializedDatabase();
  TransferDatabase({shop, {}}, OnServer(db));
  const int64_t rows = ServerRows(db);

  auto refused = [](const TransferSide& from, const TransferSide& to, int32_t number,
                    const std::wstring& mentions) {
    auto e = EXPECT_QUILL_ERROR(TransferDatabase(from, to), number);
    EXPECT_TRUE(IsTransferRefusal(e));
    EXPECT_NE(e.Description().find(mentions), std::wstring::npos) << ToUtf8(e.Description());
  };
  // A filled target, either way; a server without the schema; a source that does not exist.
  const auto shopBefore = ReadFile(shop);
  refused({shop, {}}, OnServer(db), TransferRefusal::TargetNotEmpty, L"Machining (14 rows)");
  refused(OnServer(db), {shop, {}}, TransferRefusal::TargetNotEmpty, L"MachRouting (3 rows)");
  refused({shop, {}}, OnServer(Server().NewDatabase()), TransferRefusal::NotASchema,
          L"server-init");
  refused({dir_ / "missing.db", {}}, OnServer(db), TransferRefusal::SourceMissing, L"missing.db");
  EXPECT_EQ(ServerRows(db), rows);
  EXPECT_EQ(ReadFile(shop), shopBefore);
  EXPECT_FALSE(fs::exists(dir_ / "missing.db"));
  // Rows of the server's own tables have no place in a file.
  Server().Psql("INSERT INTO tblScenario (\"fldScenarioType\") VALUES ('server only')", db);
  refused(OnServer(db), {dir_ / "new.db", {}}, TransferRefusal::RowsLeftBehind,
          L"tblscenario (1 row)");
  EXPECT_FALSE(fs::exists(dir_ / "new.db"));
  // A source of a newer schema may hold what this library would not carry.
  const fs::path newer = dir_ / "newer.db";
  CreateDatabase(newer, false);
  Exec(newer, "PRAGMA user_version = " + std::to_string(kSqliteSchemaVersion + 1));
  refused({newer, {}}, OnServer(db), TransferRefusal::NotASchema, L"newer than this library's");

  // A target of an older schema takes the upgrade inside the transfer's transaction: refused,
  // it keeps its version; transferred, it holds the current one. So does a file.
  const std::string old = InitializedDatabase();
  Server().Psql(
      "UPDATE tblSchema_Version SET \"fldVersion\" = 1; INSERT INTO Machining (\"MachName\") "
      "VALUES ('taken')",
      old);
  refused({shop, {}}, OnServer(old), TransferRefusal::TargetNotEmpty, L"Machining (1 row)");
  const std::string version = "SELECT max(\"fldVersion\") FROM tblSchema_Version";
  EXPECT_EQ(Lines(Server(), old, version), std::vector<std::string>{"1"});
  Server().Psql("DELETE FROM Machining", old);
  TransferDatabase({shop, {}}, OnServer(old));
  EXPECT_EQ(Lines(Server(), old, version),
            std::vector<std::string>{std::to_string(kServerSchemaVersion)});
  const fs::path oldFile = dir_ / "old.db";
  Exec(oldFile, testing::VersionOneSchema());
  TransferDatabase(OnServer(old), {oldFile, {}});
  EXPECT_EQ(SqliteSchemaVersion(oldFile), kSqliteSchemaVersion);

  // A row the server refuses, in the last table: the rows sent before it go too.
  Exec(shop, "INSERT INTO tblMFG_Scenario (fldMFGScenarioID, fldSubTypeID) VALUES (9, 'no')");
  const std::string empty = InitializedDatabase();
  Server().Psql(
      "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN IF "
      "NEW.\"fldSubTypeID\" = 'no' THEN RAISE EXCEPTION 'refused by a trigger'; END IF; RETURN "
      "NEW; END$$; CREATE TRIGGER refuse BEFORE INSERT ON tblMFG_Scenario FOR EACH ROW EXECUTE "
      "FUNCTION refuse()",
      empty);
  auto failed = [&](const std::wstring& mentions) {
    try {
      TransferDatabase({shop, {}}, OnServer(empty));
      ADD_FAILURE() << "the transfer went through";
    } catch (const QuillError& e) {
      EXPECT_FALSE(IsTransferRefusal(e));
      EXPECT_NE(e.Description().find(mentions), std::wstring::npos) << ToUtf8(e.Description());
    }
    EXPECT_EQ(ServerRows(empty), 0);
  };
  failed(L"refused by a trigger");
  // The sequences did not move either.
  EXPECT_EQ(Lines(Server(), empty, "SELECT nextval(pg_get_serial_sequence('machining', 'MachID'))"),
            std::vector<std::string>{"1"});

  // A value the server stores otherwise than it was sent: the verification compares values.
  Server().Psql(
      "DROP TRIGGER refuse ON tblMFG_Scenario; CREATE FUNCTION bend() RETURNS trigger LANGUAGE "
      "plpgsql AS $$BEGIN IF NEW.\"MachID\" = 104 THEN NEW.\"Z\" := NEW.\"Z\" + 1e-9; END IF; "
      "RETURN NEW; END$$; CREATE TRIGGER bend BEFORE INSERT ON Machining FOR EACH ROW EXECUTE "
      "FUNCTION bend()",
      empty);
  failed(L"does not read back what was sent, so nothing was written: Machining: source 14 rows");
}

// A shop whose values a server with declared sizes and scales cannot all hold.
void MakeMisfits(const fs::path& path) {
  CreateDatabase(path, false);
  Exec(path,
       "INSERT INTO Machining (MachID, MachName, MachGroup, X, Y, Z, MachLibID) VALUES "
       "(1, 'Fits', 'G', 1.5, 2.25, -3, 1),"
       "(2, 'Twenty-one characters', 'G', 0, 0, 0, 1),"
       "(3, 'Groß', 'GR', 12.345, 99999.99, 0, 3000000000),"
       "(4, 'Zero' || char(0), 'G', 100000, 0, 0, 1);"
       "INSERT INTO tblLocal_Designs (fldDesignID, fldDesignName, fldCreated) VALUES "
       "(1, 'Kept', '2024-02-29 23:59:59.123456'), (2, 'Rounded', '2024-02-29 23:59:59.1234567')");
}

TEST_P(TransferTest, AFirstPassListsEveryValueTheServerCannotHoldAndWritesNothing) {
  const fs::path shop = dir_ / "misfits.db";
  MakeMisfits(shop);
  const std::string db = InitializedDatabase();
  // Sizes and scales as a server may declare them: the first pass reads them from its catalog.
  Server().Psql(
      "ALTER TABLE Machining ALTER COLUMN \"MachName\" TYPE varchar(20), ALTER COLUMN "
      "\"MachGroup\" TYPE character(1), ALTER COLUMN \"X\" TYPE numeric(7,2), ALTER COLUMN "
      "\"Y\" TYPE numeric(7,2), ALTER COLUMN \"Z\" TYPE numeric(7,2)",
      db);
  std::vector<std::string> found;
  TransferOptions options;
  options.misfit = [&](const TransferMisfit& m) {
    found.push_back(ToUtf8(m.table + L"." + m.column) + " row " + std::to_string(m.row) + " id " +
                    std::to_string(m.id.value_or(-1)) + ": " + ToUtf8(m.value) + " " +
                    ToUtf8(m.reason));
  };
  auto e = EXPECT_QUILL_ERROR(TransferDatabase({shop, {}}, OnServer(db), options),
                              TransferRefusal::ValuesDoNotFit);
  EXPECT_TRUE(IsTransferRefusal(e));
  EXPECT_EQ(e.Kind(), ErrorKind::Conversion);
  EXPECT_EQ(found,
            (std::vector<std::string>{
                "tblLocal_Designs.fldCreated row 2 id 2: 2024-02-29 23:59:59.1234567 has 7 "
                "digits after the second; the column keeps 6",
                "Machining.MachName row 2 id 2: Twenty-one characters is 21 characters "
                "long; the column holds 20",
                "Machining.MachGroup row 3 id 3: GR is 2 characters long; the column holds 1",
                "Machining.X row 3 id 3: 12.345 has 3 decimals; numeric(7,2) keeps 2",
                "Machining.MachLibID row 3 id 3: 3000000000 is outside the column's range, "
                "-2147483648 to 2147483647",
                "Machining.MachName row 4 id 4: Zero\\0 holds a zero character, which the "
                "server cannot store",
                "Machining.X row 4 id 4: 100000 is too large for numeric(7,2)"}));
  EXPECT_NE(e.Description().find(L"7 values of the source do not fit"), std::wstring::npos);
  EXPECT_EQ(ServerRows(db), 0);

  // The command refuses as it refuses anything else, and lists them.
  const auto r = cli::runner::Tool("transfer --json " + cli::runner::Quote(shop.string()) +
                                   " --server " + cli::runner::Quote(ToUtf8(Conn(Server(), db))));
  EXPECT_EQ(r.code, 2);
  const auto doc = cli::Json::parse(r.out);
  EXPECT_EQ(doc["refused"], true);
  ASSERT_EQ(doc["misfits"].size(), 7u);
  EXPECT_EQ(doc["misfits"][4], (cli::Json{{"table", "Machining"},
                                          {"row", 3},
                                          {"id", 3},
                                          {"column", "MachLibID"},
                                          {"value", "3000000000"},
                                          {"reason",
                                           "is outside the column's range, -2147483648 to "
                                           "2147483647"}}));

  // What fits goes, and reads back the same through the sized columns.
  Exec(shop,
       "DELETE FROM Machining WHERE MachID > 1; DELETE FROM tblLocal_Designs WHERE "
       "fldDesignID = 2");
  const auto tables = TransferDatabase({shop, {}}, OnServer(db));
  EXPECT_EQ(Lines(Server(), db, "SELECT \"MachGroup\", \"X\", \"Y\", \"Z\" FROM Machining"),
            std::vector<std::string>{"G\t1.50\t2.25\t-3.00"});
}

// Dates a server holds and a database file's readers do not.
TEST_P(TransferTest, DatesPastTheFilesReachStayOnServersAndAreListedForAFile) {
  const fs::path shop = dir_ / "shop.db";
  MakeShop(shop);
  const std::string db = InitializedDatabase();
  TransferDatabase({shop, {}}, OnServer(db));
  Server().Psql(
      "INSERT INTO tblLocal_Designs (\"fldDesignID\", \"fldDesignName\", \"fldCreated\") "
      "VALUES (20, 'a', 'infinity'), (21, 'b', '-infinity'), (22, 'c', '0044-03-15 12:00:00 BC'), "
      "(23, 'd', '294276-12-31 23:59:59.5'), (24, 'e', '9999-12-31 23:59:59.999999')",
      db);
  std::vector<std::string> found;
  TransferOptions options;
  options.misfit = [&](const TransferMisfit& m) {
    found.push_back(ToUtf8(m.table + L"." + m.column + L" " + m.value) + " row " +
                    std::to_string(m.row) + " id " + std::to_string(m.id.value_or(-1)));
  };
  const fs::path file = dir_ / "dates.db";
  EXPECT_QUILL_ERROR(TransferDatabase(OnServer(db), {file, {}}, options),
                     TransferRefusal::ValuesDoNotFit);
  EXPECT_EQ(found, (std::vector<std::string>{
                       "tblLocal_Designs.fldCreated infinity row 6 id 20",
                       "tblLocal_Designs.fldCreated -infinity row 7 id 21",
                       "tblLocal_Designs.fldCreated 0044-03-15 12:00:00 BC row 8 id 22",
                       "tblLocal_Designs.fldCreated 294276-12-31 23:59:59.5 row 9 id 23"}));
  EXPECT_FALSE(fs::exists(file));

  // From server to server they arrive as they are, verified by their values.
  const std::string other = InitializedDatabase();
  const auto report = TransferDatabase(OnServer(db), OnServer(other));
  const std::string dates = "SELECT \"fldCreated\"::text FROM tblLocal_Designs ORDER BY 1";
  EXPECT_EQ(Lines(Server(), other, dates), Lines(Server(), db, dates));

  // The server's checksum in SQL sums what the tool sums.
  auto tables = transfer::SchemaTables(L"");
  transfer::OpenServer(Conn(Server(), other), dialect::Postgres())->Refine(tables, true);
  ASSERT_EQ(tables.size(), report.size());
  for (size_t t = 0; t < tables.size(); ++t) {
    const std::string line =
        Lines(Server(), other, ToUtf8(dialect::Postgres().ChecksumSql(tables[t]))).at(0);
    const size_t tab = line.find('\t');
    __int128 sum = 0;
    const bool negative = line[tab + 1] == '-';
    for (char d : line.substr(tab + 1 + negative)) sum = sum * 10 + (d - '0');
    EXPECT_EQ(std::stoll(line.substr(0, tab)), report[t].sourceRows) << ToUtf8(report[t].table);
    EXPECT_EQ(static_cast<uint64_t>(negative ? -sum : sum), report[t].sourceChecksum)
        << ToUtf8(report[t].table);
  }
}

// Enough rows that a transfer is still writing when it is interrupted.
void MakeBig(const fs::path& path) {
  CreateDatabase(path, false);
  Exec(path,
       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200000) "
       "INSERT INTO Machining SELECT i, 'Machining ' || i, 'G', i * 0.5, 1, 2, 1 FROM n");
}

// A transaction of the database that has written.
bool Writing(const test::PgServer& server, const std::string& db) {
  return !Lines(server, "postgres",
                "SELECT 1 FROM pg_stat_activity WHERE datname = '" + db +
                    "' AND backend_xid IS NOT NULL")
              .empty();
}

TEST_P(TransferTest, AServerStoppedMidWayKeepsNothing) {
  const fs::path shop = dir_ / "big.db";
  MakeBig(shop);
  test::PgServer own(test::PgServer::Binaries());
  const std::string db = own.NewDatabase();
  InitializeServer(Conn(own, db));
  std::thread stopper([&] {
    cli::runner::Eventually([&] { return Writing(own, db); });
    own.Stop();
  });
  EXPECT_THROW(TransferDatabase({shop, {}}, {{}, Conn(own, db)}), QuillError);
  stopper.join();
  own.Start();
  EXPECT_EQ(Lines(own, db, "SELECT count(*) FROM Machining"), std::vector<std::string>{"0"});
}

TEST_P(TransferTest, AKilledTransferLeavesNoTrace) {
  const fs::path shop = dir_ / "big.db";
  MakeBig(shop);
  const std::string db = InitializedDatabase();

  // Killed while writing to the server: the server has rolled the transaction back.
  auto killWhile = [&](const std::vector<std::string>& words,
                       const std::function<bool()>& writing) {
    const pid_t child = cli::runner::StartTool(words, "/dev/null", "/dev/null");
    cli::runner::Eventually(writing);
    ::kill(child, SIGKILL);
    EXPECT_EQ(cli::runner::WaitTool(child), 128 + SIGKILL)
        << "the transfer ended before it was killed";
  };
  const std::string conn = ToUtf8(Conn(Server(), db));
  killWhile({"transfer", shop.string(), "--server", conn}, [&] { return Writing(Server(), db); });
  EXPECT_EQ(ServerRows(db), 0);

  // Killed while writing a new file: no file under the target's name.
  TransferDatabase({shop, {}}, OnServer(db));
  const fs::path fresh = dir_ / "fresh.db";
  killWhile({"transfer", "--server", conn, fresh.string()}, [&] {
    std::error_code gone;  // the work file's journal comes and goes while it is looked at
    for (const auto& entry : fs::directory_iterator(dir_))
      if (entry.path().filename().string().starts_with("fresh.db.transfer-") &&
          entry.file_size(gone) > 1 << 20 && !gone)
        return true;
    return false;
  });
  EXPECT_FALSE(fs::exists(fresh));

  // And afterwards the transfer runs to its end.
  const auto result = cli::runner::Tool("transfer --server " + cli::runner::Quote(conn) + " " +
                                        cli::runner::Quote(fresh.string()));
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_NE(result.out.find(Verified(200000)), std::string::npos) << result.out;
}

TEST_P(TransferTest, TheCommandsExitCodesAndJson) {
  using cli::runner::Quote;
  using cli::runner::Tool;
  const std::string conn = Quote(ToUtf8(Conn(Server(), Database())));
  auto r = Tool("server-init --json --server " + conn);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(cli::Json::parse(r.out),
            (cli::Json{{"installed", true}, {"version", kServerSchemaVersion}}));
  r = Tool("server-init --server " + conn);
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("initialised already"), std::string::npos) << r.out;

  const fs::path shop = dir_ / "shop.db";
  CreateDatabase(shop, true);
  r = Tool("transfer " + Quote(shop.string()) + " --server " + conn);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find(Verified(62)), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");  // no progress bar without a terminal

  r = Tool("transfer --json " + Quote(shop.string()) + " --server " + conn);
  EXPECT_EQ(r.code, 2);
  const auto doc = cli::Json::parse(r.out);
  EXPECT_EQ(doc["transferred"], false);
  EXPECT_EQ(doc["refused"], true);
  EXPECT_EQ(doc["target"], "server");  // never the connection string

  // On a terminal: the progress bar, with its rate and the time left.
  const fs::path again = dir_ / "again.db";
  const fs::path screen = dir_ / "screen.txt";
  const std::string command =
      "script -qec " +
      Quote(Quote(QUILLDATA_TOOL) + " transfer --server " + conn + " " + Quote(again.string())) +
      " /dev/null >" + Quote(screen.string()) + " 2>&1 </dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string shown = cli::runner::ReadFile(screen);
  EXPECT_NE(shown.find("copying"), std::string::npos) << shown;
  EXPECT_NE(shown.find("rows/s, ETA"), std::string::npos) << shown;
  EXPECT_NE(shown.find(Verified(62)), std::string::npos) << shown;

  EXPECT_EQ(Tool("transfer " + Quote(shop.string())).code, 2);
  EXPECT_EQ(Tool("transfer --frobnicate a b").code, 2);
}

INSTANTIATE_TEST_SUITE_P(Server, TransferTest, ::testing::Bool(), test::ProviderName);

}  // namespace
}  // namespace QuillData
