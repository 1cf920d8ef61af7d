#pragma once
// A connection to a data source. It opens on the provider its connection string chooses
// (ProviderFor: a postgresql:// URI or Provider=libpq goes to libpq, another registered
// name to that provider, anything else to ODBC) unless it was made on one (WithProvider).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "QuillData/Export.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Error.h"
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
  // True when the connection is to be opened again before its next command: an Open was
  // tried and no Close followed, and there is no live session now (the Open failed, or the
  // connection was lost), and no transaction holds on to what was lost.
  bool NeedsReopen() const;
  // Opens a connection that is not open (lost, or whose Open failed) again with the string
  // and credentials of its last Open. With waitForServer, a server that is away (refused,
  // not answering, starting up) is tried again until the connect timeout has passed (0:
  // until it answers); then the last failure is raised. A login the server refused (the
  // credentials, the database, the string: ErrorKind::Login and the like) is raised at once,
  // and a connection tries such a login at most once a second, however often it is asked.
  // A lost session is kept until a new one is open, so Lost() stays true while the server
  // is away.
  void Reconnect(bool waitForServer = true);
  // Fails with adErrObjectClosed when the connection was never opened or is closed.
  void Close();

  // Runs SQL text. The result is a static recordset (closed when the text returns no rows),
  // or an empty pointer with adExecuteNoRecords in options. Every command first looks
  // whether the server has closed the idle connection; outside a transaction such a
  // connection is replaced, with the same string, before the command is sent.
  std::shared_ptr<Recordset> Execute(const std::wstring& commandText,
                                     int32_t options = adOptionUnspecified);

  // A transaction. BeginTrans answers the level (1); transactions do not nest, so it is
  // refused (ErrorKind::RefusedArgument) while one is open. Inside it each command is a unit:
  // one that fails undoes only its own effects and the transaction goes on. A failure that
  // ends the transaction on the server (the connection lost, a serialization failure or
  // deadlock) is raised with ErrorKind::TransactionAborted, and so is every later command
  // and CommitTrans until CommitTrans or RollbackTrans ends the scope: nothing of the work
  // since BeginTrans is committed, and no reconnect hides the loss. A CommitTrans whose
  // answer was lost raises ErrorKind::OutcomeUnknown. CommitTrans and RollbackTrans end the
  // scope whatever happens; RollbackTrans without a transaction does nothing.
  int32_t BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  // True from BeginTrans until CommitTrans or RollbackTrans, including a scope the server
  // ended.
  bool InTransaction() const { return scope_ != Scope::None; }

 private:
  friend class Command;
  enum class Scope : uint8_t { None, Open, Ended };

  // Opens a session on connectionString_ (see Reconnect for waitForServer).
  void Connect(bool waitForServer);
  // Sends a command on the open session, its rows to `sink` when given (Session::Stream);
  // adErrInvalidConnection when there is none.
  ExecuteResult Run(const CommandData& command, RowSink* sink = nullptr);
  // Replaces a session the server has closed while it was idle, outside a transaction; inside
  // one, ends the scope.
  void ReplaceDead();
  // Ends the scope for `failure` and raises it as ErrorKind::TransactionAborted.
  [[noreturn]] void EndScope(const QuillError& failure);
  [[noreturn]] void RaiseEnded() const;

  std::shared_ptr<Provider> provider_;      // fixed by WithProvider; else chosen at Open
  std::shared_ptr<Provider> openProvider_;  // the provider of the open session
  std::unique_ptr<Session> session_;
  std::wstring connectionString_;
  std::wstring userId_;  // the credentials of the last Open, for Reconnect
  std::wstring password_;
  bool opened_ = false;  // an Open was tried and no Close followed
  Scope scope_ = Scope::None;
  std::wstring endedBy_;  // what ended the scope
  // The last login the server refused, and when: the next attempt waits out the second.
  bool refused_ = false;
  std::chrono::steady_clock::time_point refusedAt_{};
};

using ConnectionPtr = std::shared_ptr<Connection>;

// Runs the attempts of one statement on a connection that may be lost between them. An
// attempt that finds the connection to be opened again (NeedsReopen) opens it first: the first
// attempt of a call tries once, so a call fails at once while the server is away; a retry
// waits for the server up to the connect timeout. A statement that surely took no effect
// (ErrorKind::ConnectionLost) is simply sent again. One whose outcome is unknown (it was sent
// and the answer lost: ErrorKind::OutcomeUnknown, or a Timeout that gave up the connection)
// is sent again only when resendSafe answers true (running it twice leaves what running it
// once leaves); resendSafe is asked once, on the connection opened again. Otherwise every
// later attempt fails with ErrorKind::OutcomeUnknown, saying so. Inside a transaction nothing
// is opened again or sent twice: the connection raises the loss for the whole scope. One
// guard per statement:
//
//   ado::ResendGuard guard(conn, /*resendSafe=*/true);
//   trap.Step([&] { guard.Attempt([&] { rows = command->Execute(); }); });
class QUILLDATA_API ResendGuard {
 public:
  ResendGuard(std::shared_ptr<Connection> connection, std::function<bool()> resendSafe)
      : connection_(std::move(connection)), resendSafe_(std::move(resendSafe)) {}
  ResendGuard(std::shared_ptr<Connection> connection, bool resendSafe)
      : ResendGuard(std::move(connection), [resendSafe] { return resendSafe; }) {}
  template <class Statement>
  void Attempt(Statement&& statement) {
    Prepare();
    try {
      statement();
    } catch (const QuillError& failure) {
      Note(failure);
      throw;
    }
  }

 private:
  void Prepare();
  void Note(const QuillError& failure);

  std::shared_ptr<Connection> connection_;
  std::function<bool()> resendSafe_;
  bool retry_ = false;  // an attempt came before this one
  bool outcomeUnknown_ = false;
  std::optional<bool> safe_;  // resendSafe's answer, once asked
};

}  // namespace QuillData::ado

QUILLDATA_API_END
