# Cross-compiling for 64-bit Windows on Debian with mingw-w64 (g++-mingw-w64-x86-64-posix:
# the POSIX thread model, which std::thread and std::mutex need). Programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUILLDATA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLDATA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLDATA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLDATA_MINGW}-windres)
# Appended: a consumer adds the folder of an unpacked package to it.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${QUILLDATA_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
