#pragma once
// A consistent copy of an embedded database while other connections may be writing to it:
// the library's VACUUM INTO reads the source in one read transaction, so the copy holds
// exactly the transactions committed when it began.
//
//   QuillData::CopySqliteDatabase("parts.db", "backup/parts-2024-05-01.db");
#include <cstdint>
#include <filesystem>
#include <string>

#include "QuillData/Export.h"
#include "QuillData/contract/Error.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// Why CopySqliteDatabase refused, by error number (source "CopySqliteDatabase"). Nothing is
// written in these cases.
namespace CopyRefusal {
constexpr int32_t SourceMissing = ErrNo::FileNotFound;           // the source does not exist
constexpr int32_t DestinationExists = ErrNo::FileAlreadyExists;  // it is left as it is
constexpr int32_t FolderMissing = ErrNo::PathNotFound;           // the destination's folder
// Not a database the library can read.
constexpr int32_t NotADatabase = ErrNo::InvalidFileFormat;
}  // namespace CopyRefusal

// True for the errors above (bad input), false for a failure while copying.
QUILLDATA_API bool IsCopyRefusal(const QuillError& error);

// Copies the database `src` to the new file `dst`. The library is loaded from
// `libraryFolder` as OpenDB does (empty: this component's folder, then the system's search
// path). The source is opened with a busy timeout of 5 seconds, so a writer's commit in
// progress is waited for. The copy is written under a temporary name in the destination's
// folder and renamed to `dst` only when complete, never over a file that exists: no
// half-written copy is ever seen under `dst`. Raises a QuillError for each refusal above,
// and number StatementError with the library's message when the library fails.
QUILLDATA_API void CopySqliteDatabase(const std::filesystem::path& src,
                                      const std::filesystem::path& dst,
                                      const std::wstring& libraryFolder = L"");

}  // namespace QuillData

QUILLDATA_API_END
