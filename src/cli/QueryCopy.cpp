#include "cli/QueryCopy.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Text.h"
#include "cli/Call.h"
#include "cli/Interrupt.h"
#include "cli/TextTable.h"
#include "platform/Files.h"

#include "QuillData/Config.h"
#if QUILLDATA_WITH_MAINTENANCE
#include "QuillData/ado/Recordset.h"
#include "QuillData/maintenance/clsLumenData.h"
#endif
#if QUILLDATA_WITH_MAINTENANCE && QUILLDATA_WITH_SQLITE
#include "QuillData/maintenance/SqliteCopy.h"
#include "QuillData/maintenance/SqliteQuery.h"
#endif

namespace QuillData::cli {

#if QUILLDATA_WITH_MAINTENANCE

namespace {

// The copies are written beside the database's own files: a name that is a path could put
// them anywhere the tool may write.
bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c == '/' || c == '\\' || c < 0x20) return false;
  return true;
}

void MoveToFirst(ado::Recordset& rows) {
  if (!rows.Bof() || !rows.Eof()) rows.MoveFirst();
}

std::vector<std::wstring> ColumnNames(ado::Recordset& rows) {
  std::vector<std::wstring> names;
  const auto& fields = rows.Fields();
  for (int32_t i = 0; i < fields->Count(); ++i) names.push_back(fields->Item(i)->Name());
  return names;
}

// The rows in the form asked for.
int PrintResult(const QuerySettings& settings, ado::Recordset& rows, std::ostream& out) {
  if (settings.table) {
    PrintRecordset(out, rows);
  } else {
    out << Dump(RecordsetToJson(rows)) << '\n';
  }
  return kExitOk;
}

int QueryServer(const QuerySettings& settings, std::ostream& out, std::ostream& err) {
  auto trace = std::make_shared<StreamTrace>();
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave, 0, &err);
  clsLumenData lumen;
  if (!lumen.OpenDB(FromUtf8(settings.server), trace, errors)) {
    err << "quilldata query: could not open the server connection\n";
    return kExitFailed;
  }
  int32_t count = -1;
  auto rows = lumen.Get_Lumen_Set(FromUtf8(settings.sql), count);
  if (!rows || !errors->Reports().empty()) {
    err << "quilldata query: the statement failed\n";
    return kExitFailed;
  }
  return PrintResult(settings, *rows, out);
}

int QueryFile(const QuerySettings& settings, std::ostream& out, std::ostream& err) {
#if QUILLDATA_WITH_SQLITE
  std::shared_ptr<ado::Recordset> rows;
  try {
    rows = QuerySqliteDatabase(platform::Utf8Path(settings.db), FromUtf8(settings.sql),
                               FromUtf8(settings.sqliteLib));
  } catch (const QuillError& e) {
    err << "quilldata query: " << ToUtf8(e.Description()) << '\n';
    return e.Number() == ErrNo::FileNotFound ? kExitUsage : kExitFailed;
  }
  return PrintResult(settings, *rows, out);
#else
  (void)settings;
  (void)out;
  err << "quilldata query: this build has no SQLite backend; use --server\n";
  return kExitUsage;
#endif
}

}  // namespace

Json RecordsetToJson(ado::Recordset& rows) {
  MoveToFirst(rows);
  Json doc = Json::object();
  doc["recordCount"] = rows.RecordCount();
  Json columns = Json::array();
  for (const auto& name : ColumnNames(rows)) columns.push_back(ToUtf8(name));
  const int32_t width = rows.Fields()->Count();
  Json list = Json::array();
  for (; !rows.Eof(); rows.MoveNext()) {
    Json row = Json::array();
    for (int32_t i = 0; i < width; ++i) row.push_back(ToJson(rows.Fields()->Item(i)->Value()));
    list.push_back(std::move(row));
  }
  doc["columns"] = std::move(columns);
  doc["rows"] = std::move(list);
  return doc;
}

void PrintRecordset(std::ostream& out, ado::Recordset& rows, size_t width) {
  MoveToFirst(rows);
  std::vector<std::wstring> header;
  // A column name is one line of the table like any value.
  for (const auto& name : ColumnNames(rows)) header.push_back(DisplayText(Variant(name)));
  std::vector<std::vector<std::wstring>> cells;
  for (; !rows.Eof(); rows.MoveNext()) {
    std::vector<std::wstring> row;
    for (int32_t i = 0; i < static_cast<int32_t>(header.size()); ++i)
      row.push_back(DisplayText(rows.Fields()->Item(i)->Value()));
    cells.push_back(std::move(row));
  }
  PrintTable(out, header, cells, width);
  const int32_t count = rows.RecordCount();
  out << "(" << count << (count == 1 ? " record)" : " records)") << '\n';
}

int RunQuery(const QuerySettings& settings, std::ostream& out, std::ostream& err) {
  if (settings.db.empty() == settings.server.empty()) {
    err << "quilldata query: name a database file with --db FILE or a server with --server "
           "CONNECTION (one of them)\n";
    return kExitUsage;
  }
  if (settings.sql.find_first_not_of(" \t\r\n") == std::string::npos) {
    err << "quilldata query: the SQL text is empty\n";
    return kExitUsage;
  }
  std::error_code ec;
  if (!settings.db.empty() && std::filesystem::is_directory(platform::Utf8Path(settings.db), ec)) {
    err << "quilldata query: \"" << settings.db << "\" is a directory, not a database file\n";
    return kExitUsage;
  }
  return settings.server.empty() ? QueryFile(settings, out, err) : QueryServer(settings, out, err);
}

int RunCopy(const CopySettings& settings, std::ostream& out, std::ostream& err) {
#if QUILLDATA_WITH_SQLITE
  const WorkFiles partial = WorkFiles::Copy(settings.destination);
  RemoveLeftovers(partial, err, "copy");
  // The copy is one statement that cannot stop half-way: a signal ends the process at once,
  // and the partial copy goes with it. The source is only read.
  Interruption interruption(std::chrono::milliseconds(0));
  interruption.RemoveOnForcedEnd(partial);
  try {
    CopySqliteDatabase(platform::Utf8Path(settings.source),
                       platform::Utf8Path(settings.destination), FromUtf8(settings.sqliteLib));
  } catch (const QuillError& e) {
    err << "quilldata copy: " << ToUtf8(e.Description()) << '\n';
    return IsCopyRefusal(e) ? kExitUsage : kExitFailed;
  }
  out << Dump(Json{{"source", settings.source}, {"copy", settings.destination}}) << '\n';
  return kExitOk;
#else
  (void)settings;
  (void)out;
  err << "quilldata copy: this build has no SQLite backend\n";
  return kExitUsage;
#endif
}

int RunDetachCopy(const DetachCopySettings& settings, std::ostream& out, std::ostream& err) {
  if (settings.serverName.empty() || settings.database.empty()) {
    err << "quilldata detach-copy: name the server (--server-name) and the database\n";
    return kExitUsage;
  }
  if (!IsPlainFileName(settings.newName)) {
    err << "quilldata detach-copy: NEWNAME must be a plain file name (no folder), not \""
        << settings.newName << "\"\n";
    return kExitUsage;
  }
  auto trace = std::make_shared<StreamTrace>();
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave, 0, &err);
  // MakeDetachCopy has no OpenDB of its own: it reports to the module-wide companions.
  gSP = trace;
  gE = errors;
  clsLumenData().MakeDetachCopy(FromUtf8(settings.login), FromUtf8(settings.password),
                                FromUtf8(settings.serverName), FromUtf8(settings.database),
                                FromUtf8(settings.newName));
  // Its result is always Empty: only the reports tell success from failure.
  const auto reports = errors->Reports();
  Json doc = Json::object();
  doc["database"] = settings.database;
  // What a failure left behind depends on where it came: no copies are claimed then.
  if (reports.empty())
    doc["copies"] = Json::array({settings.newName + ".mdf", settings.newName + "_log.ldf"});
  doc["errors"] = ErrorsToJson(reports);
  out << Dump(doc) << '\n';
  if (!reports.empty()) {
    err << "quilldata detach-copy: the copy failed (the error is above). After a failure the "
           "database is attached again, unless the error says that failed too.\n";
    return kExitFailed;
  }
  return kExitOk;
}

#else

int RunQuery(const QuerySettings&, std::ostream&, std::ostream& err) {
  err << "quilldata query: this build has no maintenance subsystem\n";
  return kExitUsage;
}

int RunCopy(const CopySettings&, std::ostream&, std::ostream& err) {
  err << "quilldata copy: this build has no maintenance subsystem\n";
  return kExitUsage;
}

int RunDetachCopy(const DetachCopySettings&, std::ostream&, std::ostream& err) {
  err << "quilldata detach-copy: this build has no maintenance subsystem\n";
  return kExitUsage;
}

#endif

}  // namespace QuillData::cli
