#pragma once
// The data-access interface over one SQLite database file, reached through the binding
// clsSqlLite. Every statement is built by the backend, its arguments bound as values; every
// operation runs in an error trap (module "clsQuillData_SqlLite", procedure "clsQuillData_" +
// the member's name) that reports failures to the error companion stored by OpenDB.
//
//   auto db = std::make_shared<QuillData::clsQuillData_SqlLite>();
//   db->OpenDB(trace, errors, {L"", L"/path/to/file.db", L"0"});
//   auto rows = db->GETTblMachining();
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/sqlite/clsSqlLite.h"

QUILLDATA_API_BEGIN

namespace QuillData {

class QUILLDATA_API clsQuillData_SqlLite : public clsQuillData {
 public:
  // Receives the text of a failed OpenDB (the library's message, or why the library could
  // not be loaded).
  using MessageHook = std::function<void(const std::wstring&)>;

  // Reads the user's decimal separator into gDecSep / gDecSepDiffers for this thread.
  clsQuillData_SqlLite();
  clsQuillData_SqlLite(const clsQuillData_SqlLite&) = delete;
  clsQuillData_SqlLite& operator=(const clsQuillData_SqlLite&) = delete;
  // Closes the database and shuts the library down; traced as "Class_Terminate"; never
  // throws.
  ~clsQuillData_SqlLite() override;

  ConnectionPtr Conn() const override;
  void Conn(const ConnectionPtr& vData) override;
  // ConnArgs: [0] the folder holding libsqlite3.so.0 (empty: this component's folder, then
  // the system's search path), [1] the database file (which must exist: a missing file or one that
  // is not a database fails the open), [2] the trace switch stored in gTraceFlag. Stores the
  // companions first. On a failure the message hook gets the text and the result is false.
  // A file with a table of the schema declared WITHOUT ROWID is refused (its inserts could
  // not tell their new row's id) and closed: every later call reports why.
  bool OpenDB(const std::shared_ptr<cSP>& cSP, const std::shared_ptr<cE>& cE,
              const std::vector<Variant>& ConnArgs) override;

  // A transaction takes the database's write lock at once (BEGIN IMMEDIATE): another
  // connection's BeginTrans waits for it up to the busy timeout, then fails with "database is
  // locked" (ErrorKind::Busy), and two transactions never wait on each other. Inside it each
  // writer is a savepoint. When the database ends the transaction by itself (a full disk, an
  // I/O error), the failing writer, every later call and CommitTrans report
  // ErrorKind::TransactionAborted until RollbackTrans ends it.
  int32_t BeginTrans() override;
  bool CommitTrans() override;
  void RollbackTrans() override;
  bool InTransaction() const override;

  // The operations, one per line of the list. The readers read one whole table each, one
  // record per row, keyed as the table's reader says. UPDATEParaMachRouting,
  // UPDATEParaMachVertical and UPDATEPropertyRelationshipPatterns find the column (and table)
  // an argument names in the live schema; one that is not there is a statement error naming
  // it, and nothing runs.
#define QUILLDATA_OPERATION(Result, Name, Params, Args) Result Name Params override;
#include "QuillData/contract/Operations.inc"

 private:
  // A new relationship pattern for a new relation assignment; its id, 0 when none was
  // written. Trapped under their own names.
  int32_t INSERTGlobalRelationShipPattern(const int32_t& lngLinkIDEE, const int32_t& lngLinkIDEF,
                                          const int32_t& lngLinkIDFE, const int32_t& lngLinkIDFF);
  int32_t INSERTLocalRelationShipPattern(const int32_t& lngLinkIDEE, const int32_t& lngLinkIDEF,
                                         const int32_t& lngLinkIDFE, const int32_t& lngLinkIDFF,
                                         const std::wstring& strPattType,
                                         const std::wstring& strRelation);

 public:
  // Where the text of a failed OpenDB goes: this object's hook, else the thread's default
  // hook, else standard error.
  void SetMessageHook(MessageHook hook);
  static void SetDefaultMessageHook(MessageHook hook);

  // The binding (empty before OpenDB) and the database handle, for hosts that reach the
  // library directly.
  const std::shared_ptr<clsSqlLite>& Sqlite() const;
  intptr_t DatabaseHandle() const;

  // What the object holds between calls (its connection and statements, the state of its
  // units and transactions), defined inside the library.
  struct Impl;

 private:
  std::unique_ptr<Impl> m_impl;
};

}  // namespace QuillData

QUILLDATA_API_END
