#pragma once
// A transaction across operations that is rolled back unless it was committed: whatever way
// the scope is left (a return, an exception), no half of the work stays.
//
//   QuillData::Transaction work(*db);
//   if (!work.Active()) return;  // BeginTrans failed: reported to the error companion
//   for (const auto& m : machinings) db->INSERTMachining(m.name, m.group, ...);
//   if (!work.Commit()) ...;     // nothing of it is committed
#include "QuillData/Export.h"
#include "QuillData/contract/clsQuillData.h"

QUILLDATA_API_BEGIN

namespace QuillData {

class QUILLDATA_API Transaction {
 public:
  explicit Transaction(clsQuillData& db) : db_(db), active_(db.BeginTrans() > 0) {}
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction() {
    if (!active_) return;
    try {
      db_.RollbackTrans();
    } catch (...) {
      // A destructor must not throw; the store ends an unfinished transaction itself.
    }
  }

  // True while the transaction is open: it began, and was neither committed nor rolled back.
  bool Active() const { return active_; }
  // CommitTrans; false when it did not commit (or there was nothing open).
  bool Commit() {
    if (!active_) return false;
    active_ = false;
    return db_.CommitTrans();
  }
  void Rollback() {
    if (!active_) return;
    active_ = false;
    db_.RollbackTrans();
  }

 private:
  clsQuillData& db_;
  bool active_;
};

}  // namespace QuillData

QUILLDATA_API_END
