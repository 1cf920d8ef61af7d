#pragma once
// Runs the built `quilldata` binary through the shell and collects what it printed.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

// Starts the tool with these words, standard output and error to files, standard input
// empty; a test sends it a signal while it works, then waits for its exit code.
inline pid_t StartTool(const std::vector<std::string>& words, const std::string& out,
                       const std::string& err) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::dup2(::open("/dev/null", O_RDONLY), 0);
  ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
  ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
  std::vector<char*> argv{const_cast<char*>(QUILLDATA_TOOL)};
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  ::execv(QUILLDATA_TOOL, argv.data());
  ::_exit(127);
}

// The exit code, or 128 + the signal that ended it.
inline int WaitTool(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits up to a minute (the machine may be loaded) for `ready`.
template <class Ready>
bool Eventually(Ready ready) {
  for (int i = 0; i < 6000; ++i) {
    if (ready()) return true;
    ::usleep(10000);
  }
  return false;
}

}  // namespace QuillData::cli::runner
