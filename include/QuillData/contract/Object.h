#pragma once
// Every value that travels by reference through the interface (records, collections,
// connections, companions) is an Object held by std::shared_ptr.
#include <memory>

#include "QuillData/Export.h"

QUILLDATA_API_BEGIN

namespace QuillData {

class QUILLDATA_API Object {
 public:
  virtual ~Object() = default;
};

using ObjectPtr = std::shared_ptr<Object>;

}  // namespace QuillData

QUILLDATA_API_END
