#include "contract/Trap.h"

#include <string>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Module.h"
#include "contract/ModuleText.h"
#include "platform/Process.h"

namespace QuillData {

Trap::Decision Trap::Decide() {
  QuillError err = CurrentError();
  // Without an error companion there is nobody to ask: the caller gets the failure.
  if (!gE) throw err;

  // The companion may outlive a call that replaces gE; hold it for the call.
  std::shared_ptr<cE> handler = gE;
  ObjectPtr app = Application::Instance();
  std::wstring module(module_);
  std::wstring procedure(procedure_);
  int32_t flag = options_.flag;
  int16_t action = handler->HandleError(err, app, module, procedure, gSP, flag);

  switch (action) {
    case kRetry:
      return options_.retryFinishes ? kFinishNow : kRetryNow;
    case kContinue:
      return kGoOn;
    case kEndProcess:
      platform::EndProcess(0);
    default:
      return kLeaveNow;
  }
}

void Trap::TraceEnter() const {
  if (options_.traced && gSP && TracingOn()) {
    gSP->TraceEnter(std::wstring(procedure_),
                    std::wstring(options_.traceModule.empty() ? module_ : options_.traceModule));
  }
}

void Trap::TraceExit() const {
  if (options_.traced && gSP && TracingOn()) gSP->TraceExit(std::wstring(procedure_));
}

}  // namespace QuillData
