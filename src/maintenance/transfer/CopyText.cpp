#include "maintenance/transfer/CopyText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "QuillData/contract/Text.h"

namespace QuillData::transfer {

namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendReal(std::string& data, double value) {
  if (std::isnan(value)) {
    data += "NaN";
  } else if (std::isinf(value)) {
    data += value > 0 ? "Infinity" : "-Infinity";
  } else {
    char text[32];
    data.append(text, std::to_chars(text, text + sizeof text, value).ptr);
  }
}

// One value of the format in its carried form.
Cell ReadValue(std::string_view field, const TableSpec& table, const ColumnSpec& column,
               int64_t row, std::string& value) {
  Cell cell;
  if (field == "\\N") return cell;
  cell.null = false;
  value.clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      value += field[i];
      continue;
    }
    switch (const char e = field[++i]) {
      case 'b':
        value += '\b';
        break;
      case 'f':
        value += '\f';
        break;
      case 'n':
        value += '\n';
        break;
      case 'r':
        value += '\r';
        break;
      case 't':
        value += '\t';
        break;
      case 'v':
        value += '\v';
        break;
      default:
        value += e;
    }
  }
  auto unreadable = [&] {
    Unreadable(
        table, column, row,
        L" holds \"" + FromUtf8(value.substr(0, 40)) + L"\", which is not readable as its type.");
  };
  const char* first = value.data();
  const char* last = value.data() + value.size();
  switch (column.kind) {
    case Kind::Integer:
      if (std::from_chars(first, last, cell.i).ptr != last) unreadable();
      break;
    case Kind::Bool:
      if (value != "t" && value != "f") unreadable();
      cell.i = value == "t" ? 1 : 0;
      break;
    case Kind::Real:
      if (std::from_chars(first, last, cell.d).ptr != last) unreadable();
      break;
    case Kind::Blob:
      // bytea's hex output, "\x0a1b..."
      if (!value.starts_with("\\x") || value.size() % 2 != 0) unreadable();
      cell.s.resize((value.size() - 2) / 2);
      for (size_t k = 0; k < cell.s.size(); ++k) {
        unsigned byte = 0;
        if (std::from_chars(first + 2 + 2 * k, first + 4 + 2 * k, byte, 16).ptr !=
            first + 4 + 2 * k)
          unreadable();
        cell.s[k] = static_cast<char>(byte);
      }
      break;
    case Kind::Date: {
      auto date = ReadDate(value);
      if (!date) unreadable();
      cell.s = std::move(date->text);
      break;
    }
    case Kind::Text:
      cell.s = value;
  }
  return cell;
}

}  // namespace

void AppendCopyRow(std::string& data, const Cell* row, const TableSpec& table, int64_t at) {
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (c > 0) data += '\t';
    const Cell& cell = row[c];
    const ColumnSpec& column = table.columns[c];
    if (cell.null) {
      data += "\\N";
      continue;
    }
    switch (column.kind) {
      case Kind::Integer:
        AppendDecimal(data, cell.i);
        break;
      case Kind::Bool:
        data += cell.i != 0 ? 't' : 'f';
        break;
      case Kind::Real:
        AppendReal(data, cell.d);
        break;
      case Kind::Blob:
        data += "\\\\x";  // the bytea's own "\x", its backslash escaped for the format
        for (unsigned char b : cell.s) {
          data += kHex[b >> 4];
          data += kHex[b & 15];
        }
        break;
      case Kind::Text:
      case Kind::Date:
        if (cell.s.find('\0') != std::string::npos)
          Unreadable(table, column, at, L" holds a zero character, which the server cannot store.");
        for (char ch : cell.s) {
          switch (ch) {
            case '\\':
              data += "\\\\";
              break;
            case '\t':
              data += "\\t";
              break;
            case '\n':
              data += "\\n";
              break;
            case '\r':
              data += "\\r";
              break;
            default:
              data += ch;
          }
        }
    }
  }
  data += '\n';
}

void ReadCopyRow(std::string_view line, const TableSpec& table, int64_t row, std::vector<Cell>& out,
                 std::string& scratch) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  size_t at = 0;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (at > line.size())
      Fail(FromUtf8(table.name) + L" (row " + std::to_wstring(row) + L") came back with " +
           std::to_wstring(c) + L" values of " + std::to_wstring(table.columns.size()) + L".");
    const size_t end = std::min(line.find('\t', at), line.size());
    out.push_back(ReadValue(line.substr(at, end - at), table, table.columns[c], row, scratch));
    at = end + 1;
  }
  if (at <= line.size())
    Fail(FromUtf8(table.name) + L" (row " + std::to_wstring(row) +
         L") came back with more values than it has columns.");
}

}  // namespace QuillData::transfer
