#pragma once
// Text crosses the library's edges in one place: UTF-8 at the SQLite and JSON boundary,
// UTF-16 at the ODBC boundary. Invalid input sequences become U+FFFD; nothing throws. Wide
// text is UTF-32 where wchar_t has 32 bits (Linux) and UTF-16 where it has 16 (Windows).
// What goes into a store is checked first (RequireValidText): there, a U+FFFD would make two
// different texts one.
#include <string>
#include <string_view>

#include "QuillData/Export.h"

QUILLDATA_API_BEGIN

namespace QuillData {

QUILLDATA_API std::string ToUtf8(std::wstring_view text);
QUILLDATA_API std::wstring FromUtf8(std::string_view bytes);
// FromUtf8 into `out`, reusing its storage (a row copier's field from row to row).
QUILLDATA_API void AssignUtf8(std::wstring& out, std::string_view bytes);
QUILLDATA_API std::u16string ToUtf16(std::wstring_view text);
QUILLDATA_API std::wstring FromUtf16(std::u16string_view units);
// FromUtf16 into `out`, reusing its storage, in one pass.
QUILLDATA_API void AssignUtf16(std::wstring& out, std::u16string_view units);

// Refuses text that a store cannot hold as it is: a NUL (stores and drivers cut or refuse the
// text there) or a code unit that is no character (a lone surrogate, a value past U+10FFFF).
// A UTF-16 pair that reached a wide string unjoined is the character it stands for. Throws
// QuillError (ErrorKind::RefusedArgument) naming `what` and the position; never converts.
QUILLDATA_API void RequireValidText(std::wstring_view text,
                                    std::wstring_view what = L"A text argument");

}  // namespace QuillData

QUILLDATA_API_END
