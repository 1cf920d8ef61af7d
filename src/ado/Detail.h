#pragma once
// Helpers shared by the object model and its providers.
#include <cstdint>
#include <string>
#include <string_view>

#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Variant.h"

namespace QuillData::ado::detail {

inline constexpr wchar_t kSource[] = L"QuillData.ado";

// Raises an error of the object model (source "QuillData.ado").
[[noreturn]] void Raise(int32_t number, const std::wstring& description);

// Names of parameters, fields and connection-string keys compare without regard to case.
bool SameText(std::wstring_view a, std::wstring_view b);

// True for the DataTypeEnum values a parameter may have.
bool IsSupportedType(int32_t type);
bool IsTextType(int32_t type);
bool IsBinaryType(int32_t type);

// The command type carried in an options argument (ADO lets Execute and Open name it
// there), else fallback; adCmdUnknown and unspecified run as text.
int32_t CommandTypeFromOptions(int32_t options, int32_t fallback);
// False when options asks for adExecuteNoRecords.
bool WantsRows(int32_t options);

// The value a parameter sends, converted to its type and checked against its size,
// precision and scale (see ParameterData::wire). Throws before anything is sent.
Variant ToWire(const ParameterData& parameter);

// A decimal rounded half away from zero to scale places; adErrDataOverflow when it then
// has more than precision digits. what names the value in the message.
Decimal RoundDecimal(const Decimal& value, uint8_t precision, uint8_t scale,
                     const std::wstring& what);

// True for a postgresql:// or postgres:// URI (leading blanks aside).
bool IsPostgresUri(std::wstring_view text);

// Decimal text of a data source ("-12.50") as an exact Decimal; what a Decimal cannot hold
// (more than 28 places or 96 bits, an exponent, NaN) comes back as a Double.
Variant NumberFromText(const std::wstring& text);

// Procedure names go into the call text as they are, so they may hold only name characters.
void CheckProcedureName(const std::wstring& name);

// A failure that ran out of time, told so: what, the seconds and the connection-string key
// come first, the data source's own description after.
[[noreturn]] void RaiseTimedOut(const QuillError& failure, const wchar_t* what, int32_t seconds,
                                const wchar_t* key);

}  // namespace QuillData::ado::detail
