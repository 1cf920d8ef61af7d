// The README's example: a program outside the tree that creates the schema when the file
// does not hold it yet, opens the database through the interface, writes a machining and
// reads it back. It can run any number of times on the same file.
#include <QuillData/QuillData.h>
#include <QuillData/sqlite/Schema.h>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
  using namespace QuillData;
  const std::string file = argc > 1 ? argv[1] : "shop.db";
  try {
    // The schema (or: quilldata init shop.db); false when the file holds it already.
    if (!CreateDatabase(file, /*withSample=*/false)) std::cout << file << " has the schema\n";
  } catch (const QuillError& e) {  // not a database, or only part of the schema
    std::cerr << e.what() << '\n';
    return 1;
  }

  auto db = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_SqlLite");
  auto trace = std::make_shared<StreamTrace>();  // records entry/exit
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
  // ConnArgs: the SQLite library's folder ("" = next to libQuillData, then the system's),
  // the database file, the trace switch ("1" = on). Narrow text is UTF-8.
  if (!db->OpenDB(trace, errors, {"", file, "0"})) return 1;

  // A machining that exists already is found, not written again: its MachID comes back.
  int32_t id = db->INSERTMachining(L"Hinge35", L"D", 1, 12.5, 37.0, 0.0);
  int32_t count = -1;
  auto machinings = db->GETTblMachining(count);  // tblMachining records keyed by MachID
  const std::wstring key = std::to_wstring(id);
  // A failed operation was reported to `errors` and returned what it had: check first.
  if (!errors->Reports().empty() || !machinings->Contains(key)) {
    for (const auto& r : errors->Reports()) std::cerr << ToUtf8(r.description) << '\n';
    return 1;
  }
  auto hinge = machinings->ItemAs<tblMachining>(key);  // text is a key, a number an index
  std::cout << ToUtf8(hinge->MachName) << " is machining " << id << " of " << count << '\n';
  for (const auto& [machId, machining] : machinings->Records<tblMachining>())
    std::cout << "  " << ToUtf8(machId) << ": " << ToUtf8(machining->MachName) << '\n';
  return 0;
}
