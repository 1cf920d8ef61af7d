#pragma once
// A connection to a data source. It opens on the ODBC provider unless it was made on
// another one (WithProvider) or its connection string names a registered provider.
#include <cstdint>
#include <memory>
#include <string>

#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Object.h"

namespace QuillData::ado {

class Recordset;

class Connection : public Object {
 public:
  Connection() = default;
  ~Connection() override;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // A connection that opens on the given provider, whatever its connection string says.
  static std::shared_ptr<Connection> WithProvider(std::shared_ptr<Provider> provider);

  const std::wstring& ConnectionString() const { return connectionString_; }
  // Fails with adErrObjectOpen while the connection is open.
  void ConnectionString(const std::wstring& value);

  // An empty connectionString uses the ConnectionString property; a non-empty one replaces
  // it. userId and password are added to what the connection string says. options is
  // accepted for the call pattern (-1, unspecified); nothing else is supported.
  void Open(const std::wstring& connectionString = L"", const std::wstring& userId = L"",
            const std::wstring& password = L"", int32_t options = adOptionUnspecified);
  // adStateClosed (0) or adStateOpen (1).
  int32_t State() const { return session_ ? adStateOpen : adStateClosed; }
  // Fails with adErrObjectClosed when the connection is not open.
  void Close();

  // Runs SQL text. The result is a static recordset (closed when the text returns no rows),
  // or an empty pointer with adExecuteNoRecords in options.
  std::shared_ptr<Recordset> Execute(const std::wstring& commandText,
                                     int32_t options = adOptionUnspecified);

 private:
  friend class Command;
  // Sends a command on the open session; adErrInvalidConnection when there is none.
  ExecuteResult Run(const CommandData& command);

  std::shared_ptr<Provider> provider_;      // fixed by WithProvider; else chosen at Open
  std::shared_ptr<Provider> openProvider_;  // the provider of the open session
  std::unique_ptr<Session> session_;
  std::wstring connectionString_;
};

using ConnectionPtr = std::shared_ptr<Connection>;

}  // namespace QuillData::ado
