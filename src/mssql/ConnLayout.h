#pragma once
// What the server backend's OpenDB takes: the connection string and the trace switch.
#include "contract/ConnArgs.h"

namespace QuillData::mssql {

inline constexpr ConnValue kConnValues[] = {ConnValue::Store, ConnValue::Trace};
inline constexpr ConnLayout kConnLayout{
    L"clsQuillData_MSSQL", false, kConnValues, L"{connection string, trace switch (\"1\": on)}",
    L"{\"Driver=PostgreSQL Unicode;Server=db01;Database=shop\", \"0\"}"};

}  // namespace QuillData::mssql
