// The README's example: a program outside the tree that creates a database, opens it
// through the interface, writes a machining and reads it back.
#include <QuillData/QuillData.h>
#include <QuillData/sqlite/Schema.h>

#include <filesystem>
#include <iostream>

int main() {
  using namespace QuillData;
  const auto file = std::filesystem::temp_directory_path() / "quilldata-consumer.db";
  std::filesystem::remove(file);
  CreateDatabase(file, /*withSample=*/false);  // the schema; or: quilldata init shop.db

  auto db = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_SqlLite");
  auto trace = std::make_shared<StreamTrace>();
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
  // ConnArgs: the SQLite library's folder ("" = next to libQuillData, then the system's),
  // the database file, the trace switch ("1" = on).
  if (!db->OpenDB(trace, errors, {L"", file.wstring(), L"0"})) return 1;

  int32_t id = db->INSERTMachining(L"Hinge35", L"D", 1, 12.5, 37.0, 0.0);
  int32_t count = -1;
  auto machinings = db->GETTblMachining(count);  // keyed by MachID
  auto hinge = machinings->ItemAs<tblMachining>(std::to_wstring(id));
  std::cout << ToUtf8(hinge->MachName) << " is machining " << id << " of " << count << '\n';
  for (const auto& r : errors->Reports()) std::cerr << ToUtf8(r.description) << '\n';

  auto routing = CreateObjectAs<tblMachRouting>(L"QuillData.tblMachRouting");
  std::filesystem::remove(file);
  return hinge->MachName == L"Hinge35" && routing->strActiveFlag == L"A" ? 0 : 1;
}
