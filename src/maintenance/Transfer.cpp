// The transfer's course: both sides agree on the tables, the source is read in one snapshot
// and checked against what the target takes before anything is written, then copied table
// by table into one transaction of the target, verified, and committed.
#include "QuillData/maintenance/Transfer.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <system_error>
#include <tuple>
#include <utility>

#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/Schema.h"
#include "maintenance/dialect/Dialect.h"
#include "maintenance/transfer/Checksum.h"
#include "maintenance/transfer/FileSide.h"
#include "maintenance/transfer/ServerSide.h"
#include "platform/Files.h"

namespace QuillData {

namespace {

namespace fs = std::filesystem;
using namespace transfer;

// Misfits named in the refusal's description; the callback hears of every one.
constexpr int64_t kMisfitsListed = 20;

void CheckSide(const TransferSide& side, const wchar_t* which) {
  if (side.file.empty() == side.server.empty())
    Refuse(TransferRefusal::BadArgument,
           std::wstring(L"The ") + which + L" must be a database file or a server, one of them.");
}

std::wstring Label(const TransferSide& side) {
  return side.file.empty() ? L"database on the server" : L"\"" + side.file.wstring() + L"\"";
}

std::wstring CountList(const std::vector<std::pair<std::string, int64_t>>& tables) {
  std::wstring out;
  for (const auto& [name, rows] : tables)
    out += (out.empty() ? L"" : L", ") + FromUtf8(name) + L" (" + std::to_wstring(rows) +
           (rows == 1 ? L" row)" : L" rows)");
  return out;
}

std::wstring Hex(uint64_t value) {
  wchar_t text[17];
  std::swprintf(text, 17, L"%016llx", static_cast<unsigned long long>(value));
  return text;
}

// A value as a report shows it: a text or blob cut short, a zero character as \0.
std::wstring Shown(const Cell& cell, Kind kind) {
  switch (kind) {
    case Kind::Integer:
    case Kind::Bool:
      return std::to_wstring(cell.i);
    case Kind::Real: {
      // Exactly, and without an exponent where a point does as well.
      const double size = std::fabs(cell.d);
      const auto format =
          size >= 1e-6 && size < 1e21 ? std::chars_format::fixed : std::chars_format::general;
      char text[64];
      return FromUtf8(
          std::string_view(text, std::to_chars(text, text + sizeof text, cell.d, format).ptr));
    }
    case Kind::Blob:
      return std::to_wstring(cell.s.size()) + L" bytes";
    default: {
      std::wstring text = FromUtf8(cell.s.substr(0, 120));
      if (text.size() > 40) text = text.substr(0, 40) + L"...";
      for (size_t at = text.find(L'\0'); at != std::wstring::npos; at = text.find(L'\0', at))
        text.replace(at, 1, L"\\0");
      return text;
    }
  }
}

bool NeedsChecking(const std::vector<TableSpec>& tables) {
  for (const TableSpec& table : tables)
    for (const ColumnSpec& column : table.columns)
      if (!Within(column.holds, column.takes)) return true;
  return false;
}

// The first pass: every value of the source whose column the target limits beyond what the
// source's column holds, against that limit. Refuses, naming them, when any does not fit.
void CheckFit(Side& source, const std::vector<TableSpec>& tables, const TransferOptions& options) {
  int64_t found = 0;
  std::wstring listed;
  for (const TableSpec& table : tables) {
    // The columns to look at, and the id to name a row by.
    TableSpec part{table.name, {}, -1};
    std::vector<size_t> checked;
    for (size_t c = 0; c < table.columns.size(); ++c) {
      const ColumnSpec& column = table.columns[c];
      const bool check = !Within(column.holds, column.takes);
      const bool key = static_cast<int>(c) == table.key;
      if (!check && !key) continue;
      if (key) part.key = static_cast<int>(part.columns.size());
      if (check) checked.push_back(part.columns.size());
      part.columns.push_back(column);
    }
    if (checked.empty()) continue;
    source.Suspects(part, [&](int64_t row, const Cell* cells) {
      for (const size_t k : checked) {
        const ColumnSpec& column = part.columns[k];
        auto why = Misfit(cells[k], column.kind, column.takes);
        if (!why) continue;
        TransferMisfit misfit{FromUtf8(table.name), FromUtf8(column.name),        row,
                              std::nullopt,         Shown(cells[k], column.kind), std::move(*why)};
        if (part.key >= 0 && !cells[part.key].null) misfit.id = cells[part.key].i;
        if (options.misfit) options.misfit(misfit);
        if (++found > kMisfitsListed) continue;
        listed += (listed.empty() ? L"" : L"; ") + misfit.table + L"." + misfit.column + L" (row " +
                  std::to_wstring(row) +
                  (misfit.id ? L", " + FromUtf8(part.columns[static_cast<size_t>(part.key)].name) +
                                   L" " + std::to_wstring(*misfit.id)
                             : L"") +
                  L") \"" + misfit.value + L"\" " + misfit.reason;
      }
    });
  }
  if (found == 0) return;
  if (found > kMisfitsListed)
    listed += L"; and " + std::to_wstring(found - kMisfitsListed) + L" more";
  throw QuillError(TransferRefusal::ValuesDoNotFit, kSource,
                   std::to_wstring(found) +
                       (found == 1 ? L" value of the source does" : L" values of the source do") +
                       L" not fit the target, so nothing was written: " + listed + L".");
}

std::vector<TableTransfer> Run(Side& source, Side& target, std::vector<TableSpec>& tables,
                               const TransferSide& to, const TransferOptions& options) {
  source.Refine(tables, false);
  target.Refine(tables, true);

  source.BeginRead();
  std::vector<TableTransfer> report;
  int64_t total = 0;
  for (const TableSpec& table : tables) {
    report.push_back({FromUtf8(table.name), source.Count(table), 0, 0, 0, 0});
    total += report.back().sourceRows;
  }
  // Rows the target's schema has no place for would be lost.
  if (auto others = source.OtherRows(tables); !others.empty()) {
    Refuse(TransferRefusal::RowsLeftBehind,
           L"The source holds rows in tables that the transfer does not carry: " +
               CountList(others) + L".");
  }
  auto openTarget = [&] {
    target.BeginWrite();
    // Counted inside the writing transaction, so that nobody fills the target in between.
    std::vector<std::pair<std::string, int64_t>> filled;
    for (const TableSpec& table : tables) {
      if (const int64_t rows = target.Count(table); rows > 0) filled.emplace_back(table.name, rows);
    }
    return filled;
  };
  std::vector<std::pair<std::string, int64_t>> filled;
  if (NeedsChecking(tables)) {
    // Neither writes: the target opens while the first pass reads the source. Limits come
    // only with a server on one side, so no more than one thread runs SQLite.
    auto opening = std::async(std::launch::async, openTarget);
    CheckFit(source, tables, options);
    filled = opening.get();
  } else {
    filled = openTarget();
  }
  if (!filled.empty()) {
    Refuse(TransferRefusal::TargetNotEmpty, L"The target " + Label(to) +
                                                L" already holds rows, so nothing was written: " +
                                                CountList(filled) + L".");
  }

  TransferProgress progress;
  progress.rowsTotal = total;
  for (size_t t = 0; t < tables.size(); ++t) {
    progress.table = report[t].table;
    Checksum sum;
    const auto& columns = tables[t].columns;
    source.Scan(tables[t], [&](Batch& batch) {
      for (size_t k = 0; k < batch.cells.size(); ++k) {
        const auto& nullAs = columns[k % batch.width].nullAs;
        if (batch.cells[k].null && nullAs) {
          batch.cells[k] = *nullAs;
          ++report[t].nullsAsDefault;
        }
      }
      for (size_t r = 0; r < batch.Rows(); ++r) sum.Add(batch.Row(r), columns);
      target.Insert(tables[t], batch);
      progress.rowsDone += static_cast<int64_t>(batch.Rows());
      if (options.progress) options.progress(progress);
    });
    target.Finish(tables[t], source.IdsUsed(tables[t]));
    // The source was read in one snapshot: what it counted is what it sent.
    report[t].sourceRows = sum.Rows();
    report[t].sourceChecksum = sum.Value();
  }

  progress = {TransferProgress::Phase::Verify, {}, 0, total};
  std::wstring mismatched;
  for (size_t t = 0; t < tables.size(); ++t) {
    progress.table = report[t].table;
    std::tie(report[t].targetRows, report[t].targetChecksum) = target.Verify(tables[t]);
    progress.rowsDone += report[t].sourceRows;
    if (options.progress) options.progress(progress);
    if (report[t].targetRows != report[t].sourceRows ||
        report[t].targetChecksum != report[t].sourceChecksum) {
      mismatched += (mismatched.empty() ? L"" : L"; ") + report[t].table + L": source " +
                    std::to_wstring(report[t].sourceRows) + L" rows " +
                    Hex(report[t].sourceChecksum) + L", target " +
                    std::to_wstring(report[t].targetRows) + L" rows " +
                    Hex(report[t].targetChecksum);
    }
  }
  if (!mismatched.empty())
    Fail(L"The target does not read back what was sent, so nothing was written: " + mismatched +
         L".");
  target.Commit();
  source.Rollback();  // the read transaction: nothing to keep
  return report;
}

std::unique_ptr<Side> Open(const TransferSide& side, const TransferOptions& options) {
  if (!side.server.empty()) return OpenServer(side.server, dialect::Postgres());
  return std::make_unique<FileSide>(options.sqliteLib, side.file);
}

}  // namespace

bool IsTransferRefusal(const QuillError& error) {
  switch (error.Number()) {
    case TransferRefusal::SourceMissing:
    case TransferRefusal::TargetNotEmpty:
    case TransferRefusal::NotASchema:
    case TransferRefusal::RowsLeftBehind:
    case TransferRefusal::BadArgument:
    case TransferRefusal::ValuesDoNotFit:
      // Raised as its number tells, not a side's failure that carries the same number.
      return error.Kind() == KindOfNumber(error.Number());
    default:
      return false;
  }
}

std::vector<TableTransfer> TransferDatabase(const TransferSide& from, const TransferSide& to,
                                            const TransferOptions& options) {
  CheckSide(from, L"source");
  CheckSide(to, L"target");
  std::error_code ec;
  if (!from.file.empty() && !fs::is_regular_file(from.file, ec))
    Refuse(TransferRefusal::SourceMissing,
           L"The database file \"" + from.file.wstring() + L"\" does not exist.");
  if (!from.file.empty() && !to.file.empty() && fs::equivalent(from.file, to.file, ec))
    Refuse(TransferRefusal::BadArgument, L"The source and the target are the same file.");

  std::vector<TableSpec> tables = SchemaTables(options.sqliteLib);
  // A file target that is not there yet is built under a temporary name beside it and gets
  // its name only once complete: an interrupted transfer leaves no target behind.
  TransferSide target = to;
  const bool created = !to.file.empty() && !fs::exists(to.file, ec);
  if (created) {
    target.file += L".transfer-" + std::to_wstring(platform::ProcessId());
    fs::remove(target.file, ec);  // left by an interrupted transfer of a process with our id
    CreateDatabase(target.file, false, options.sqliteLib);
  }
  std::vector<TableTransfer> report;
  try {
    auto source = Open(from, options);
    auto writer = Open(target, options);
    try {
      report = Run(*source, *writer, tables, to, options);
    } catch (...) {
      writer->Rollback();
      source->Rollback();
      throw;
    }
  } catch (...) {
    if (created) fs::remove(target.file, ec);
    throw;
  }
  if (created) {
    // link() never replaces: a file that appeared under the name meanwhile is kept.
    if (::link(target.file.c_str(), to.file.c_str()) != 0) {
      const int error = errno;
      Fail(L"The transfer is complete in \"" + target.file.wstring() +
           L"\", but it cannot be named \"" + to.file.wstring() + L"\": " +
           FromUtf8(std::strerror(error)) + L".");
    }
    fs::remove(target.file, ec);
  }
  return report;
}

}  // namespace QuillData
