#include "QuillData/sqlite/clsSqlLite.h"

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "contract/ModuleText.h"
#include "contract/Trap.h"
#include "platform/Engine.h"
#include "platform/Files.h"
#include "sqlite/SqliteApi.h"

namespace QuillData {

using sqlite_detail::kTransient;
using sqlite_detail::Ptr;

namespace {

constexpr const wchar_t* kSource = L"cCDECL";
constexpr size_t kMaxParameters = 16;

[[noreturn]] void RaiseDllNotLoaded() {
  throw QuillError(ErrNo::DllNotLoaded, kSource, L"DLL not loaded");
}

// The library is process-wide: sqlite3_shutdown of one binding must not pull it from under
// another binding that still has it initialized. Counted per loaded library.
std::mutex gInitMutex;
std::unordered_map<void*, int>& InitCounts() {
  static std::unordered_map<void*, int> counts;
  return counts;
}

// A pointer-sized integer from a variant: whole numbers, Decimal (exact for any address) and
// anything Coerce turns into a number; fractions round half to even.
int64_t ToInteger(const Variant& value) {
  Decimal d = CDec(value);
  __int128 unit = 1;
  for (uint8_t i = 0; i < d.scale; ++i) unit *= 10;
  __int128 whole = d.mantissa / unit;
  __int128 rest = d.mantissa % unit;  // carries the mantissa's sign
  __int128 twice = rest < 0 ? -2 * rest : 2 * rest;
  if (twice > unit || (twice == unit && whole % 2 != 0)) whole += rest < 0 ? -1 : 1;
  if (whole > INT64_MAX || whole < INT64_MIN) throw QuillError(ErrNo::Overflow);
  return static_cast<int64_t>(whole);
}

[[noreturn]] void RaiseFunctionNotFound(const char* name) {
  throw QuillError(ErrNo::FunctionNotFound, kSource,
                   L"Failed to locate function: " + FromUtf8(name));
}

// An export the library lacks is reported when it is called, not when the library loads.
template <class F>
F Call(F fn, const char* name) {
  if (fn == nullptr) RaiseFunctionNotFound(name);
  return fn;
}

}  // namespace

clsSqlLite::clsSqlLite() : m_api(std::make_unique<Api>()) {}

clsSqlLite::~clsSqlLite() {
  Release(true);
}

void clsSqlLite::Release(bool unload) {
  if (m_bInitialized && m_hModule != nullptr) {
    std::lock_guard lock(gInitMutex);
    auto it = InitCounts().find(m_hModule);
    if (it != InitCounts().end() && --it->second <= 0) InitCounts().erase(it);
  }
  m_bInitialized = false;
  *m_api = {};
  if (unload && m_hModule != nullptr) {
    platform::CloseLibrary(m_hModule);
    m_hModule = nullptr;
  }
}

intptr_t clsSqlLite::CallFunc(const std::wstring& sFunction,
                              const std::vector<Variant>& ParmLongs) {
  if (m_hModule == nullptr) RaiseDllNotLoaded();
  if (sFunction != m_strTarget || m_bRetarget) {
    void* address = platform::FindExport(m_hModule, ToUtf8(sFunction).c_str());
    if (address == nullptr) {
      throw QuillError(ErrNo::FunctionNotFound, kSource,
                       L"Failed to locate function: " + sFunction);
    }
    m_pfnTarget = address;
    m_bRetarget = false;
    m_strTarget = sFunction;
  }
  if (ParmLongs.size() > kMaxParameters) {
    throw QuillError(ErrNo::TooManyParameters, kSource, L"Too many parameters")
        .WithKind(ErrorKind::RefusedArgument);
  }

  std::array<int64_t, kMaxParameters> values{};
  for (size_t i = 0; i < ParmLongs.size(); ++i) values[i] = ToInteger(ParmLongs[i]);
  intptr_t result = 0;
  if (!platform::CallWithIntegers(m_pfnTarget, values.data(), ParmLongs.size(), result,
                                  m_lngLastError)) {
    throw QuillError(ErrNo::InternalError, kSource, L"Cannot prepare the call of " + sFunction);
  }
  return result;
}

bool clsSqlLite::DllLoad(const std::wstring& sName) {
  std::wstring why;
  void* handle = platform::OpenLibrary(sName, why);
  if (handle == nullptr) {
    m_strLoadError = why;
    return false;
  }
  // The earlier library (if any) is replaced: its state is no longer reachable from here.
  Release(true);
  m_hModule = handle;
  m_bRetarget = true;
  m_strLoadError.clear();
  return true;
}

bool clsSqlLite::DllUnload() {
  if (m_hModule == nullptr) return false;
  void* handle = m_hModule;
  Release(false);
  m_hModule = nullptr;
  return platform::CloseLibrary(handle);
}

intptr_t clsSqlLite::WrapCallback(intptr_t nModFuncAddr, int32_t /*nParms*/) const {
  return nModFuncAddr;
}

void clsSqlLite::ResolveApi() {
  auto get = [this](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
        platform::FindExport(m_hModule, name));
  };
  Api& a = *m_api;
  get(a.initialize, "sqlite3_initialize");
  get(a.shutdown, "sqlite3_shutdown");
  get(a.open, "sqlite3_open");
  get(a.open16, "sqlite3_open16");
  get(a.open_v2, "sqlite3_open_v2");
  get(a.close, "sqlite3_close");
  get(a.prepare, "sqlite3_prepare");
  get(a.prepare_v2, "sqlite3_prepare_v2");
  get(a.prepare16, "sqlite3_prepare16");
  get(a.prepare16_v2, "sqlite3_prepare16_v2");
  get(a.exec, "sqlite3_exec");
  get(a.step, "sqlite3_step");
  get(a.reset, "sqlite3_reset");
  get(a.stmt_status, "sqlite3_stmt_status");
  get(a.bind_parameter_count, "sqlite3_bind_parameter_count");
  get(a.bind_parameter_name, "sqlite3_bind_parameter_name");
  get(a.bind_parameter_index, "sqlite3_bind_parameter_index");
  get(a.bind_int64, "sqlite3_bind_int64");
  get(a.bind_double, "sqlite3_bind_double");
  get(a.bind_text, "sqlite3_bind_text");
  get(a.bind_blob, "sqlite3_bind_blob");
  get(a.bind_null, "sqlite3_bind_null");
  get(a.finalize, "sqlite3_finalize");
  get(a.column_bytes, "sqlite3_column_bytes");
  get(a.column_text, "sqlite3_column_text");
  get(a.column_blob, "sqlite3_column_blob");
  get(a.column_int, "sqlite3_column_int");
  get(a.column_int64, "sqlite3_column_int64");
  get(a.column_double, "sqlite3_column_double");
  get(a.column_type, "sqlite3_column_type");
  get(a.column_count, "sqlite3_column_count");
  get(a.column_name, "sqlite3_column_name");
  get(a.limit, "sqlite3_limit");
  get(a.errcode, "sqlite3_errcode");
  get(a.extended_errcode, "sqlite3_extended_errcode");
  get(a.errmsg, "sqlite3_errmsg");
  get(a.libversion_number, "sqlite3_libversion_number");
  get(a.libversion, "sqlite3_libversion");
  get(a.get_autocommit, "sqlite3_get_autocommit");
  get(a.changes, "sqlite3_changes");
  get(a.set_authorizer, "sqlite3_set_authorizer");
  get(a.busy_handler, "sqlite3_busy_handler");
  get(a.sleep, "sqlite3_sleep");
  get(a.soft_heap_limit, "sqlite3_soft_heap_limit");
  get(a.release_memory, "sqlite3_release_memory");
  get(a.malloc, "sqlite3_malloc");
  get(a.realloc, "sqlite3_realloc");
  get(a.free, "sqlite3_free");
  get(a.randomness, "sqlite3_randomness");
}

int32_t clsSqlLite::sqlite3_initialize(const std::wstring& sPath) {
  if (m_bInitialized) sqlite3_shutdown();

  const bool ownFolder = sPath.empty();
  std::wstring folder = ownFolder ? platform::OwnFolder() : sPath;
  if (!folder.empty() && folder.back() != L'/') folder += L'/';
  folder = CanonicalPath(folder);

  bool loaded = DllLoad(folder + kLibraryFile);
  if (!loaded && ownFolder) {
    // A default install keeps the library where the system loader finds it.
    std::wstring first = m_strLoadError;
    loaded = DllLoad(kLibraryFile);
    if (!loaded) m_strLoadError = first + L"; " + m_strLoadError;
  }
  if (!loaded) {
    std::wstring why = m_strLoadError;
    try {
      // Reports "DLL not loaded" to the error companion; without one, that report is all
      // the failure it carries: the result below tells the caller.
      sqlite3_shutdown();
    } catch (const QuillError&) {
    }
    m_strLoadError = why;
    return 1;
  }

  ResolveApi();
  if (m_api->initialize != nullptr && m_api->initialize() == 0) {
    m_bInitialized = true;
    std::lock_guard lock(gInitMutex);
    ++InitCounts()[m_hModule];
  } else {
    *m_api = {};
  }
  return 0;
}

int32_t clsSqlLite::sqlite3_shutdown() {
  int32_t result = 0;
  Trap(L"clsSqlLite", L"sqlite3_shutdown", {.traced = true}).Run([&] {
    if (m_hModule == nullptr) RaiseDllNotLoaded();
    bool othersHoldIt = false;
    {
      std::lock_guard lock(gInitMutex);
      auto it = InitCounts().find(m_hModule);
      int holders = it == InitCounts().end() ? 0 : it->second;
      othersHoldIt = holders - (m_bInitialized ? 1 : 0) > 0;
    }
    int rc = 0;
    if (!othersHoldIt) {
      auto fn = reinterpret_cast<int (*)()>(platform::FindExport(m_hModule, "sqlite3_shutdown"));
      if (fn == nullptr) RaiseFunctionNotFound("sqlite3_shutdown");
      rc = fn();
    }
    if (rc == 0) {
      DllUnload();
      result = 0;
    } else {
      result = 1;
    }
  });
  return result;
}

int32_t clsSqlLite::OpenDB(const std::wstring& filename, intptr_t& ppDb) {
  if (!m_bInitialized) return 1;
  std::string name = ToUtf8(filename);
  void* db = nullptr;
  int rc = Call(m_api->open, "sqlite3_open")(name.c_str(), &db);
  ppDb = reinterpret_cast<intptr_t>(db);
  return rc;
}

int32_t clsSqlLite::sqlite3_open16(const std::wstring& filename, intptr_t& ppDb) {
  if (!m_bInitialized) return 1;
  std::u16string name = ToUtf16(filename);
  void* db = nullptr;
  int rc = Call(m_api->open16, "sqlite3_open16")(name.c_str(), &db);
  ppDb = reinterpret_cast<intptr_t>(db);
  return rc;
}

int32_t clsSqlLite::sqlite3_open_v2(const std::wstring& filename, intptr_t& ppDb, int32_t flags,
                                    const std::wstring& zVfs) {
  if (!m_bInitialized) return 1;
  std::string name = ToUtf8(filename);
  std::string vfs = ToUtf8(zVfs);
  void* db = nullptr;
  // An empty VFS name would name no VFS at all; the default one is meant.
  int rc = Call(m_api->open_v2, "sqlite3_open_v2")(name.c_str(), &db, flags,
                                                   vfs.empty() ? nullptr : vfs.c_str());
  ppDb = reinterpret_cast<intptr_t>(db);
  return rc;
}

int32_t clsSqlLite::sqlite3_close(intptr_t sqlite3) {
  if (!m_bInitialized) return 1;
  return Call(m_api->close, "sqlite3_close")(Ptr(sqlite3));
}

int32_t clsSqlLite::Prepare8(bool v2, intptr_t db, const std::wstring& zSql, int32_t nByte,
                             intptr_t& ppStmt, intptr_t& pzTail) {
  if (!m_bInitialized) return 1;
  auto fn =
      v2 ? Call(m_api->prepare_v2, "sqlite3_prepare_v2") : Call(m_api->prepare, "sqlite3_prepare");
  std::string text = ToUtf8(zSql);
  if (nByte == 0) nByte = static_cast<int32_t>(text.size());
  void* stmt = nullptr;
  const char* tail = nullptr;
  int rc = fn(Ptr(db), text.c_str(), nByte, &stmt, &tail);
  ppStmt = reinterpret_cast<intptr_t>(stmt);
  pzTail = tail ? static_cast<intptr_t>(tail - text.c_str()) : 0;
  return rc;
}

int32_t clsSqlLite::Prepare16(bool v2, intptr_t db, const std::wstring& zSql, int32_t nByte,
                              intptr_t& ppStmt, intptr_t& pzTail) {
  if (!m_bInitialized) return 1;
  auto fn = v2 ? Call(m_api->prepare16_v2, "sqlite3_prepare16_v2")
               : Call(m_api->prepare16, "sqlite3_prepare16");
  std::u16string text = ToUtf16(zSql);
  if (nByte == 0) nByte = static_cast<int32_t>(text.size() * sizeof(char16_t));
  void* stmt = nullptr;
  const void* tail = nullptr;
  int rc = fn(Ptr(db), text.c_str(), nByte, &stmt, &tail);
  ppStmt = reinterpret_cast<intptr_t>(stmt);
  pzTail = tail ? static_cast<intptr_t>(static_cast<const char*>(tail) -
                                        reinterpret_cast<const char*>(text.c_str()))
                : 0;
  return rc;
}

int32_t clsSqlLite::sqlite3_prepare(intptr_t sqlite3, const std::wstring& zSql, int32_t nByte,
                                    intptr_t& ppStmt, intptr_t& pzTail) {
  return Prepare8(false, sqlite3, zSql, nByte, ppStmt, pzTail);
}
int32_t clsSqlLite::sqlite3_prepare_v2(intptr_t sqlite3, const std::wstring& zSql, int32_t nByte,
                                       intptr_t& ppStmt, intptr_t& pzTail) {
  return Prepare8(true, sqlite3, zSql, nByte, ppStmt, pzTail);
}
int32_t clsSqlLite::sqlite3_prepare16(intptr_t sqlite3, const std::wstring& zSql, int32_t nByte,
                                      intptr_t& ppStmt, intptr_t& pzTail) {
  return Prepare16(false, sqlite3, zSql, nByte, ppStmt, pzTail);
}
int32_t clsSqlLite::sqlite3_prepare16_v2(intptr_t sqlite3, const std::wstring& zSql, int32_t nByte,
                                         intptr_t& ppStmt, intptr_t& pzTail) {
  return Prepare16(true, sqlite3, zSql, nByte, ppStmt, pzTail);
}

int32_t clsSqlLite::sqlite3_exec(intptr_t sqlite3, const std::wstring& zSql) {
  if (!m_bInitialized) return 1;
  std::string text = ToUtf8(zSql);
  return Call(m_api->exec, "sqlite3_exec")(Ptr(sqlite3), text.c_str(), nullptr, nullptr, nullptr);
}

int32_t clsSqlLite::sqlite3_step(intptr_t sqlite3_stmt) {
  if (!m_bInitialized) return 1;
  return Call(m_api->step, "sqlite3_step")(Ptr(sqlite3_stmt));
}

int32_t clsSqlLite::sqlite3_reset(intptr_t sqlite3_stmt) {
  if (!m_bInitialized) return 1;
  return Call(m_api->reset, "sqlite3_reset")(Ptr(sqlite3_stmt));
}

int32_t clsSqlLite::sqlite3_bind_parameter_count(intptr_t sqlite3_stmt) {
  if (!m_bInitialized) return 1;
  return Call(m_api->bind_parameter_count, "sqlite3_bind_parameter_count")(Ptr(sqlite3_stmt));
}

intptr_t clsSqlLite::sqlite3_bind_parameter_name(intptr_t sqlite3_stmt, int32_t Value) {
  if (!m_bInitialized) return 0;
  return reinterpret_cast<intptr_t>(
      Call(m_api->bind_parameter_name, "sqlite3_bind_parameter_name")(Ptr(sqlite3_stmt), Value));
}

int32_t clsSqlLite::sqlite3_bind_parameter_index(intptr_t sqlite3_stmt, const std::wstring& zName) {
  if (!m_bInitialized) return 1;
  std::string name = ToUtf8(zName);
  return Call(m_api->bind_parameter_index, "sqlite3_bind_parameter_index")(Ptr(sqlite3_stmt),
                                                                           name.c_str());
}

int32_t clsSqlLite::sqlite3_finalize(intptr_t pStmt) {
  if (!m_bInitialized) return 1;
  return Call(m_api->finalize, "sqlite3_finalize")(Ptr(pStmt));
}

int32_t clsSqlLite::sqlite3_column_bytes(intptr_t sqlite3_stmt, int32_t iCol) {
  if (!m_bInitialized) return 0;
  return Call(m_api->column_bytes, "sqlite3_column_bytes")(Ptr(sqlite3_stmt), iCol);
}

int32_t clsSqlLite::sqlite3_column_int(intptr_t sqlite3_stmt, int32_t iCol) {
  if (!m_bInitialized) return 0;
  return Call(m_api->column_int, "sqlite3_column_int")(Ptr(sqlite3_stmt), iCol);
}

int32_t clsSqlLite::sqlite3_column_type(intptr_t sqlite3_stmt, int32_t iCol) {
  if (!m_bInitialized) return 0;
  return Call(m_api->column_type, "sqlite3_column_type")(Ptr(sqlite3_stmt), iCol);
}

std::wstring clsSqlLite::sqlite3_column_text(intptr_t sqlite3_stmt, int32_t iCol) {
  if (!m_bInitialized) return {};
  void* s = Ptr(sqlite3_stmt);
  ByteRange range;
  range.address =
      reinterpret_cast<intptr_t>(Call(m_api->column_text, "sqlite3_column_text")(s, iCol));
  range.count = Call(m_api->column_bytes, "sqlite3_column_bytes")(s, iCol);
  return StringFromBytes(range);
}

double clsSqlLite::sqlite3_column_double(intptr_t sqlite3_stmt, int32_t iCol) {
  if (!m_bInitialized) return 0;
  // A number is read as the library holds it: its text has at most 15 significant digits, and
  // "." as decimal point under every locale.
  const int32_t type = sqlite3_column_type(sqlite3_stmt, iCol);
  if (type == sqlite_detail::kSqliteInteger || type == sqlite_detail::kSqliteFloat)
    return ColumnReal(sqlite3_stmt, iCol);
  // Text reads in either form ("2.5", and "2,5" under a comma locale), as the readers read it.
  std::wstring text = sqlite3_column_text(sqlite3_stmt, iCol);
  DecimalTextToLocal(text);
  return CDbl(Variant(text));
}

int32_t clsSqlLite::sqlite3_column_count(intptr_t sqlite3_stmt) {
  if (!m_bInitialized) return 0;
  return Call(m_api->column_count, "sqlite3_column_count")(Ptr(sqlite3_stmt));
}

clsSqlLite::ByteRange clsSqlLite::sqlite3_column_blob(intptr_t sqlite3_stmt, int32_t iCol) {
  ByteRange range;
  if (!m_bInitialized) return range;
  void* s = Ptr(sqlite3_stmt);
  range.address =
      reinterpret_cast<intptr_t>(Call(m_api->column_blob, "sqlite3_column_blob")(s, iCol));
  range.count = Call(m_api->column_bytes, "sqlite3_column_bytes")(s, iCol);
  return range;
}

std::wstring clsSqlLite::sqlite3_column_name(intptr_t sqlite3_stmt, int32_t iCol) {
  if (!m_bInitialized) return {};
  return StringFromPtr(reinterpret_cast<intptr_t>(
      Call(m_api->column_name, "sqlite3_column_name")(Ptr(sqlite3_stmt), iCol)));
}

int32_t clsSqlLite::sqlite3_limit(intptr_t sqlite3, int32_t id, int32_t NewVal) {
  if (!m_bInitialized) return 1;
  return Call(m_api->limit, "sqlite3_limit")(Ptr(sqlite3), id, NewVal);
}

int32_t clsSqlLite::sqlite3_errcode(intptr_t sqlite3) {
  if (!m_bInitialized) return 1;
  return Call(m_api->errcode, "sqlite3_errcode")(Ptr(sqlite3));
}

int32_t clsSqlLite::sqlite3_extended_errcode(intptr_t sqlite3) {
  if (!m_bInitialized) return 1;
  return Call(m_api->extended_errcode, "sqlite3_extended_errcode")(Ptr(sqlite3));
}

std::wstring clsSqlLite::sqlite3_errmsg(intptr_t sqlite3) {
  if (!m_bInitialized) return {};
  return StringFromPtr(
      reinterpret_cast<intptr_t>(Call(m_api->errmsg, "sqlite3_errmsg")(Ptr(sqlite3))));
}

int32_t clsSqlLite::sqlite3_libversion_number() {
  if (!m_bInitialized) return 0;
  return Call(m_api->libversion_number, "sqlite3_libversion_number")();
}

std::wstring clsSqlLite::sqlite3_libversion() {
  if (!m_bInitialized) return {};
  return StringFromPtr(reinterpret_cast<intptr_t>(Call(m_api->libversion, "sqlite3_libversion")()));
}

int32_t clsSqlLite::sqlite3_get_autocommit(intptr_t sqlite3) {
  if (!m_bInitialized) return 0;
  return Call(m_api->get_autocommit, "sqlite3_get_autocommit")(Ptr(sqlite3));
}

int32_t clsSqlLite::sqlite3_set_authorizer(intptr_t sqlite3, intptr_t xAuth, intptr_t pUserData) {
  if (!m_bInitialized) return 1;
  auto callback = reinterpret_cast<Api::Authorizer>(WrapCallback(xAuth, 6));
  return Call(m_api->set_authorizer, "sqlite3_set_authorizer")(Ptr(sqlite3), callback,
                                                               Ptr(pUserData));
}

int32_t clsSqlLite::sqlite3_sleep(int32_t Value) {
  if (!m_bInitialized) return 1;
  return Call(m_api->sleep, "sqlite3_sleep")(Value);
}

namespace {

// The busy handler of SetBusyTimeout: `context` carries the limit in milliseconds, `count` is
// 0 on the first try of each wait. The jitter keeps waiters from waking together.
int BusyWait(void* context, int count) {
  using Clock = std::chrono::steady_clock;
  thread_local Clock::time_point start;
  thread_local uint32_t seed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&start)) ^
                               static_cast<uint32_t>(platform::ProcessId());
  const Clock::time_point now = Clock::now();
  if (count == 0) start = now;
  const auto limit = std::chrono::milliseconds(reinterpret_cast<intptr_t>(context));
  if (now - start >= limit) return 0;
  seed ^= seed << 13;
  seed ^= seed >> 17;
  seed ^= seed << 5;
  std::this_thread::sleep_for(std::chrono::microseconds(500 + seed % 1000));
  return 1;
}

}  // namespace

int32_t clsSqlLite::SetBusyTimeout(intptr_t sqlite3, int32_t ms) {
  if (!m_bInitialized) return 1;
  return Call(m_api->busy_handler, "sqlite3_busy_handler")(
      Ptr(sqlite3), ms > 0 ? &BusyWait : nullptr,
      reinterpret_cast<void*>(static_cast<intptr_t>(ms)));
}

int32_t clsSqlLite::sqlite3_soft_heap_limit(int32_t Value) {
  if (!m_bInitialized) return 1;
  Call(m_api->soft_heap_limit, "sqlite3_soft_heap_limit")(Value);
  return 0;
}

int32_t clsSqlLite::sqlite3_release_memory(int32_t Value) {
  if (!m_bInitialized) return 1;
  return Call(m_api->release_memory, "sqlite3_release_memory")(Value);
}

intptr_t clsSqlLite::sqlite3_malloc(int32_t Value) {
  if (!m_bInitialized) return 0;
  return reinterpret_cast<intptr_t>(Call(m_api->malloc, "sqlite3_malloc")(Value));
}

intptr_t clsSqlLite::sqlite3_realloc(intptr_t handle, int32_t Value) {
  if (!m_bInitialized) return 0;
  return reinterpret_cast<intptr_t>(Call(m_api->realloc, "sqlite3_realloc")(Ptr(handle), Value));
}

int32_t clsSqlLite::sqlite3_free(intptr_t handle) {
  if (!m_bInitialized) return 1;
  Call(m_api->free, "sqlite3_free")(Ptr(handle));
  return 0;
}

int32_t clsSqlLite::sqlite3_randomness(int32_t n, intptr_t handle) {
  if (!m_bInitialized) return 1;
  Call(m_api->randomness, "sqlite3_randomness")(n, Ptr(handle));
  return 0;
}

std::string_view clsSqlLite::ColumnUtf8(intptr_t stmt, int32_t iCol) {
  if (!m_bInitialized) return {};
  void* s = Ptr(stmt);
  const char* text =
      reinterpret_cast<const char*>(Call(m_api->column_text, "sqlite3_column_text")(s, iCol));
  if (text == nullptr) return {};
  return std::string_view(
      text, static_cast<size_t>(Call(m_api->column_bytes, "sqlite3_column_bytes")(s, iCol)));
}

int64_t clsSqlLite::ColumnInt64(intptr_t stmt, int32_t iCol) {
  if (!m_bInitialized) return 0;
  return Call(m_api->column_int64, "sqlite3_column_int64")(Ptr(stmt), iCol);
}

int32_t clsSqlLite::Reprepares(intptr_t stmt) {
  if (!m_bInitialized || m_api->stmt_status == nullptr) return -1;
  return m_api->stmt_status(Ptr(stmt), sqlite_detail::kStmtStatusReprepare, 0);
}

int32_t clsSqlLite::Changes(intptr_t sqlite3) {
  if (!m_bInitialized) return 0;
  return Call(m_api->changes, "sqlite3_changes")(Ptr(sqlite3));
}

double clsSqlLite::ColumnReal(intptr_t stmt, int32_t iCol) {
  if (!m_bInitialized) return 0;
  return Call(m_api->column_double, "sqlite3_column_double")(Ptr(stmt), iCol);
}

int32_t clsSqlLite::BindInt64(intptr_t stmt, int32_t iParam, int64_t value) {
  if (!m_bInitialized) return 1;
  return Call(m_api->bind_int64, "sqlite3_bind_int64")(Ptr(stmt), iParam, value);
}

int32_t clsSqlLite::BindReal(intptr_t stmt, int32_t iParam, double value) {
  if (!m_bInitialized) return 1;
  return Call(m_api->bind_double, "sqlite3_bind_double")(Ptr(stmt), iParam, value);
}

int32_t clsSqlLite::BindUtf8(intptr_t stmt, int32_t iParam, std::string_view text, bool copy) {
  if (!m_bInitialized) return 1;
  return Call(m_api->bind_text, "sqlite3_bind_text")(
      Ptr(stmt), iParam, text.data(), static_cast<int>(text.size()), copy ? kTransient : nullptr);
}

int32_t clsSqlLite::BindBytes(intptr_t stmt, int32_t iParam, std::string_view bytes) {
  if (!m_bInitialized) return 1;
  // A zero-length blob needs an address: a null one would bind NULL.
  return Call(m_api->bind_blob, "sqlite3_bind_blob")(Ptr(stmt), iParam,
                                                     bytes.data() ? bytes.data() : "",
                                                     static_cast<int>(bytes.size()), kTransient);
}

int32_t clsSqlLite::BindNull(intptr_t stmt, int32_t iParam) {
  if (!m_bInitialized) return 1;
  return Call(m_api->bind_null, "sqlite3_bind_null")(Ptr(stmt), iParam);
}

std::wstring clsSqlLite::StringFromPtr(intptr_t lAddr) const {
  if (lAddr == 0) return {};
  return FromUtf8(std::string_view(reinterpret_cast<const char*>(lAddr)));
}

std::wstring clsSqlLite::StringFromBytes(const ByteRange& range) const {
  if (range.count <= 0 || range.address == 0) return {};
  return FromUtf8(std::string_view(reinterpret_cast<const char*>(range.address),
                                   static_cast<size_t>(range.count)));
}

Variant::Bytes clsSqlLite::BytesFromPtr(intptr_t lAddr, int32_t lSize) const {
  if (lAddr == 0 || lSize <= 0) return {};
  const auto* p = reinterpret_cast<const uint8_t*>(lAddr);
  return Variant::Bytes(p, p + lSize);
}

intptr_t clsSqlLite::Deref(intptr_t lAddr) const {
  if (lAddr == 0) return 0;
  intptr_t value;
  std::memcpy(&value, reinterpret_cast<const void*>(lAddr), sizeof value);
  return value;
}

std::wstring clsSqlLite::CanonicalPath(const std::wstring& s) {
  if (s.empty()) return s;
  return std::filesystem::path(s).lexically_normal().wstring();
}

}  // namespace QuillData
