#include "QuillData/maintenance/ServerSchema.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string_view>

#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Text.h"
#include "maintenance/ServerVersion.h"
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

// The names of the tables and views of the session's schema.
std::vector<std::string> Names(ado::Session& session, const dialect::Dialect& dialect) {
  std::vector<std::string> names;
  const auto tables = Query(session, dialect.TablesSql(false));
  for (const auto& row : tables->rows) {
    if (const auto* name = row.at(0).Get<std::wstring>()) names.push_back(ToUtf8(*name));
  }
  return names;
}

// Runs `work` in one transaction of the session: DDL is transactional on PostgreSQL, so
// either all of it is there or none.
template <class Work>
auto InTransaction(ado::Session& session, Work&& work) {
  Query(session, L"START TRANSACTION", ado::adExecuteNoRecords);
  try {
    auto result = work();
    Query(session, L"COMMIT", ado::adExecuteNoRecords);
    return result;
  } catch (...) {
    try {
      Query(session, L"ROLLBACK", ado::adExecuteNoRecords);
    } catch (...) {
      // The connection is gone: the server has rolled back.
    }
    throw;
  }
}

// Installs the dialect's schema script on the session's database, or upgrades it.
ServerInitResult Install(ado::Session& session, const dialect::Dialect& dialect) {
  const SchemaScripts& scripts = dialect.Schema();
  const std::vector<std::string> names = Names(session, dialect);
  auto has = [&](std::string_view table) {
    return std::find(names.begin(), names.end(), dialect.CatalogName(table)) != names.end();
  };

  if (has(dialect.VersionTable())) {
    const int32_t version = server_schema::Version(session, dialect);
    if (version > scripts.version)
      throw QuillError(ServerInitRefusal::NewerVersion, kSource,
                       NewerSchema(version, scripts.version) + L"; nothing was changed.");
    if (version == scripts.version) return {false, version, 0};
    const int32_t from =
        InTransaction(session, [&] { return server_schema::Upgrade(session, dialect); });
    return {false, scripts.version, from == scripts.version ? 0 : from};
  }

  std::wstring clashes;
  for (const auto& table : ScriptTables(scripts.full)) {
    if (has(table)) clashes += (clashes.empty() ? L"" : L", ") + FromUtf8(table);
  }
  if (!clashes.empty()) {
    throw QuillError(ServerInitRefusal::TablesExist, kSource,
                     L"The database already holds tables of the schema's names, without the "
                     L"schema's version row, so nothing was written: " +
                         clashes + L".");
  }
  InTransaction(session, [&] {
    Query(session, FromUtf8(scripts.full), ado::adExecuteNoRecords);
    return 0;
  });
  return {true, scripts.version, 0};
}

}  // namespace

namespace server_schema {

int32_t Version(ado::Session& session, const dialect::Dialect& dialect) {
  const std::vector<std::string> names = Names(session, dialect);
  if (std::find(names.begin(), names.end(), dialect.CatalogName(dialect.VersionTable())) ==
      names.end())
    return 0;
  auto rows = Query(session, dialect.VersionSql());
  if (!rows || rows->rows.empty()) return 0;
  const Variant& value = rows->rows[0].at(0);
  return value.IsNull() || value.IsEmpty() ? 0 : CLng(value);
}

int32_t Upgrade(ado::Session& session, const dialect::Dialect& dialect) {
  const SchemaScripts& scripts = dialect.Schema();
  // Read again under the lock: another upgrade may have finished meanwhile.
  Query(session, dialect.LockVersionSql(), ado::adExecuteNoRecords);
  const int32_t from = Version(session, dialect);
  if (from >= scripts.version) return from;
  for (const SchemaStep& step : scripts.upgrades) {
    if (step.version <= from) continue;
    try {
      Query(session, FromUtf8(step.sql), ado::adExecuteNoRecords);
    } catch (const QuillError& e) {
      throw e.Described(L"The upgrade of the database to version " + std::to_wstring(step.version) +
                        L" of the schema failed, so it is left as it was: " + e.Description());
    }
  }
  Query(session, FromUtf8(scripts.full), ado::adExecuteNoRecords);
  Query(session, dialect.RecordVersionSql(scripts.version), ado::adExecuteNoRecords);
  return from;
}

}  // namespace server_schema

std::vector<std::string> PostgresSchemaTables() {
  return ScriptTables(PostgresSchemaSql());
}

ServerInitResult InitializeServer(const std::wstring& connection) {
  auto session = ado::ProviderFor(connection)->Open(connection, L"", L"");
  return Install(*session, dialect::Postgres());
}

}  // namespace QuillData
