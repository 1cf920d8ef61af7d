#include "cli/Call.h"

#include <utf8.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/registry/Factory.h"
#include "cli/Suggest.h"
#include "platform/Files.h"

#include "QuillData/Config.h"
#if QUILLDATA_WITH_SQLITE
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#endif

namespace QuillData::cli {
namespace {

const char* ActionName(int16_t action) {
  switch (action) {
    case kRetry:
      return "retry";
    case kContinue:
      return "continue";
    case kEndProcess:
      return "exit";
    default:
      return "leave";
  }
}

// The error's kind, and the store's own codes where the store gave them: a script can test
// them instead of text.
void AddNativeCodes(Json& j, ErrorKind kind, int32_t sqliteCode, const std::wstring& sqlState,
                    int32_t nativeError) {
  j["kind"] = ToUtf8(KindName(kind));
  if (sqliteCode != 0) j["sqliteCode"] = sqliteCode;
  if (!sqlState.empty()) {
    j["sqlState"] = ToUtf8(sqlState);
    j["nativeError"] = nativeError;
  }
}

std::vector<std::string> OperationNames() {
  std::vector<std::string> names;
  for (const OperationEntry& op : Operations()) names.push_back(op.NameUtf8());
  return names;
}

}  // namespace

std::optional<ErrorPolicy> ParseErrorPolicy(std::string_view text) {
  using P = PolicyErrorHandler::Policy;
  if (text == "leave") return ErrorPolicy{P::Leave, 0};
  if (text == "continue") return ErrorPolicy{P::Continue, 0};
  if (text == "exit") return ErrorPolicy{P::EndProcess, 0};
  constexpr std::string_view kRetry = "retry:";
  if (text.substr(0, kRetry.size()) == kRetry) {
    auto n = ParseInt32(text.substr(kRetry.size()));
    // Only plain digits: "retry:+3" and "retry:-1" are mistakes, not counts.
    if (n && *n >= 0 && text.size() > kRetry.size() && text[kRetry.size()] != '+')
      return ErrorPolicy{P::Retry, *n};
  }
  return std::nullopt;
}

CommandErrorHandler::CommandErrorHandler(ErrorPolicy policy, std::function<int16_t()> onEnd)
    : PolicyErrorHandler(policy.policy, policy.retries), onEnd_(std::move(onEnd)) {}

int16_t CommandErrorHandler::HandleError(QuillError& err, ObjectPtr& app, std::wstring& module,
                                         std::wstring& procedure, std::shared_ptr<cSP>& sp,
                                         int32_t& flag) {
  const int16_t action = PolicyErrorHandler::HandleError(err, app, module, procedure, sp, flag);
  return action == kEndProcess && onEnd_ ? onEnd_() : action;
}

// The first error of a document's list, for standard error.
std::string FirstError(const Json& errors) {
  if (errors.empty()) return {};
  const Json& first = errors.front();
  std::string text = first["description"].get<std::string>();
  if (first["procedure"].is_string() && !first["procedure"].get<std::string>().empty())
    text += " (" + first["procedure"].get<std::string>() + ")";
  return text;
}

Json CallDocument(const std::string& operation, Json result, std::optional<int32_t> recordsAffected,
                  Json errors, Json trace) {
  Json doc = Json::object();
  doc["operation"] = operation;
  doc["result"] = std::move(result);
  doc["lngRecordsAffected"] = recordsAffected ? Json(*recordsAffected) : Json(nullptr);
  doc["errors"] = std::move(errors);
  doc["trace"] = std::move(trace);
  return doc;
}

std::string WhyNotOpened(const Json& errors) {
  // OpenDB's own report says why, rather than what the clean-up of the attempt reported.
  for (const Json& e : errors)
    if (e["procedure"] == "OpenDB") return FirstError(Json::array({e}));
  return FirstError(errors);
}

int CheckStore(const CallSettings& settings, std::string_view command, std::ostream& err) {
  if (!settings.server.empty() && !settings.db.empty()) {
    err << "quilldata " << command << ": --db and --server exclude each other\n";
    return kExitUsage;
  }
  if (!settings.server.empty()) return kExitOk;
  if (settings.db.empty()) {
    err << "quilldata " << command
        << ": name the database with --db FILE (or a server with --server)\n";
    return kExitUsage;
  }
  // Opening a missing file would silently create an empty database.
  std::error_code ec;
  if (std::filesystem::is_directory(platform::Utf8Path(settings.db), ec)) {
    err << "quilldata " << command << ": \"" << settings.db
        << "\" is a directory, not a database file\n";
    return kExitUsage;
  }
  if (!std::filesystem::is_regular_file(platform::Utf8Path(settings.db), ec)) {
    err << "quilldata " << command << ": no database file \"" << settings.db
        << "\" (create one with `quilldata init " << settings.db << "`)\n";
    return kExitUsage;
  }
  return kExitOk;
}

std::shared_ptr<clsQuillData> CreateBackendFor(const CallSettings& settings,
                                               const BackendFactory& factory,
                                               std::string_view command, std::ostream& err) {
  const std::wstring className = BackendClass(settings);
  std::shared_ptr<clsQuillData> backend;
  try {
    backend = factory(className);
  } catch (const QuillError& e) {
    err << "quilldata " << command << ": the backend " << ToUtf8(className)
        << " is not available in this build: " << e.what() << '\n';
    return nullptr;
  }
  if (!backend) {
    err << "quilldata " << command << ": " << ToUtf8(className)
        << " is not a data-access backend\n";
    return nullptr;
  }
#if QUILLDATA_WITH_SQLITE
  // Why the file did not open reaches the error companion, which the document lists: the
  // message need not go to standard error as well.
  if (auto* sqlite = dynamic_cast<clsQuillData_SqlLite*>(backend.get()))
    sqlite->SetMessageHook([](const std::wstring&) {});
#endif
  return backend;
}

std::string UnknownOperation(const std::string& name) {
  return "unknown operation \"" + name + "\"" + DidYouMean(name, OperationNames()) +
         " (`quilldata operations` lists them)";
}

bool ExpandArguments(std::vector<std::string>& args, std::istream& in, std::string& why) {
  bool stdinTaken = false;
  for (std::string& arg : args) {
    std::string from;
    std::string text;
    if (arg == "-") {
      if (stdinTaken) {
        why = "only one argument can come from standard input (-)";
        return false;
      }
      stdinTaken = true;
      from = "standard input";
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else if (arg.size() > 1 && arg[0] == '@') {
      const std::string path = arg.substr(1);
      from = "\"" + path + "\"";
      std::error_code ec;
      if (std::filesystem::is_directory(platform::Utf8Path(path), ec)) {
        why = "cannot read the argument " + arg + ": \"" + path + "\" is a directory";
        return false;
      }
      std::ifstream file(platform::Utf8Path(path), std::ios::binary);
      if (file) text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      if (!file.is_open() || file.bad()) {
        why = "cannot read the argument " + arg + ": no readable file \"" + path + "\"";
        return false;
      }
    } else {
      continue;
    }
    if (!utf8::is_valid(text.begin(), text.end())) {
      why = "the text from " + from + " is not valid UTF-8";
      return false;
    }
    if (text.size() >= 1 && text.back() == '\n') text.pop_back();
    if (text.size() >= 1 && text.back() == '\r') text.pop_back();
    arg = std::move(text);
  }
  return true;
}

std::shared_ptr<clsQuillData> CreateBackend(std::wstring_view className) {
  return CreateObjectAs<clsQuillData>(className);
}

namespace {

// The first of the build's backends that opens what the settings name: a file, or a server.
const ConnLayout* LayoutFor(const CallSettings& settings) {
  const bool file = settings.server.empty();
  for (const ConnLayout& layout : Backends())
    if (layout.file == file) return &layout;
  return nullptr;
}

}  // namespace

std::wstring BackendClass(const CallSettings& settings) {
  if (const ConnLayout* layout = LayoutFor(settings))
    return L"QuillData." + std::wstring(layout->backend);
  // The factory refuses it, naming the classes the build has.
  return settings.server.empty() ? L"a backend for database files" : L"a backend for servers";
}

std::vector<Variant> ConnArgsFor(const CallSettings& settings) {
  const ConnLayout* layout = LayoutFor(settings);
  if (!layout) return {};
  return QuillData::ConnArgsFor(*layout,
                                FromUtf8(settings.server.empty() ? settings.db : settings.server),
                                FromUtf8(settings.sqliteLib), settings.trace);
}

Outcome Dispatch(clsQuillData& backend, const OperationEntry::Bound& call, bool summary) {
  Outcome out;
  try {
    CallResult r = call(backend);
    out.recordsAffected = r.recordsAffected;
    auto collection = r.result.ObjectAs<Tessera::Collection>();
    out.result = summary && collection ? CollectionToJson(*collection, false) : ToJson(r.result);
  } catch (...) {
    out.raised = CurrentError();
  }
  return out;
}

Json ErrorsToJson(const std::vector<PolicyErrorHandler::Report>& reports) {
  Json out = Json::array();
  for (const auto& r : reports) {
    Json j = {{"number", r.number},
              {"source", ToUtf8(r.source)},
              {"description", ToUtf8(r.description)},
              {"module", ToUtf8(r.module)},
              {"procedure", ToUtf8(r.procedure)},
              {"action", ActionName(r.action)}};
    AddNativeCodes(j, r.kind, r.sqliteCode, r.sqlState, r.nativeError);
    out.push_back(std::move(j));
  }
  return out;
}

Json RaisedToJson(const QuillError& error, const std::string& operation) {
  // Not reported to the companion: it reached the caller, so module is empty and the
  // procedure is the operation called.
  Json j = {{"number", error.Number()},
            {"source", ToUtf8(error.Source())},
            {"description", ToUtf8(error.Description())},
            {"module", ""},
            {"procedure", operation},
            {"action", "raised"}};
  AddNativeCodes(j, error.Kind(), error.SqliteCode(), error.SqlState(), error.NativeError());
  return j;
}

Json TraceToJson(const std::vector<StreamTrace::Event>& events) {
  Json out = Json::array();
  for (const auto& e : events) {
    Json j = Json::object();
    j["event"] = e.enter ? "enter" : "exit";
    if (e.enter) j["module"] = ToUtf8(e.module);
    j["procedure"] = ToUtf8(e.procedure);
    out.push_back(std::move(j));
  }
  return out;
}

int RunCall(const CallSettings& settings, const std::string& operation,
            const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const BackendFactory& factory) {
  // Everything the command line can check is checked before anything is opened.
  const OperationEntry* op = FindOperation(operation);
  if (!op) {
    err << "quilldata call: " << UnknownOperation(operation) << '\n';
    return kExitUsage;
  }
  OperationEntry::Bound call;
  try {
    call = op->Bind(args);
  } catch (const UsageError& e) {
    err << "quilldata call: " << e.what() << '\n';
    return kExitUsage;
  }
  if (int code = CheckStore(settings, "call", err); code != kExitOk) return code;
  std::shared_ptr<clsQuillData> backend = CreateBackendFor(settings, factory, "call", err);
  if (!backend) return kExitUsage;

  auto trace = std::make_shared<StreamTrace>();
  CommandErrorHandler* handler = nullptr;
  // The answer "exit" ends the process with the exit code of a reported error, after the
  // document of what is known so far: a script sees the failure and why.
  auto errors = std::make_shared<CommandErrorHandler>(settings.onError, [&]() -> int16_t {
    Json errorList = ErrorsToJson(handler->Reports());
    err << "quilldata call: " << FirstError(errorList) << "; --on-error exit ended the call\n";
    Json doc = CallDocument(operation, nullptr, std::nullopt, std::move(errorList),
                            TraceToJson(trace->Events()));
    doc["endedProcess"] = true;
    out << Dump(doc) << std::endl;
    err.flush();
    std::_Exit(kExitFailed);
  });
  handler = errors.get();

  bool opened = false;
  Outcome outcome;
  try {
    opened = backend->OpenDB(trace, errors, ConnArgsFor(settings));
  } catch (...) {
    outcome.raised = CurrentError();
  }
  if (opened) outcome = Dispatch(*backend, call, settings.summary);
  // Release the backend first, so that its teardown is part of the trace.
  backend.reset();
  errors->Disarm();

  Json errorList = ErrorsToJson(errors->Reports());
  if (outcome.raised) errorList.push_back(RaisedToJson(*outcome.raised, operation));
  const std::string first = opened ? FirstError(errorList) : WhyNotOpened(errorList);
  Json doc = CallDocument(operation, std::move(outcome.result), outcome.recordsAffected,
                          std::move(errorList), TraceToJson(trace->Events()));
  if (!opened) {
    doc["opened"] = false;
    err << "quilldata call: could not open "
        << (settings.server.empty() ? settings.db : std::string("the server connection"))
        << (first.empty() ? "" : ": " + first) << '\n';
  } else if (!first.empty()) {
    err << "quilldata call: " << operation << " reported " << doc["errors"].size()
        << (doc["errors"].size() == 1 ? " error" : " errors") << ", the first: " << first << '\n';
  }
  out << Dump(doc) << std::endl;
  return opened && doc["errors"].empty() ? kExitOk : kExitFailed;
}

}  // namespace QuillData::cli
