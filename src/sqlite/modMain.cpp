#include "QuillData/sqlite/modMain.h"

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Module.h"
#include "QuillData/locale/Locale.h"

namespace QuillData {

namespace {

// Every occurrence of the local separator becomes ".". An empty separator (a locale without
// a one-character one) has nothing to replace.
std::wstring DotsForSeparator(std::wstring text) {
  if (!gDecSepDiffers || gDecSep.empty()) return text;
  for (size_t at = text.find(gDecSep); at != std::wstring::npos; at = text.find(gDecSep, at + 1)) {
    text.replace(at, gDecSep.size(), L".");
  }
  return text;
}

}  // namespace

void ReadDecimalSeparator() {
  const std::wstring& separator = UserLocale::Current().DecimalSeparator();
  gDecSep = separator.size() == 1 ? separator : std::wstring();
  gDecSepDiffers = gDecSep != L".";
}

std::wstring NumberToSql(const double& x) {
  return DotsForSeparator(CStr(Variant(x)));
}

std::wstring TextToSql(const std::wstring& s) {
  return DotsForSeparator(s);
}

}  // namespace QuillData
