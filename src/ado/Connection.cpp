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
  opened_ = true;
  scope_ = Scope::None;
  Connect(false);
}

bool Connection::NeedsReopen() const {
  return opened_ && scope_ == Scope::None && (!session_ || session_->Lost());
}

void Connection::Reconnect(bool waitForServer) {
  if (State() != adStateOpen) Connect(waitForServer);
}

namespace {

// A server that is away (refused the connection, did not answer, is starting up or shutting
// down) may be back soon; any other refusal stays until someone changes something.
bool ServerAway(const QuillError& failure) {
  return failure.Kind() == ErrorKind::ConnectionLost || failure.Kind() == ErrorKind::Timeout;
}

}  // namespace

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
    // A refused login is tried at most once a second: a companion that always answers
    // "retry" must not lock an account on a server that counts failed logins.
    if (refused_) std::this_thread::sleep_until(refusedAt_ + std::chrono::seconds(1));
    try {
      auto session = provider->Open(connectionString_, userId_, password_);
      if (!session) Raise(adErrInvalidConnection, L"The provider opened no connection.");
      if (session_) session_->Close();  // a lost one
      openProvider_ = std::move(provider);
      session_ = std::move(session);
      refused_ = false;
      return;
    } catch (const QuillError& failure) {
      refused_ = !ServerAway(failure);
      refusedAt_ = Clock::now();
      if (refused_ || !waitForServer || (timeout != 0 && Clock::now() >= deadline)) throw;
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
  opened_ = false;
  scope_ = Scope::None;
}

void Connection::ReplaceDead() {
  if (!session_ || !session_->Dead()) return;
  if (scope_ == Scope::Open) {
    EndScope(QuillError(adErrDataSource, detail::kSource,
                        L"The server closed the connection while the transaction was open.")
                 .WithKind(ErrorKind::ConnectionLost));
  }
  // Nothing was sent on it yet: a new connection with the same string takes the command.
  if (scope_ == Scope::None) Connect(false);
}

void Connection::EndScope(const QuillError& failure) {
  scope_ = Scope::Ended;
  endedBy_ = failure.Description();
  QuillError ended = failure.Described(
      failure.Description() +
      L" The transaction has ended: nothing of its work since BeginTrans is committed.");
  throw ended.WithKind(ErrorKind::TransactionAborted);
}

void Connection::RaiseEnded() const {
  throw QuillError(adErrDataSource, detail::kSource,
                   L"An earlier failure ended the transaction (" + endedBy_ +
                       L"): nothing of its work since BeginTrans is committed, and nothing is "
                       L"sent until CommitTrans or RollbackTrans ends it.")
      .WithKind(ErrorKind::TransactionAborted);
}

int32_t Connection::BeginTrans() {
  if (scope_ != Scope::None) {
    throw QuillError(adErrInvalidArgument, detail::kSource,
                     L"A transaction is open already: transactions do not nest.");
  }
  if (!session_) Raise(adErrInvalidConnection, L"The connection is not open.");
  ReplaceDead();
  session_->Begin();
  scope_ = Scope::Open;
  endedBy_.clear();
  return 1;
}

void Connection::CommitTrans() {
  if (scope_ == Scope::None) {
    throw QuillError(adErrInvalidArgument, detail::kSource, L"No transaction is open.");
  }
  if (scope_ == Scope::Ended) {
    scope_ = Scope::None;
    RaiseEnded();
  }
  try {
    ReplaceDead();
    session_->Commit();
    scope_ = Scope::None;
  } catch (const QuillError& failure) {
    scope_ = Scope::None;
    try {
      if (session_ && session_->InTransaction()) session_->Rollback();
    } catch (...) {
      // The failure of the commit is the one to report.
    }
    if (failure.Kind() == ErrorKind::OutcomeUnknown) {
      throw failure.Described(failure.Description() +
                              L" Whether the transaction was committed is unknown.");
    }
    if (failure.Kind() == ErrorKind::TransactionAborted) throw;
    QuillError aborted =
        failure.Described(failure.Description() + L" Nothing of the transaction is committed.");
    throw aborted.WithKind(ErrorKind::TransactionAborted);
  }
}

void Connection::RollbackTrans() {
  if (scope_ == Scope::None) return;
  scope_ = Scope::None;
  if (!session_ || session_->Lost() || !session_->InTransaction()) return;
  try {
    session_->Rollback();
  } catch (const QuillError&) {
    // A connection lost on the way has ended the transaction on the server all the same.
    if (!session_->Lost()) throw;
  }
}

void ResendGuard::Prepare() {
  const bool retry = std::exchange(retry_, true);
  if (connection_ && connection_->NeedsReopen()) connection_->Reconnect(retry);
  if (!outcomeUnknown_) return;
  if (!safe_) safe_ = resendSafe_ && resendSafe_();
  if (!*safe_) {
    throw QuillError(adErrDataSource, detail::kSource,
                     L"The connection was lost after the statement was sent, so whether it took "
                     L"effect is unknown; it is not sent again.")
        .WithKind(ErrorKind::OutcomeUnknown);
  }
  outcomeUnknown_ = false;
}

void ResendGuard::Note(const QuillError& failure) {
  if (!connection_ || connection_->InTransaction()) return;
  if (failure.Kind() == ErrorKind::OutcomeUnknown ||
      (failure.Kind() == ErrorKind::Timeout && connection_->Lost())) {
    outcomeUnknown_ = true;
  }
}

ExecuteResult Connection::Run(const CommandData& command, RowSink* sink) {
  if (scope_ == Scope::Ended) RaiseEnded();
  if (!session_) Raise(adErrInvalidConnection, L"The connection is not open.");
  ReplaceDead();
  try {
    return sink ? session_->Stream(command, *sink) : session_->Execute(command);
  } catch (const QuillError& failure) {
    if (scope_ == Scope::Open && !session_->InTransaction()) EndScope(failure);
    throw;
  }
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

// The transactions of a provider that has none.
void Session::Begin() {
  throw QuillError(adErrFeatureNotAvailable, detail::kSource, L"The provider has no transactions.");
}
void Session::Commit() {
  Begin();
}
void Session::Rollback() {
  Begin();
}

}  // namespace QuillData::ado
