#pragma once
// `quilldata call`: open a backend, call one operation by name with command-line values,
// and describe what happened as one JSON object:
//   {"operation": ..., "result": ..., "lngRecordsAffected": ..., "errors": [...],
//    "trace": [...]}
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Error.h"
#include "cli/Json.h"
#include "cli/Operations.h"

namespace QuillData {
class clsQuillData;
}

namespace QuillData::cli {

// Exit codes of the command line.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // an error was reported or raised, or the store did not open
constexpr int kExitUsage = 2;   // bad usage: nothing was opened or written

struct ErrorPolicy {
  PolicyErrorHandler::Policy policy = PolicyErrorHandler::Policy::Leave;
  int retries = 0;
};
// "leave", "continue", "retry:N" (N >= 0) or "exit"; nullopt for anything else.
std::optional<ErrorPolicy> ParseErrorPolicy(std::string_view text);

struct CallSettings {
  std::string db;         // the SQLite database file (must exist)
  std::string sqliteLib;  // folder holding libsqlite3.so.0; empty: the backend's default
  std::string server;     // a connection string: use the server backend instead
  ErrorPolicy onError;
  bool trace = false;
  bool summary = false;  // a collection result as its count alone
};

// Creates a backend by class name ("QuillData.clsQuillData_SqlLite"); tests pass their own.
using BackendFactory = std::function<std::shared_ptr<clsQuillData>(std::wstring_view)>;
std::shared_ptr<clsQuillData> CreateBackend(std::wstring_view className);

// The class of the build's backend for the store the settings name (a file, or a server),
// and its connection values as that backend lays them out (QuillData::Backends()).
std::wstring BackendClass(const CallSettings& settings);
std::vector<Variant> ConnArgsFor(const CallSettings& settings);

// What one call gave back: its result as JSON, the by-reference count, and the error that
// reached the caller instead, if any.
struct Outcome {
  Json result;
  std::optional<int32_t> recordsAffected;
  std::optional<QuillError> raised;
};
Outcome Dispatch(clsQuillData& backend, const OperationEntry::Bound& call, bool summary);

Json ErrorsToJson(const std::vector<PolicyErrorHandler::Report>& reports);
Json TraceToJson(const std::vector<StreamTrace::Event>& events);
Json RaisedToJson(const QuillError& error, const std::string& operation);
// {"operation", "result", "lngRecordsAffected", "errors", "trace"}: one call's document.
Json CallDocument(const std::string& operation, Json result, std::optional<int32_t> recordsAffected,
                  Json errors, Json trace);
// The first error of a document's list as one line, for standard error.
std::string FirstError(const Json& errors);
// Of the errors of a store that did not open, the one that says why.
std::string WhyNotOpened(const Json& errors);

// The policy companion of the commands: it records every report, and when its answer would
// end the process it hands over to `onEnd` first, whose answer is given instead (`call`
// ends the process itself there, with the exit code of a reported error; `batch` stops).
class CommandErrorHandler : public PolicyErrorHandler {
 public:
  CommandErrorHandler(ErrorPolicy policy, std::function<int16_t()> onEnd);
  int16_t HandleError(QuillError& err, ObjectPtr& app, std::wstring& module,
                      std::wstring& procedure, std::shared_ptr<cSP>& sp, int32_t& flag) override;
  // The module-wide state keeps the companion after the command returns; what the callback
  // refers to does not live that long.
  void Disarm() { onEnd_ = nullptr; }

 private:
  std::function<int16_t()> onEnd_;
};

// The store a command names (--db FILE or --server CONNECTION), checked before anything is
// opened: one of them, and a file that exists. kExitOk, or kExitUsage after saying why.
int CheckStore(const CallSettings& settings, std::string_view command, std::ostream& err);
// The backend for the settings, not yet opened; nullptr after saying why.
std::shared_ptr<clsQuillData> CreateBackendFor(const CallSettings& settings,
                                               const BackendFactory& factory,
                                               std::string_view command, std::ostream& err);
// "unknown operation "X" (did you mean Y?) ...": what to say of a name that is none.
std::string UnknownOperation(const std::string& name);

// Replaces each argument written @FILE by the content of FILE and the argument - by standard
// input's, each without one final line break: texts too long for a command line. False,
// with the reason, for a file that cannot be read, a second -, or content that is not UTF-8.
bool ExpandArguments(std::vector<std::string>& args, std::istream& in, std::string& why);

// The whole command; returns the exit code. Usage problems go to `err`, the JSON to `out`.
int RunCall(const CallSettings& settings, const std::string& operation,
            const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const BackendFactory& factory = CreateBackend);

}  // namespace QuillData::cli
