// What a commit costs, and what WAL mode changes: INSERTMachining through the backend, one by
// one (each its own commit) and all in one transaction (BeginTrans ... CommitTrans), in the
// default rollback-journal mode and in WAL mode (PRAGMA journal_mode=WAL, set once on the file);
// beside each, a raw SQLite loop of prepared single-row inserts doing the same commits, in
// the same run. Everything at the library's defaults: every commit waits for the disk.
//
//   bench_commit [WRITES ONE BY ONE PER ROUND (default 200)]
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QuillData/contract/Companions.h"
#include "QuillData/sqlite/Schema.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    std::fprintf(stderr, "bench_commit: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

// Milliseconds per write of `run`, on a new database file in `mode`.
double PerWrite(const fs::path& dir, const char* mode, int writes,
                const std::function<void(const std::string&, int)>& run) {
  static int n = 0;
  const std::string path = (dir / ("db" + std::to_string(++n) + ".db")).string();
  QuillData::CreateDatabase(path, false);
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db);
  Check(sqlite3_exec(db, (std::string("PRAGMA journal_mode=") + mode).c_str(), nullptr, nullptr,
                     nullptr),
        db);
  sqlite3_close(db);
  const auto start = Clock::now();
  run(path, writes);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / writes;
}

void Library(const std::string& path, int writes, bool oneTransaction) {
  auto db = std::make_shared<QuillData::clsQuillData_SqlLite>();
  auto errors = std::make_shared<QuillData::PolicyErrorHandler>();
  if (!db->OpenDB(std::make_shared<QuillData::StreamTrace>(), errors, {"", path, "0"}))
    std::exit(1);
  if (oneTransaction && db->BeginTrans() != 1) std::exit(1);
  for (int i = 0; i < writes; ++i)
    db->INSERTMachining(L"M" + std::to_wstring(i), L"D", 1, i + 0.5, 0.0, 0.0);
  if (oneTransaction && !db->CommitTrans()) std::exit(1);
  if (!errors->Reports().empty()) std::exit(1);
}

void Raw(const std::string& path, int writes, bool oneTransaction) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db);
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO Machining (MachName, X, Y, Z, MachGroup, MachLibID) "
                           "VALUES (?, ?, 0, 0, 'D', 1)",
                           -1, &insert, nullptr),
        db);
  if (oneTransaction) Check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db);
  for (int i = 0; i < writes; ++i) {
    // Not "M" + ...: g++ 12 at -O3 takes that for an overlapping copy (a false -Wrestrict).
    std::string name = std::to_string(i);
    name.insert(name.begin(), 'M');
    sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 2, i + 0.5);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  if (oneTransaction) Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  sqlite3_finalize(insert);
  sqlite3_close(db);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  // One by one, every write waits for the disk: fewer of them, more rounds. The rounds take
  // the configurations in turn, so that a busy disk weighs on all of them alike.
  const int single = argc > 1 ? std::atoi(argv[1]) : 200;
  const int together = single * 10;
  constexpr int kRounds = 7;
  std::string pattern = (fs::temp_directory_path() / "quilldata-commit-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path dir = pattern;

  struct Config {
    const char* mode;
    void (*write)(const std::string&, int, bool);
    bool transaction;
    std::vector<double> samples;
  };
  std::vector<Config> configs;
  for (const char* mode : {"delete", "wal"})
    for (auto write : {Library, Raw})
      for (bool transaction : {false, true}) configs.push_back({mode, write, transaction, {}});
  for (int round = 0; round < kRounds; ++round) {
    for (Config& c : configs) {
      c.samples.push_back(
          PerWrite(dir, c.mode, c.transaction ? together : single,
                   [&](const std::string& path, int n) { c.write(path, n, c.transaction); }));
    }
  }
  std::printf(
      "INSERTMachining of new rows, milliseconds per write, the median of %d rounds of %d one by "
      "one and %d in one transaction (the raw loop in brackets)\n\n",
      kRounds, single, together);
  std::printf(
      "| Journal mode | One by one | In one transaction | One by one / one transaction |\n");
  std::printf("|---|---|---|---|\n");
  for (size_t i = 0; i < configs.size(); i += 4) {
    const double lib = Median(configs[i].samples), libTx = Median(configs[i + 1].samples);
    const double raw = Median(configs[i + 2].samples), rawTx = Median(configs[i + 3].samples);
    std::printf("| %s | %.3f (%.3f) | %.4f (%.4f) | %.0fx |\n",
                std::string(configs[i].mode) == "wal" ? "WAL" : "rollback journal (default)", lib,
                raw, libTx, rawTx, lib / libTx);
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return 0;
}
