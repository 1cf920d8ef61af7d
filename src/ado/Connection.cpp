#include "QuillData/ado/Connection.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

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
  if (State() == adStateOpen)
    Raise(adErrObjectOpen,
          L"The connection string cannot change while the "
          L"connection is open.");
  connectionString_ = value;
}

void Connection::Open(const std::wstring& connectionString, const std::wstring& userId,
                      const std::wstring& password, int32_t options) {
  if (State() == adStateOpen) Raise(adErrObjectOpen, L"The connection is already open.");
  if (options != adOptionUnspecified && options != 0) {
    Raise(adErrInvalidArgument,
          L"Connection options " + std::to_wstring(options) + L" are not supported.");
  }
  if (!connectionString.empty()) connectionString_ = connectionString;
  userId_ = userId;
  password_ = password;
  Connect(false);
}

void Connection::Reconnect(bool waitForServer) {
  if (State() != adStateOpen) Connect(waitForServer);
}

void Connection::Connect(bool waitForServer) {
  std::shared_ptr<Provider> provider = provider_;
  std::vector<ConnectionStringItem> items;
  try {
    items = ParseConnectionString(connectionString_);
  } catch (const QuillError&) {
    // A malformed string is reported by the provider that has to read it.
  }
  const int32_t timeout = TimeoutsOf(items).connect;
  if (!provider) provider = ProviderFor(connectionString_);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(timeout);
  auto pause = std::chrono::milliseconds(100);
  for (;;) {
    try {
      auto session = provider->Open(connectionString_, userId_, password_);
      if (!session) Raise(adErrInvalidConnection, L"The provider opened no connection.");
      if (session_) session_->Close();  // a lost one
      openProvider_ = std::move(provider);
      session_ = std::move(session);
      return;
    } catch (const QuillError&) {
      if (!waitForServer || (timeout != 0 && Clock::now() >= deadline)) throw;
    }
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(pause);
    if (timeout != 0) {
      wait = std::min(
          wait, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()) +
                    std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(wait);
    pause = std::min(pause * 2, std::chrono::milliseconds(1000));
  }
}

void Connection::Close() {
  if (!session_) Raise(adErrObjectClosed, L"The connection is not open.");
  session_->Close();
  session_.reset();
  openProvider_.reset();
}

void ResendGuard::Prepare() {
  if (outcomeUnknown_ && !resendSafe_) {
    Raise(adErrDataSource,
          L"The connection was lost while the statement ran, so whether it took effect is "
          L"unknown; it is not sent again.");
  }
  const bool retry = std::exchange(retry_, true);
  if (connection_ && connection_->Lost()) connection_->Reconnect(retry);
}

ExecuteResult Connection::Run(const CommandData& command, RowSink* sink) {
  if (!session_) Raise(adErrInvalidConnection, L"The connection is not open.");
  return sink ? session_->Stream(command, *sink) : session_->Execute(command);
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
