#include "QuillData/ado/Connection.h"

#include "QuillData/ado/ConnectionString.h"
#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/Error.h"
#include "ado/Detail.h"

namespace QuillData::ado {

using detail::Raise;

Connection::~Connection() {
  if (session_) session_->Close();
}

std::shared_ptr<Connection> Connection::WithProvider(std::shared_ptr<Provider> provider) {
  if (!provider) throw QuillError(ErrNo::ObjectNotSet, detail::kSource);
  auto connection = std::make_shared<Connection>();
  connection->provider_ = std::move(provider);
  return connection;
}

void Connection::ConnectionString(const std::wstring& value) {
  if (session_)
    Raise(adErrObjectOpen,
          L"The connection string cannot change while the "
          L"connection is open.");
  connectionString_ = value;
}

void Connection::Open(const std::wstring& connectionString, const std::wstring& userId,
                      const std::wstring& password, int32_t options) {
  if (session_) Raise(adErrObjectOpen, L"The connection is already open.");
  if (options != adOptionUnspecified && options != 0) {
    Raise(adErrInvalidArgument,
          L"Connection options " + std::to_wstring(options) + L" are not supported.");
  }
  if (!connectionString.empty()) connectionString_ = connectionString;
  std::shared_ptr<Provider> provider = provider_;
  if (!provider) {
    std::wstring name;
    try {
      name = ConnectionStringValue(ParseConnectionString(connectionString_), L"Provider");
    } catch (const QuillError&) {
      // A malformed string is reported by the provider that has to read it.
    }
    if (!name.empty()) provider = FindProvider(name);
    if (!provider) provider = MakeOdbcProvider();
  }
  auto session = provider->Open(connectionString_, userId, password);
  if (!session) Raise(adErrInvalidConnection, L"The provider opened no connection.");
  openProvider_ = std::move(provider);
  session_ = std::move(session);
}

void Connection::Close() {
  if (!session_) Raise(adErrObjectClosed, L"The connection is not open.");
  session_->Close();
  session_.reset();
  openProvider_.reset();
}

ExecuteResult Connection::Run(const CommandData& command) {
  if (!session_) Raise(adErrInvalidConnection, L"The connection is not open.");
  return session_->Execute(command);
}

std::shared_ptr<Recordset> Connection::Execute(const std::wstring& commandText, int32_t options) {
  CommandData command;
  command.text = commandText;
  command.commandType = detail::CommandTypeFromOptions(options, adCmdText);
  command.options = options;
  ExecuteResult result = Run(command);
  if (!detail::WantsRows(options)) return nullptr;
  return Recordset::FromRows(std::move(result.rows));
}

}  // namespace QuillData::ado
