#include "cli/TextTable.h"

#include <algorithm>
#include <vector>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/RecordType.h"
#include "QuillData/contract/Text.h"
#include "QuillData/locale/Locale.h"
#include "cli/Json.h"

namespace QuillData::cli {
namespace {

using Row = std::vector<std::wstring>;

std::wstring Cell(std::wstring text, size_t cut = kCellCut) {
  if (text.size() > cut) text = text.substr(0, cut - 1) + L"\u2026";
  return text;
}

void PrintRows(std::ostream& out, const std::vector<Row>& rows) {
  if (rows.empty()) return;
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const Row& r : rows)
    for (size_t c = 0; c < r.size(); ++c) widths[c] = std::max(widths[c], r[c].size());
  auto line = [&](const Row& r) {
    std::wstring text;
    for (size_t c = 0; c < r.size(); ++c) {
      if (c > 0) text += L"  ";
      text += r[c];
      if (c + 1 < r.size()) text.append(widths[c] - r[c].size(), L' ');
    }
    text.erase(text.find_last_not_of(L' ') + 1);
    out << ToUtf8(text) << '\n';
  };
  line(rows[0]);
  Row rule;
  for (size_t w : widths) rule.push_back(std::wstring(w, L'-'));
  line(rule);
  for (size_t i = 1; i < rows.size(); ++i) line(rows[i]);
}

size_t TotalWidth(const std::vector<Row>& rows) {
  if (rows.empty()) return 0;
  size_t total = 0;
  for (size_t c = 0; c < rows[0].size(); ++c) {
    size_t w = 0;
    for (const Row& r : rows) w = std::max(w, r[c].size());
    total += w + 2;
  }
  return total;
}

}  // namespace

std::wstring DisplayText(const Variant& value) {
  std::wstring text;
  switch (value.Type()) {
    case VarType::Empty:
      break;
    case VarType::Null:
      text = L"Null";
      break;
    case VarType::Date:
      text = IsoText(value.Get<Date>()->value);
      break;
    case VarType::Double:
    case VarType::Decimal:
      text = FromUtf8(Dump(ToJson(value), -1));
      if (text.starts_with(L'"')) text = text.substr(1, text.size() - 2);  // "NaN"
      break;
    case VarType::Array:
      text = L"(array of " + std::to_wstring(value.Get<Variant::Array>()->size()) + L")";
      break;
    case VarType::Bytes:
      text = L"(" + std::to_wstring(value.Get<Variant::Bytes>()->size()) + L" bytes)";
      break;
    case VarType::Object:
      if (auto c = value.ObjectAs<Tessera::Collection>())
        text = L"(" + std::to_wstring(c->Count()) + L" items)";
      else if (auto o = *value.Get<ObjectPtr>())
        text = L"(" + FromUtf8(ClassName(*o)) + L")";
      else
        text = L"(nothing)";
      break;
    default:
      text = CStr(value);
  }
  for (wchar_t& ch : text)
    if (ch == L'\n' || ch == L'\r' || ch == L'\t') ch = L' ';
  return text;
}

namespace {

// rows[0] is the header. Printed as it is when it fits, else on its side: the first column
// names the fields, each further one is a row, in as many blocks as the width needs.
void PrintAligned(std::ostream& out, const std::vector<Row>& rows, size_t width) {
  if (TotalWidth(rows) <= width) {
    PrintRows(out, rows);
    out << '\n';
    return;
  }
  const Row& header = rows[0];
  size_t fieldWidth = 0;
  for (const auto& h : header) fieldWidth = std::max(fieldWidth, h.size());
  size_t next = 1;
  while (next < rows.size()) {
    size_t used = fieldWidth + 2;
    size_t end = next;
    while (end < rows.size()) {
      size_t w = 0;
      for (const auto& cell : rows[end]) w = std::max(w, cell.size());
      if (end > next && used + w + 2 > width) break;
      used += w + 2;
      ++end;
    }
    std::vector<Row> side;
    for (size_t f = 0; f < header.size(); ++f) {
      Row r{header[f]};
      for (size_t i = next; i < end; ++i) r.push_back(rows[i][f]);
      side.push_back(std::move(r));
    }
    PrintRows(out, side);
    out << '\n';
    next = end;
  }
}

}  // namespace

void PrintCollection(std::ostream& out, const std::string& title,
                     const Tessera::Collection& collection, size_t width,
                     const std::vector<std::wstring>& fields) {
  const int32_t count = collection.Count();
  out << title << ": " << count << (count == 1 ? " record" : " records") << '\n';
  if (count == 0) {
    out << '\n';
    return;
  }
  // Columns from the first record's type; an item that is something else gets one column.
  auto first = collection.ItemAs<Record>(Variant(int32_t{1}));
  const RecordType* type = first ? &first->Type() : nullptr;

  std::vector<size_t> shown;
  if (type) {
    if (fields.empty()) {
      for (size_t f = 0; f < type->Fields().size(); ++f) shown.push_back(f);
    } else {
      for (const auto& name : fields)
        if (int f = type->FieldIndex(name); f >= 0) shown.push_back(static_cast<size_t>(f));
    }
  }
  Row header{L"key"};
  if (type)
    for (size_t f : shown) header.emplace_back(type->Fields()[f].name);
  else
    header.push_back(L"item");
  std::vector<Row> rows{header};
  int32_t index = 1;
  for (const Variant& item : collection) {
    Row r{Cell(collection.KeyAt(index++).value_or(L""))};
    auto record = item.ObjectAs<Record>();
    if (type && record && &record->Type() == type) {
      for (size_t f : shown) r.push_back(Cell(DisplayText(type->Get(*record, f))));
    } else {
      r.push_back(Cell(DisplayText(item)));
    }
    r.resize(header.size());
    rows.push_back(std::move(r));
  }
  PrintAligned(out, rows, width);
}

void PrintTable(std::ostream& out, const std::vector<std::wstring>& header,
                const std::vector<std::vector<std::wstring>>& rows, size_t width, size_t cut) {
  if (header.empty()) return;
  std::vector<Row> all{header};
  for (const auto& row : rows) {
    Row r;
    for (const auto& cell : row) r.push_back(Cell(cell, cut));
    r.resize(header.size());
    all.push_back(std::move(r));
  }
  PrintAligned(out, all, width);
}

}  // namespace QuillData::cli
