#include "contract/ConnArgs.h"

#include "QuillData/contract/Error.h"

namespace QuillData {

std::vector<Variant> ConnArgsFor(const ConnLayout& layout, const std::wstring& store,
                                 const std::wstring& libraryFolder, bool trace) {
  const std::wstring traceSwitch = trace ? L"1" : L"0";
  std::vector<Variant> values;
  for (const ConnValue value : layout.values) {
    switch (value) {
      case ConnValue::LibraryFolder:
        values.emplace_back(libraryFolder);
        break;
      case ConnValue::Store:
        values.emplace_back(store);
        break;
      case ConnValue::Trace:
        values.emplace_back(traceSwitch);
        break;
    }
  }
  return values;
}

void RequireConnArgs(const ConnLayout& layout, const std::vector<Variant>& values) {
  if (values.size() == layout.values.size()) return;
  const std::wstring backend(layout.backend);
  throw QuillError(ErrNo::InvalidProcedureCall, backend,
                   L"ConnArgs holds " + std::to_wstring(values.size()) +
                       (values.size() == 1 ? L" value" : L" values") + L"; " + backend +
                       L" takes " + std::to_wstring(layout.values.size()) + L": " +
                       std::wstring(layout.described) + L", for example " +
                       std::wstring(layout.example) + L".");
}

}  // namespace QuillData
