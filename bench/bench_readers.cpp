// GETTblMachRouting (20,000 rows, 47 columns) and GETTblMachining (100,000 rows, 7 columns)
// through the backend, each against a raw SQLite loop that reads the same rows into plain
// structs in the same process. Prints rows/s per benchmark and, at the end, each reader's
// time as a multiple of its raw loop's.
//
//   bench_readers [--benchmark_repetitions=5] [google benchmark flags]
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Module.h"
#include "QuillData/sqlite/Schema.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"

namespace {

constexpr int kRoutingRows = 20000;
constexpr int kMachiningRows = 100000;

// The database both sides read, made once per process.
class Fixture {
 public:
  static const Fixture& Get() {
    static Fixture fixture;
    return fixture;
  }
  const std::string& Path() const { return path_; }
  ~Fixture() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  Fixture() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quilldata-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    path_ = (dir_ / "bench.db").string();
    QuillData::CreateDatabase(path_, false);
    Fill();
  }

  void Fill() {
    sqlite3* db = nullptr;
    Check(sqlite3_open(path_.c_str(), &db), db);
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);

    static const char* const kGroups[] = {"Hinges", "Shelves", "Grooves", "Connectors", "Handles"};
    sqlite3_stmt* m = nullptr;
    Check(
        sqlite3_prepare_v2(db,
                           "INSERT INTO Machining (MachID, MachName, MachGroup, X, Y, Z, MachLibID)"
                           " VALUES (?, ?, ?, ?, ?, ?, ?)",
                           -1, &m, nullptr),
        db);
    for (int i = 1; i <= kMachiningRows; ++i) {
      std::string name = "Machining " + std::to_string(i);
      sqlite3_bind_int(m, 1, i);
      sqlite3_bind_text(m, 2, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(m, 3, kGroups[i % 5], -1, SQLITE_STATIC);
      sqlite3_bind_double(m, 4, 22.5 + i % 100);
      sqlite3_bind_double(m, 5, 96.25 + i % 7);
      sqlite3_bind_double(m, 6, 13 + i % 3 * 0.5);
      sqlite3_bind_int(m, 7, 1 + i % 4);
      if (sqlite3_step(m) != SQLITE_DONE) Check(SQLITE_ERROR, db);
      sqlite3_reset(m);
    }
    sqlite3_finalize(m);

    // Text values as a routing row carries them: names, descriptions, numbers and options.
    static const char* const kText[45] = {"",
                                          "",
                                          "A",
                                          "dep_per_no",
                                          "8",
                                          "12",
                                          "1",
                                          "right",
                                          "18000",
                                          "100",
                                          "50",
                                          "90",
                                          "90",
                                          "nil",
                                          "0",
                                          "",
                                          "0",
                                          "1",
                                          "0",
                                          "lead_in_arc",
                                          "0",
                                          "100",
                                          "90",
                                          "lead_out_no",
                                          "0",
                                          "100",
                                          "90",
                                          "0.5",
                                          "cont_offset_right",
                                          "0",
                                          "0",
                                          "0",
                                          "60",
                                          "25",
                                          "Spiral cutter 12",
                                          "128",
                                          "30",
                                          "12.5",
                                          "6",
                                          "64",
                                          "35.25",
                                          "0",
                                          "0",
                                          "0",
                                          "1"};
    std::string sql = "INSERT INTO MachRouting VALUES (?";
    for (int c = 1; c < 47; ++c) sql += ", ?";
    sql += ")";
    sqlite3_stmt* r = nullptr;
    Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &r, nullptr), db);
    for (int i = 1; i <= kRoutingRows; ++i) {
      std::string name = "Routing " + std::to_string(i);
      std::string description = "Contour routing of part " + std::to_string(i % 500);
      sqlite3_bind_int(r, 1, i);
      for (int c = 0; c < 45; ++c) {
        // Columns 2..36 and 38..47 are text; column 37 is MachID.
        int column = c < 35 ? c + 2 : c + 3;
        const char* value = c == 0 ? name.c_str() : c == 1 ? description.c_str() : kText[c];
        sqlite3_bind_text(r, column, value, -1, SQLITE_TRANSIENT);
      }
      sqlite3_bind_int(r, 37, 1 + i % kMachiningRows);
      if (sqlite3_step(r) != SQLITE_DONE) Check(SQLITE_ERROR, db);
      sqlite3_reset(r);
    }
    sqlite3_finalize(r);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
  }

  static void Check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK) {
      std::fprintf(stderr, "bench setup: %s\n", sqlite3_errmsg(db));
      std::abort();
    }
  }

  std::filesystem::path dir_;
  std::string path_;
};

// The raw loop's rows.
struct RawMachining {
  int32_t MachID;
  std::string MachName;
  std::string MachGroup;
  double X, Y, Z;
  int32_t MachLibID;
};
struct RawRouting {
  int32_t lngMachRoutingID;
  std::array<std::string, 45> text;
  int32_t MachID;
};

std::string Text(sqlite3_stmt* s, int i) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
  return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s, i))) : std::string();
}

template <class Row, class ReadRow>
void RawLoop(benchmark::State& state, const char* sql, int expected, ReadRow readRow) {
  sqlite3* db = nullptr;
  sqlite3_open(Fixture::Get().Path().c_str(), &db);
  for (auto _ : state) {
    std::vector<Row> rows;
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) rows.push_back(readRow(s));
    sqlite3_finalize(s);
    if (static_cast<int>(rows.size()) != expected) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(rows.data());
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * expected);
}

void BM_RawMachRouting(benchmark::State& state) {
  RawLoop<RawRouting>(state, "SELECT * FROM MachRouting", kRoutingRows, [](sqlite3_stmt* s) {
    RawRouting row;
    row.lngMachRoutingID = sqlite3_column_int(s, 0);
    for (int c = 0; c < 45; ++c) row.text[c] = Text(s, c < 35 ? c + 1 : c + 2);
    row.MachID = sqlite3_column_int(s, 36);
    return row;
  });
}

void BM_RawMachining(benchmark::State& state) {
  RawLoop<RawMachining>(state, "SELECT * FROM Machining", kMachiningRows, [](sqlite3_stmt* s) {
    return RawMachining{sqlite3_column_int(s, 0),
                        Text(s, 1),
                        Text(s, 2),
                        sqlite3_column_double(s, 3),
                        sqlite3_column_double(s, 4),
                        sqlite3_column_double(s, 5),
                        sqlite3_column_int(s, 6)};
  });
}

template <class Read>
void Backend(benchmark::State& state, int expected, Read read) {
  auto db = std::make_shared<QuillData::clsQuillData_SqlLite>();
  auto errors = std::make_shared<QuillData::PolicyErrorHandler>();
  std::wstring path = std::filesystem::path(Fixture::Get().Path()).wstring();
  if (!db->OpenDB(nullptr, errors, {L"", path, L"0"})) {
    state.SkipWithError("OpenDB failed");
    return;
  }
  for (auto _ : state) {
    int32_t count = 0;
    QuillData::CollectionPtr rows = read(*db, count);
    if (!rows || count != expected) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(rows.get());
  }
  state.SetItemsProcessed(state.iterations() * expected);
}

void BM_GETTblMachRouting(benchmark::State& state) {
  Backend(state, kRoutingRows,
          [](QuillData::clsQuillData& db, int32_t& n) { return db.GETTblMachRouting(n); });
}

void BM_GETTblMachining(benchmark::State& state) {
  Backend(state, kMachiningRows,
          [](QuillData::clsQuillData& db, int32_t& n) { return db.GETTblMachining(n); });
}

BENCHMARK(BM_RawMachRouting)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GETTblMachRouting)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawMachining)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GETTblMachining)->Unit(benchmark::kMillisecond);

// The console output plus, at the end, each reader's time over its raw loop's (medians when
// the run has repetitions).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Iteration) {
        auto& sample = single_[run.run_name.function_name];
        sample = sample == 0 ? run.GetAdjustedCPUTime() : sample;
      } else if (run.aggregate_name == "median") {
        median_[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    Ratio("GETTblMachRouting", "BM_GETTblMachRouting", "BM_RawMachRouting", 1.5);
    Ratio("GETTblMachining", "BM_GETTblMachining", "BM_RawMachining", 2.5);
  }

 private:
  double Time(const std::string& name) const {
    auto m = median_.find(name);
    if (m != median_.end()) return m->second;
    auto s = single_.find(name);
    return s == single_.end() ? 0 : s->second;
  }
  void Ratio(const char* label, const std::string& reader, const std::string& raw, double target) {
    double a = Time(reader), b = Time(raw);
    if (a <= 0 || b <= 0) return;
    std::printf("%-18s %.2fx the raw loop (target: within %.1fx)\n", label, a / b, target);
  }
  std::map<std::string, double> single_, median_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Fixture::Get();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
