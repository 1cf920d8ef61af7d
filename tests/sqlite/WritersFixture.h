#pragma once
// A backend opened on an empty database, and a second, raw connection through the SQLite C
// API that looks at the file independently of the backend: whole-database snapshots and
// their differences, single values, and seeding with text given as bytes (no quoting).
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sqlite/SqliteFixture.h"

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
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
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

// A text as an SQL expression built from its UTF-8 bytes, with no quoting to get wrong.
inline std::string Lit(const std::wstring& text) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out = "CAST(X'";
  for (unsigned char c : ToUtf8(text)) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out + "' AS TEXT)";
}

// Answers "retry", and on the first report runs `onFirst` (which removes the cause); after a
// few reports it leaves, so that a cause that never goes cannot hang the test.
class RetryAfter : public cE {
 public:
  explicit RetryAfter(std::function<void()> onFirst) : onFirst_(std::move(onFirst)) {}
  int16_t HandleError(QuillError& err, ObjectPtr&, std::wstring&, std::wstring& procedure,
                      std::shared_ptr<cSP>&, int32_t&) override {
    seen.push_back(err.Description());
    procedures.push_back(procedure);
    if (seen.size() == 1) onFirst_();
    return seen.size() < 5 ? kRetry : kLeave;
  }
  std::vector<std::wstring> seen, procedures;

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

}  // namespace QuillData::testing
