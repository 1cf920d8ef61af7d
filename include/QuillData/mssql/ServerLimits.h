#pragma once
// What the server's stored procedures declare for the operations' arguments, read from the
// one catalogue the backend calls them by: a value that keeps to these reaches the server as
// it is; one that does not is refused before anything is sent (or, where said, cut). The
// embedded backend has none of these limits.
#include <cstdint>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"

QUILLDATA_API_BEGIN

namespace QuillData {

struct QUILLDATA_API ServerLimit {
  enum class Kind : uint8_t {
    Length,       // text of at most `length` characters
    CutToLength,  // text cut to its first `length` characters
    Decimal,      // a number of `precision` digits, `scale` of them after the point (rounded)
    WholeNumber,  // a real number sent rounded half to even to a whole number
    WholeText,    // text that must be a whole number (sent to an integer parameter)
  };
  std::wstring_view operation;
  int argument;                 // 0-based, in the interface's order
  std::wstring_view parameter;  // "@MachName"
  Kind kind;
  int32_t length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
};

// Every limit, in the interface's order of the operations and then of the parameters.
QUILLDATA_API std::vector<ServerLimit> ServerLimits();

}  // namespace QuillData

QUILLDATA_API_END
