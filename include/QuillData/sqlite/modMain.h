#pragma once
// Locale-neutral number text for SQL statements. SQLite writes and reads "." as decimal
// point whatever the user's locale says; these helpers translate at the statement boundary
// using the module-wide gDecSep / gDecSepDiffers (contract/Module.h).
#include <string>

namespace QuillData {

// Fills gDecSep (the user's one-character decimal separator, empty when the locale has no
// single-character one) and gDecSepDiffers (gDecSep is not ".") for this thread.
void ReadDecimalSeparator();

// `x` as the user's locale writes it, with every gDecSep turned into ".".
std::wstring NumberToSql(const double& x);

// `s` with every gDecSep turned into "." (unchanged when the separator is ".").
std::wstring TextToSql(const std::wstring& s);

}  // namespace QuillData
