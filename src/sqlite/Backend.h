#pragma once
// What the SQLite backend holds between calls: the connection and its statements, the state
// of the writers' units and of the host's transaction, and the reader statements' leases.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "sqlite/Database.h"
#include "sqlite/Reader.h"

namespace QuillData {

namespace sqlite_detail {
class Operation;
}  // namespace sqlite_detail

struct QUILLDATA_INTERNAL clsQuillData_SqlLite::Impl {
  static Impl& Of(clsQuillData_SqlLite& backend) { return *backend.m_impl; }

  // The connection, for a statement: ObjectNotSet before the first OpenDB, and why OpenDB
  // refused a database it could open.
  sqlite_detail::Database& Connection();
  // Finalizes every statement and closes the connection (an open transaction ends rolled
  // back); the library stays loaded.
  void CloseConnection() noexcept;
  // Before the connection closes: the library closes no connection with a statement open.
  void FinalizeReaderStatements() noexcept;
  void FinalizeKeptStatements() noexcept;
  // The reader's statement of `sql` on this connection, prepared on its first use and kept;
  // while a call steps it, a nested call gets a statement of its own. Give it back with
  // ReleaseReaderStatement, which resets it (or finalizes one of its own).
  std::shared_ptr<sqlite_detail::ReaderStatement> TakeReaderStatement(sqlite_detail::Operation& op,
                                                                      const wchar_t* sql);
  void ReleaseReaderStatement(sqlite_detail::ReaderStatement& statement) noexcept;
  void ShowMessage(const std::wstring& text) const;

  std::shared_ptr<clsQuillData> base = std::make_shared<clsQuillData>();
  // Declared before the statements, which go first.
  sqlite_detail::Database db;
  // The operations' statement slot (Operation::Prepare).
  sqlite_detail::Statement slot;
  std::vector<std::shared_ptr<sqlite_detail::ReaderStatement>> readerStatements;
  // The writers' statements by their fixed text, prepared once and kept (Operation::Kept).
  std::unordered_map<std::wstring, sqlite_detail::Statement> keptStatements;
  // An operation is looking a row up without the write lock: a write must not happen now.
  bool probing = false;
  // A writer's unit is open on this connection (an operation begun now is part of it), and
  // it has written.
  bool unitOpen = false;
  bool unitWrote = false;
  // The open unit is a savepoint that its first change takes.
  bool unitPending = false;
  // Why OpenDB refused a database it could open (then closed): what every later call reports.
  std::wstring notOpen;
  // BeginTrans opened a transaction that has not ended through CommitTrans or RollbackTrans
  // (the store may have ended it by itself: then nothing may run until the host ends it).
  bool inTrans = false;
  MessageHook messageHook;
};

}  // namespace QuillData
