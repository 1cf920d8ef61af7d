#include "QuillData/contract/Module.h"

#include <cwctype>

namespace QuillData {

thread_local std::shared_ptr<cSP> gSP;
thread_local std::shared_ptr<cE> gE;
thread_local std::wstring gTraceFlag;
thread_local std::wstring gDecSep;
thread_local bool gDecSepDiffers = false;

bool TraceSwitchOn(std::wstring_view traceFlag) {
  // The leading number: blanks, an optional sign, digits and an optional fraction.
  size_t i = 0;
  while (i < traceFlag.size() && std::iswspace(traceFlag[i])) ++i;
  bool negative = false;
  if (i < traceFlag.size() && (traceFlag[i] == L'+' || traceFlag[i] == L'-')) {
    negative = traceFlag[i] == L'-';
    ++i;
  }
  double value = 0;
  bool digits = false;
  for (; i < traceFlag.size() && std::iswdigit(traceFlag[i]); ++i) {
    value = value * 10 + (traceFlag[i] - L'0');
    digits = true;
  }
  if (i < traceFlag.size() && traceFlag[i] == L'.') {
    double scale = 0.1;
    for (++i; i < traceFlag.size() && std::iswdigit(traceFlag[i]); ++i, scale /= 10) {
      value += (traceFlag[i] - L'0') * scale;
      digits = true;
    }
  }
  return digits && !negative && value == 1.0;
}

}  // namespace QuillData
