#pragma once
// Installing the server schema (schema/postgresql.sql, compiled into the library: the tables,
// their indexes and every stored procedure as a function, and the version row) into an
// empty PostgreSQL database, and upgrading an older one (schema/postgresql/).
//
//   auto result = QuillData::InitializeServer(L"Driver={PostgreSQL Unicode};...");
//   if (!result.installed) std::cout << "already at version " << result.version;
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Config.h"
#include "QuillData/Export.h"
#include "QuillData/contract/Error.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// The version the compiled-in schema writes into tblSchema_Version, and up to which
// InitializeServer upgrades an older database: the number of its last upgrade script.
inline constexpr int32_t kServerSchemaVersion = QUILLDATA_SERVER_SCHEMA_VERSION;

// The script, as UTF-8 SQL text.
QUILLDATA_API std::string_view PostgresSchemaSql();
// The tables the script creates, in its order, as it spells them.
QUILLDATA_API std::vector<std::string> PostgresSchemaTables();

struct QUILLDATA_API ServerInitResult {
  bool installed = false;    // false: the database was initialised before
  int32_t version = 0;       // the version the database holds now
  int32_t upgradedFrom = 0;  // the version it held before an upgrade; 0: nothing was upgraded
};

// Why InitializeServer refused (source "InitializeServer"): nothing was written.
namespace ServerInitRefusal {
// Tables of the schema exist without its version row.
constexpr int32_t TablesExist = ErrNo::FileAlreadyExists;
// The database holds a newer version of the schema than this library knows.
constexpr int32_t NewerVersion = ErrNo::InvalidFileFormat;
}  // namespace ServerInitRefusal

// Installs the schema in one transaction. A database that holds the version table is not
// installed again (installed false): one of the current version is left alone, one of an
// older version is upgraded in one transaction (the numbered scripts above its version, then
// the schema script again, which keeps tables and rows and replaces the functions), one of a
// newer version is refused (NewerVersion). One that holds any table of the schema by name
// without the version table is refused (TablesExist, naming them). Connection and statement
// failures come as the driver reports them; a failure leaves the database as it was.
QUILLDATA_API ServerInitResult InitializeServer(const std::wstring& connection);

}  // namespace QuillData

QUILLDATA_API_END
