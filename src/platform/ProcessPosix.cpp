#include "platform/Process.h"

#include <cstdio>
#include <cstdlib>

namespace QuillData::platform {

void EndProcess(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace QuillData::platform
