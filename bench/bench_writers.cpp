// The main writers through the backend, each against a raw SQLite program in the same process
// that runs the same unit with statements it prepared once and keeps, values bound: for the
// look-up writers BEGIN IMMEDIATE, look-up, write, the new row's id, COMMIT; for a new row and
// (the look-up alone) for an existing one; the same writer on a table of 100 and of 100,000
// rows; one reader call on a 10-row table (the fixed cost of an operation); and the bulk case,
// 10,000 INSERTMachining calls one by one and in one transaction against the raw loop in one
// transaction.
//
// The per-call pairs run both sides with PRAGMA synchronous = OFF so that the comparison
// measures the library, not the disk's flushes; the *Durable pair and the bulk case keep the
// default settings, where each commit waits for the disk.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BenchCommon.h"
#include "QuillData/contract/Companions.h"
#include "QuillData/sqlite/Schema.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"

namespace {

constexpr int kRows = 1000;       // rows in the tables of the backend-against-raw pairs
constexpr int kCleanEvery = 500;  // inserted rows are removed this often (untimed)

using bench::Check;

// Database files by number of rows in Machining and MachVariable, made on first use.
class Files {
 public:
  static const std::string& Path(int rows) {
    static Files files;
    auto found = files.paths_.find(rows);
    if (found != files.paths_.end()) return found->second;
    std::string path = (files.dir_ / ("rows" + std::to_string(rows) + ".db")).string();
    QuillData::CreateDatabase(path, false);
    Fill(path, rows);
    return files.paths_.emplace(rows, path).first->second;
  }
  ~Files() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  Files() : dir_(bench::MakeTempDir()) {}
  static void Fill(const std::string& path, int rows) {
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db);
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* m = nullptr;
    Check(
        sqlite3_prepare_v2(db,
                           "INSERT INTO Machining (MachID, MachName, MachGroup, X, Y, Z, MachLibID)"
                           " VALUES (?1, 'Machining ' || ?1, 'Group', 22.5, 96.25, 13, 1 + ?1 % 4)",
                           -1, &m, nullptr),
        db);
    sqlite3_stmt* v = nullptr;
    Check(
        sqlite3_prepare_v2(db,
                           "INSERT INTO MachVariable (MachVarID, Name, Value, Requested, MachLibID)"
                           " VALUES (?1, 'Variable ' || ?1, '12.5', 1, 1 + ?1 % 4)",
                           -1, &v, nullptr),
        db);
    for (int i = 1; i <= rows; ++i) {
      for (sqlite3_stmt* s : {m, v}) {
        sqlite3_bind_int(s, 1, i);
        if (sqlite3_step(s) != SQLITE_DONE) Check(SQLITE_ERROR, db);
        sqlite3_reset(s);
      }
    }
    sqlite3_finalize(m);
    sqlite3_finalize(v);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
  }

  std::filesystem::path dir_;
  std::map<int, std::string> paths_;
};

// A connection of the benchmark's own: the raw side, and the untimed clean-up of both. It
// keeps each statement prepared after its first use and binds the values, as a careful
// program does.
class Raw {
 public:
  Raw(const std::string& path, bool durable) {
    db_ = bench::OpenRaw(path);
    if (!durable) Exec("PRAGMA synchronous = OFF");
  }
  Raw(const Raw&) = delete;
  Raw& operator=(const Raw&) = delete;
  ~Raw() {
    for (auto& [sql, stmt] : kept_) sqlite3_finalize(stmt);
    sqlite3_close(db_);
  }

  void Exec(const std::string& sql) {
    Check(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), db_);
  }
  sqlite3* Handle() const { return db_; }

  // The look-up writers' unit: the look-up and the write it decides under one write lock
  // (`unit` false: inside the caller's transaction, with nothing of its own).
  int InsertMachining(const std::string& name, const std::string& group, int lib, double x,
                      double y, double z, bool unit = true) {
    if (unit) Run(Kept("BEGIN IMMEDIATE"));
    int id = 0;
    if (auto found = One(Bound(
            " SELECT MachID FROM Machining  WHERE [MachName] = ? AND MachLibID = ?", name, lib))) {
      id = *found;
    } else {
      Run(
          Bound(" INSERT INTO Machining ([MachName], X, Y, Z, MachGroup, MachLibID) "
                " VALUES(?,?,?,?,?,?)",
                name, x, y, z, group, lib));
      id = int(sqlite3_last_insert_rowid(db_));
    }
    if (unit) Run(Kept("COMMIT"));
    return id;
  }
  int InsertMachVariable(const std::string& name, const std::string& value, int lib,
                         bool requested) {
    Run(Kept("BEGIN IMMEDIATE"));
    int id = 0;
    if (auto found =
            One(Bound(" SELECT MachVarID FROM MachVariable  WHERE [Name] = ? AND MachLibID = ?",
                      name, lib))) {
      id = *found;
    } else {
      Run(
          Bound(" INSERT INTO MachVariable ([Name], [Value], MachLibID, Requested) "
                " VALUES(?,?,?,?)",
                name, value, lib, requested ? 1 : 0));
      id = int(sqlite3_last_insert_rowid(db_));
    }
    Run(Kept("COMMIT"));
    return id;
  }
  void UpdateMachVariable(const std::string& name, const std::string& value, int lib, int id) {
    Run(Kept("BEGIN IMMEDIATE"));
    if (One(Bound(" SELECT MachVarID FROM MachVariable  WHERE MachVarID = ? AND MachLibID = ?", id,
                  lib))) {
      Run(
          Bound(" UPDATE MachVariable  SET Name = ?, Value = ? WHERE MachLibID = ? AND "
                "MachVarID = ?",
                name, value, lib, id));
    }
    Run(Kept("COMMIT"));
  }
  // Three deletes, each its own statement (no unit: a failure half-way keeps what went before).
  void DelMachining(int id) {
    Run(Bound(" DELETE FROM Machining WHERE MachID = ?", id));
    Run(Bound(" DELETE FROM MachVertical WHERE MachID = ?", id));
    Run(Bound(" DELETE FROM MachRouting WHERE MachID = ?", id));
  }

 private:
  // Keyed by the address of the statement's literal text.
  sqlite3_stmt* Kept(const char* sql) {
    sqlite3_stmt*& stmt = kept_[sql];
    if (stmt == nullptr) Check(sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr), db_);
    return stmt;
  }
  static void Bind(sqlite3_stmt* s, int i, int value) { sqlite3_bind_int(s, i, value); }
  static void Bind(sqlite3_stmt* s, int i, double value) { sqlite3_bind_double(s, i, value); }
  static void Bind(sqlite3_stmt* s, int i, const std::string& value) {
    sqlite3_bind_text(s, i, value.data(), int(value.size()), SQLITE_STATIC);
  }
  template <class... Values>
  sqlite3_stmt* Bound(const char* sql, const Values&... values) {
    sqlite3_stmt* s = Kept(sql);
    int i = 0;
    (Bind(s, ++i, values), ...);
    return s;
  }
  void Run(sqlite3_stmt* s) {
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) Check(rc, db_);
  }
  // Column 0 of the first row, or nothing.
  std::optional<int> One(sqlite3_stmt* s) {
    std::optional<int> value;
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) value = sqlite3_column_int(s, 0);
    sqlite3_reset(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Check(rc, db_);
    return value;
  }

  sqlite3* db_ = nullptr;
  std::map<const char*, sqlite3_stmt*> kept_;
};

std::shared_ptr<QuillData::clsQuillData_SqlLite> OpenBackend(const std::string& path,
                                                             bool durable) {
  auto db = std::make_shared<QuillData::clsQuillData_SqlLite>();
  auto errors = std::make_shared<QuillData::PolicyErrorHandler>();
  if (!db->OpenDB(nullptr, errors, {L"", std::filesystem::path(path).wstring(), L"0"}))
    return nullptr;
  if (!durable) db->Sqlite()->sqlite3_exec(db->DatabaseHandle(), L"PRAGMA synchronous = OFF");
  return db;
}

// Runs `insert(i)` (a new row each time, or an existing one when `found`) and removes the
// new rows now and then, untimed, so that the table keeps its size.
template <class Insert>
void InsertLoop(benchmark::State& state, const std::string& path, const char* table,
                const char* idColumn, int rows, bool found, Insert insert) {
  Raw cleaner(path, false);
  const std::string clean =
      std::string("DELETE FROM ") + table + " WHERE " + idColumn + " > " + std::to_string(rows);
  int64_t i = 0;
  for (auto _ : state) {
    const int id = insert(found ? 1 + i % rows : rows + 1 + i);
    if (id <= 0) state.SkipWithError("no id");
    if (!found && ++i % kCleanEvery == 0) {
      state.PauseTiming();
      cleaner.Exec(clean);
      state.ResumeTiming();
    }
    if (found) ++i;
  }
  cleaner.Exec(clean);
  state.SetItemsProcessed(state.iterations());
}

void MachiningBackend(benchmark::State& state, int rows, bool found, bool durable) {
  const std::string& path = Files::Path(rows);
  auto db = OpenBackend(path, durable);
  if (!db) return state.SkipWithError("OpenDB failed");
  const std::wstring group = L"Group";
  InsertLoop(state, path, "Machining", "MachID", rows, found, [&](int64_t n) {
    return db->INSERTMachining(L"Machining " + std::to_wstring(n), group, 1 + n % 4, 22.5, 96.25,
                               13);
  });
}

void MachiningRaw(benchmark::State& state, int rows, bool found, bool durable) {
  const std::string& path = Files::Path(rows);
  Raw raw(path, durable);
  const std::string group = "Group";
  InsertLoop(state, path, "Machining", "MachID", rows, found, [&](int64_t n) {
    return raw.InsertMachining("Machining " + std::to_string(n), group, 1 + n % 4, 22.5, 96.25, 13);
  });
}

void BM_INSERTMachining(benchmark::State& state) {
  MachiningBackend(state, kRows, false, false);
}
void BM_RawInsertMachining(benchmark::State& state) {
  MachiningRaw(state, kRows, false, false);
}
void BM_INSERTMachiningFound(benchmark::State& state) {
  MachiningBackend(state, kRows, true, false);
}
void BM_RawInsertMachiningFound(benchmark::State& state) {
  MachiningRaw(state, kRows, true, false);
}
void BM_INSERTMachiningDurable(benchmark::State& state) {
  MachiningBackend(state, kRows, false, true);
}
void BM_RawInsertMachiningDurable(benchmark::State& state) {
  MachiningRaw(state, kRows, false, true);
}

void BM_INSERTMachVariable(benchmark::State& state) {
  const std::string& path = Files::Path(kRows);
  auto db = OpenBackend(path, false);
  if (!db) return state.SkipWithError("OpenDB failed");
  InsertLoop(state, path, "MachVariable", "MachVarID", kRows, false, [&](int64_t n) {
    return db->INSERTMachVariable(L"Variable " + std::to_wstring(n), L"12.5", 1 + n % 4, true);
  });
}

void BM_RawInsertMachVariable(benchmark::State& state) {
  const std::string& path = Files::Path(kRows);
  Raw raw(path, false);
  InsertLoop(state, path, "MachVariable", "MachVarID", kRows, false, [&](int64_t n) {
    return raw.InsertMachVariable("Variable " + std::to_string(n), "12.5", 1 + n % 4, true);
  });
}

// The same writer at two table sizes: a new row (look-up misses, insert, new id) and an
// existing one (look-up finds it).
void BM_INSERTMachiningNewAt(benchmark::State& state) {
  MachiningBackend(state, int(state.range(0)), false, false);
}
void BM_INSERTMachiningFoundAt(benchmark::State& state) {
  MachiningBackend(state, int(state.range(0)), true, false);
}

// One reader call on a 10-row table, and the raw loop reading the same rows into structs.
void BM_GETTblMachining10(benchmark::State& state) {
  auto db = OpenBackend(Files::Path(10), false);
  if (!db) return state.SkipWithError("OpenDB failed");
  for (auto _ : state) {
    int32_t count = 0;
    auto rows = db->GETTblMachining(count);
    if (!rows || count != 10) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(rows.get());
  }
  state.SetItemsProcessed(state.iterations());
}

struct RawMachining {
  int MachID;
  std::string MachName, MachGroup;
  double X, Y, Z;
  int MachLibID;
};

std::string Text(sqlite3_stmt* s, int i) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
  return p ? std::string(p, size_t(sqlite3_column_bytes(s, i))) : std::string();
}

void BM_RawReadMachining10(benchmark::State& state) {
  Raw raw(Files::Path(10), false);
  for (auto _ : state) {
    std::vector<RawMachining> rows;
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(raw.Handle(), "SELECT * FROM Machining", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
      rows.push_back({sqlite3_column_int(s, 0), Text(s, 1), Text(s, 2), sqlite3_column_double(s, 3),
                      sqlite3_column_double(s, 4), sqlite3_column_double(s, 5),
                      sqlite3_column_int(s, 6)});
    }
    sqlite3_finalize(s);
    if (rows.size() != 10) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetItemsProcessed(state.iterations());
}

// UPDATEMachVariable on an existing variable (look-up, update) and DELMachining of a machining
// that has no drillings or routings (the row is put back, untimed, every time).
void BM_UPDATEMachVariable(benchmark::State& state) {
  auto db = OpenBackend(Files::Path(kRows), false);
  if (!db) return state.SkipWithError("OpenDB failed");
  int64_t i = 0;
  for (auto _ : state) {
    const int32_t id = int32_t(1 + i % kRows);
    db->UPDATEMachVariable(L"Variable " + std::to_wstring(id), L"12.5", 1 + id % 4, id);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_RawUpdateMachVariable(benchmark::State& state) {
  Raw raw(Files::Path(kRows), false);
  int64_t i = 0;
  for (auto _ : state) {
    const int id = int(1 + i % kRows);
    raw.UpdateMachVariable("Variable " + std::to_string(id), "12.5", 1 + id % 4, id);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

template <class Delete>
void DeleteLoop(benchmark::State& state, Delete del) {
  Raw restorer(Files::Path(kRows), false);
  for (auto _ : state) {
    del(1);
    state.PauseTiming();
    restorer.Exec(
        "INSERT OR REPLACE INTO Machining (MachID, MachName, MachGroup, X, Y, Z, MachLibID)"
        " VALUES (1, 'Machining 1', 'Group', 22.5, 96.25, 13, 2)");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_DELMachining(benchmark::State& state) {
  auto db = OpenBackend(Files::Path(kRows), false);
  if (!db) return state.SkipWithError("OpenDB failed");
  DeleteLoop(state, [&](int32_t id) { db->DELMachining(id); });
}

void BM_RawDelMachining(benchmark::State& state) {
  Raw raw(Files::Path(kRows), false);
  DeleteLoop(state, [&](int id) { raw.DelMachining(id); });
}

// The bulk case: 10,000 INSERTMachining calls one by one (each its own durable commit), and
// in one transaction, for new rows and for rows it finds; beside them the raw loop of the
// same prepared look-up and insert in one transaction. Default durability throughout. The
// new rows are removed after each batch, untimed.
constexpr int kBulk = 10000;

template <class Batch>
void BulkLoop(benchmark::State& state, Batch batch) {
  Raw cleaner(Files::Path(kRows), false);
  for (auto _ : state) {
    if (!batch()) return;
    state.PauseTiming();
    cleaner.Exec("DELETE FROM Machining WHERE MachID > " + std::to_string(kRows));
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kBulk);
}

// The numbers of the calls' machinings: of the file when `found`, else new ones. The names are
// made before the timing (the host's work, not the writer's).
std::vector<int> BulkNumbers(bool found) {
  std::vector<int> numbers;
  for (int i = 0; i < kBulk; ++i) numbers.push_back(found ? 1 + i % kRows : kRows + 1 + i);
  return numbers;
}

void BulkBackend(benchmark::State& state, bool transaction, bool found) {
  auto db = OpenBackend(Files::Path(kRows), true);
  if (!db) return state.SkipWithError("OpenDB failed");
  const std::wstring group = L"Group";
  std::vector<std::pair<std::wstring, int>> rows;
  for (int n : BulkNumbers(found)) rows.emplace_back(L"Machining " + std::to_wstring(n), 1 + n % 4);
  BulkLoop(state, [&] {
    if (transaction && db->BeginTrans() != 1) {
      state.SkipWithError("BeginTrans failed");
      return false;
    }
    for (const auto& [name, lib] : rows) {
      if (db->INSERTMachining(name, group, lib, 22.5, 96.25, 13) <= 0) {
        state.SkipWithError("no id");
        return false;
      }
    }
    if (transaction && !db->CommitTrans()) {
      state.SkipWithError("CommitTrans failed");
      return false;
    }
    return true;
  });
}

void BulkRaw(benchmark::State& state, bool found) {
  Raw raw(Files::Path(kRows), true);
  const std::string group = "Group";
  std::vector<std::pair<std::string, int>> rows;
  for (int n : BulkNumbers(found)) rows.emplace_back("Machining " + std::to_string(n), 1 + n % 4);
  BulkLoop(state, [&] {
    raw.Exec("BEGIN IMMEDIATE");
    for (const auto& [name, lib] : rows) {
      if (raw.InsertMachining(name, group, lib, 22.5, 96.25, 13, false) <= 0) {
        state.SkipWithError("no id");
        return false;
      }
    }
    raw.Exec("COMMIT");
    return true;
  });
}

void BM_BulkOneByOne(benchmark::State& state) {
  BulkBackend(state, false, false);
}
void BM_BulkTransaction(benchmark::State& state) {
  BulkBackend(state, true, false);
}
void BM_BulkRawTransaction(benchmark::State& state) {
  BulkRaw(state, false);
}
void BM_BulkFoundTransaction(benchmark::State& state) {
  BulkBackend(state, true, true);
}
void BM_BulkRawFoundTransaction(benchmark::State& state) {
  BulkRaw(state, true);
}

BENCHMARK(BM_RawInsertMachining)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_INSERTMachining)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawInsertMachiningFound)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_INSERTMachiningFound)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawInsertMachVariable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_INSERTMachVariable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawUpdateMachVariable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UPDATEMachVariable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawDelMachining)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DELMachining)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_INSERTMachiningNewAt)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_INSERTMachiningFoundAt)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawReadMachining10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GETTblMachining10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawInsertMachiningDurable)
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_INSERTMachiningDurable)->Iterations(300)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One batch an iteration; the one-by-one batch waits for 10,000 commits, so it runs twice.
BENCHMARK(BM_BulkOneByOne)
    ->Iterations(1)
    ->Repetitions(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BulkTransaction)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BulkRawTransaction)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BulkFoundTransaction)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BulkRawFoundTransaction)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The writers' lines of the final table.
const bool kPairs = [] {
  const char* w = "Writers: backend / raw program (same unit, prepared)";
  bench::AddPair({w, "INSERTMachining, new row", "BM_INSERTMachining", "BM_RawInsertMachining"});
  bench::AddPair({w, "INSERTMachining, existing row", "BM_INSERTMachiningFound",
                  "BM_RawInsertMachiningFound"});
  bench::AddPair(
      {w, "INSERTMachVariable, new row", "BM_INSERTMachVariable", "BM_RawInsertMachVariable"});
  bench::AddPair({w, "UPDATEMachVariable", "BM_UPDATEMachVariable", "BM_RawUpdateMachVariable"});
  bench::AddPair({w, "DELMachining", "BM_DELMachining", "BM_RawDelMachining"});
  bench::AddPair({w, "GETTblMachining, 10 rows (fixed cost of a call)", "BM_GETTblMachining10",
                  "BM_RawReadMachining10"});
  bench::AddPair({w, "INSERTMachining, new row, durable", "BM_INSERTMachiningDurable",
                  "BM_RawInsertMachiningDurable", true});
  const char* s = "Writers: 100,000-row table / 100-row table";
  bench::AddPair({s, "INSERTMachining, new row", "BM_INSERTMachiningNewAt/100000",
                  "BM_INSERTMachiningNewAt/100"});
  bench::AddPair({s, "INSERTMachining, existing row", "BM_INSERTMachiningFoundAt/100000",
                  "BM_INSERTMachiningFoundAt/100"});
  const char* b = "Bulk: 10,000 INSERTMachining calls";
  bench::AddPair(
      {b, "one by one / in one transaction", "BM_BulkOneByOne", "BM_BulkTransaction", true});
  // In one transaction the one commit is a small part: CPU time, steadier on a busy machine.
  bench::AddPair({b, "new rows, in one transaction / raw prepared loop", "BM_BulkTransaction",
                  "BM_BulkRawTransaction"});
  bench::AddPair({b, "existing rows, in one transaction / raw prepared loop",
                  "BM_BulkFoundTransaction", "BM_BulkRawFoundTransaction"});
  return true;
}();

}  // namespace
