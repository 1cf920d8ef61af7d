#pragma once
// A collection of records as an aligned text table, for people rather than scripts.
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "QuillData/contract/Tessera.h"
#include "QuillData/contract/Variant.h"

namespace QuillData::cli {

// A value as one line of text: real numbers exactly as the JSON has them ("0.1",
// "0.30000000000000004", "." as decimal point under every locale), dates as ISO text,
// objects summarised ("(3 items)"), line breaks and tabs as blanks.
std::wstring DisplayText(const Variant& value);

// Writes "title: n record(s)" and the records, one row per record with its key first. A
// table wider than `width` characters is turned on its side (one row per field, one column
// per record, in as many blocks as needed) so that wide records stay readable. `fields`
// picks the fields shown, in that order (names without regard to case; a name the record
// lacks is left out); empty shows them all.
void PrintCollection(std::ostream& out, const std::string& title,
                     const Tessera::Collection& collection, size_t width = 120,
                     const std::vector<std::wstring>& fields = {});

// The longest cell a table shows whole; a longer one is cut short with an ellipsis.
constexpr size_t kCellCut = 28;
constexpr size_t kWholeCells = static_cast<size_t>(-1);

// Rows of text under a header, aligned, cells longer than `cut` cut short, turned on its side
// like a collection when wider than `width`. Writes nothing when the header is empty.
void PrintTable(std::ostream& out, const std::vector<std::wstring>& header,
                const std::vector<std::vector<std::wstring>>& rows, size_t width = 120,
                size_t cut = kCellCut);

}  // namespace QuillData::cli
