#pragma once
// Runs the built `quilldata` binary through the shell and collects what it printed.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/TestSupport.h"

namespace QuillData::cli::runner {

struct ToolResult {
  int code;
  std::string out, err;
};

using test::Quote;
using test::ReadFile;

// Runs the tool with arguments already quoted for the shell, after environment settings,
// with `input` as its standard input.
inline ToolResult Tool(const std::string& args, const std::string& env = "",
                       const std::string& input = "") {
  auto dir = std::filesystem::temp_directory_path();
  auto base = dir / ("quilldata-cli-" + std::to_string(::getpid()));
  auto out = base.string() + ".out", err = base.string() + ".err", in = base.string() + ".in";
  std::ofstream(in, std::ios::binary) << input;
  std::string command =
      env + " '" + QUILLDATA_TOOL + "' " + args + " >'" + out + "' 2>'" + err + "' <'" + in + "'";
  int status = std::system(command.c_str());
  ToolResult r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
  for (const auto& f : {out, err, in}) std::filesystem::remove(f);
  return r;
}

}  // namespace QuillData::cli::runner
