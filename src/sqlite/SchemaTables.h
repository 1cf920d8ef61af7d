#pragma once
// The tables of the embedded schema, by name.
#include <set>
#include <string>

namespace QuillData::sqlite_detail {

// Every table schema/sqlite.sql creates.
const std::set<std::wstring>& SchemaTables();

}  // namespace QuillData::sqlite_detail
