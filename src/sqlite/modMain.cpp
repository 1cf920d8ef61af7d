#include "QuillData/sqlite/modMain.h"
#include "contract/ModuleText.h"

#include "locale/NumberText.h"

namespace QuillData {

std::wstring NumberToSql(const double& x) {
  const std::string text = detail::ShortestDoubleText(x);
  return std::wstring(text.begin(), text.end());
}

std::wstring TextToSql(const std::wstring& s) {
  return DecimalTextToDot(s);
}

}  // namespace QuillData
