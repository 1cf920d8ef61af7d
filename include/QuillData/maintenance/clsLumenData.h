#pragma once
// Maintenance work on a server database that the typed interface does not cover: any SQL
// text run into a client-side recordset, and a copy of a whole database as detached files.
//
//   auto lumen = std::make_shared<QuillData::clsLumenData>();
//   lumen->OpenDB(L"Driver={PostgreSQL Unicode};Server=...", trace, errors);
//   int32_t n = 0;
//   auto rows = lumen->Get_Lumen_Set(L"SELECT * FROM Machining", n);
//
// Failures go to the error companion like every other operation's (module "clsQuillData"
// for OpenDB, "clsLumenData" for Get_Lumen_Set, "frmMain" for MakeDetachCopy, flag 0).
#include <cstdint>
#include <memory>
#include <string>

#include "QuillData/Export.h"
#include "QuillData/ado/Connection.h"
#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/ByRef.h"
#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData {

class QUILLDATA_API clsLumenData : public Object {
 public:
  clsLumenData() = default;
  clsLumenData(const clsLumenData&) = delete;
  clsLumenData& operator=(const clsLumenData&) = delete;
  // Traces "Class_Terminate" (module "modDB") and releases Conn without closing it: a host
  // that still holds the connection keeps it open. Never throws.
  ~clsLumenData() override;

  // The connection OpenDB made; empty before the first OpenDB.
  const std::shared_ptr<ado::Connection>& Conn() const { return m_Conn; }

  // Any SQL text on Conn, as a client-side, static, read-only recordset that is fully
  // fetched. lngRecordsAffected receives its RecordCount. A statement that returns no rows
  // (an UPDATE, a CREATE) gives an open, empty recordset and 0. On a failure the companion
  // decides; a failed call returns an empty pointer and leaves lngRecordsAffected as it was.
  std::shared_ptr<ado::Recordset> Get_Lumen_Set(const std::wstring& SQLString,
                                                ByRef<int32_t> lngRecordsAffected = {});

  // Leaves a copy of the database's data and log file beside them as strNewName + ".mdf"
  // and strNewName + "_log.ldf": connects through the server-administration layer
  // ("SQLDMO.SQLServer", ServerAdmin.h) with this object's connection string as the base
  // (its driver, encryption and certificate settings), checks before the detach that no copy
  // exists yet, that this process can read both files and write to the folder and that the
  // folder has room, detaches the database, copies both files (never over an existing file)
  // and attaches the database again from its own files. Whatever fails after the detach,
  // the copies made are removed and the database is attached again before the failure is
  // reported. The answer 0 to a failure ends the operation (no retry). The result is always
  // Empty.
  Variant MakeDetachCopy(const std::wstring& strLogin, const std::wstring& strPwd,
                         const std::wstring& strSrv, const std::wstring& strDatabase,
                         const std::wstring& strNewName);

  // Stores the companions in gSP and gE, creates Conn when there is none and opens it on
  // strConn unless it is open already (then strConn is ignored). True when Conn is open.
  bool OpenDB(const std::wstring& strConn, const std::shared_ptr<cSP>& cSP,
              const std::shared_ptr<cE>& cE);

 private:
  std::shared_ptr<ado::Connection> m_Conn;
};

}  // namespace QuillData

QUILLDATA_API_END
