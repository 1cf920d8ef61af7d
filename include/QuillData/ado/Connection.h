#pragma once
// A connection to a data source. It opens on the provider its connection string chooses
// (ProviderFor: a postgresql:// URI or Provider=libpq goes to libpq, another registered
// name to that provider, anything else to ODBC) unless it was made on one (WithProvider).
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "QuillData/Export.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Object.h"

QUILLDATA_API_BEGIN

namespace QuillData::ado {

class Recordset;

class QUILLDATA_API Connection : public Object {
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
  // accepted for the call pattern (-1, unspecified); nothing else is supported. The
  // string's timeouts (TimeoutsOf) hold for the connection and every command sent on it.
  void Open(const std::wstring& connectionString = L"", const std::wstring& userId = L"",
            const std::wstring& password = L"", int32_t options = adOptionUnspecified);
  // adStateOpen (1) while the connection is open and not lost, else adStateClosed (0).
  int32_t State() const { return session_ && !session_->Lost() ? adStateOpen : adStateClosed; }
  // True when the connection was open and a failure showed that the server is gone.
  bool Lost() const { return session_ && session_->Lost(); }
  // Opens a connection that is not open (lost, or whose Open failed) again with the string
  // and credentials of its last Open. With waitForServer, a server that refuses it (one
  // restarting) is tried again until the connect timeout has passed (0: until it answers);
  // then the last failure is raised. A lost session is kept until a new one is open, so
  // Lost() stays true while the server is away.
  void Reconnect(bool waitForServer = true);
  // Fails with adErrObjectClosed when the connection was never opened or is closed.
  void Close();

  // Runs SQL text. The result is a static recordset (closed when the text returns no rows),
  // or an empty pointer with adExecuteNoRecords in options.
  std::shared_ptr<Recordset> Execute(const std::wstring& commandText,
                                     int32_t options = adOptionUnspecified);

 private:
  friend class Command;
  // Opens a session on connectionString_ (see Reconnect for waitForServer).
  void Connect(bool waitForServer);
  // Sends a command on the open session, its rows to `sink` when given (Session::Stream);
  // adErrInvalidConnection when there is none.
  ExecuteResult Run(const CommandData& command, RowSink* sink = nullptr);

  std::shared_ptr<Provider> provider_;      // fixed by WithProvider; else chosen at Open
  std::shared_ptr<Provider> openProvider_;  // the provider of the open session
  std::unique_ptr<Session> session_;
  std::wstring connectionString_;
  std::wstring userId_;  // the credentials of the last Open, for Reconnect
  std::wstring password_;
};

using ConnectionPtr = std::shared_ptr<Connection>;

// Runs the attempts of one statement on a connection that may be lost between them. An
// attempt that finds the connection lost opens it again first (Reconnect): the first attempt
// of a call tries once, so a call fails at once while the server is away; a retry waits for
// the server up to the connect timeout. An attempt during which the connection was lost
// leaves the statement's outcome unknown: it is sent again only when resendSafe (running it
// twice does what running it once does); otherwise every later attempt fails with
// adErrDataSource, saying so. One guard per statement:
//
//   ado::ResendGuard guard(conn, /*resendSafe=*/true);
//   trap.Step([&] { guard.Attempt([&] { rows = command->Execute(); }); });
class QUILLDATA_API ResendGuard {
 public:
  ResendGuard(std::shared_ptr<Connection> connection, bool resendSafe)
      : connection_(std::move(connection)), resendSafe_(resendSafe) {}
  template <class Statement>
  void Attempt(Statement&& statement) {
    Prepare();
    try {
      statement();
    } catch (...) {
      outcomeUnknown_ = connection_ && connection_->Lost();
      throw;
    }
  }

 private:
  void Prepare();

  std::shared_ptr<Connection> connection_;
  bool resendSafe_;
  bool retry_ = false;  // an attempt came before this one
  bool outcomeUnknown_ = false;
};

}  // namespace QuillData::ado

QUILLDATA_API_END
