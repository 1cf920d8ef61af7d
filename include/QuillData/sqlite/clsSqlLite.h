#pragma once
// The binding over the SQLite 3 shared library. The library is not linked: it is loaded at
// run time from a folder ("libsqlite3.so.0" through dlopen; "sqlite3.dll" through
// LoadLibraryW on Windows), its exports are found by name (dlsym, GetProcAddress) and called
// through typed function pointers resolved once after the load. `CallFunc` calls any export
// by name with up to 16 integer arguments (libffi; on Windows one sixteen-argument pointer).
//
// Handles (sqlite3*, sqlite3_stmt*) and addresses travel as intptr_t. Text goes to the library
// as UTF-8 and comes back from UTF-8. While the library is not initialized, every member
// named after an SQLite function answers without touching the library: 0 or empty text from
// the column readers, sqlite3_errmsg, the version members and sqlite3_get_autocommit; a null
// address from the members that return one; 1 (SQLITE_ERROR) from the others.
//
// One object serves one thread, one call at a time.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData {

class QUILLDATA_API clsSqlLite : public Object {
 public:
  // The library's file name, looked for in the folder given to sqlite3_initialize.
#ifdef _WIN32
  static constexpr const wchar_t* kLibraryFile = L"sqlite3.dll";
#else
  static constexpr const wchar_t* kLibraryFile = L"libsqlite3.so.0";
#endif

  // The exports the binding calls, as typed function pointers: defined inside the library,
  // whose own statement wrapper calls them directly.
  struct Api;

  clsSqlLite();
  clsSqlLite(const clsSqlLite&) = delete;
  clsSqlLite& operator=(const clsSqlLite&) = delete;
  // Releases this object's hold on the library (the library itself is shut down only by
  // sqlite3_shutdown).
  ~clsSqlLite() override;

  // Calls the export `sFunction` with the arguments converted to pointer-sized integers and
  // returns the whole integer result register: an export declared to return int leaves its
  // result in the low 32 bits (static_cast<int32_t>). Addresses are exact when passed as
  // Decimal. Only the last name is remembered; a DllLoad makes the next call resolve again.
  // Errors (source "cCDECL"): DllNotLoaded "DLL not loaded", FunctionNotFound "Failed to
  // locate function: <name>", TooManyParameters "Too many parameters" (more than 16).
  intptr_t CallFunc(const std::wstring& sFunction, const std::vector<Variant>& ParmLongs);
  // Loads the library file at `sName` (a bare name searches the system loader's path). A
  // library loaded before is released once the new one is in.
  bool DllLoad(const std::wstring& sName);
  bool DllUnload();
  // The system's last error (errno, or GetLastError) right after the last CallFunc.
  int32_t LastError() const {
    return m_lngLastError;
  }
  // A C-callable address that forwards to `nModFuncAddr`. x86-64 has one calling convention
  // per system, so it is the address itself: no code is generated.
  intptr_t WrapCallback(intptr_t nModFuncAddr, int32_t nParms) const;

  // Loads kLibraryFile from the folder `sPath` (empty: the folder of this component's own
  // file, and, when the library is not there, the system loader's search path) and runs the
  // library's sqlite3_initialize. Returns 1 when the library cannot be loaded, else 0 (an
  // initialization the library refused shows as Initialized() false).
  int32_t sqlite3_initialize(const std::wstring& sPath = L"");
  // Shuts the library down and unloads it; traced, and trapped (module "clsSqlLite"). While
  // another binding of this process still has the same library initialized, only this
  // object's hold is released.
  int32_t sqlite3_shutdown();

  // sqlite3_open.
  int32_t OpenDB(const std::wstring& filename, intptr_t& ppDb);
  int32_t sqlite3_open16(const std::wstring& filename, intptr_t& ppDb);
  // An empty zVfs selects the default VFS.
  int32_t sqlite3_open_v2(const std::wstring& filename, intptr_t& ppDb, int32_t flags,
                          const std::wstring& zVfs);
  int32_t sqlite3_close(intptr_t sqlite3);
  // nByte 0 passes the byte length of the statement text (UTF-8, or UTF-16 for the 16
  // variants). pzTail receives the byte offset of the unused rest of the text: the text
  // handed to the library lives only for the call.
  int32_t sqlite3_prepare(intptr_t sqlite3, const std::wstring& zSql, int32_t nByte,
                          intptr_t& ppStmt, intptr_t& pzTail);
  int32_t sqlite3_prepare_v2(intptr_t sqlite3, const std::wstring& zSql, int32_t nByte,
                             intptr_t& ppStmt, intptr_t& pzTail);
  int32_t sqlite3_prepare16(intptr_t sqlite3, const std::wstring& zSql, int32_t nByte,
                            intptr_t& ppStmt, intptr_t& pzTail);
  int32_t sqlite3_prepare16_v2(intptr_t sqlite3, const std::wstring& zSql, int32_t nByte,
                               intptr_t& ppStmt, intptr_t& pzTail);
  // Runs one or more statements; no callback, no error-message buffer.
  int32_t sqlite3_exec(intptr_t sqlite3, const std::wstring& zSql);
  int32_t sqlite3_step(intptr_t sqlite3_stmt);
  int32_t sqlite3_reset(intptr_t sqlite3_stmt);
  int32_t sqlite3_bind_parameter_count(intptr_t sqlite3_stmt);
  // The library's address of the parameter's name (0 while not initialized).
  intptr_t sqlite3_bind_parameter_name(intptr_t sqlite3_stmt, int32_t Value);
  int32_t sqlite3_bind_parameter_index(intptr_t sqlite3_stmt, const std::wstring& zName);
  int32_t sqlite3_finalize(intptr_t pStmt);
  int32_t sqlite3_column_bytes(intptr_t sqlite3_stmt, int32_t iCol);
  // The column as text; zero bytes inside it are kept.
  std::wstring sqlite3_column_text(intptr_t sqlite3_stmt, int32_t iCol);
  int32_t sqlite3_column_int(intptr_t sqlite3_stmt, int32_t iCol);
  // The column as a double: an integer or a float exactly as the library holds it (under every
  // locale); text as a number in either form, "2.5" or the user's own ("2,5" under a comma
  // locale; Coerce.h), a text that is no number raising a type mismatch.
  double sqlite3_column_double(intptr_t sqlite3_stmt, int32_t iCol);
  int32_t sqlite3_column_type(intptr_t sqlite3_stmt, int32_t iCol);
  int32_t sqlite3_column_count(intptr_t sqlite3_stmt);
  std::wstring sqlite3_column_name(intptr_t sqlite3_stmt, int32_t iCol);
  int32_t sqlite3_limit(intptr_t sqlite3, int32_t id, int32_t NewVal);
  int32_t sqlite3_errcode(intptr_t sqlite3);
  int32_t sqlite3_extended_errcode(intptr_t sqlite3);
  std::wstring sqlite3_errmsg(intptr_t sqlite3);
  int32_t sqlite3_libversion_number();
  std::wstring sqlite3_libversion();
  int32_t sqlite3_get_autocommit(intptr_t sqlite3);
  // xAuth: the address of an int(void*, int, const char*, const char*, const char*,
  // const char*) function.
  int32_t sqlite3_set_authorizer(intptr_t sqlite3, intptr_t xAuth, intptr_t pUserData);
  int32_t sqlite3_sleep(int32_t Value);
  // Makes a statement that meets another connection's lock wait for it up to `ms`
  // milliseconds (0: fail at once with SQLITE_BUSY, "database is locked"), trying again about
  // every millisecond (the library's own busy timeout backs off to 100 ms between tries).
  int32_t SetBusyTimeout(intptr_t sqlite3, int32_t ms);
  // The export returns nothing: 0 once called.
  int32_t sqlite3_soft_heap_limit(int32_t Value);
  int32_t sqlite3_release_memory(int32_t Value);
  intptr_t sqlite3_malloc(int32_t Value);
  intptr_t sqlite3_realloc(intptr_t handle, int32_t Value);
  // The exports return nothing: 0 once called.
  int32_t sqlite3_free(intptr_t handle);
  int32_t sqlite3_randomness(int32_t n, intptr_t handle);

  // The zero-terminated UTF-8 text at `lAddr`; empty for 0.
  std::wstring StringFromPtr(intptr_t lAddr) const;
  // A copy of the `lSize` bytes at `lAddr`; empty for 0 or a size below 1.
  Variant::Bytes BytesFromPtr(intptr_t lAddr, int32_t lSize) const;
  // The pointer-sized value stored at `lAddr`; 0 for 0.
  intptr_t Deref(intptr_t lAddr) const;

  // Row readers for hot loops, beside the members above (same uninitialized answers). The
  // view is valid until the next step, reset or finalize of the statement.
  std::string_view ColumnUtf8(intptr_t stmt, int32_t iCol);
  int64_t ColumnInt64(intptr_t stmt, int32_t iCol);
  // How many times the library has prepared the statement again by itself after a schema
  // change (sqlite3_stmt_status, SQLITE_STMTSTATUS_REPREPARE); -1 when it cannot say.
  int32_t Reprepares(intptr_t stmt);
  // The rows that the connection's last INSERT, UPDATE or DELETE changed (sqlite3_changes).
  int32_t Changes(intptr_t sqlite3);
  // The library's own double of the column (sqlite3_column_double of the library).
  double ColumnReal(intptr_t stmt, int32_t iCol);

  // Parameter binders for bulk writes (iParam is 1-based); the library copies text and
  // bytes before these return, unless told not to. Uninitialized: 1 (SQLITE_ERROR).
  int32_t BindInt64(intptr_t stmt, int32_t iParam, int64_t value);
  int32_t BindReal(intptr_t stmt, int32_t iParam, double value);
  // `copy` false: the library keeps the address, and the text must stay as it is until the
  // statement has run and is reset or bound again.
  int32_t BindUtf8(intptr_t stmt, int32_t iParam, std::string_view text, bool copy = true);
  int32_t BindBytes(intptr_t stmt, int32_t iParam, std::string_view bytes);
  int32_t BindNull(intptr_t stmt, int32_t iParam);

  bool Loaded() const {
    return m_hModule != nullptr;
  }
  bool Initialized() const {
    return m_bInitialized;
  }
  // Why the last load failed (the loader's message), empty after a successful one.
  const std::wstring& LoadError() const {
    return m_strLoadError;
  }

 private:
  struct ByteRange {
    int32_t count = 0;
    intptr_t address = 0;
  };

  void ResolveApi();
  void Release(bool unload);
  int32_t Prepare8(bool v2, intptr_t db, const std::wstring& zSql, int32_t nByte, intptr_t& ppStmt,
                   intptr_t& pzTail);
  int32_t Prepare16(bool v2, intptr_t db, const std::wstring& zSql, int32_t nByte, intptr_t& ppStmt,
                    intptr_t& pzTail);
  ByteRange sqlite3_column_blob(intptr_t sqlite3_stmt, int32_t iCol);
  std::wstring StringFromBytes(const ByteRange& range) const;
  static std::wstring CanonicalPath(const std::wstring& s);

  void* m_hModule = nullptr;
  bool m_bRetarget = false;
  void* m_pfnTarget = nullptr;
  std::wstring m_strTarget;
  int32_t m_lngLastError = 0;
  bool m_bInitialized = false;
  // Resolved while the library is initialized; the same table for the object's life.
  std::unique_ptr<Api> m_api;
  std::wstring m_strLoadError;
};

}  // namespace QuillData

QUILLDATA_API_END
