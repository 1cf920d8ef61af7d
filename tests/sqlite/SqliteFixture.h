#pragma once
// A scratch folder per test, databases made from the shipped schema, and a backend opened
// with a recording error companion; the module-wide companions and the locale are put back
// after each test. Beside the backend, a raw connection through the SQLite C API looks at
// the file independently of the code under test: whole-database snapshots and their
// differences, and single values. WritersTest opens a backend on an empty database beside
// such a connection; RetryAfter is an error companion that retries once the cause is gone.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/Schema.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "QuillData/sqlite/clsSqlLite.h"
#include "locale/LocaleFixture.h"
#include "support/TestSupport.h"

namespace QuillData::testing {

using Row = std::vector<std::string>;
constexpr const char* kNull = "\x01NULL";

// Every table's column names and rows (as a multiset: row order does not count), and the
// schema itself under "sqlite_schema".
struct Snapshot {
  std::map<std::string, Row> columns;
  std::map<std::string, std::multiset<Row>> rows;
};

struct TableDiff {
  std::vector<Row> added, removed;
};

// One connection of its own for the length of a call.
class RawDb {
 public:
  explicit RawDb(const std::filesystem::path& file) {
    if (sqlite3_open_v2(reinterpret_cast<const char*>(file.u8string().c_str()), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "raw open " << file << ": " << sqlite3_errmsg(db_);
    }
    // Seeding and clean-up need no durability; it saves the disk flushes.
    sqlite3_exec(db_, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
  }
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;
  ~RawDb() { sqlite3_close(db_); }

  int Exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  }
  std::string Error() const { return sqlite3_errmsg(db_); }

  std::vector<Row> Query(const std::string& sql, Row* names = nullptr) {
    std::vector<Row> rows;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return rows;
    }
    const int n = sqlite3_column_count(stmt);
    if (names) {
      names->clear();
      for (int i = 0; i < n; ++i) names->push_back(sqlite3_column_name(stmt, i));
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      Row row;
      for (int i = 0; i < n; ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        row.push_back(text ? std::string(text, sqlite3_column_bytes(stmt, i)) : kNull);
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return rows;
  }

  Snapshot Dump() {
    Snapshot s;
    for (const Row& r : Query("SELECT type, name, sql FROM sqlite_schema")) {
      s.rows["sqlite_schema"].insert(r);
    }
    for (const Row& t : Query("SELECT name FROM sqlite_schema WHERE type = 'table'")) {
      Row names;
      auto rows = Query("SELECT * FROM \"" + t[0] + "\"", &names);
      s.columns[t[0]] = names;
      s.rows[t[0]] = std::multiset<Row>(rows.begin(), rows.end());
    }
    return s;
  }

 private:
  sqlite3* db_ = nullptr;
};

// Rows only in `after` (added) and only in `before` (removed), per table that changed.
inline std::map<std::string, TableDiff> Diff(const Snapshot& before, const Snapshot& after) {
  std::map<std::string, TableDiff> out;
  std::set<std::string> tables;
  for (const auto& [name, rows] : before.rows) tables.insert(name);
  for (const auto& [name, rows] : after.rows) tables.insert(name);
  static const std::multiset<Row> kNone;
  for (const std::string& table : tables) {
    auto b = before.rows.count(table) ? before.rows.at(table) : kNone;
    auto a = after.rows.count(table) ? after.rows.at(table) : kNone;
    TableDiff d;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(d.added));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(d.removed));
    if (!d.added.empty() || !d.removed.empty()) out[table] = std::move(d);
  }
  return out;
}

using Policy = PolicyErrorHandler::Policy;

class SqliteTest : public LocaleFixture {
 protected:
  void SetUp() override { ResetModule(); }
  void TearDown() override { ResetModule(); }
  static void ResetModule() {
    gE.reset();
    gSP.reset();
    gTraceFlag.clear();
    clsQuillData_SqlLite::SetDefaultMessageHook(nullptr);
  }

  std::filesystem::path Path(const std::string& name) const { return dir_ / name; }

  // A database with the whole schema (and the sample rows).
  std::filesystem::path NewDatabase(bool withSample = false, const std::string& name = "test.db") {
    auto path = Path(name);
    CreateDatabase(path, withSample);
    return path;
  }

  // Runs SQL on the file on a connection of its own; fails the test on an error.
  static void Exec(const std::filesystem::path& db, const std::wstring& sql) {
    RawDb raw(db);
    EXPECT_EQ(raw.Exec(ToUtf8(sql)), SQLITE_OK) << raw.Error();
  }

  // A backend opened on `db` whose failures go to `errors` (kept for inspection).
  std::shared_ptr<clsQuillData_SqlLite> Open(const std::filesystem::path& db,
                                             Policy policy = Policy::Leave, int retries = 0) {
    errors = std::make_shared<PolicyErrorHandler>(policy, retries);
    auto backend = std::make_shared<clsQuillData_SqlLite>();
    backend->SetMessageHook([this](const std::wstring& text) { messages.push_back(text); });
    bool opened = backend->OpenDB(nullptr, errors, {L"", db.wstring(), L"0"});
    EXPECT_TRUE(opened) << "open " << db;
    return backend;
  }

  test::ScratchDir scratch_;
  const std::filesystem::path dir_ = scratch_.path();
  std::shared_ptr<PolicyErrorHandler> errors;
  std::vector<std::wstring> messages;
};

// Answers "retry", and on the first report runs `onFirst` (which removes the cause); after a
// few reports it leaves, so that a cause that never goes cannot hang the test.
class RetryAfter : public cE {
 public:
  explicit RetryAfter(std::function<void()> onFirst) : onFirst_(std::move(onFirst)) {}
  int16_t HandleError(QuillError& err, ObjectPtr&, std::wstring&, std::wstring& procedure,
                      std::shared_ptr<cSP>&, int32_t&) override {
    seen.push_back(err.Description());
    procedures.push_back(procedure);
    kinds.push_back(err.Kind());
    if (seen.size() == 1) onFirst_();
    return seen.size() < 5 ? kRetry : kLeave;
  }
  std::vector<std::wstring> seen, procedures;
  std::vector<ErrorKind> kinds;

 private:
  std::function<void()> onFirst_;
};

class WritersTest : public SqliteTest {
 protected:
  void SetUp() override {
    SqliteTest::SetUp();
    UseLocale("C.UTF-8");
    file = NewDatabase();
    db = Open(file);
  }
  void TearDown() override {
    db.reset();
    SqliteTest::TearDown();
  }

  void Raw(const std::string& sql) {
    RawDb raw(file);
    ASSERT_EQ(raw.Exec(sql), SQLITE_OK) << sql << ": " << raw.Error();
  }
  std::vector<Row> Query(const std::string& sql) { return RawDb(file).Query(sql); }
  // The first column of the first row ("" when there is none).
  std::string One(const std::string& sql) {
    auto rows = Query(sql);
    return rows.empty() ? std::string() : rows[0][0];
  }
  int Count(const std::string& table) { return std::stoi(One("SELECT count(*) FROM " + table)); }
  Snapshot Dump() { return RawDb(file).Dump(); }

  // The descriptions the error companion received, in order.
  std::vector<std::wstring> Reported() const {
    std::vector<std::wstring> out;
    for (const auto& r : errors->Reports()) out.push_back(r.description);
    return out;
  }

  std::filesystem::path file;
  std::shared_ptr<clsQuillData_SqlLite> db;
};

// The shipped schema as version 1 made it: identity columns without AUTOINCREMENT, whose ids
// come back after a delete.
inline std::string VersionOneSchema() {
  std::string sql(SqliteSchemaSql());
  for (size_t at = sql.find(" AUTOINCREMENT"); at != std::string::npos;
       at = sql.find(" AUTOINCREMENT"))
    sql.erase(at, 14);
  return sql;
}

// The keys of a collection, in order.
inline std::vector<std::wstring> Keys(const Tessera::Collection& c) {
  std::vector<std::wstring> keys;
  for (int32_t i = 1; i <= c.Count(); ++i) keys.push_back(c.KeyAt(i).value_or(L"<none>"));
  return keys;
}

}  // namespace QuillData::testing
