#pragma once
// Runs the built `quilldata` binary through the shell and collects what it printed.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace QuillData::tool::runner {

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

// Runs the tool with arguments already quoted for the shell, after environment settings.
inline ToolResult Tool(const std::string& args, const std::string& env = "") {
  auto dir = std::filesystem::temp_directory_path();
  auto out = dir / ("quilldata-cli-" + std::to_string(::getpid()) + ".out");
  auto err = dir / ("quilldata-cli-" + std::to_string(::getpid()) + ".err");
  std::string command = env + " '" + QUILLDATA_TOOL + "' " + args + " >'" + out.string() + "' 2>'" +
                        err.string() + "' </dev/null";
  int status = std::system(command.c_str());
  ToolResult r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return r;
}

}  // namespace QuillData::tool::runner
