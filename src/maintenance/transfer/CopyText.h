#pragma once
// The rows of a table in the bulk copy's text format: one line per row, a tab between
// values, \N for NULL, backslash escapes for backslash, tab, newline and carriage return;
// booleans as t and f, doubles in their shortest exact text, blobs as \x and hex digits,
// dates in their canonical text.
#include <string>
#include <string_view>
#include <vector>

#include "maintenance/transfer/Model.h"

namespace QuillData::transfer {

// Appends one row, `row` being its number for the reports (a text with a zero character,
// which the format cannot carry, fails).
void AppendCopyRow(std::string& data, const Cell* row, const TableSpec& table, int64_t at);

// Reads one line (with or without its newline) into `out` (appended), a cell per column;
// `scratch` is space reused from line to line. A value unreadable as its column's kind, or
// a line with too few or too many values, fails, naming table, column and row.
void ReadCopyRow(std::string_view line, const TableSpec& table, int64_t row, std::vector<Cell>& out,
                 std::string& scratch);

}  // namespace QuillData::transfer
