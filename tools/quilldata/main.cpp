// quilldata: the command line over the QuillData library.
#include <iostream>

#include "cli/Cli.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <string>
#include <vector>

#include "QuillData/contract/Text.h"

// The command line reads its arguments as UTF-8. Windows hands a program its arguments in
// the ANSI code page, which cannot hold every character: they are taken from the wide
// command line instead. The console shows what the tool prints as UTF-8.
int main() {
  int argc = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(QuillData::ToUtf8(wide[i]));
  LocalFree(wide);
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  SetConsoleOutputCP(CP_UTF8);
  return QuillData::cli::Main(argc, argv.data(), std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
  return QuillData::cli::Main(argc, argv, std::cout, std::cerr);
}
#endif
