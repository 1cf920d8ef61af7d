// The main writers through the backend, each against a raw SQLite program in the same process
// that sends the same statement texts in the same order: for the look-up writers the unit
// BEGIN IMMEDIATE, look-up, write, " select last_insert_rowid() ", COMMIT; for a new row and
// (the look-up alone) for an existing one; the same writer on a table of 100 and of 100,000
// rows; and one reader call on a 10-row table (the fixed cost of an operation).
//
// Both sides run with PRAGMA synchronous = OFF so that the comparison measures the library,
// not the disk's flushes; the *Durable pair shows the default settings, where each commit
// waits for the disk.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
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

// A connection of the benchmark's own: the raw side, and the untimed clean-up of both.
class Raw {
 public:
  Raw(const std::string& path, bool durable) {
    db_ = bench::OpenRaw(path);
    if (!durable) Exec("PRAGMA synchronous = OFF");
  }
  Raw(const Raw&) = delete;
  Raw& operator=(const Raw&) = delete;
  ~Raw() { sqlite3_close(db_); }

  void Exec(const std::string& sql) {
    Check(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), db_);
  }
  std::optional<int> QueryInt(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    Check(sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr), db_);
    std::optional<int> value;
    if (sqlite3_step(s) == SQLITE_ROW) value = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    return value;
  }
  sqlite3* Handle() const { return db_; }

  // The statement texts the backend sends, built the way it builds them.
  static std::string Quoted(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
      out += c;
      if (c == '\'') out += '\'';
    }
    return out;
  }
  static std::string Number(double x) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15g", x);
    return buffer;
  }
  // The look-up writers' unit: the look-up and the write it decides under one write lock.
  int InsertMachining(const std::string& name, const std::string& group, int lib, double x,
                      double y, double z) {
    Exec("BEGIN IMMEDIATE");
    int id = 0;
    if (auto found = QueryInt(" SELECT MachID FROM Machining  WHERE [MachName] = '" + Quoted(name) +
                              "' AND MachLibID = " + std::to_string(lib))) {
      id = *found;
    } else {
      Exec(" INSERT INTO Machining ([MachName], X, Y, Z, MachGroup, MachLibID)  VALUES('" +
           Quoted(name) + "'," + Number(x) + "," + Number(y) + "," + Number(z) + ",'" +
           Quoted(group) + "'," + std::to_string(lib) + ")");
      id = QueryInt(" select last_insert_rowid() ").value_or(0);
    }
    Exec("COMMIT");
    return id;
  }
  int InsertMachVariable(const std::string& name, const std::string& value, int lib,
                         bool requested) {
    Exec("BEGIN IMMEDIATE");
    int id = 0;
    if (auto found = QueryInt(" SELECT MachVarID FROM MachVariable  WHERE [Name] = '" +
                              Quoted(name) + "' AND MachLibID = " + std::to_string(lib))) {
      id = *found;
    } else {
      Exec(" INSERT INTO MachVariable ([Name], [Value], MachLibID, Requested)  VALUES('" +
           Quoted(name) + "','" + Quoted(value) + "'," + std::to_string(lib) + "," +
           (requested ? "1" : "0") + ")");
      id = QueryInt(" select last_insert_rowid() ").value_or(0);
    }
    Exec("COMMIT");
    return id;
  }
  void UpdateMachVariable(const std::string& name, const std::string& value, int lib, int id) {
    Exec("BEGIN IMMEDIATE");
    if (QueryInt(" SELECT MachVarID FROM MachVariable  WHERE MachVarID = " + std::to_string(id) +
                 " AND MachLibID = " + std::to_string(lib))) {
      Exec(" UPDATE MachVariable  SET Name = '" + Quoted(name) + "', Value = '" + Quoted(value) +
           "' WHERE MachLibID = " + std::to_string(lib) + " AND MachVarID = " + std::to_string(id));
    }
    Exec("COMMIT");
  }
  // Three deletes, each its own statement (no unit: a failure half-way keeps what went before).
  void DelMachining(int id) {
    Exec(" DELETE FROM Machining WHERE MachID = " + std::to_string(id));
    Exec(" DELETE FROM MachVertical WHERE MachID = " + std::to_string(id));
    Exec(" DELETE FROM MachRouting WHERE MachID = " + std::to_string(id));
  }

 private:
  sqlite3* db_ = nullptr;
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

// The writers' lines of the final table.
const bool kPairs = [] {
  const char* w = "Writers: backend / raw program (same statements)";
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
  return true;
}();

}  // namespace
