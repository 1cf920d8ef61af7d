#pragma once
// How a backend's OpenDB takes its ConnArgs: what store it opens and what each value is. The
// backend refuses another number of values with a sentence that names them; a program that
// opens "a file" or "a server" (the command line) builds them without knowing the backend.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData {

enum class ConnValue : uint8_t {
  LibraryFolder,  // the folder of the engine's library ("": the library's own, then the system's)
  Store,          // the database file, or the connection string of a server
  Trace,          // the trace switch ("1": on)
};

struct ConnLayout {
  std::wstring_view backend;  // the class, as CreateObject names it after "QuillData."
  bool file;                  // the store is a database file, else a server
  std::span<const ConnValue> values;
  std::wstring_view described;  // the values as a sentence shows them: "{connection string, ...}"
  std::wstring_view example;
};

// The ConnArgs of `layout` for a store, the engine's library folder and the trace switch.
QUILLDATA_API std::vector<Variant> ConnArgsFor(const ConnLayout& layout, const std::wstring& store,
                                               const std::wstring& libraryFolder, bool trace);

}  // namespace QuillData

QUILLDATA_API_END
