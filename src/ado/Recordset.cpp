#include "QuillData/ado/Recordset.h"

#include "QuillData/contract/Error.h"
#include "ado/Detail.h"

namespace QuillData::ado {

using detail::Raise;

namespace detail {

struct QUILLDATA_INTERNAL RecordsetState {
  std::shared_ptr<RowSet> rows;
  // 0..n-1 on a row; -1 before the first (BOF), n after the last (EOF).
  int64_t position = 0;
  bool open = true;

  int64_t Count() const { return static_cast<int64_t>(rows->rows.size()); }
  void CheckOpen() const {
    if (!open) Raise(adErrObjectClosed, L"The recordset is closed.");
  }
};

}  // namespace detail

// Field / Fields ----------------------------------------------------------------------------

const std::wstring& Field::Name() const {
  state_->CheckOpen();
  return state_->rows->columns[static_cast<size_t>(index_)].name;
}

int32_t Field::Type() const {
  state_->CheckOpen();
  return state_->rows->columns[static_cast<size_t>(index_)].type;
}

const Variant& Field::Value() const {
  state_->CheckOpen();
  if (state_->position < 0 || state_->position >= state_->Count()) {
    Raise(adErrNoCurrentRecord,
          L"The field \"" + Name() + L"\" has no value: the recordset is at BOF or EOF.");
  }
  return state_->rows->rows[static_cast<size_t>(state_->position)][static_cast<size_t>(index_)];
}

FieldPtr Fields::Item(const std::wstring& name) const {
  state_->CheckOpen();
  const auto& columns = state_->rows->columns;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (detail::SameText(columns[i].name, name)) {
      return std::make_shared<Field>(state_, static_cast<int32_t>(i));
    }
  }
  Raise(adErrItemNotFound, L"The recordset has no field named \"" + name + L"\".");
}

FieldPtr Fields::Item(int32_t index) const {
  if (index < 0 || index >= Count()) {
    Raise(adErrItemNotFound, L"The recordset has no field at index " + std::to_wstring(index) +
                                 L" (it has " + std::to_wstring(Count()) + L").");
  }
  return std::make_shared<Field>(state_, index);
}

int32_t Fields::Count() const {
  state_->CheckOpen();
  return static_cast<int32_t>(state_->rows->columns.size());
}

// Recordset ---------------------------------------------------------------------------------

Recordset::Recordset() = default;

void Recordset::CursorType(int32_t value) {
  if (State() == adStateOpen) Raise(adErrObjectOpen, L"The recordset is open.");
  if (value < adOpenForwardOnly || value > adOpenStatic) {
    Raise(adErrInvalidArgument, L"The cursor type " + std::to_wstring(value) + L" is not valid.");
  }
  cursorType_ = value;
}

void Recordset::CursorLocation(int32_t value) {
  if (State() == adStateOpen) Raise(adErrObjectOpen, L"The recordset is open.");
  if (value != adUseServer && value != adUseClient) {
    Raise(adErrInvalidArgument,
          L"The cursor location " + std::to_wstring(value) + L" is not valid.");
  }
  cursorLocation_ = value;
}

void Recordset::LockType(int32_t value) {
  if (State() == adStateOpen) Raise(adErrObjectOpen, L"The recordset is open.");
  if (value < adLockReadOnly || value > adLockBatchOptimistic) {
    Raise(adErrInvalidArgument, L"The lock type " + std::to_wstring(value) + L" is not valid.");
  }
  lockType_ = value;
}

void Recordset::Opened(std::shared_ptr<RowSet> rows) {
  if (!rows) return;  // the command returned no rows: the recordset stays closed
  for (const auto& row : rows->rows) {
    if (row.size() != rows->columns.size()) {
      Raise(adErrInvalidArgument, L"A row has " + std::to_wstring(row.size()) + L" values for " +
                                      std::to_wstring(rows->columns.size()) + L" columns.");
    }
  }
  state_ = std::make_shared<detail::RecordsetState>();
  state_->rows = std::move(rows);
  fields_ = std::make_shared<ado::Fields>(state_);
  cursorType_ = adOpenStatic;
}

std::shared_ptr<Recordset> Recordset::FromRows(std::shared_ptr<RowSet> rows) {
  auto recordset = std::make_shared<Recordset>();
  recordset->cursorLocation_ = adUseClient;
  recordset->Opened(std::move(rows));
  return recordset;
}

void Recordset::Open(const CommandPtr& source, const ConnectionPtr& activeConnection,
                     int32_t cursorType, int32_t lockType, int32_t options) {
  if (State() == adStateOpen) Raise(adErrObjectOpen, L"The recordset is already open.");
  if (!source) throw QuillError(ErrNo::ObjectNotSet, detail::kSource);
  if (activeConnection) {
    Raise(adErrInvalidArgument,
          L"A recordset opened on a command uses the command's connection; pass none.");
  }
  if (!detail::WantsRows(options)) {
    Raise(adErrInvalidArgument, L"A recordset cannot open with adExecuteNoRecords.");
  }
  if (cursorType != adOpenUnspecified) CursorType(cursorType);
  if (lockType != adLockUnspecified) LockType(lockType);
  ExecuteResult result =
      source->Run(options, detail::CommandTypeFromOptions(options, source->CommandType()));
  Opened(std::move(result.rows));
}

void Recordset::Open(const std::wstring& source, const ConnectionPtr& activeConnection,
                     int32_t cursorType, int32_t lockType, int32_t options) {
  if (State() == adStateOpen) Raise(adErrObjectOpen, L"The recordset is already open.");
  if (!activeConnection) {
    Raise(adErrInvalidConnection, L"The recordset has no connection to open on.");
  }
  auto command = std::make_shared<Command>();
  command->ActiveConnection(activeConnection);
  command->CommandText(source);
  Open(command, nullptr, cursorType, lockType, options);
}

int32_t Recordset::State() const {
  return state_ && state_->open ? adStateOpen : adStateClosed;
}

void Recordset::Close() {
  OpenState();
  state_->open = false;
  state_.reset();
  fields_.reset();
}

const detail::RecordsetState& Recordset::OpenState() const {
  if (!state_ || !state_->open) Raise(adErrObjectClosed, L"The recordset is closed.");
  return *state_;
}

bool Recordset::Eof() const {
  const auto& s = OpenState();
  return s.Count() == 0 || s.position >= s.Count();
}

bool Recordset::Bof() const {
  const auto& s = OpenState();
  return s.Count() == 0 || s.position < 0;
}

void Recordset::MoveFirst() {
  if (OpenState().Count() == 0) Raise(adErrNoCurrentRecord, L"The recordset has no rows.");
  state_->position = 0;
}

void Recordset::MoveLast() {
  if (OpenState().Count() == 0) Raise(adErrNoCurrentRecord, L"The recordset has no rows.");
  state_->position = state_->Count() - 1;
}

void Recordset::MoveNext() {
  if (Eof()) Raise(adErrNoCurrentRecord, L"MoveNext: the recordset is at EOF.");
  ++state_->position;
}

void Recordset::MovePrevious() {
  if (Bof()) Raise(adErrNoCurrentRecord, L"MovePrevious: the recordset is at BOF.");
  --state_->position;
}

int32_t Recordset::RecordCount() const {
  return static_cast<int32_t>(OpenState().Count());
}

const FieldsPtr& Recordset::Fields() const {
  OpenState();
  return fields_;
}

}  // namespace QuillData::ado
