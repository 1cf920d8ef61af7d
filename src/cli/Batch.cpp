#include "cli/Batch.h"

#include <utf8.h>

#include <charconv>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>

#include "QuillData/contract/Text.h"

#include "QuillData/contract/clsQuillData.h"
#include "cli/Interrupt.h"
#include "cli/Progress.h"
#include "platform/Files.h"

namespace QuillData::cli {
namespace {

// How many bad lines are named before the rest are only counted.
constexpr size_t kProblemsNamed = 10;
// How long an interrupted batch may take to roll back before the process is ended: longer
// than one operation waits for a lock.
constexpr std::chrono::seconds kGrace{10};
// A script this long shows a progress bar (on a terminal).
constexpr size_t kLongScript = 100;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The JSON form's values as the text `call` would take for them.
std::optional<std::string> ArgumentText(const Json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
  if (value.is_number_integer()) return value.dump();
  if (value.is_number_float()) {
    // The shortest text that reads back as the same double, "." as decimal point.
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, value.get<double>()).ptr;
    return std::string(text, end);
  }
  return std::nullopt;
}

// {"operation": NAME, "args": [...]}; false with the reason.
bool JsonLine(const std::string& text, std::string& operation, std::vector<std::string>& args,
              std::string& why) {
  Json line = Json::parse(text, nullptr, false);
  if (line.is_discarded() || !line.is_object()) {
    why = "not a JSON object {\"operation\": ..., \"args\": [...]}";
    return false;
  }
  for (const auto& [key, value] : line.items()) {
    if (key != "operation" && key != "args") {
      why = "unknown key \"" + key + "\" (a line holds \"operation\" and \"args\")";
      return false;
    }
  }
  if (!line.contains("operation") || !line["operation"].is_string()) {
    why = "\"operation\" must name the operation as text";
    return false;
  }
  operation = line["operation"].get<std::string>();
  if (!line.contains("args")) return true;
  if (!line["args"].is_array()) {
    why = "\"args\" must be an array of values";
    return false;
  }
  for (const Json& value : line["args"]) {
    auto arg = ArgumentText(value);
    if (!arg) {
      why = "argument " + std::to_string(args.size() + 1) + " of " + operation + " is " +
            (value.is_null()    ? "null"
             : value.is_array() ? "an array"
                                : "an object") +
            ", not a value (text, number or true/false)";
      return false;
    }
    args.push_back(std::move(*arg));
  }
  return true;
}

// A line in `call`'s form: the words, @FILE read, "--" dropped once.
bool WordsLine(const std::string& text, std::string& operation, std::vector<std::string>& args,
               std::string& why) {
  std::vector<std::string> words;
  if (!SplitWords(text, words, why)) return false;
  operation = words.front();
  args.assign(words.begin() + 1, words.end());
  if (auto dashes = std::find(args.begin(), args.end(), "--"); dashes != args.end())
    args.erase(dashes);
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-") {
      why = "argument " + std::to_string(i + 1) + " of " + operation +
            " is -, standard input, which a script cannot read: quote the text, or use the "
            "JSON form";
      return false;
    }
  }
  std::istringstream noInput;
  return ExpandArguments(args, noInput, why);
}

const char* Plural(size_t n, const char* one, const char* many) {
  return n == 1 ? one : many;
}

}  // namespace

bool SplitWords(const std::string& line, std::vector<std::string>& words, std::string& why) {
  words.clear();
  auto refuse = [&](const char* reason) {
    words.clear();
    why = reason;
    return false;
  };
  size_t i = 0;
  const size_t n = line.size();
  while (true) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i == n || line[i] == '#') return true;
    std::string word;
    while (i < n && !IsBlank(line[i])) {
      const char c = line[i++];
      if (c == '\\' && i < n) {
        word += line[i++];
      } else if (c == '\'') {
        const size_t close = line.find('\'', i);
        if (close == std::string::npos) return refuse("a quote (') is not closed");
        word.append(line, i, close - i);
        i = close + 1;
      } else if (c == '"') {
        for (;;) {
          if (i == n) return refuse("a quote (\") is not closed");
          const char q = line[i++];
          if (q == '"') break;
          if (q == '\\' && i < n && (line[i] == '"' || line[i] == '\\')) {
            word += line[i++];
          } else {
            word += q;
          }
        }
      } else {
        word += c;
      }
    }
    words.push_back(std::move(word));
  }
}

bool ReadScript(std::istream& in, std::vector<BatchLine>& lines,
                std::vector<std::string>& problems) {
  size_t bad = 0;
  auto problem = [&](int number, const std::string& what) {
    if (++bad <= kProblemsNamed) problems.push_back("line " + std::to_string(number) + ": " + what);
  };
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (!utf8::is_valid(text.begin(), text.end())) {
      problem(number, "not valid UTF-8 text");
      continue;
    }
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text[first] == '#') continue;
    std::string operation, why;
    std::vector<std::string> args;
    const bool read = text[first] == '{' ? JsonLine(text, operation, args, why)
                                         : WordsLine(text, operation, args, why);
    if (!read) {
      problem(number, why);
      continue;
    }
    const OperationEntry* op = FindOperation(operation);
    if (!op) {
      problem(number, UnknownOperation(operation));
      continue;
    }
    try {
      lines.push_back({number, operation, op->Bind(args)});
    } catch (const UsageError& e) {
      problem(number, e.what());
    }
  }
  if (bad > kProblemsNamed)
    problems.push_back("and " + std::to_string(bad - kProblemsNamed) + " more bad lines");
  return bad == 0;
}

int RunBatch(const BatchSettings& settings, std::istream& in, std::ostream& out, std::ostream& err,
             std::ostream* progress, const BackendFactory& factory) {
  std::vector<BatchLine> lines;
  std::vector<std::string> problems;
  bool read = false;
  if (settings.script == "-") {
    read = ReadScript(in, lines, problems);
  } else {
    std::ifstream file(platform::Utf8Path(settings.script), std::ios::binary);
    std::error_code ec;
    if (!file || std::filesystem::is_directory(platform::Utf8Path(settings.script), ec)) {
      err << "quilldata batch: cannot read the script \"" << settings.script << "\"\n";
      return kExitUsage;
    }
    read = ReadScript(file, lines, problems);
  }
  if (!read) {
    for (const std::string& p : problems) err << "quilldata batch: " << p << '\n';
    err << "quilldata batch: the script was refused; nothing was written\n";
    return kExitUsage;
  }
  if (lines.empty()) {
    err << "quilldata batch: the script holds no operation\n";
    return kExitUsage;
  }
  if (int code = CheckStore(settings.store, "batch", err); code != kExitOk) return code;
  std::shared_ptr<clsQuillData> backend = CreateBackendFor(settings.store, factory, "batch", err);
  if (!backend) return kExitUsage;

  Interruption interruption(kGrace);
  auto trace = std::make_shared<StreamTrace>();
  // The answer "exit" ends the batch at the failing line; the transaction is rolled back.
  bool exitAnswered = false;
  auto errors = std::make_shared<CommandErrorHandler>(settings.store.onError, [&]() -> int16_t {
    exitAnswered = true;
    return kLeave;
  });
  const auto start = std::chrono::steady_clock::now();

  auto finish = [&](Json summary, const std::string& message, int code) {
    summary["seconds"] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    backend.reset();
    errors->Disarm();
    out << Dump(Json{{"summary", std::move(summary)}}, -1) << std::endl;
    err << "quilldata batch: " << message << '\n';
    return code;
  };

  bool opened = false;
  std::optional<QuillError> raised;
  try {
    opened = backend->OpenDB(trace, errors, ConnArgsFor(settings.store));
  } catch (...) {
    raised = CurrentError();
  }
  Json openErrors = ErrorsToJson(errors->Reports());
  if (raised) openErrors.push_back(RaisedToJson(*raised, "OpenDB"));
  errors->Clear();
  if (!opened) {
    return finish({{"operations", lines.size()},
                   {"run", 0},
                   {"committed", false},
                   {"opened", false},
                   {"errors", openErrors}},
                  "could not open the store: " + WhyNotOpened(openErrors), kExitFailed);
  }
  if (backend->BeginTrans() <= 0) {
    Json beginErrors = ErrorsToJson(errors->Reports());
    return finish(
        {{"operations", lines.size()}, {"run", 0}, {"committed", false}, {"errors", beginErrors}},
        "no transaction could begin, so nothing was run" +
            (beginErrors.empty() ? std::string() : ": " + FirstError(beginErrors)),
        kExitRolledBack);
  }

  // A transaction the store ended, or a connection that is gone, takes the rest with it.
  auto ends = [](ErrorKind kind) {
    return kind == ErrorKind::TransactionAborted || kind == ErrorKind::ConnectionLost ||
           kind == ErrorKind::OutcomeUnknown;
  };
  std::optional<ProgressBar> bar;
  if (progress && lines.size() >= kLongScript) bar.emplace(*progress);
  size_t run = 0, failed = 0, reported = 0;
  Json failedLines = Json::array();
  std::string firstError;
  bool storeEnded = false;
  for (const BatchLine& line : lines) {
    if (Interruption::Requested() || exitAnswered) break;
    Outcome outcome = Dispatch(*backend, line.call, settings.store.summary);
    ++run;
    const auto reports = errors->Reports();
    errors->Clear();
    Json lineErrors = ErrorsToJson(reports);
    if (outcome.raised) lineErrors.push_back(RaisedToJson(*outcome.raised, line.operation));
    for (const auto& r : reports) storeEnded = storeEnded || ends(r.kind);
    if (outcome.raised) storeEnded = storeEnded || ends(outcome.raised->Kind());
    Json doc = {{"line", line.number}};
    doc.update(CallDocument(line.operation, std::move(outcome.result), outcome.recordsAffected,
                            lineErrors, TraceToJson(trace->Events())));
    trace->Clear();
    out << Dump(doc, -1) << '\n';
    if (bar)
      bar->Show("running", "", static_cast<int64_t>(run), static_cast<int64_t>(lines.size()),
                "operations");
    if (lineErrors.empty()) continue;
    ++failed;
    reported += lineErrors.size();
    failedLines.push_back(line.number);
    if (firstError.empty())
      firstError = "line " + std::to_string(line.number) + ": " + FirstError(lineErrors);
    // Nothing after an error can be committed under --atomic, nor after the store ended
    // the transaction: the rest is not run.
    if (settings.atomic || storeEnded) break;
  }
  bar.reset();

  Json summary = {{"operations", lines.size()}, {"run", run},
                  {"succeeded", run - failed},  {"failed", failed},
                  {"failedLines", failedLines}, {"errors", reported}};
  const bool interrupted = Interruption::Requested();
  std::string why;
  if (interrupted) {
    why = "interrupted by " + interruption.SignalName();
    summary["interrupted"] = interruption.SignalName();
  } else if (exitAnswered) {
    why = "--on-error exit ended the batch at " + firstError;
  } else if (storeEnded) {
    why = "the store ended the transaction at " + firstError;
  } else if (settings.atomic && failed > 0) {
    why = "--atomic and an error at " + firstError;
  }
  bool committed = false;
  if (why.empty()) {
    committed = backend->CommitTrans();
    Json commitErrors = ErrorsToJson(errors->Reports());
    if (!commitErrors.empty()) summary["commitErrors"] = commitErrors;
    if (!committed) why = "the commit failed: " + FirstError(commitErrors);
  } else {
    backend->RollbackTrans();
  }
  summary["committed"] = committed;
  const std::string counts = std::to_string(run) + " of " + std::to_string(lines.size()) +
                             Plural(lines.size(), " operation", " operations") + " run, " +
                             std::to_string(failed) + " failed";
  if (!committed) {
    return finish(std::move(summary), counts + "; nothing was committed: " + why,
                  interrupted ? interruption.ExitCode() : kExitRolledBack);
  }
  if (failed > 0) {
    return finish(std::move(summary),
                  counts + "; the others' work was committed. The first error: " + firstError,
                  kExitFailed);
  }
  return finish(std::move(summary), counts + "; committed", kExitOk);
}

}  // namespace QuillData::cli
