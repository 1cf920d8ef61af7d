#pragma once
// The version of the schema a server's database holds, and the upgrade of an older one, for
// server-init and the transfer alike.
#include <cstdint>

#include "QuillData/ado/Provider.h"
#include "maintenance/dialect/Dialect.h"

namespace QuillData::server_schema {

// The highest version the database was installed or upgraded to; 0 without the version table.
int32_t Version(ado::Session& session, const dialect::Dialect& dialect);

// Inside the caller's transaction, holding the version table against another upgrade: the
// numbered scripts above the version the database holds, the schema script again (it keeps
// tables and rows and replaces the functions) and the new version's row. Returns the version
// the database held, which may be the current one already: nothing was done then. A failed
// script's error names the upgrade.
int32_t Upgrade(ado::Session& session, const dialect::Dialect& dialect);

}  // namespace QuillData::server_schema
