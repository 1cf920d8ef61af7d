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

class QUILLDATA_API clsQuillData : public Object {
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

  // 69-72, after the interface's own members, whose slots do not move: a transaction across
  // operations, as a data-access connection has one. Work between BeginTrans and CommitTrans
  // is committed together or not at all; inside it each writer is still one unit, so a
  // writer that fails undoes only its own statements and the transaction goes on. Readers
  // see the transaction's own writes. Failures go to the error companion as an operation's
  // do.
  //   BeginTrans: 1 when a transaction is open, 0 when none could begin. Transactions do not
  //     nest: a BeginTrans while one is open is refused (ErrorKind::RefusedArgument).
  //   CommitTrans: true when the work is committed. A commit that fails, or a transaction the
  //     store ended by itself (ErrorKind::TransactionAborted: a full disk, a lost connection),
  //     leaves nothing of the work committed and answers false; the transaction is over.
  //   RollbackTrans: undoes the work; nothing when no transaction is open.
  //   InTransaction: true between a BeginTrans that answered 1 and its end.
  // A plain clsQuillData has no store: BeginTrans answers 0.
  virtual int32_t BeginTrans();
  virtual bool CommitTrans();
  virtual void RollbackTrans();
  virtual bool InTransaction() const;

 private:
  ConnectionPtr conn_;
};

}  // namespace QuillData

QUILLDATA_API_END
