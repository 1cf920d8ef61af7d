# What the Windows build (cmake/mingw-w64-x86_64.cmake) takes from elsewhere than Linux's
# packages: the header-only libraries copied out of the host's include folder (whose other
# headers must not reach the cross compiler), SQLite built from its amalgamation, GoogleTest
# built from Debian's sources, and the compiler's run-time DLLs beside the programs.

# Every program and DLL in one folder, as they are shipped: the programs find the DLLs, and
# the engine (sqlite3.dll) sits beside QuillData.dll, where an empty ConnArgs folder looks.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
set(QUILLDATA_BUILD_BENCH OFF CACHE BOOL "No Google Benchmark for this compiler" FORCE)

# Header-only libraries ---------------------------------------------------------------------
set(host_headers ${PROJECT_BINARY_DIR}/host-headers)
foreach(dir nlohmann CLI utf8cpp)
  find_path(QUILLDATA_HOST_${dir} ${dir} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT QUILLDATA_HOST_${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/bootstrap.sh")
  endif()
  file(COPY ${QUILLDATA_HOST_${dir}}/${dir} DESTINATION ${host_headers})
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${host_headers})
set(UTFCPP_INCLUDE_DIR ${host_headers}/utf8cpp)
set(CLI11_INCLUDE_DIR ${host_headers})

# SQLite: the amalgamation of a pinned registry package, fetched once into the build folder
set(QUILLDATA_SQLITE_PACKAGE better-sqlite3@12.10.1)  # SQLite 3.53.2
set(QUILLDATA_SQLITE_SHA256 55a4e8528e28a50c6074b698ee5da4061af1e70b886e2e0c08ce0da340935171)
set(sqlite_dir ${PROJECT_BINARY_DIR}/sqlite-amalgamation)
if(NOT EXISTS ${sqlite_dir}/package/deps/sqlite3/sqlite3.c)
  find_program(QUILLDATA_NPM npm REQUIRED)
  file(MAKE_DIRECTORY ${sqlite_dir})
  execute_process(COMMAND ${QUILLDATA_NPM} pack ${QUILLDATA_SQLITE_PACKAGE} --silent
    WORKING_DIRECTORY ${sqlite_dir} OUTPUT_VARIABLE tarball OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE failed)
  if(failed OR NOT EXISTS ${sqlite_dir}/${tarball})
    message(FATAL_ERROR "npm pack ${QUILLDATA_SQLITE_PACKAGE} failed")
  endif()
  file(SHA256 ${sqlite_dir}/${tarball} sum)
  if(NOT sum STREQUAL QUILLDATA_SQLITE_SHA256)
    message(FATAL_ERROR "${tarball}: SHA-256 ${sum}, expected ${QUILLDATA_SQLITE_SHA256}")
  endif()
  file(ARCHIVE_EXTRACT INPUT ${sqlite_dir}/${tarball} DESTINATION ${sqlite_dir}
    PATTERNS package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
  file(REMOVE ${sqlite_dir}/${tarball})
endif()
add_library(sqlite3 SHARED ${sqlite_dir}/package/deps/sqlite3/sqlite3.c)
set_target_properties(sqlite3 PROPERTIES PREFIX "" OUTPUT_NAME sqlite3)
target_include_directories(sqlite3 INTERFACE ${sqlite_dir}/package/deps/sqlite3)
target_compile_definitions(sqlite3 PRIVATE "SQLITE_API=__declspec(dllexport)"
  SQLITE_THREADSAFE=1 SQLITE_ENABLE_COLUMN_METADATA SQLITE_ENABLE_MATH_FUNCTIONS
  SQLITE_ENABLE_DBSTAT_VTAB)
# Its own code, not ours: no debug information for a 9 MB file, and no warnings asked for.
target_compile_options(sqlite3 PRIVATE -O2 -g0 -w)

# GoogleTest from Debian's sources (the packaged libraries are Linux ones) -------------------
if(QUILLDATA_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# The compiler's run-time DLLs, which every program and QuillData.dll need beside them.
set(QUILLDATA_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${dll} of ${CMAKE_CXX_COMPILER} not found")
  endif()
  file(COPY ${path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  list(APPEND QUILLDATA_RUNTIME_DLLS ${path})
endforeach()

# The package (./dev package-windows): beside QuillData.dll go the engine and the run-time
# DLLs, and a short README at the top.
install(FILES $<TARGET_FILE:sqlite3> ${QUILLDATA_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/cmake/README-windows.txt DESTINATION . RENAME README.txt)
