#include <string_view>
#include <vector>

#include "sql/Evaluate.h"

namespace quire {

bool MatchLikePattern(std::string_view text, std::string_view pattern) {
  // matches[j] after the step for text position i: whether text[i..]
  // matches pattern[j..]. Filled from the ends backwards, one row per text
  // position, so a pattern full of "%" costs text × pattern steps rather
  // than the exponential backtracking of a naive matcher.
  const std::size_t t = text.size(), p = pattern.size();
  std::vector<char> next(p + 1), row(p + 1);
  // Text used up: only the empty pattern or exactly "%" remain matching.
  for (std::size_t j = 0; j <= p; ++j)
    next[j] = pattern.substr(j).empty() || pattern.substr(j) == "%";
  for (std::size_t i = t; i-- > 0;) {
    row[p] = false;  // text left, pattern used up
    for (std::size_t j = p; j-- > 0;) {
      const char c = pattern[j];
      if (c == '%')
        row[j] = row[j + 1] || next[j];  // match nothing, or take one byte
      else
        row[j] = (c == '_' || c == text[i]) && next[j + 1];
    }
    std::swap(row, next);
  }
  return next[0];
}

}  // namespace quire
