#include "cli/ServerCommands.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <optional>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "cli/Call.h"
#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "cli/Progress.h"
#include "cli/Suggest.h"
#include "cli/TextTable.h"

#include "QuillData/Config.h"
#if QUILLDATA_WITH_MAINTENANCE
#include "QuillData/maintenance/ServerSchema.h"
#endif
#if QUILLDATA_WITH_TRANSFER
#include "QuillData/maintenance/Transfer.h"
#endif

namespace QuillData::cli {

#if QUILLDATA_WITH_MAINTENANCE

int RunServerInit(const ServerInitSettings& settings, std::ostream& out, std::ostream& err) {
  if (settings.server.empty()) {
    err << "quilldata server-init: name the database with --server CONNECTION\n";
    return kExitUsage;
  }
  ServerInitResult result;
  try {
    result = InitializeServer(FromUtf8(settings.server));
  } catch (const QuillError& e) {
    err << "quilldata server-init: " << ToUtf8(e.Description()) << '\n';
    // A database in a state the schema does not go into: nothing was written.
    return e.Kind() == ErrorKind::RefusedArgument ? kExitUsage : kExitFailed;
  }
  if (settings.json) {
    Json doc{{"installed", result.installed}, {"version", result.version}};
    if (result.upgradedFrom != 0) doc["upgradedFrom"] = result.upgradedFrom;
    out << Dump(doc) << '\n';
  } else if (result.installed) {
    out << "Installed the QuillData schema, version " << result.version << ".\n";
  } else if (result.upgradedFrom != 0) {
    out << "Upgraded the QuillData schema from version " << result.upgradedFrom << " to "
        << result.version << ".\n";
  } else {
    out << "The database is initialised already (schema version " << result.version
        << "); nothing was changed.\n";
  }
  return kExitOk;
}

#else

int RunServerInit(const ServerInitSettings&, std::ostream&, std::ostream& err) {
  err << "quilldata server-init: this build has no maintenance subsystem\n";
  return kExitUsage;
}

#endif

#if QUILLDATA_WITH_TRANSFER

namespace {

using Clock = std::chrono::steady_clock;

// An interrupted transfer stops after the batch of rows it is writing and rolls back; one
// that takes longer than this ends with the process.
constexpr std::chrono::seconds kGrace{10};

struct Interrupted {};

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

struct Parsed {
  std::vector<TransferSide> sides;
  std::vector<std::string> labels;  // a file's name, or "server" (never the connection string)
  std::string sqliteLib;
  bool json = false;
};

// The words in order: a file, or --server CONN, is a side.
std::optional<Parsed> Parse(const std::vector<std::string>& args, std::ostream& err) {
  Parsed parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    auto value = [&](const std::string& option) -> std::optional<std::string> {
      if (word.starts_with(option + "=")) return word.substr(option.size() + 1);
      if (word != option) return std::nullopt;
      if (i + 1 == args.size()) {
        err << "quilldata transfer: " << option << " needs a value\n";
        return std::string();
      }
      return args[++i];
    };
    if (word == "--json") {
      parsed.json = true;
    } else if (auto server = value("--server")) {
      if (server->empty()) return std::nullopt;
      parsed.sides.push_back({{}, FromUtf8(*server)});
      parsed.labels.push_back("server");
    } else if (auto lib = value("--sqlite-lib")) {
      if (lib->empty()) return std::nullopt;
      parsed.sqliteLib = *lib;
    } else if (word.starts_with("-") && word != "-") {
      err << "quilldata transfer: unknown option \"" << word << "\""
          << DidYouMean(word.substr(0, word.find('=')), {"--json", "--server", "--sqlite-lib"})
          << '\n';
      return std::nullopt;
    } else {
      parsed.sides.push_back({word, {}});
      parsed.labels.push_back(word);
    }
  }
  if (parsed.sides.size() != 2) {
    err << "quilldata transfer: name the source and the target, each a database file or "
           "--server CONNECTION (`quilldata transfer --help`)\n";
    return std::nullopt;
  }
  return parsed;
}

Json TablesToJson(const std::vector<TableTransfer>& tables) {
  Json list = Json::array();
  for (const auto& t : tables) {
    list.push_back(Json{{"table", ToUtf8(t.table)},
                        {"sourceRows", t.sourceRows},
                        {"targetRows", t.targetRows},
                        {"sourceChecksum", Hex(t.sourceChecksum)},
                        {"targetChecksum", Hex(t.targetChecksum)},
                        {"nullsAsDefault", t.nullsAsDefault}});
  }
  return list;
}

// The values the first pass found that the target cannot hold.
Json MisfitsToJson(const std::vector<TransferMisfit>& misfits) {
  Json list = Json::array();
  for (const auto& m : misfits) {
    list.push_back(Json{{"table", ToUtf8(m.table)},
                        {"row", m.row},
                        {"id", m.id ? Json(*m.id) : Json(nullptr)},
                        {"column", ToUtf8(m.column)},
                        {"value", ToUtf8(m.value)},
                        {"reason", ToUtf8(m.reason)}});
  }
  return list;
}

}  // namespace

int RunTransfer(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                std::ostream* progress) {
  auto parsed = Parse(args, err);
  if (!parsed) return kExitUsage;
  TransferOptions options;
  options.sqliteLib = FromUtf8(parsed->sqliteLib);
  const TransferSide& target = parsed->sides[1];
  if (!target.file.empty()) RemoveLeftovers(WorkFiles::Transfer(target.file), err, "transfer");
  Interruption interruption(kGrace);
  if (!target.file.empty()) interruption.RemoveOnForcedEnd(WorkFiles::Transfer(target.file));
  std::optional<ProgressBar> bar;
  if (progress && !parsed->json) bar.emplace(*progress);
  // After every batch of rows: the bar, and the place where an interruption stops the
  // transfer, which then rolls back and removes its work file.
  options.progress = [&bar](const TransferProgress& p) {
    if (Interruption::Requested()) throw Interrupted{};
    if (bar) {
      bar->Show(p.phase == TransferProgress::Phase::Copy ? "copying" : "verifying", ToUtf8(p.table),
                p.rowsDone, p.rowsTotal, "rows");
    }
  };
  std::vector<TransferMisfit> misfits;
  options.misfit = [&misfits](const TransferMisfit& m) { misfits.push_back(m); };
  Json doc{{"source", parsed->labels[0]}, {"target", parsed->labels[1]}};
  const auto start = Clock::now();
  std::vector<TableTransfer> tables;
  try {
    tables = TransferDatabase(parsed->sides[0], parsed->sides[1], options);
  } catch (const Interrupted&) {
    bar.reset();
    err << "quilldata transfer: interrupted by " << interruption.SignalName()
        << "; the target is as it was\n";
    return interruption.ExitCode();
  } catch (const QuillError& e) {
    bar.reset();
    const bool refused = IsTransferRefusal(e);
    if (parsed->json) {
      doc["transferred"] = false;
      doc["refused"] = refused;
      doc["error"] = ToUtf8(e.Description());
      if (!misfits.empty()) doc["misfits"] = MisfitsToJson(misfits);
      out << Dump(doc) << '\n';
    } else if (!misfits.empty()) {
      std::vector<std::vector<std::wstring>> cells;
      for (const auto& m : misfits)
        cells.push_back({m.table, std::to_wstring(m.row), m.id ? std::to_wstring(*m.id) : L"",
                         m.column, m.value, m.reason});
      PrintTable(err, {L"table", L"row", L"id", L"column", L"value", L"why it does not fit"},
                 cells);
    }
    err << "quilldata transfer: " << ToUtf8(e.Description()) << '\n';
    return refused ? kExitUsage : kExitFailed;
  }
  bar.reset();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  int64_t rows = 0, defaults = 0;
  for (const auto& t : tables) {
    rows += t.sourceRows;
    defaults += t.nullsAsDefault;
  }
  if (parsed->json) {
    doc["transferred"] = true;
    doc["rows"] = rows;
    doc["seconds"] = seconds;
    doc["tables"] = TablesToJson(tables);
    out << Dump(doc) << '\n';
    return kExitOk;
  }
  std::vector<std::vector<std::wstring>> cells;
  for (const auto& t : tables) {
    cells.push_back({t.table, std::to_wstring(t.sourceRows), std::to_wstring(t.targetRows),
                     FromUtf8(Hex(t.sourceChecksum)), FromUtf8(Hex(t.targetChecksum))});
  }
  PrintTable(out,
             {L"table", L"source rows", L"target rows", L"source checksum", L"target checksum"},
             cells, 120, kWholeCells);
  char summary[160];
  std::snprintf(summary, sizeof summary,
                "%lld rows in %zu tables, verified, in %.1f s (%.0f rows/s)",
                static_cast<long long>(rows), tables.size(), seconds,
                seconds > 0 ? static_cast<double>(rows) / seconds : 0.0);
  out << summary << ": " << parsed->labels[0] << " -> " << parsed->labels[1] << '\n';
  if (defaults > 0) {
    out << defaults << (defaults == 1 ? " empty value was" : " empty values were")
        << " written as the server's column default (the value the readers show for it).\n";
  }
  return kExitOk;
}

#else

int RunTransfer(const std::vector<std::string>&, std::ostream&, std::ostream& err, std::ostream*) {
  err << "quilldata transfer: this build has no transfer (it needs the SQLite backend, the "
         "maintenance subsystem and OpenSSL's MD5, which the Windows build lacks)\n";
  return kExitUsage;
}

#endif

}  // namespace QuillData::cli
