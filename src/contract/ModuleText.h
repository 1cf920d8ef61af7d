#pragma once
// How the operations read the module state: the decimal point of number text and the trace
// switch.
#include <string>
#include <string_view>

#include "QuillData/contract/Module.h"

namespace QuillData {

// The thread's decimal separator when it is one character other than ".", else 0. A thread
// that has not read it yet (an object made on one thread and used on another) reads it now,
// so that every thread treats the same text alike.
wchar_t LocalDecimalPoint();

// Text that is, as a whole, one decimal number in the user's form ("12,5" under a comma
// locale) with "." as its decimal point ("12.5"); any other text is returned as it is.
std::wstring DecimalTextToDot(std::wstring text);
// The reverse, for text read from a database: "12.5" becomes "12,5" under a comma locale;
// any other text ("Hinge 3.5", "x.y") is left as it is.
void DecimalTextToLocal(std::wstring& text);

// Tracing is on when the leading number of the switch is exactly 1 ("1", "1 verbose"; not
// "2", "", "0" or "10").
bool TraceSwitchOn(std::wstring_view traceFlag);
inline bool TracingOn() {
  return TraceSwitchOn(gTraceFlag);
}

}  // namespace QuillData
