#pragma once
// The exports of the SQLite library that the binding calls directly, as C signatures (handles
// as void*), resolved once after the library is loaded. The statement wrapper (Database.h)
// calls them without the binding's checks: its statements exist only while the library does.
#include "QuillData/Export.h"
#include "QuillData/sqlite/clsSqlLite.h"

namespace QuillData {

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
