#include "QuillData/maintenance/SqliteCopy.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

#include "QuillData/contract/Text.h"
#include "platform/Files.h"
#include "sqlite/Database.h"

namespace QuillData {

namespace {

namespace fs = std::filesystem;
using sqlite_detail::Database;

constexpr wchar_t kSource[] = L"CopySqliteDatabase";
constexpr int32_t kVacuumIntoSince = 3027000;  // the library version that has VACUUM INTO

[[noreturn]] void Refuse(int32_t number, const std::wstring& why) {
  throw QuillError(number, kSource, why);
}

[[noreturn]] void FileFailure(const std::wstring& what, const std::wstring& why) {
  throw QuillError(ErrNo::FileAccessError, kSource, what + L": " + why);
}

std::wstring Quoted(const fs::path& path) {
  return L"\"" + path.wstring() + L"\"";
}

// Every database file begins with these 16 bytes.
bool HasDatabaseHeader(const fs::path& file) {
  static constexpr char kHeader[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                       'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
  std::ifstream in(file, std::ios::binary);
  char header[sizeof kHeader] = {};
  return in.read(header, sizeof header) && std::memcmp(header, kHeader, sizeof header) == 0;
}

// The header can be right and the rest not: the library must be able to read the schema.
void CheckReadable(const Database& source, const fs::path& src) {
  try {
    if (source.Prepare(L"SELECT count(*) FROM sqlite_master").Step()) return;
  } catch (const QuillError& e) {
    const int32_t code = e.SqliteCode() & 0xFF;
    if (code == sqlite_detail::kSqliteNotADb || code == sqlite_detail::kSqliteCorrupt) {
      Refuse(CopyRefusal::NotADatabase, Quoted(src) +
                                            L" is not a SQLite database the library can "
                                            L"read: " +
                                            e.Description() + L".");
    }
    throw;
  }
  source.Raise();
}

// A name in the destination's folder that nothing uses, for the copy while it is written.
fs::path TemporaryName(const fs::path& dst) {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  for (;;) {
    fs::path candidate =
        dst.parent_path() /
        (L"." + dst.filename().wstring() + L".partial-" + std::to_wstring(platform::ProcessId()) +
         L"-" + std::to_wstring(counter++) + L"-" + std::to_wstring(random()));
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
  }
}

// Removes the temporary copy unless it became the destination.
class PartialCopy {
 public:
  explicit PartialCopy(fs::path path) : path_(std::move(path)) {}
  PartialCopy(const PartialCopy&) = delete;
  PartialCopy& operator=(const PartialCopy&) = delete;
  ~PartialCopy() {
    if (!kept_) {
      std::error_code ec;
      fs::remove(path_, ec);
    }
  }
  const fs::path& Path() const { return path_; }
  void Kept() { kept_ = true; }

 private:
  fs::path path_;
  bool kept_ = false;
};

void Sync(const fs::path& path, bool folder) {
  if (auto error = platform::FlushToDisk(path, folder)) {
    FileFailure(error.atOpen ? L"Cannot open " + Quoted(path)
                             : L"Cannot write " + Quoted(path) + L" to disk",
                error.message);
  }
}

// Renames the finished copy to the destination; never replaces a file that appeared there
// meanwhile.
void MoveIntoPlace(const fs::path& from, const fs::path& to) {
  const platform::FileError error = platform::RenameNoReplace(from, to);
  if (!error) return;
  if (error.exists) {
    Refuse(CopyRefusal::DestinationExists,
           L"The destination " + Quoted(to) +
               L" appeared while the copy was made; it was not overwritten.");
  }
  FileFailure(L"Cannot rename the copy to " + Quoted(to), error.message);
}

}  // namespace

bool IsCopyRefusal(const QuillError& error) {
  switch (error.Number()) {
    case CopyRefusal::SourceMissing:
    case CopyRefusal::DestinationExists:
    case CopyRefusal::FolderMissing:
    case CopyRefusal::NotADatabase:
      // Raised as its number tells, not a store's failure that carries the same number.
      return error.Kind() == KindOfNumber(error.Number());
    default:
      return false;
  }
}

void CopySqliteDatabase(const fs::path& src, const fs::path& dst,
                        const std::wstring& libraryFolder) {
  // Absolute paths: the library reads a name beginning with "file:" as a URI.
  std::error_code ec;
  const fs::path from = fs::absolute(src, ec);
  if (ec) FileFailure(L"Cannot resolve " + Quoted(src), FromUtf8(ec.message()));
  const fs::path to = fs::absolute(dst, ec);
  if (ec) FileFailure(L"Cannot resolve " + Quoted(dst), FromUtf8(ec.message()));

  if (fs::exists(fs::symlink_status(to, ec))) {
    Refuse(CopyRefusal::DestinationExists,
           L"The destination " + Quoted(dst) + L" already exists; it was not overwritten.");
  }
  if (!fs::is_directory(to.parent_path(), ec)) {
    Refuse(CopyRefusal::FolderMissing,
           L"The destination folder " + Quoted(to.parent_path()) + L" does not exist.");
  }
  const fs::file_status status = fs::status(from, ec);
  if (!fs::exists(status)) {
    Refuse(CopyRefusal::SourceMissing, L"The source database " + Quoted(src) + L" does not exist.");
  }
  if (!fs::is_regular_file(status) || !HasDatabaseHeader(from)) {
    Refuse(CopyRefusal::NotADatabase,
           Quoted(src) +
               L" is not a SQLite database (it does not begin with the database "
               L"header).");
  }

  Database source(libraryFolder, from, kSource);
  clsSqlLite& lib = *source.Binding();
  if (lib.sqlite3_libversion_number() < kVacuumIntoSince) {
    throw QuillError(ErrNo::StatementError, kSource,
                     L"The SQLite library " + lib.sqlite3_libversion() +
                         L" cannot copy a database while it is in use (3.27 or later can).")
        .WithKind(ErrorKind::Unsupported);
  }
  CheckReadable(source, src);

  // One read transaction: the copy holds exactly what was committed when it began.
  PartialCopy partial(TemporaryName(to));
  std::wstring target;
  for (wchar_t c : partial.Path().wstring()) {
    target += c;
    if (c == L'\'') target += L'\'';
  }
  source.Exec(L"VACUUM INTO '" + target + L"'");
  Sync(partial.Path(), false);
  MoveIntoPlace(partial.Path(), to);
  partial.Kept();
  try {
    Sync(to.parent_path(), true);
  } catch (const QuillError&) {
    // The copy is complete under its name; only the folder entry's flush is not confirmed.
  }
}

}  // namespace QuillData
