#pragma once
// Connection strings. An ODBC string (with Driver= or DSN=) goes to the driver manager as
// it is; an ADO-style string for SQL Server (Provider=SQLOLEDB, SQLNCLI11 or MSOLEDBSQL) is
// rewritten for the first installed SQL Server ODBC driver.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"

QUILLDATA_API_BEGIN

namespace QuillData::ado {

struct QUILLDATA_API ConnectionStringItem {
  std::wstring key;    // as written, trimmed
  std::wstring value;  // unquoted: "..." and '...' (doubled quote inside) and {...} ("}}")
};

// Splits "key=value;key=value". An unterminated quote or brace fails with
// adErrInvalidArgument.
QUILLDATA_API std::vector<ConnectionStringItem> ParseConnectionString(std::wstring_view text);
// The value of the first item whose key matches without regard to case; empty when none.
QUILLDATA_API std::wstring ConnectionStringValue(const std::vector<ConnectionStringItem>& items,
                                                 std::wstring_view key);
// key=value, the value in braces when it needs them ({a;b}, "}" doubled).
QUILLDATA_API std::wstring OdbcPair(std::wstring_view key, std::wstring_view value);

// How long a connection waits, in seconds; 0 waits without limit.
struct QUILLDATA_API ConnectionTimeouts {
  int32_t connect = 15;  // to open the connection
  int32_t command = 30;  // for each command to finish
};
// The timeouts a connection string sets, in either style: "Connect Timeout" (or "Connection
// Timeout", "LoginTimeout") and "Command Timeout" (or "QueryTimeout"); the defaults where it
// sets none. A value that is not a whole number from 0 up fails with adErrInvalidArgument.
QUILLDATA_API ConnectionTimeouts TimeoutsOf(const std::vector<ConnectionStringItem>& items);

// The SQL Server ODBC drivers, in order of preference.
QUILLDATA_API const std::vector<std::wstring>& SqlServerOdbcDrivers();

// The ODBC string for text. installedDrivers are the driver names the driver manager
// knows. An ODBC string is returned unchanged; an ADO-style SQL Server string becomes
// Driver={...};Server=...;Database=...;UID=...;PWD=... (Trusted_Connection=yes for
// integrated security). Fails with adErrProviderNotFound for another provider or when no
// SQL Server driver is installed, and with adErrInvalidArgument when the server is missing.
QUILLDATA_API std::wstring TranslateConnectionString(
    std::wstring_view text, const std::vector<std::wstring>& installedDrivers);

// The driver names that unixODBC reports (SQLDrivers).
QUILLDATA_API std::vector<std::wstring> InstalledOdbcDrivers();

}  // namespace QuillData::ado

QUILLDATA_API_END
