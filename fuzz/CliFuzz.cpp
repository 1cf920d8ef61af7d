// Fuzz target: the command line's argument parsing (src/tool). The input is split at NUL
// bytes into argument vectors; the first byte picks the entry point:
//  - the whole command line (cli::Main): it accepts (exit 0, with JSON where it prints
//    JSON) or rejects with a usage error (exit 2, with a message) -- never exit 1, which
//    means an exception escaped the commands. `init` and `demo` are kept out (they create
//    files) and so are --db, --server, --sqlite-lib, `-` and `@FILE`, so nothing is opened;
//  - `quilldata call` after the options (cli::RunCall) against a backend whose operations
//    do nothing: exit 0 with one JSON document naming the operation and no errors, or exit
//    2 with a message and nothing on stdout;
//  - one operation's Bind: it accepts exactly when the count of values is within the
//    operation's arguments and every value reads as its argument's type; the bound call
//    hands the by-reference count back unchanged. Every value is also checked against the
//    value parsers: an accepted whole number is its digits, an accepted real reads back.
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "QuillData/contract/clsQuillData.h"
#include "cli/Call.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "cli/Operations.h"
#include "fuzz/FuzzCheck.h"

namespace QuillData::fuzz {

namespace {

using namespace QuillData::cli;

// The interface's own do-nothing operations, over a store that reports itself open.
class InertBackend : public clsQuillData {
 public:
  bool OpenDB(const std::shared_ptr<cSP>&, const std::shared_ptr<cE>&,
              const std::vector<Variant>&) override {
    return true;
  }
};

// An existing, empty file: `call` insists that --db names one.
const std::string& ScratchFile() {
  static const std::string path = [] {
    char name[] = "/tmp/quilldata-fuzz-cli-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    static std::string keep = name;
    std::atexit([] { std::remove(keep.c_str()); });
    return keep;
  }();
  return path;
}

std::vector<std::string> Split(std::string_view rest) {
  std::vector<std::string> out;
  if (rest.empty()) return out;
  size_t start = 0;
  for (;;) {
    const size_t end = rest.find('\0', start);
    out.emplace_back(rest.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return out;
    start = end + 1;
  }
}

std::string Joined(const std::vector<std::string>& args) {
  std::string s;
  for (const auto& a : args) {
    s += ' ';  // appended apart: g++ 12 -O3 takes " " + string for an oversized copy
    s += Show(a);
  }
  return s;
}

// Keeps the whole command line away from anything that creates or opens a file, or reads
// standard input (an argument `-` or `@FILE`).
std::string Defused(const std::string& arg) {
  if (arg == "init" || arg == "demo" || arg == "-") return arg + "_";
  if (!arg.empty() && arg[0] == '@') return "_" + arg;
  for (const char* option : {"--db", "--server", "--sqlite-lib"}) {
    if (arg.rfind(option, 0) == 0) return "--trace";
  }
  return arg;
}

void CheckValueParsers(const std::string& text) {
  if (const auto v = ParseInt32(text)) {
    // Accepted text is an optional sign and decimal digits that spell the value.
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
      negative = digits[0] == '-';
      digits.remove_prefix(1);
    }
    while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
    const std::string spelled = (negative && digits != "0" ? "-" : "") + std::string(digits);
    QD_FUZZ_CHECK(spelled == std::to_string(*v), Show(text) + " read as " + std::to_string(*v));
  }
  if (const auto d = ParseDouble(text)) {
    if (std::isfinite(*d)) {
      char buf[64];
      const auto res = std::to_chars(buf, buf + sizeof buf, *d);
      const auto again = ParseDouble(std::string(buf, res.ptr));
      QD_FUZZ_CHECK(again && *again == *d, Show(text) + " does not read back");
    }
  }
  if (const auto b = ParseBool(text)) {
    std::string lower;
    for (char c : text) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
    QD_FUZZ_CHECK(
        lower == (*b ? "true" : "false") || lower == (*b ? "1" : "0") || (*b && lower == "-1"),
        Show(text) + " read as a bool");
  }
}

bool Parses(ArgType type, const std::string& text) {
  switch (type) {
    case ArgType::Int32:
      return ParseInt32(text).has_value();
    case ArgType::Double:
      return ParseDouble(text).has_value();
    case ArgType::Bool:
      return ParseBool(text).has_value();
    case ArgType::String:
      return true;
  }
  return false;
}

void CheckMain(const std::vector<std::string>& tokens) {
  std::vector<std::string> args{"quilldata"};
  for (const auto& t : tokens) args.push_back(Defused(t));
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  std::ostringstream out, err;
  const int rc = Main(static_cast<int>(args.size()), argv.data(), out, err);
  const std::string what = "quilldata" + Joined(tokens) + " -> exit " + std::to_string(rc) +
                           ", stderr " + Show(err.str());
  QD_FUZZ_CHECK(rc == kExitOk || rc == kExitUsage, what);
  if (rc == kExitUsage) QD_FUZZ_CHECK(!err.str().empty(), what + " without a message");
  const std::string printed = out.str();
  if (rc == kExitOk && !printed.empty() && (printed[0] == '{' || printed[0] == '[')) {
    QD_FUZZ_CHECK(Json::accept(printed), what + " printed broken JSON");
  }
}

void CheckRunCall(uint8_t pick, uint8_t flags, std::vector<std::string> tokens) {
  auto next = [&tokens]() {
    if (tokens.empty()) return std::string();
    std::string t = tokens.front();
    tokens.erase(tokens.begin());
    return t;
  };
  const auto ops = Operations();
  // Mostly a real operation name, so that the arguments get parsed.
  const std::string name = pick < 224 ? ops[pick % ops.size()].NameUtf8() : next();
  CallSettings settings;
  settings.trace = flags & 1;
  settings.summary = flags & 2;
  if (flags & 4) settings.db = ScratchFile();
  if (flags & 8) settings.server = next();
  if (flags & 16) {
    const std::string policy = next();
    if (const auto p = ParseErrorPolicy(policy)) settings.onError = *p;
  }
  std::ostringstream out, err;
  const int rc = RunCall(settings, name, tokens, out, err,
                         [](std::wstring_view) { return std::make_shared<InertBackend>(); });
  const std::string what = "call " + Show(name) + Joined(tokens) + " -> exit " +
                           std::to_string(rc) + ", stderr " + Show(err.str());
  QD_FUZZ_CHECK(rc == kExitOk || rc == kExitUsage, what);
  if (rc == kExitUsage) {
    QD_FUZZ_CHECK(out.str().empty() && !err.str().empty(), what + ", stdout " + Show(out.str()));
    return;
  }
  QD_FUZZ_CHECK(settings.db.empty() != settings.server.empty(), what + " with db and server");
  const Json doc = Json::parse(out.str(), nullptr, false);
  QD_FUZZ_CHECK(!doc.is_discarded() && doc.is_object(), what + " printed " + Show(out.str()));
  QD_FUZZ_CHECK(doc.value("operation", std::string()) == name, what + " names another operation");
  QD_FUZZ_CHECK(doc["errors"].is_array() && doc["errors"].empty(), what + " reported errors");
}

void CheckBind(uint8_t pick, const std::vector<std::string>& values) {
  const auto ops = Operations();
  const OperationEntry& op = ops[pick % ops.size()];
  const auto& specs = op.Args();
  bool expectOk = values.size() >= op.RequiredCount() && values.size() <= specs.size();
  for (size_t i = 0; expectOk && i < values.size(); ++i)
    expectOk = Parses(specs[i].type, values[i]);
  const std::string what = op.NameUtf8() + Joined(values);

  OperationEntry::Bound bound;
  std::string usage;
  try {
    bound = op.Bind(values);
  } catch (const UsageError& e) {
    usage = e.what();
  }
  QD_FUZZ_CHECK(static_cast<bool>(bound) == expectOk,
                what + (bound ? " was accepted" : " was rejected: " + usage));
  if (!bound) {
    QD_FUZZ_CHECK(usage.find("usage: " + op.Signature()) != std::string::npos,
                  what + ": the message lacks the signature: " + usage);
    return;
  }
  InertBackend backend;
  const CallResult r = bound(backend);
  for (size_t i = 0; i < specs.size(); ++i) {
    if (!specs[i].byRef) continue;
    const int32_t passed = *ParseInt32(i < values.size() ? values[i] : specs[i].defaultText);
    QD_FUZZ_CHECK(r.recordsAffected == passed,
                  what + ": the by-reference count came back as " +
                      std::to_string(r.recordsAffected.value_or(-999)));
  }
  const Variant zero = op.Result() == ResultType::Int32 ? Variant(int32_t{0}) : Variant();
  QD_FUZZ_CHECK(r.result == zero, what + ": the do-nothing operation returned something");
}

}  // namespace

void CheckCli(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t mode = in.Byte() % 3;
  // The entry points' own bytes come first, the argument vector after them.
  const uint8_t pick = mode != 0 ? in.Byte() : 0;
  const uint8_t flags = mode == 1 ? in.Byte() : 0;
  const std::vector<std::string> tokens = Split(in.Rest());
  if (tokens.size() > 64) return;  // argument vectors, not data
  for (const auto& t : tokens) CheckValueParsers(t);
  if (mode == 0) {
    CheckMain(tokens);
  } else if (mode == 1) {
    CheckRunCall(pick, flags, tokens);
  } else {
    CheckBind(pick, tokens);
  }
}

}  // namespace QuillData::fuzz

QD_FUZZ_ENTRY(CheckCli)
