#include "QuillData/contract/Module.h"
#include "contract/ModuleText.h"

#include <cwctype>

#include "QuillData/locale/Locale.h"
#include "locale/NumberText.h"

namespace QuillData {

thread_local std::shared_ptr<cSP> gSP;
thread_local std::shared_ptr<cE> gE;
thread_local std::wstring gTraceFlag;
thread_local std::wstring gDecSep;
thread_local bool gDecSepDiffers = false;

namespace {
thread_local bool gDecSepRead = false;
}

void ReadDecimalSeparator() {
  const std::wstring& separator = UserLocale::Current().DecimalSeparator();
  gDecSep = separator.size() == 1 ? separator : std::wstring();
  gDecSepDiffers = gDecSep != L".";
  gDecSepRead = true;
}

wchar_t LocalDecimalPoint() {
  if (!gDecSepRead) ReadDecimalSeparator();
  return gDecSepDiffers && gDecSep.size() == 1 ? gDecSep[0] : 0;
}

std::wstring DecimalTextToDot(std::wstring text) {
  const wchar_t point = LocalDecimalPoint();
  if (point == 0 || !detail::IsDecimalText(text, point)) return text;
  for (wchar_t& c : text) {
    if (c == point) c = L'.';
  }
  return text;
}

void DecimalTextToLocal(std::wstring& text) {
  const wchar_t point = LocalDecimalPoint();
  if (point == 0 || !detail::IsDecimalText(text, L'.')) return;
  for (wchar_t& c : text) {
    if (c == L'.') c = point;
  }
}

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
