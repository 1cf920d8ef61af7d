#pragma once
// The one place where values change type, by the platform's variant conversion rules
// under the user's locale (locale/Locale.h):
//  - text to number parses with the locale's decimal and thousands separators;
//  - a double to a whole number rounds half to even; outside the target's range: error 6;
//  - a number to text gives at most 15 significant digits in the locale's format;
//  - booleans are -1/0 as numbers and "True"/"False" as text;
//  - Empty converts to 0, "", False and the zero date; Null to anything fails with 94;
//  - text that is not a number (or date) fails with error 13 "Type mismatch".
#include <cstdint>
#include <string>

#include "QuillData/Export.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData {

QUILLDATA_API Variant ChangeType(const Variant& value, VarType to);

QUILLDATA_API int16_t CInt(const Variant& value);
QUILLDATA_API int32_t CLng(const Variant& value);
QUILLDATA_API double CDbl(const Variant& value);
QUILLDATA_API bool CBool(const Variant& value);
QUILLDATA_API std::wstring CStr(const Variant& value);
QUILLDATA_API Date CDate(const Variant& value);
QUILLDATA_API Decimal CDec(const Variant& value);

// Whole-number rounding of the platform: half to even (2.5 -> 2, 3.5 -> 4); error 6 when the
// result does not fit 32 bits.
QUILLDATA_API int32_t RoundToLong(double value);

}  // namespace QuillData

QUILLDATA_API_END
