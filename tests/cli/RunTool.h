#pragma once
// Runs the built `quilldata` binary and collects what it printed: through the shell on POSIX,
// as a Windows process on Windows (the arguments split as the shell would, the environment
// settings made for the child alone).
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <utility>
#include <vector>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace QuillData::cli::runner {

struct ToolResult {
  int code;
  std::string out, err;
};

using test::Quote;
using test::ReadFile;

#ifdef _WIN32

// Words of a shell command line: blanks separate them, '...' is literal, a backslash takes
// the next character literally (Quote writes a quote inside quotes as '\'').
inline std::vector<std::string> ShellWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      const size_t end = text.find('\'', i + 1);
      word += text.substr(i + 1, end - i - 1);
      i = end;
      inWord = true;
    } else if (c == '\\' && i + 1 < text.size()) {
      word += text[++i];
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

// One argument as the C runtime's parser reads it back: quoted, with the backslashes before
// a quote doubled.
inline std::wstring CommandLineWord(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

inline HANDLE InheritedFile(const std::filesystem::path& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &inherit,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

inline ToolResult Tool(const std::string& args, const std::string& env = "",
                       const std::string& input = "") {
  auto base = std::filesystem::temp_directory_path() /
              ("quilldata-cli-" + std::to_string(GetCurrentProcessId()));
  const std::filesystem::path out = base.string() + ".out", err = base.string() + ".err",
                              in = base.string() + ".in";
  std::ofstream(in, std::ios::binary) << input;
  std::wstring command = CommandLineWord(std::filesystem::path(QUILLDATA_TOOL).wstring());
  for (const std::string& word : ShellWords(args))
    command += L" " + CommandLineWord(FromUtf8(word));
  // NAME=value settings hold for the child: set here, inherited, put back after.
  std::vector<std::pair<std::string, std::string>> saved;
  for (const std::string& setting : ShellWords(env)) {
    const size_t eq = setting.find('=');
    const std::string name = setting.substr(0, eq);
    const char* old = std::getenv(name.c_str());
    saved.emplace_back(name, old ? old : "");
    _putenv_s(name.c_str(), setting.substr(eq + 1).c_str());
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = InheritedFile(in, false);
  startup.hStdOutput = InheritedFile(out, true);
  startup.hStdError = InheritedFile(err, true);
  PROCESS_INFORMATION process{};
  DWORD code = static_cast<DWORD>(-1);
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "cannot start " << QUILLDATA_TOOL;
  }
  for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) CloseHandle(h);
  for (const auto& [name, value] : saved) _putenv_s(name.c_str(), value.c_str());
  ToolResult r{static_cast<int>(code), ReadFile(out), ReadFile(err)};
  for (const auto& f : {out, err, in}) std::filesystem::remove(f);
  return r;
}

#else

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
#endif

}  // namespace QuillData::cli::runner
