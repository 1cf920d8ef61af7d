// compiles
// The same headers and flags as the failing snippets, written as the headers show: the
// failures below come from what they do, not from the setup.
#include <QuillData/QuillData.h>

#include <iostream>

using namespace QuillData;

class LogAndLeave : public QuillData::cE {
 public:
  int16_t HandleError(QuillData::QuillError& err, QuillData::ObjectPtr& /*app*/,
                      std::wstring& module, std::wstring& procedure,
                      std::shared_ptr<QuillData::cSP>& /*sp*/, int32_t& /*flag*/) override {
    std::cerr << QuillData::ToUtf8(module + L"." + procedure + L": " + err.Description()) << '\n';
    return QuillData::kLeave;
  }
};

int main() {
  auto db = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_SqlLite");
  db->OpenDB(std::make_shared<StreamTrace>(), std::make_shared<LogAndLeave>(),
             {"", "shop.db", "0"});
  auto machinings = db->GETTblMachining();
  size_t first = 1;
  auto a = machinings->ItemAs<tblMachining>(first);
  auto b = machinings->ItemAs<tblMachining>("3");
  for (const auto& [key, machining] : machinings->Records<tblMachining>())
    std::cout << ToUtf8(key) << ToUtf8(machining->MachName);
  for (const Variant& item : machinings) std::cout << item.IsObject();
  for (size_t i = 1; i <= machinings->size(); ++i) std::cout << machinings->Item(i).IsObject();
  return a && b ? 0 : 1;
}
