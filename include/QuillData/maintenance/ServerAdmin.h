#pragma once
// The server administration MakeDetachCopy needs: connect, find a database, read where its
// files are, detach it and attach it again. Implementations are created by an identifier;
// "SQLDMO.SQLServer" is SQL Server over ODBC (T-SQL on the master database). A host or a
// test registers its own implementation under an identifier to replace it.
//
//   auto server = QuillData::CreateServerAdmin(L"SQLDMO.SQLServer");
//   server->Connect(L"db01", L"sa", L"secret");
//   auto db = server->Databases(L"Parts", L"dbo");
//   std::wstring data = db->DataFilePhysicalName();
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Object.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// One database of a connected server; it reads the server when asked.
class QUILLDATA_API AdminDatabase : public Object {
 public:
  // The folder of the database's primary data file, ending in a path separator.
  virtual std::wstring PrimaryFilePath() = 0;
  // The full name of the first file of the first (primary) file group, as the server has it.
  virtual std::wstring DataFilePhysicalName() = 0;
  // The full name of the first log file, as the server has it.
  virtual std::wstring LogFilePhysicalName() = 0;
};

class QUILLDATA_API ServerAdmin : public Object {
 public:
  // The user's connection string that Connect builds on (AdminConnectionString): its
  // driver or provider and every setting beyond server, database and credentials (Encrypt,
  // TrustServerCertificate, timeouts) carry over. Empty: a plain SQLOLEDB string.
  const std::wstring& BaseConnectionString() const { return baseConnectionString_; }
  void BaseConnectionString(const std::wstring& value) { baseConnectionString_ = value; }

  // An empty login signs in with the operating system's identity.
  virtual void Connect(const std::wstring& server, const std::wstring& login,
                       const std::wstring& password) = 0;
  // The database with that name and owner; a QuillError when there is none.
  virtual std::shared_ptr<AdminDatabase> Databases(const std::wstring& name,
                                                   const std::wstring& owner) = 0;
  virtual void DetachDB(const std::wstring& name) = 0;
  // files: "[file1],[file2],..." (a "]" inside a name written "]]"), data files and log files.
  virtual void AttachDB(const std::wstring& name, const std::wstring& files) = 0;

 private:
  std::wstring baseConnectionString_;
};

using ServerAdminFactory = std::function<std::shared_ptr<ServerAdmin>()>;

// The identifier of the SQL Server implementation.
inline constexpr std::wstring_view kSqlServerAdminId = L"SQLDMO.SQLServer";

// A new object of the implementation registered under `id` (case-insensitive); error 429
// "ActiveX component can't create object" naming the identifier when none is.
QUILLDATA_API std::shared_ptr<ServerAdmin> CreateServerAdmin(std::wstring_view id);
// Registers `factory` under `id` and returns what was registered there before (empty when
// nothing was), so that a caller can put it back. An empty factory removes the identifier.
QUILLDATA_API ServerAdminFactory RegisterServerAdmin(std::wstring_view id,
                                                     ServerAdminFactory factory);

// The SQL Server implementation. Its connection opens on `provider` when one is given (a
// test's recording provider); else on the ODBC provider, through the first installed SQL
// Server ODBC driver.
QUILLDATA_API std::shared_ptr<ServerAdmin> MakeSqlServerAdmin(
    std::shared_ptr<ado::Provider> provider = nullptr);

// The connection string for the master database of `server`: userString (ADO style or
// ODBC style, kept in its style) with its server, database and credentials replaced; an
// empty login signs in with the operating system's identity. An empty userString gives
// Provider=SQLOLEDB. Values are quoted so that ";" and quotes in them stay values.
QUILLDATA_API std::wstring AdminConnectionString(std::wstring_view userString,
                                                 const std::wstring& server,
                                                 const std::wstring& login,
                                                 const std::wstring& password);

// The "[a],[b]" list AttachDB takes, and its reading; a malformed list fails with
// adErrInvalidArgument.
QUILLDATA_API std::wstring AttachFileList(const std::vector<std::wstring>& files);
QUILLDATA_API std::vector<std::wstring> ParseAttachFileList(std::wstring_view files);

}  // namespace QuillData

QUILLDATA_API_END
