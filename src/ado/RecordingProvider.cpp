#include "QuillData/ado/RecordingProvider.h"

#include "QuillData/ado/Enums.h"
#include "ado/Detail.h"

namespace QuillData::ado {

class RecordingProvider::RecordingSession : public Session {
 public:
  explicit RecordingSession(RecordingProvider& provider) : provider_(provider) {}

  ExecuteResult Execute(const CommandData& command) override {
    if (closed_) detail::Raise(adErrInvalidConnection, L"The connection is closed.");
    if (lost_) detail::Raise(adErrDataSource, L"The connection is lost.");
    return provider_.Respond(command, lost_);
  }

  bool Lost() const noexcept override { return lost_; }

  void Close() noexcept override {
    if (closed_) return;
    closed_ = true;
    RecordedCall call;
    call.kind = RecordedCall::Kind::Close;
    try {
      provider_.calls_.push_back(std::move(call));
    } catch (...) {
      // Out of memory while closing: the record is lost, the connection still closes.
    }
  }

 private:
  RecordingProvider& provider_;
  bool closed_ = false;
  bool lost_ = false;
};

ScriptedAnswer RecordingProvider::Returns(const Variant& returnValue) {
  ScriptedAnswer answer;
  answer.returnValue = returnValue;
  return answer;
}

ScriptedAnswer RecordingProvider::Rows(RowSet rows) {
  ScriptedAnswer answer;
  answer.rows = std::make_shared<RowSet>(std::move(rows));
  return answer;
}

ScriptedAnswer RecordingProvider::Fails(const QuillError& error) {
  ScriptedAnswer answer;
  answer.error = error;
  return answer;
}

ScriptedAnswer RecordingProvider::LosesConnection(const QuillError& error) {
  ScriptedAnswer answer = Fails(error);
  answer.losesConnection = true;
  return answer;
}

void RecordingProvider::Answer(ScriptedAnswer answer) {
  queue_.push_back(std::move(answer));
}

void RecordingProvider::AnswerFor(const std::wstring& commandText, ScriptedAnswer answer) {
  for (auto& [text, standing] : standing_) {
    if (detail::SameText(text, commandText)) {
      standing = std::move(answer);
      return;
    }
  }
  standing_.emplace_back(commandText, std::move(answer));
}

std::vector<CommandData> RecordingProvider::Commands() const {
  std::vector<CommandData> commands;
  for (const auto& call : calls_) {
    if (call.kind == RecordedCall::Kind::Execute) commands.push_back(call.command);
  }
  return commands;
}

const CommandData& RecordingProvider::LastCommand() const {
  for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
    if (it->kind == RecordedCall::Kind::Execute) return it->command;
  }
  throw QuillError(ErrNo::SubscriptOutOfRange, detail::kSource,
                   L"The recording provider has run no command.");
}

void RecordingProvider::Clear() {
  calls_.clear();
  queue_.clear();
  standing_.clear();
  openError_.reset();
}

std::unique_ptr<Session> RecordingProvider::Open(const std::wstring& connectionString,
                                                 const std::wstring& userId,
                                                 const std::wstring& password) {
  RecordedCall call;
  call.kind = RecordedCall::Kind::Open;
  call.connectionString = connectionString;
  call.userId = userId;
  call.password = password;
  calls_.push_back(std::move(call));
  if (openError_) throw *openError_;
  return std::make_unique<RecordingSession>(*this);
}

ExecuteResult RecordingProvider::Respond(const CommandData& command, bool& lost) {
  RecordedCall call;
  call.kind = RecordedCall::Kind::Execute;
  call.command = command;
  calls_.push_back(std::move(call));

  ScriptedAnswer answer;
  if (!queue_.empty()) {
    answer = std::move(queue_.front());
    queue_.pop_front();
  } else {
    for (const auto& [text, standing] : standing_) {
      if (detail::SameText(text, command.text)) answer = standing;
    }
  }
  if (answer.error) {
    lost = answer.losesConnection;
    throw *answer.error;
  }

  ExecuteResult result;
  if (detail::WantsRows(command.options)) result.rows = answer.rows;
  result.recordsAffected = answer.recordsAffected;
  result.outputs.resize(command.parameters.size());
  for (size_t i = 0; i < command.parameters.size(); ++i) {
    const auto& p = command.parameters[i];
    if (p.direction == adParamReturnValue) {
      result.outputs[i] = answer.returnValue;
    } else if (p.direction != adParamInput) {
      result.outputs[i] = Variant::Null();
      for (const auto& [name, value] : answer.outputs) {
        if (detail::SameText(name, p.name)) result.outputs[i] = value;
      }
    }
  }
  return result;
}

}  // namespace QuillData::ado
