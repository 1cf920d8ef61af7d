// fails: use of deleted function
#include <QuillData/QuillData.h>

int main() {
  QuillData::Variant v = nullptr;
  return v.IsEmpty();
}
