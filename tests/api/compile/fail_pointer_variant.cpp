// fails: A Variant holds no raw pointer
#include <QuillData/QuillData.h>

int main() {
  QuillData::tblMachining record;
  QuillData::Variant v = &record;  // would have been the bool true
  return v.IsEmpty();
}
