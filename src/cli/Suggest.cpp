#include "cli/Suggest.h"

#include <algorithm>
#include <cctype>

namespace QuillData::cli {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Edits (insert, delete, replace, swap two neighbours) from a to b.
size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::vector<std::string> Nearest(std::string_view word, const std::vector<std::string>& names) {
  const std::string lower = Lower(word);
  std::vector<std::string> found;
  for (const std::string& name : names)
    if (Lower(name) == lower && name != word) return {name};
  // A third of the word may be wrong, at least one character, at most four.
  const size_t allowed = std::clamp<size_t>(lower.size() / 3, 1, 4);
  size_t best = allowed + 1;
  for (const std::string& name : names) {
    const size_t d = Distance(lower, Lower(name));
    if (d == 0 || d > allowed || d > best) continue;
    if (d < best) found.clear();
    best = d;
    found.push_back(name);
  }
  if (found.size() > 3) found.resize(3);
  return found;
}

std::string DidYouMean(std::string_view word, const std::vector<std::string>& names) {
  const std::vector<std::string> near = Nearest(word, names);
  if (near.empty()) return {};
  std::string text = " (did you mean ";
  for (size_t i = 0; i < near.size(); ++i) {
    if (i > 0) text += i + 1 == near.size() ? " or " : ", ";
    text += near[i];
  }
  return text + "?)";
}

}  // namespace QuillData::cli
