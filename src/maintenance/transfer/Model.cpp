#include "maintenance/transfer/Model.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "QuillData/contract/Text.h"

namespace QuillData::transfer {

void Refuse(int32_t number, const std::wstring& why) {
  throw QuillError(number, kSource, why);
}

void Fail(const std::wstring& why, ErrorKind kind) {
  throw QuillError(ErrNo::StatementError, kSource, why).WithKind(kind);
}

std::wstring Where(const TableSpec& table, const ColumnSpec& column, int64_t row) {
  return FromUtf8(table.name) + L"." + FromUtf8(column.name) + L" (row " + std::to_wstring(row) +
         L")";
}

void Unreadable(const TableSpec& table, const ColumnSpec& column, int64_t row,
                const std::wstring& what) {
  Fail(Where(table, column, row) + what, ErrorKind::Conversion);
}

bool Within(const Limit& inner, const Limit& outer) {
  const bool chars =
      outer.maxChars < 0 || (inner.maxChars >= 0 && inner.maxChars <= outer.maxChars);
  const bool decimals =
      outer.precision == 0 || (inner.precision > 0 && inner.scale <= outer.scale &&
                               inner.precision - inner.scale <= outer.precision - outer.scale);
  const bool seconds = outer.secondDigits < 0 ||
                       (inner.secondDigits >= 0 && inner.secondDigits <= outer.secondDigits);
  return inner.minInteger >= outer.minInteger && inner.maxInteger <= outer.maxInteger && chars &&
         (outer.zeroChar || !inner.zeroChar) && decimals && (!outer.fileDates || inner.fileDates) &&
         seconds;
}

namespace {

bool Digits(std::string_view text, size_t at, size_t n) {
  if (at + n > text.size()) return false;
  for (size_t k = at; k < at + n; ++k)
    if (text[k] < '0' || text[k] > '9') return false;
  return true;
}

int Number(std::string_view text, size_t at, size_t n) {
  int value = 0;
  std::from_chars(text.data() + at, text.data() + at + n, value);
  return value;
}

int DaysInMonth(int64_t astronomicalYear, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap =
      astronomicalYear % 4 == 0 && (astronomicalYear % 100 != 0 || astronomicalYear % 400 == 0);
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<DateText> ReadDate(std::string_view text) {
  if (text == "infinity" || text == "-infinity") return DateText{std::string(text), false};
  bool bc = false;
  if (text.ends_with(" BC")) {
    bc = true;
    text.remove_suffix(3);
  }
  size_t yearDigits = 0;
  while (yearDigits < text.size() && text[yearDigits] >= '0' && text[yearDigits] <= '9')
    ++yearDigits;
  // Four digits or more, without the zeros of a longer padding.
  if (yearDigits < 4 || yearDigits > 9 || (yearDigits > 4 && text[0] == '0')) return std::nullopt;
  const size_t y = yearDigits;
  if (text.size() < y + 6 || text[y] != '-' || !Digits(text, y + 1, 2) || text[y + 3] != '-' ||
      !Digits(text, y + 4, 2))
    return std::nullopt;
  int64_t year = 0;
  std::from_chars(text.data(), text.data() + y, year);
  const int month = Number(text, y + 1, 2);
  const int day = Number(text, y + 4, 2);
  if (year == 0 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(bc ? 1 - year : year, month))
    return std::nullopt;
  std::string out(text.substr(0, y + 6));
  const size_t time = y + 6;
  if (text.size() == time) {
    out += " 00:00:00";
  } else {
    if ((text[time] != ' ' && text[time] != 'T') || text.size() < time + 9 ||
        !Digits(text, time + 1, 2) || text[time + 3] != ':' || !Digits(text, time + 4, 2) ||
        text[time + 6] != ':' || !Digits(text, time + 7, 2))
      return std::nullopt;
    if (Number(text, time + 1, 2) > 23 || Number(text, time + 4, 2) > 59 ||
        Number(text, time + 7, 2) > 59)
      return std::nullopt;
    out += ' ';
    out += text.substr(time + 1, 8);
    const size_t rest = time + 9;
    if (text.size() > rest) {
      if (text[rest] != '.' || text.size() == rest + 1 ||
          !Digits(text, rest + 1, text.size() - rest - 1))
        return std::nullopt;
      std::string_view fraction = text.substr(rest + 1);
      while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
      if (!fraction.empty()) out += "." + std::string(fraction);
    }
  }
  if (bc) out += " BC";
  return DateText{std::move(out), !bc && y == 4};
}

std::optional<std::wstring> Misfit(const Cell& cell, Kind kind, const Limit& limit) {
  if (cell.null) return std::nullopt;
  switch (kind) {
    case Kind::Integer:
    case Kind::Bool:
      if (cell.i < limit.minInteger || cell.i > limit.maxInteger)
        return L"is outside the column's range, " + std::to_wstring(limit.minInteger) + L" to " +
               std::to_wstring(limit.maxInteger);
      break;
    case Kind::Text: {
      if (!limit.zeroChar && cell.s.find('\0') != std::string::npos)
        return std::wstring(L"holds a zero character, which the server cannot store");
      if (limit.maxChars < 0) break;
      int64_t chars = 0;
      for (unsigned char c : cell.s) chars += (c & 0xC0) != 0x80;
      if (chars > limit.maxChars)
        return L"is " + std::to_wstring(chars) + L" characters long; the column holds " +
               std::to_wstring(limit.maxChars);
      break;
    }
    case Kind::Real: {
      if (limit.precision == 0 || std::isnan(cell.d)) break;
      const std::wstring type = L"numeric(" + std::to_wstring(limit.precision) + L"," +
                                std::to_wstring(limit.scale) + L")";
      if (std::isinf(cell.d)) return L"is infinite, which " + type + L" cannot hold";
      // The shortest text that reads back as the same double is the value the server gets.
      char text[1100];
      const std::string_view fixed(
          text, std::to_chars(text, text + sizeof text, cell.d, std::chars_format::fixed).ptr);
      const size_t sign = fixed.starts_with('-') ? 1 : 0;
      const size_t point = fixed.find('.');
      const std::string_view whole = fixed.substr(
          sign, point == std::string_view::npos ? std::string_view::npos : point - sign);
      const size_t decimals = point == std::string_view::npos ? 0 : fixed.size() - point - 1;
      const size_t wholeDigits = whole == "0" ? 0 : whole.size();
      if (static_cast<int64_t>(decimals) > limit.scale)
        return L"has " + std::to_wstring(decimals) + L" decimals; " + type + L" keeps " +
               std::to_wstring(limit.scale);
      if (static_cast<int64_t>(wholeDigits) > limit.precision - limit.scale)
        return L"is too large for " + type;
      break;
    }
    case Kind::Date: {
      if (limit.fileDates) {
        const auto date = ReadDate(cell.s);
        if (!date || !date->fileCanHold)
          return std::wstring(L"is a date the database file cannot hold (years 1 to 9999 AD)");
      }
      // The canonical text's fraction, if any, runs from the point to a blank or the end.
      const size_t point = cell.s.find('.');
      if (limit.secondDigits < 0 || point == std::string::npos) break;
      const size_t digits = std::min(cell.s.find(' ', point), cell.s.size()) - point - 1;
      if (static_cast<int64_t>(digits) > limit.secondDigits)
        return L"has " + std::to_wstring(digits) + L" digits after the second; the column keeps " +
               std::to_wstring(limit.secondDigits);
      break;
    }
    case Kind::Blob:
      break;
  }
  return std::nullopt;
}

}  // namespace QuillData::transfer
