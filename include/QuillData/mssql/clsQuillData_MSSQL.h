#pragma once
// The server backend: every writer calls one stored procedure of the database, every reader
// but GETFilterScenariosCol reads a whole table, all on one ADO connection that OpenDB opens
// from a connection string.
//
//   auto db = QuillData::CreateObjectAs<QuillData::clsQuillData>(L"QuillData.clsQuillData_MSSQL");
//   db->OpenDB(trace, errors, {L"Driver={PostgreSQL Unicode};Server=...", L"0"});
//
// ConnArgs: [0] the connection string, assigned unchanged to the connection; [1] the trace
// switch. The array may also come wrapped as the first item of the arguments ({{str, "1"}}).
//
// The class has its own connection, separate from the interface's Conn: OwnConn() returns
// it (after OpenDB, the connection every operation runs on) and OwnConn(c) replaces it. The
// interface's Conn only holds what the host sets through it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/OperationSet.h"
#include "QuillData/contract/clsQuillData.h"

// The class's insides (src/mssql), declared outside the exported API: nothing of them leaves
// the library.
namespace QuillData::mssql {
class Backend;
}

QUILLDATA_API_BEGIN

namespace QuillData {

class QUILLDATA_API clsQuillData_MSSQL : public clsQuillData {
 public:
  clsQuillData_MSSQL();
  // Closes and releases the connection; traced as "Class_Terminate"; never throws.
  ~clsQuillData_MSSQL() override;
  clsQuillData_MSSQL(const clsQuillData_MSSQL&) = delete;
  clsQuillData_MSSQL& operator=(const clsQuillData_MSSQL&) = delete;

  // The class's own connection property.
  std::shared_ptr<ado::Connection> OwnConn() const;
  void OwnConn(const std::shared_ptr<ado::Connection>& vData);

  ConnectionPtr Conn() const override;
  void Conn(const ConnectionPtr& vData) override;
  bool OpenDB(const std::shared_ptr<cSP>& cSP, const std::shared_ptr<cE>& cE,
              const std::vector<Variant>& ConnArgs) override;

  // The operations, one per line of the list. Each writer and GETFilterScenariosCol calls
  // its stored procedure as its catalogue entry says (src/mssql/Catalogue.cpp): what it
  // sends, and what it reads back (where nothing is read, the result is 0 or empty). The
  // GETTbl… readers arm no trap: their failures reach the caller.
#define QUILLDATA_OWN_INSERTGlobalContrFeatrPatterns ,
#define QUILLDATA_OPERATION(Result, Name, Params, Args) \
  QUILLDATA_UNLESS_OWN(Name, Result Name Params override;)
#include "QuillData/contract/Operations.inc"
#undef QUILLDATA_OWN_INSERTGlobalContrFeatrPatterns

  // The interface's form seeds @Return_Value with -1; the class's own form with the caller's
  // lngRecordsAffected.
  Variant INSERTGlobalContrFeatrLists(const int32_t& lngFeatureID,
                                      const std::wstring& strNewFtrSandEPoints,
                                      const std::wstring& strLinkName,
                                      const std::wstring& strLinkDescription,
                                      const std::wstring& strLinkType,
                                      const std::wstring& strLinkVarSet,
                                      RecordsAffected lngRecordsAffected);

  // Transactions on the server (module "clsQuillData", procedures "BeginTrans", "CommitTrans"
  // and "RollbackTrans"), as the interface describes them. Inside one, each operation is a
  // unit under a savepoint of its own. A connection lost inside one is not replaced: the
  // scope reports ErrorKind::TransactionAborted until CommitTrans (false) or RollbackTrans
  // ends it, and the next operation after that opens a new connection. A CommitTrans whose
  // answer was lost reports ErrorKind::OutcomeUnknown.
  int32_t BeginTrans() override;
  bool CommitTrans() override;
  void RollbackTrans() override;
  bool InTransaction() const override;

 private:
  // Reached through the interface only: the class keeps it out of its own public members.
  Variant INSERTGlobalContrFeatrPatterns(const int32_t& lngPartType, const std::wstring& strSubType,
                                         const int32_t& lngFeatureKey,
                                         const int32_t& lngFeatureListID) override;

  std::unique_ptr<mssql::Backend> m_impl;
};

}  // namespace QuillData

QUILLDATA_API_END
