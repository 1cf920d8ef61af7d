// fails: to 'const std::wstring&'
#include <QuillData/QuillData.h>

int main() {
  auto db = QuillData::CreateObjectAs<QuillData::clsQuillData>(L"QuillData.clsQuillData_SqlLite");
  return db->INSERTMachining("Hinge35", L"D", 1, 12.5, 37.0, 0.0);
}
