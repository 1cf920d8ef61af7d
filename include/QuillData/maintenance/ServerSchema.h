#pragma once
// Installing the server schema (schema/postgresql.sql, compiled into the library: the tables,
// their indexes and every stored procedure as a function, and the version row) into an
// empty PostgreSQL database.
//
//   auto result = QuillData::InitializeServer(L"Driver={PostgreSQL Unicode};...");
//   if (!result.installed) std::cout << "already at version " << result.version;
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Error.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// The version the compiled-in schema writes into tblSchema_Version.
inline constexpr int32_t kServerSchemaVersion = 1;

// The script, as UTF-8 SQL text.
QUILLDATA_API std::string_view PostgresSchemaSql();
// The tables the script creates, in its order, as it spells them.
QUILLDATA_API std::vector<std::string> PostgresSchemaTables();

struct QUILLDATA_API ServerInitResult {
  bool installed = false;  // false: the database was initialised before; nothing changed
  int32_t version = 0;     // the version the database holds now
};

// Why InitializeServer refused (source "InitializeServer"): nothing was written.
namespace ServerInitRefusal {
// Tables of the schema exist without its version row.
constexpr int32_t TablesExist = ErrNo::FileAlreadyExists;
}  // namespace ServerInitRefusal

// Installs the schema in one transaction. A database that holds the version table is left
// alone (installed false, with its version). One that holds any table of the schema by
// name without it is refused (TablesExist, naming them). Connection and statement failures
// come as the driver reports them; a failure leaves the database as it was.
QUILLDATA_API ServerInitResult InitializeServer(const std::wstring& connection);

}  // namespace QuillData

QUILLDATA_API_END
