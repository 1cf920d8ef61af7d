#include "QuillData/contract/Companions.h"

#include "QuillData/contract/Text.h"

namespace QuillData {

const std::shared_ptr<Application>& Application::Instance() {
  static const auto instance = std::make_shared<Application>();
  return instance;
}

ObjectPtr StreamTrace::TraceEnter(const std::wstring& procedure, const std::wstring& module) {
  std::lock_guard lock(mutex_);
  events_.push_back({true, procedure, module});
  if (out_) *out_ << "> " << ToUtf8(module) << '.' << ToUtf8(procedure) << '\n';
  return nullptr;
}

void StreamTrace::TraceExit(const std::wstring& procedure) {
  std::lock_guard lock(mutex_);
  events_.push_back({false, procedure, {}});
  if (out_) *out_ << "< " << ToUtf8(procedure) << '\n';
}

std::vector<StreamTrace::Event> StreamTrace::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

void StreamTrace::Clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
}

int16_t PolicyErrorHandler::HandleError(QuillError& err, ObjectPtr&, std::wstring& module,
                                        std::wstring& procedure, std::shared_ptr<cSP>&,
                                        int32_t& flag) {
  std::lock_guard lock(mutex_);
  int16_t action = kLeave;
  switch (policy_) {
    case Policy::Leave:
      action = kLeave;
      break;
    case Policy::Continue:
      action = kContinue;
      break;
    case Policy::EndProcess:
      action = kEndProcess;
      break;
    case Policy::Retry:
      // Retry a failing operation a bounded number of times, then give up.
      if (module + L'.' + procedure != lastFailure_) retriesInARow_ = 0;
      lastFailure_ = module + L'.' + procedure;
      if (retriesInARow_ < retries_) {
        ++retriesInARow_;
        action = kRetry;
      } else {
        retriesInARow_ = 0;
        action = kLeave;
      }
      break;
  }
  reports_.push_back({err.Number(), err.Source(), err.Description(), module, procedure, flag,
                      action, err.SqliteCode(), err.SqlState(), err.NativeError(), err.Kind()});
  if (log_) {
    *log_ << ToUtf8(module) << '.' << ToUtf8(procedure) << ": " << ToUtf8(err.Description()) << " ("
          << err.Number() << ", " << ToUtf8(err.Source()) << ")\n";
  }
  return action;
}

std::vector<PolicyErrorHandler::Report> PolicyErrorHandler::Reports() const {
  std::lock_guard lock(mutex_);
  return reports_;
}

void PolicyErrorHandler::Clear() {
  std::lock_guard lock(mutex_);
  reports_.clear();
  retriesInARow_ = 0;
}

}  // namespace QuillData
