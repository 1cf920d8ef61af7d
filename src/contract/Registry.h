#pragma once
// Classes register themselves for CreateObject where they are defined:
//   QUILLDATA_REGISTER_CLASS(clsQuillData_SqlLite)  ->  "QuillData.clsQuillData_SqlLite"
#include <functional>
#include <string>

#include "QuillData/contract/Object.h"

namespace QuillData::detail {

bool RegisterClass(std::wstring className, std::function<ObjectPtr()> create);

}  // namespace QuillData::detail

#define QUILLDATA_REGISTER_CLASS(cls)                                             \
  [[maybe_unused]] static const bool quilldata_registered_##cls =                 \
      ::QuillData::detail::RegisterClass(L"QuillData." #cls,                      \
                                         [] { return std::make_shared<cls>(); })
