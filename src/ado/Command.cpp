#include "QuillData/ado/Command.h"

#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/Error.h"
#include "ado/Detail.h"

namespace QuillData::ado {

using detail::Raise;

// Parameter ---------------------------------------------------------------------------------

void Parameter::Type(int32_t value) {
  if (value != adEmpty && !detail::IsSupportedType(value)) {
    Raise(adErrInvalidArgument, L"Parameter \"" + name_ + L"\": the type " +
                                    std::to_wstring(value) + L" is not supported.");
  }
  type_ = value;
}

void Parameter::Direction(int32_t value) {
  if (value < adParamInput || value > adParamReturnValue) {
    Raise(adErrInvalidArgument, L"Parameter \"" + name_ + L"\": the direction " +
                                    std::to_wstring(value) + L" is not valid.");
  }
  direction_ = value;
}

void Parameter::Size(int32_t value) {
  if (value < -1) {
    Raise(adErrInvalidArgument,
          L"Parameter \"" + name_ + L"\": the size " + std::to_wstring(value) + L" is not valid.");
  }
  size_ = value;
}

// Parameters --------------------------------------------------------------------------------

int32_t Parameters::IndexOf(const std::wstring& name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (detail::SameText(items_[i]->Name(), name)) return static_cast<int32_t>(i);
  }
  return -1;
}

void Parameters::Append(const ParameterPtr& parameter) {
  if (!parameter) throw QuillError(ErrNo::ObjectNotSet, detail::kSource);
  if (!parameter->Name().empty() && IndexOf(parameter->Name()) >= 0) {
    Raise(adErrInvalidArgument,
          L"A parameter named \"" + parameter->Name() + L"\" is already in the collection.");
  }
  items_.push_back(parameter);
}

ParameterPtr Parameters::Item(const std::wstring& name) const {
  const int32_t i = IndexOf(name);
  if (i < 0) Raise(adErrItemNotFound, L"There is no parameter named \"" + name + L"\".");
  return items_[static_cast<size_t>(i)];
}

ParameterPtr Parameters::Item(int32_t index) const {
  if (index < 0 || index >= Count()) {
    Raise(adErrItemNotFound, L"There is no parameter at index " + std::to_wstring(index) +
                                 L" (the command has " + std::to_wstring(Count()) + L").");
  }
  return items_[static_cast<size_t>(index)];
}

void Parameters::Delete(const std::wstring& name) {
  Item(name);
  items_.erase(items_.begin() + IndexOf(name));
}

void Parameters::Delete(int32_t index) {
  Item(index);
  items_.erase(items_.begin() + index);
}

// Command -----------------------------------------------------------------------------------

Command::Command() : parameters_(std::make_shared<ado::Parameters>()) {}

void Command::CommandType(int32_t value) {
  if (value != adCmdText && value != adCmdTable && value != adCmdStoredProc &&
      value != adCmdUnknown) {
    Raise(adErrInvalidArgument,
          L"The command type " + std::to_wstring(value) + L" is not supported.");
  }
  commandType_ = value;
}

ParameterPtr Command::CreateParameter(const std::wstring& name, int32_t type, int32_t direction,
                                      int32_t size, const Variant& value) const {
  auto parameter = std::make_shared<Parameter>();
  parameter->Name(name);
  parameter->Type(type);
  parameter->Direction(direction);
  parameter->Size(size);
  parameter->Value(value);
  return parameter;
}

ExecuteResult Command::Run(int32_t options, int32_t commandType, RowSink* sink) {
  if (!activeConnection_) {
    Raise(adErrInvalidConnection, L"The command has no active connection.");
  }
  if (commandText_.empty()) Raise(adErrInvalidArgument, L"The command has no command text.");
  CommandData command;
  command.text = commandText_;
  command.commandType = commandType;
  command.options = options;
  int returnValues = 0;
  for (const auto& p : *parameters_) {
    ParameterData data;
    data.name = p->Name();
    data.type = p->Type();
    data.direction = p->Direction();
    data.size = p->Size();
    data.precision = p->Precision();
    data.numericScale = p->NumericScale();
    data.value = p->Value();
    if (data.direction == adParamReturnValue) ++returnValues;
    data.wire = detail::ToWire(data);
    command.parameters.push_back(std::move(data));
  }
  if (returnValues > 1) {
    Raise(adErrInvalidParamInfo, L"A command can have only one return-value parameter.");
  }
  ExecuteResult result = activeConnection_->Run(command, sink);
  const size_t n = std::min(result.outputs.size(), command.parameters.size());
  for (size_t i = 0; i < n; ++i) {
    if (command.parameters[i].direction != adParamInput) {
      parameters_->Item(static_cast<int32_t>(i))->Value(result.outputs[i]);
    }
  }
  return result;
}

std::shared_ptr<Recordset> Command::Execute(int32_t options) {
  ExecuteResult result = Run(options, detail::CommandTypeFromOptions(options, commandType_));
  if (!detail::WantsRows(options)) return nullptr;
  return Recordset::FromRows(std::move(result.rows));
}

void Command::Stream(RowSink& rows, int32_t options) {
  Run(options, detail::CommandTypeFromOptions(options, commandType_), &rows);
}

}  // namespace QuillData::ado
