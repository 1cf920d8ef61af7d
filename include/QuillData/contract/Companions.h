#pragma once
// The host's two companions: cSP records entry into and exit from operations, cE decides
// what a failed operation does next. The library ships simple ones (StreamTrace,
// PolicyErrorHandler) for the command line, the tests and hosts that need nothing more.
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Object.h"

QUILLDATA_API_BEGIN

namespace QuillData {

class QUILLDATA_API cSP : public Object {
 public:
  // Returns an object reference that the library releases at once.
  virtual ObjectPtr TraceEnter(const std::wstring& procedure, const std::wstring& module) = 0;
  virtual void TraceExit(const std::wstring& procedure) = 0;
};

// What HandleError answers.
enum ErrorAction : int16_t {
  kRetry = 0,       // run the failing statement again
  kContinue = 1,    // go on with the statement after it
  kLeave = 2,       // leave the operation (so does any value not listed here)
  kEndProcess = 3,  // end the process at once with exit code 0
};

// A host's own error companion overrides HandleError with exactly this signature (every
// argument a non-const reference, the answer an int16_t such as an ErrorAction):
//
//   class LogAndLeave : public QuillData::cE {
//    public:
//     int16_t HandleError(QuillData::QuillError& err, QuillData::ObjectPtr& /*app*/,
//                         std::wstring& module, std::wstring& procedure,
//                         std::shared_ptr<QuillData::cSP>& /*sp*/, int32_t& /*flag*/) override {
//       std::cerr << QuillData::ToUtf8(module + L"." + procedure + L": " + err.Description())
//                 << '\n';
//       return QuillData::kLeave;
//     }
//   };
//
// err: the error (number, source, description); app: the component's application object;
// module and procedure: where it happened; sp: the trace companion; flag: 2 in OpenDB, else
// 0. The companions belong to the thread: the last OpenDB on a thread decides them (and the
// trace switch) for every object of that thread.
class QUILLDATA_API cE : public Object {
 public:
  virtual int16_t HandleError(QuillError& err, ObjectPtr& app, std::wstring& module,
                              std::wstring& procedure, std::shared_ptr<cSP>& sp, int32_t& flag) = 0;
};

// The component's application object handed to HandleError.
class QUILLDATA_API Application : public Object {
 public:
  static const std::shared_ptr<Application>& Instance();
  std::wstring Title() const { return L"QuillData"; }
  std::wstring Description() const { return L"Quill Data Access"; }
};

// A trace companion that writes "> module.procedure" and "< procedure" lines to a stream
// (or to nothing) and records every event.
class QUILLDATA_API StreamTrace : public cSP {
 public:
  struct Event {
    bool enter;
    std::wstring procedure;
    std::wstring module;  // empty on exit
  };
  explicit StreamTrace(std::ostream* out = nullptr) : out_(out) {}
  ObjectPtr TraceEnter(const std::wstring& procedure, const std::wstring& module) override;
  void TraceExit(const std::wstring& procedure) override;
  std::vector<Event> Events() const;
  void Clear();

 private:
  std::ostream* out_;
  mutable std::mutex mutex_;
  std::vector<Event> events_;
};

// An error companion with a fixed policy that records every report it was given.
class QUILLDATA_API PolicyErrorHandler : public cE {
 public:
  enum class Policy { Leave, Continue, Retry, EndProcess };
  struct Report {
    int32_t number;
    std::wstring source;
    std::wstring description;
    std::wstring module;
    std::wstring procedure;
    int32_t flag;
    int16_t action;
    // The store's own codes (QuillError::SqliteCode, SqlState, NativeError).
    int32_t sqliteCode = 0;
    std::wstring sqlState;
    int32_t nativeError = 0;
    ErrorKind kind = ErrorKind::Other;  // QuillError::Kind
  };
  // Retry answers "retry" `retries` times in a row for the same operation, then "leave".
  explicit PolicyErrorHandler(Policy policy = Policy::Leave, int retries = 0,
                              std::ostream* log = nullptr)
      : policy_(policy), retries_(retries), log_(log) {}
  int16_t HandleError(QuillError& err, ObjectPtr& app, std::wstring& module,
                      std::wstring& procedure, std::shared_ptr<cSP>& sp, int32_t& flag) override;
  std::vector<Report> Reports() const;
  void Clear();

 private:
  Policy policy_;
  int retries_;
  std::ostream* log_;
  mutable std::mutex mutex_;
  std::vector<Report> reports_;
  int retriesInARow_ = 0;
  std::wstring lastFailure_;
};

}  // namespace QuillData

QUILLDATA_API_END
