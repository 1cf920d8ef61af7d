#pragma once
// Module-wide state, one copy per host thread: the companions and the trace switch that
// the last OpenDB on this thread stored, and the user's decimal separator.
#include <memory>
#include <string>
#include <string_view>

#include "QuillData/contract/Companions.h"

namespace QuillData {

extern thread_local std::shared_ptr<cSP> gSP;
extern thread_local std::shared_ptr<cE> gE;
extern thread_local std::wstring gTraceFlag;
extern thread_local std::wstring gDecSep;
extern thread_local bool gDecSepDiffers;

// Tracing is on when the leading number of the switch is exactly 1 ("1", "1 verbose"; not
// "2", "", "0" or "10").
bool TraceSwitchOn(std::wstring_view traceFlag);
inline bool TracingOn() {
  return TraceSwitchOn(gTraceFlag);
}

}  // namespace QuillData
