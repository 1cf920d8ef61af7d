#include "QuillData/maintenance/ServerSchema.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string_view>

#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Text.h"
#include "maintenance/dialect/Dialect.h"

namespace QuillData {

namespace {

constexpr wchar_t kSource[] = L"InitializeServer";
constexpr std::string_view kCreateTable = "CREATE TABLE IF NOT EXISTS ";

std::shared_ptr<ado::RowSet> Query(ado::Session& session, const std::wstring& sql,
                                   int32_t options = ado::adOptionUnspecified) {
  ado::CommandData command;
  command.text = sql;
  command.options = options;
  return session.Execute(command).rows;
}

// The tables a schema script creates, in its order, as it spells them.
std::vector<std::string> ScriptTables(std::string_view sql) {
  std::vector<std::string> tables;
  for (size_t at = sql.find(kCreateTable); at != std::string_view::npos;
       at = sql.find(kCreateTable, at + 1)) {
    // Only statements: a line that begins with it.
    if (at > 0 && sql[at - 1] != '\n') continue;
    const size_t begin = at + kCreateTable.size();
    size_t end = begin;
    while (end < sql.size() &&
           (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_'))
      ++end;
    tables.emplace_back(sql.substr(begin, end - begin));
  }
  return tables;
}

// Installs the dialect's schema script on the session's database, unless it holds it.
ServerInitResult Install(ado::Session& session, const dialect::Dialect& dialect) {
  auto existing = Query(session, dialect.TablesSql(false));
  std::vector<std::string> names;
  for (const auto& row : existing->rows) {
    if (const auto* name = row.at(0).Get<std::wstring>()) names.push_back(ToUtf8(*name));
  }
  auto has = [&](std::string_view table) {
    return std::find(names.begin(), names.end(), dialect.CatalogName(table)) != names.end();
  };

  if (has(dialect.VersionTable())) {
    auto rows = Query(session, dialect.VersionSql());
    ServerInitResult result;
    if (rows && !rows->rows.empty()) {
      if (const auto* v = rows->rows[0].at(0).Get<int32_t>()) result.version = *v;
    }
    return result;
  }

  std::wstring clashes;
  for (const auto& table : ScriptTables(dialect.SchemaSql())) {
    if (has(table)) clashes += (clashes.empty() ? L"" : L", ") + FromUtf8(table);
  }
  if (!clashes.empty()) {
    throw QuillError(ServerInitRefusal::TablesExist, kSource,
                     L"The database already holds tables of the schema's names, without the "
                     L"schema's version row, so nothing was written: " +
                         clashes + L".");
  }

  // DDL is transactional on PostgreSQL: either all of it is there or none.
  Query(session, L"START TRANSACTION", ado::adExecuteNoRecords);
  try {
    Query(session, FromUtf8(dialect.SchemaSql()), ado::adExecuteNoRecords);
    Query(session, L"COMMIT", ado::adExecuteNoRecords);
  } catch (...) {
    try {
      Query(session, L"ROLLBACK", ado::adExecuteNoRecords);
    } catch (...) {
      // The connection is gone: the server has rolled back.
    }
    throw;
  }
  return {true, kServerSchemaVersion};
}

}  // namespace

std::vector<std::string> PostgresSchemaTables() {
  return ScriptTables(PostgresSchemaSql());
}

ServerInitResult InitializeServer(const std::wstring& connection) {
  auto session = ado::ProviderFor(connection)->Open(connection, L"", L"");
  return Install(*session, dialect::Postgres());
}

}  // namespace QuillData
