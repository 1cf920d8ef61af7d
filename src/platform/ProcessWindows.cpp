#include "platform/Process.h"

#include <windows.h>

#include <cstdio>

namespace QuillData::platform {

void EndProcess(int code) {
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace QuillData::platform
