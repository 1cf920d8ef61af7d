#pragma once
// A client-side static recordset: every row is fetched when it opens, so it can be walked in
// both directions and counted, and it stays readable after its connection closes.
#include <cstdint>
#include <memory>
#include <string>

#include "QuillData/Export.h"
#include "QuillData/ado/Command.h"
#include "QuillData/ado/Connection.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData::ado {

namespace detail {
struct RecordsetState;
}

// A column of the current row: its value follows the recordset's position.
class QUILLDATA_API Field : public Object {
 public:
  Field(std::shared_ptr<detail::RecordsetState> state, int32_t index)
      : state_(std::move(state)), index_(index) {}
  const std::wstring& Name() const;
  int32_t Type() const;  // the ADO type of the column
  // The value in the current row (Null for a database NULL); adErrNoCurrentRecord at BOF
  // or EOF, adErrObjectClosed once the recordset is closed.
  const Variant& Value() const;

 private:
  std::shared_ptr<detail::RecordsetState> state_;
  int32_t index_;
};

using FieldPtr = std::shared_ptr<Field>;

class QUILLDATA_API Fields : public Object {
 public:
  explicit Fields(std::shared_ptr<detail::RecordsetState> state) : state_(std::move(state)) {}
  // By name without regard to case (the first of equal names), or by zero-based index;
  // adErrItemNotFound when absent.
  FieldPtr Item(const std::wstring& name) const;
  FieldPtr Item(int32_t index) const;
  int32_t Count() const;

 private:
  std::shared_ptr<detail::RecordsetState> state_;
};

using FieldsPtr = std::shared_ptr<Fields>;

class QUILLDATA_API Recordset : public Object {
 public:
  Recordset();

  // The cursor is always client-side and static; these record what the caller asked for
  // (CursorType reads adOpenStatic once the recordset is open).
  int32_t CursorType() const { return cursorType_; }
  void CursorType(int32_t value);
  int32_t CursorLocation() const { return cursorLocation_; }
  void CursorLocation(int32_t value);
  int32_t LockType() const { return lockType_; }
  void LockType(int32_t value);

  // Opens on a command (which brings its own connection: passing one too is
  // adErrInvalidArgument). -1 for cursorType and lockType keeps the properties; options is
  // -1 or a command type. A command that returns no rows leaves the recordset closed.
  void Open(const CommandPtr& source, const ConnectionPtr& activeConnection = nullptr,
            int32_t cursorType = adOpenUnspecified, int32_t lockType = adLockUnspecified,
            int32_t options = adOptionUnspecified);
  // Opens on SQL text (or a procedure or table name when options says adCmdStoredProc or
  // adCmdTable) run on the given open connection.
  void Open(const std::wstring& source, const ConnectionPtr& activeConnection,
            int32_t cursorType = adOpenUnspecified, int32_t lockType = adLockUnspecified,
            int32_t options = adOptionUnspecified);

  // A recordset opened on rows fetched elsewhere (a provider's result).
  static std::shared_ptr<Recordset> FromRows(std::shared_ptr<RowSet> rows);

  int32_t State() const;
  void Close();

  // (EOF and BOF are macro names in C and C++.) Both are true on an empty recordset.
  bool Eof() const;
  bool Bof() const;
  // Moving past either end, or MoveFirst/MoveLast on an empty recordset, fails with
  // adErrNoCurrentRecord.
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();
  int32_t RecordCount() const;
  const FieldsPtr& Fields() const;

 private:
  void Opened(std::shared_ptr<RowSet> rows);
  const detail::RecordsetState& OpenState() const;  // adErrObjectClosed when closed

  int32_t cursorType_ = adOpenForwardOnly;
  int32_t cursorLocation_ = adUseServer;
  int32_t lockType_ = adLockReadOnly;
  std::shared_ptr<detail::RecordsetState> state_;
  FieldsPtr fields_;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

}  // namespace QuillData::ado

QUILLDATA_API_END
