#pragma once
// The data-access interface: one connection property, OpenDB and the 65 table operations of
// QuillData/contract/Operations.inc, in the interface's slot order. The class itself is
// creatable and has no behaviour: every operation returns the zero value of its result and
// changes nothing. Backends derive from it and override every operation (each backend checks
// at compile time that it forgot none).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/ByRef.h"
#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/Tessera.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData {

namespace ado {
class Connection;
}

using CollectionPtr = std::shared_ptr<Tessera::Collection>;
using ConnectionPtr = std::shared_ptr<ado::Connection>;
using RecordsAffected = ByRef<int32_t>;

class clsQuillData : public Object {
 public:
  ~clsQuillData() override = default;

  // 1-2: a connection reference held for the host.
  virtual ConnectionPtr Conn() const;
  virtual void Conn(const ConnectionPtr& vData);
  // 3: stores the companions, opens the store; true when it is open. The companions and the
  // trace switch belong to the thread, not to this object: the last OpenDB on a thread
  // decides them for every object of that thread. ConnArgs: see the backend's class (narrow
  // text in it is UTF-8).
  virtual bool OpenDB(const std::shared_ptr<cSP>& cSP, const std::shared_ptr<cE>& cE,
                      const std::vector<Variant>& ConnArgs);

  // 4-68: the table operations. A plain clsQuillData answers each with the zero value of
  // its result and touches nothing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define QUILLDATA_OPERATION(Result, Name, Params, Args) \
  virtual Result Name Params {                          \
    return Result();                                    \
  }
#include "QuillData/contract/Operations.inc"
#pragma GCC diagnostic pop

 private:
  ConnectionPtr conn_;
};

}  // namespace QuillData

QUILLDATA_API_END
