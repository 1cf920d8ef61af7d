#pragma once
// Text widened as any program filling wide-string records would widen it: the raw loops that
// the benchmarks set against the library.
#include <cstddef>
#include <string>

namespace bench {

// A database library's UTF-8.
void Widen(std::wstring& out, const unsigned char* text, int bytes);
// An ODBC driver's UTF-16 (SQLWCHAR), surrogate pairs joined.
void Widen16(std::wstring& out, const char16_t* units, size_t count);

}  // namespace bench
