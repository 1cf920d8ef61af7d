// The transfer of 100,000 Machining rows and 20,000 MachRouting rows from a database file to a
// PostgreSQL server, against the server's own bulk load of the same rows: COPY ... FROM STDIN
// as CSV through psql, in one transaction. The transfer runs twice a round, with the server
// reached through libpq (its bulk load) and through ODBC (batched statements). All run on a
// throwaway server of their own, in alternating rounds, each into a fresh database holding the
// schema; the medians and their ratios are printed at the end. The transfer's time is all of it:
// reading the file, writing, moving the identities on, and verifying every table on both sides
// before the commit.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "QuillData/contract/Text.h"
#include "QuillData/maintenance/ServerSchema.h"
#include "QuillData/maintenance/Transfer.h"
#include "QuillData/sqlite/Schema.h"
#include "support/PgServer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kMachiningRows = 100000;
constexpr int kRoutingRows = 20000;
constexpr int kRounds = 5;

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK) {
    std::cerr << "bench_transfer: " << sqlite3_errmsg(db) << '\n';
    std::exit(1);
  }
}

// Rows like a shop's: names, groups and coordinates; routing rows of mostly short texts.
void Fill(const fs::path& path) {
  QuillData::CreateDatabase(path, false);
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db);
  std::string routingValues;
  for (const char* text : {"A",           "dep_per_no", "8",
                           "12",          "1",          "right",
                           "18000",       "100",        "50",
                           "90",          "90",         "nil",
                           "0",           "",           "0",
                           "1",           "0",          "lead_in_arc",
                           "0",           "100",        "90",
                           "lead_out_no", "0",          "100",
                           "90",          "0.5",        "cont_offset_right",
                           "0",           "0",          "0",
                           "60",          "25",         "Spiral cutter 12"})
    routingValues += std::string(", '") + text + "'";
  const std::string sql =
      "BEGIN;"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(kMachiningRows) +
      ") INSERT INTO Machining SELECT i, 'Machining ' || i, "
      "CASE i % 5 WHEN 0 THEN 'Hinges' WHEN 1 THEN 'Shelves' WHEN 2 THEN 'Grooves' "
      "WHEN 3 THEN 'Connectors' ELSE 'Handles' END, "
      "22.5 + i % 100 + i / 7.0, 96.25 + i % 7, 13 + i % 3 * 0.5, 1 + i % 4 FROM n;"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(kRoutingRows) +
      ") INSERT INTO MachRouting SELECT i, 'Routing ' || i, 'Contour routing of part ' || (i % "
      "500)" +
      routingValues + ", 1 + i % " + std::to_string(kMachiningRows) +
      ", '128', '30', '12.5', '6', '64', '35.25', '0', '0', '0', '1' FROM n;"
      "COMMIT;";
  Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db);
  sqlite3_close(db);
}

// A psql script that loads both tables from CSV rows written into it (doubles in their
// shortest exact text), in one transaction.
void WriteCopyScript(const fs::path& file, const fs::path& script) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(file.c_str(), &db), db);
  std::ofstream out(script, std::ios::binary);
  out << "BEGIN;\n";
  for (const char* table : {"Machining", "MachRouting"}) {
    sqlite3_stmt* stmt = nullptr;
    Check(
        sqlite3_prepare_v2(db, (std::string("SELECT * FROM ") + table + " ORDER BY rowid").c_str(),
                           -1, &stmt, nullptr),
        db);
    out << "COPY " << table << " FROM STDIN WITH (FORMAT csv);\n";
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        if (c > 0) out << ',';
        switch (sqlite3_column_type(stmt, c)) {
          case SQLITE_NULL:
            break;
          case SQLITE_INTEGER:
            out << sqlite3_column_int64(stmt, c);
            break;
          case SQLITE_FLOAT: {
            char text[32];
            out.write(
                text,
                std::to_chars(text, text + sizeof text, sqlite3_column_double(stmt, c)).ptr - text);
            break;
          }
          default: {
            out << '"';
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            for (int k = 0; k < sqlite3_column_bytes(stmt, c); ++k) {
              if (text[k] == '"') out << '"';
              out << text[k];
            }
            out << '"';
          }
        }
      }
      out << '\n';
    }
    out << "\\.\n";
    sqlite3_finalize(stmt);
  }
  out << "COMMIT;\n";
  sqlite3_close(db);
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main() {
  using QuillData::test::PgServer;
  const std::string binaries = PgServer::Binaries();
  if (binaries.empty()) {
    std::cerr << "bench_transfer: skipped: " << PgServer::SkipReason() << '\n';
    return 0;
  }
  const fs::path dir =
      fs::temp_directory_path() / ("quilldata-bench-transfer-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / "shop.db";
  const fs::path script = dir / "copy.sql";
  Fill(file);
  WriteCopyScript(file, script);

  PgServer server(binaries);
  const std::string schema = server.NewDatabase();
  QuillData::InitializeServer(server.ConnectionString(schema));

  struct Way {
    const char* name;
    std::wstring (PgServer::*connection)(const std::string&) const;
    std::vector<double> seconds, verify;
  };
  Way ways[] = {{"libpq", &PgServer::LibpqConnectionString, {}, {}},
                {"ODBC", &PgServer::ConnectionString, {}, {}}};
  std::vector<double> copy;
  for (int round = 0; round < kRounds; ++round) {
    std::printf("round %d:", round + 1);
    for (Way& way : ways) {
      const std::string a = server.NewDatabase(schema);
      auto start = Clock::now();
      Clock::time_point verifying{};
      QuillData::TransferOptions options;
      options.progress = [&](const QuillData::TransferProgress& p) {
        if (p.phase == QuillData::TransferProgress::Phase::Verify &&
            verifying == Clock::time_point{})
          verifying = Clock::now();
      };
      const auto tables =
          QuillData::TransferDatabase({file, {}}, {{}, (server.*way.connection)(a)}, options);
      way.seconds.push_back(Seconds(start));
      way.verify.push_back(std::chrono::duration<double>(Clock::now() - verifying).count());
      int64_t rows = 0;
      for (const auto& t : tables) rows += t.targetRows;
      if (rows != kMachiningRows + kRoutingRows) {
        std::cerr << "bench_transfer: the transfer moved " << rows << " rows\n";
        return 1;
      }
      std::printf(" transfer via %s %.2f s (verifying %.2f s),", way.name, way.seconds.back(),
                  way.verify.back());
    }
    const std::string b = server.NewDatabase(schema);
    const auto start = Clock::now();
    server.Psql(script.string(), b, "-f");
    copy.push_back(Seconds(start));
    std::printf(" COPY %.2f s\n", copy.back());
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);

  std::printf(
      "\n%d Machining + %d MachRouting rows, file -> PostgreSQL, median of %d rounds\n"
      "| method | time | ratio |\n|---|---|---|\n",
      kMachiningRows, kRoutingRows, kRounds);
  for (Way& way : ways)
    std::printf("| quilldata transfer via %s (verification included: %.2f s) | %.2f s | %.2fx |\n",
                way.name, Median(way.verify), Median(way.seconds),
                Median(way.seconds) / Median(copy));
  std::printf("| psql COPY ... FROM STDIN (CSV) | %.2f s | 1.00x |\n", Median(copy));
  return 0;
}
