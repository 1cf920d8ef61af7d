#pragma once
// What the embedded backend's OpenDB takes: the engine's folder, the file and the trace switch.
#include "contract/ConnArgs.h"

namespace QuillData::sqlite_detail {

inline constexpr ConnValue kConnValues[] = {ConnValue::LibraryFolder, ConnValue::Store,
                                            ConnValue::Trace};
inline constexpr ConnLayout kConnLayout{
    L"clsQuillData_SqlLite", true, kConnValues,
    L"{folder of libsqlite3.so.0 (\"\": the library's own folder, then the system's), database "
    L"file, trace switch (\"1\": on)}",
    L"{\"\", \"shop.db\", \"0\"}"};

}  // namespace QuillData::sqlite_detail
