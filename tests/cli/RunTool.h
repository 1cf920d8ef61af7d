#pragma once
// Runs the built `quilldata` binary through the shell and collects what it printed.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace QuillData::cli::runner {

struct ToolResult {
  int code;
  std::string out, err;
};

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Text as one shell word.
inline std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

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
