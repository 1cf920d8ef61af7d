#pragma once
// "Did you mean": the names nearest to a word that names nothing, for operations, commands
// and options alike.
#include <string>
#include <string_view>
#include <vector>

namespace QuillData::cli {

// The names nearest to `word` (letter case ignored), best first: a name that differs only in
// letter case alone, else those a few edits away; none when nothing is near.
std::vector<std::string> Nearest(std::string_view word, const std::vector<std::string>& names);
// " (did you mean X?)", " (did you mean X or Y?)", or "" when nothing is near.
std::string DidYouMean(std::string_view word, const std::vector<std::string>& names);

}  // namespace QuillData::cli
