#pragma once
// Any SQL text on an embedded database file, with the rows as the same client-side static
// recordset that clsLumenData::Get_Lumen_Set returns for a server, so that one printer
// serves both.
//
//   auto rows = QuillData::QuerySqliteDatabase("parts.db", L"SELECT * FROM Machining");
//   for (; !rows->Eof(); rows->MoveNext()) ... rows->Fields()->Item(L"MachName")->Value() ...
#include <filesystem>
#include <memory>
#include <string>

#include "QuillData/Export.h"
#include "QuillData/ado/Recordset.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// Runs the statements of `sql` in order, each in its own transaction unless the text says
// otherwise. The result is the rows of the first statement that has result columns, or an
// open recordset without fields or rows when none has. Values: INTEGER as Long (Decimal
// when beyond 32 bits), REAL as Double, TEXT as String, BLOB as Bytes, NULL as Null; a
// field's type is the ADO type of its values (adVariant when they differ or are all NULL).
// The file must exist (it is never created); the library is loaded from `libraryFolder`
// as OpenDB does, and a writer's commit in progress is waited for up to 5 seconds.
// Errors (source "QuerySqliteDatabase"): 53 "File not found"; StatementError with the
// library's message for SQL that fails (statements before the failing one stay done).
QUILLDATA_API std::shared_ptr<ado::Recordset> QuerySqliteDatabase(
    const std::filesystem::path& db, const std::wstring& sql,
    const std::wstring& libraryFolder = L"");

}  // namespace QuillData

QUILLDATA_API_END
