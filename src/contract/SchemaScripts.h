#pragma once
// A store's schema script and the numbered scripts that upgrade an older database to it, as
// the library compiles them in (schema/STORE.sql, schema/STORE/NNN-what.sql).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace QuillData {

struct SchemaStep {
  int32_t version;       // the version it takes a database to, from the one before
  std::string_view sql;  // UTF-8
};

struct SchemaScripts {
  std::string_view full;  // creates the schema of `version` where there is none
  int32_t version;
  std::span<const SchemaStep> upgrades;  // in order of their versions
};

// Why a database of a newer version than the scripts' is refused: this library does not know
// what that version changed.
inline std::wstring NewerSchema(int32_t held, int32_t known) {
  return L"The database holds version " + std::to_wstring(held) +
         L" of the schema, which is newer than this library's " + std::to_wstring(known);
}

}  // namespace QuillData
