#pragma once
// The library is built with hidden visibility: only what the public headers declare between
// QUILLDATA_API_BEGIN and QUILLDATA_API_END is exported, never the internals of src/.
#if defined(__GNUC__)
#define QUILLDATA_API_BEGIN _Pragma("GCC visibility push(default)")
#define QUILLDATA_API_END _Pragma("GCC visibility pop")
#else
#define QUILLDATA_API_BEGIN
#define QUILLDATA_API_END
#endif
