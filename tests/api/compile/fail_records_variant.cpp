// fails: Records<T>: T is a record class such as tblMachining
#include <QuillData/QuillData.h>

int main() {
  QuillData::Tessera::Collection c;
  for (const auto& entry : c.Records<QuillData::Variant>()) return entry.key.empty();
}
