#pragma once
// The exports of the SQLite library that the binding calls directly, as C signatures (handles
// as void*), resolved once after the library is loaded, and the library's numbers this
// component uses. The statement wrapper (Database.h) calls the exports without the binding's
// checks: its statements exist only while the library does.
#include "QuillData/Export.h"
#include "QuillData/sqlite/clsSqlLite.h"

namespace QuillData {

namespace sqlite_detail {

// The library's result codes, declared here once for the whole library.
constexpr int32_t kSqliteOk = 0;
constexpr int32_t kSqliteCorrupt = 11;
constexpr int32_t kSqliteNotADb = 26;
constexpr int32_t kSqliteRow = 100;
constexpr int32_t kSqliteDone = 101;
// The storage class of a value (sqlite3_column_type).
constexpr int32_t kSqliteInteger = 1;
constexpr int32_t kSqliteFloat = 2;
constexpr int32_t kSqliteText = 3;
constexpr int32_t kSqliteBlob = 4;
constexpr int32_t kSqliteNull = 5;
// sqlite3_open_v2's flags.
constexpr int32_t kOpenReadWrite = 0x2;  // read-only when the file is
constexpr int32_t kOpenCreate = 0x4;
constexpr int32_t kOpenNoMutex = 0x8000;  // the connection never serves two threads at once

// sqlite3_stmt_status: how many times the library prepared a statement again by itself.
constexpr int kStmtStatusReprepare = 5;
// SQLITE_TRANSIENT: the library makes its own copy of a bound value.
inline void (*const kTransient)(void*) = reinterpret_cast<void (*)(void*)>(-1);

// A handle as the exports take it.
inline void* Ptr(intptr_t handle) {
  return reinterpret_cast<void*>(handle);
}

}  // namespace sqlite_detail

struct QUILLDATA_INTERNAL clsSqlLite::Api {
  using Callback = int (*)(void*, int, char**, char**);
  using Authorizer = int (*)(void*, int, const char*, const char*, const char*, const char*);
  using BusyHandler = int (*)(void*, int);

  // The binding's table while its library is initialized; null before and after.
  static const Api* Of(const clsSqlLite& binding) {
    return binding.m_bInitialized ? binding.m_api.get() : nullptr;
  }

  int (*initialize)() = nullptr;
  int (*shutdown)() = nullptr;
  int (*open)(const char*, void**) = nullptr;
  int (*open16)(const void*, void**) = nullptr;
  int (*open_v2)(const char*, void**, int, const char*) = nullptr;
  int (*close)(void*) = nullptr;
  int (*prepare)(void*, const char*, int, void**, const char**) = nullptr;
  int (*prepare_v2)(void*, const char*, int, void**, const char**) = nullptr;
  int (*prepare16)(void*, const void*, int, void**, const void**) = nullptr;
  int (*prepare16_v2)(void*, const void*, int, void**, const void**) = nullptr;
  int (*exec)(void*, const char*, Callback, void*, char**) = nullptr;
  int (*step)(void*) = nullptr;
  int (*reset)(void*) = nullptr;
  int (*stmt_status)(void*, int, int) = nullptr;
  int (*bind_parameter_count)(void*) = nullptr;
  const char* (*bind_parameter_name)(void*, int) = nullptr;
  int (*bind_parameter_index)(void*, const char*) = nullptr;
  int (*bind_int64)(void*, int, long long) = nullptr;
  int (*bind_double)(void*, int, double) = nullptr;
  int (*bind_text)(void*, int, const char*, int, void (*)(void*)) = nullptr;
  int (*bind_blob)(void*, int, const void*, int, void (*)(void*)) = nullptr;
  int (*bind_null)(void*, int) = nullptr;
  int (*finalize)(void*) = nullptr;
  int (*column_bytes)(void*, int) = nullptr;
  const unsigned char* (*column_text)(void*, int) = nullptr;
  const void* (*column_blob)(void*, int) = nullptr;
  int (*column_int)(void*, int) = nullptr;
  long long (*column_int64)(void*, int) = nullptr;
  double (*column_double)(void*, int) = nullptr;
  int (*column_type)(void*, int) = nullptr;
  int (*column_count)(void*) = nullptr;
  const char* (*column_name)(void*, int) = nullptr;
  int (*limit)(void*, int, int) = nullptr;
  int (*errcode)(void*) = nullptr;
  int (*extended_errcode)(void*) = nullptr;
  const char* (*errmsg)(void*) = nullptr;
  int (*libversion_number)() = nullptr;
  const char* (*libversion)() = nullptr;
  int (*get_autocommit)(void*) = nullptr;
  int (*changes)(void*) = nullptr;
  int (*set_authorizer)(void*, Authorizer, void*) = nullptr;
  int (*busy_handler)(void*, BusyHandler, void*) = nullptr;
  int (*sleep)(int) = nullptr;
  void (*soft_heap_limit)(int) = nullptr;
  int (*release_memory)(int) = nullptr;
  void* (*malloc)(int) = nullptr;
  void* (*realloc)(void*, int) = nullptr;
  void (*free)(void*) = nullptr;
  void (*randomness)(int, void*) = nullptr;
};

}  // namespace QuillData
