// fails: ItemAs<T>: T is a record class such as tblMachining
#include <QuillData/QuillData.h>

int main() {
  QuillData::Tessera::Collection c;
  return c.ItemAs<int>(1) != nullptr;
}
