#pragma once
// Only the public API leaves the library, never the internals of src/.
//
// ELF: the library is built with hidden visibility; what the public headers declare between
// QUILLDATA_API_BEGIN and QUILLDATA_API_END has default visibility.
//
// Windows: a DLL exports only what is marked __declspec(dllexport), one declaration at a
// time: QUILLDATA_API marks each public class and function (dllexport while the library is
// built, dllimport for a program that uses the DLL, nothing for the test programs that link
// the library's objects). QUILLDATA_API_DATA marks the module-wide thread-local values, which
// a DLL exports but a program cannot import by declaration: it reaches them through
// -fno-extern-tls-init, which the CMake package adds.
//
// QUILLDATA_INTERNAL marks the definition, inside the library, of a type that a public class
// only declares (its hidden state): a nested type takes its class's visibility otherwise.
#if defined(_WIN32)
#if defined(QUILLDATA_BUILDING)
#define QUILLDATA_API __declspec(dllexport)
#define QUILLDATA_API_DATA __declspec(dllexport)
#elif defined(QUILLDATA_OBJECTS)
#define QUILLDATA_API
#define QUILLDATA_API_DATA
#else
#define QUILLDATA_API __declspec(dllimport)
#define QUILLDATA_API_DATA
#endif
#define QUILLDATA_API_BEGIN
#define QUILLDATA_API_END
#define QUILLDATA_INTERNAL
#elif defined(__GNUC__)
#define QUILLDATA_API
#define QUILLDATA_API_DATA
#define QUILLDATA_API_BEGIN _Pragma("GCC visibility push(default)")
#define QUILLDATA_API_END _Pragma("GCC visibility pop")
#define QUILLDATA_INTERNAL __attribute__((visibility("hidden")))
#else
#define QUILLDATA_API
#define QUILLDATA_API_DATA
#define QUILLDATA_API_BEGIN
#define QUILLDATA_API_END
#define QUILLDATA_INTERNAL
#endif
