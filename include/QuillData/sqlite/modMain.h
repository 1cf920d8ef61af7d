#pragma once
// Locale-neutral number text for SQL statements. SQLite writes and reads "." as decimal
// point whatever the user's locale says; these helpers translate at the statement boundary.
#include <string>

#include "QuillData/Export.h"
#include "QuillData/contract/Module.h"  // ReadDecimalSeparator, gDecSep, gDecSepDiffers

QUILLDATA_API_BEGIN

namespace QuillData {

// The shortest text with "." as decimal point that reads back as exactly `x`, whatever the
// locale of the process or the thread ("0.1", "0.3333333333333333").
QUILLDATA_API std::wstring NumberToSql(const double& x);

// `s` with the user's decimal separator turned into "." when `s` is, as a whole, one decimal
// number ("12,5" -> "12.5" under a comma locale); any other text unchanged ("x,y;1,5").
QUILLDATA_API std::wstring TextToSql(const std::wstring& s);

}  // namespace QuillData

QUILLDATA_API_END
