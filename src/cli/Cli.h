#pragma once
// The command line `quilldata`, callable in-process: returns the exit code (0 success,
// 1 an operation failed, 2 bad usage).
#include <ostream>

namespace QuillData::cli {

int Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace QuillData::cli
