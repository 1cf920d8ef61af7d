// Streamed results: which accessor reads a column's cells, and the streaming of a provider
// that only gathers whole results.
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Error.h"
#include "ado/Detail.h"

namespace QuillData::ado {

CellKind CellKindOf(int32_t adoType) {
  switch (adoType) {
    case adSmallInt:
    case adInteger:
    case adBigInt:
    case adUnsignedTinyInt:
      return CellKind::Integer;
    case adSingle:
    case adDouble:
      return CellKind::Double;
    case adBoolean:
      return CellKind::Boolean;
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
      return CellKind::Date;
    default:
      return detail::IsTextType(adoType) ? CellKind::Text : CellKind::Other;
  }
}

namespace {

// A gathered row handed over cell by cell; its columns are described as adVariant, so a
// reader takes each cell through Value, as from a recordset.
class GatheredRow final : public Row {
 public:
  void At(const std::vector<Variant>& cells) { cells_ = &cells; }

  bool IsNull(size_t column) override { return Cell(column).IsNull(); }
  int64_t Integer(size_t column) override { return Typed<int32_t>(column); }
  double Double(size_t column) override { return Typed<double>(column); }
  bool Boolean(size_t column) override { return Typed<bool>(column); }
  std::wstring_view Text(size_t column) override { return Typed<std::wstring>(column); }
  Date When(size_t column) override { return Typed<Date>(column); }
  Variant Value(size_t column) override { return Cell(column); }

 private:
  const Variant& Cell(size_t column) const { return cells_->at(column); }
  template <class T>
  const T& Typed(size_t column) const {
    const T* value = Cell(column).Get<T>();
    if (!value) throw QuillError(ErrNo::TypeMismatch, detail::kSource);
    return *value;
  }

  const std::vector<Variant>* cells_ = nullptr;
};

}  // namespace

ExecuteResult Session::Stream(const CommandData& command, RowSink& sink) {
  ExecuteResult result = Execute(command);
  const std::shared_ptr<RowSet> rows = std::move(result.rows);
  if (!rows) return result;
  std::vector<Column> columns = rows->columns;
  for (Column& column : columns) column.type = adVariant;
  sink.Begin(columns, static_cast<int64_t>(rows->rows.size()));
  GatheredRow row;
  for (const auto& cells : rows->rows) {
    row.At(cells);
    sink.Take(row);
  }
  return result;
}

}  // namespace QuillData::ado
