#pragma once
// The text rules the engine applies to names, passwords and value texts:
// blanks (only ' ', not other white space) are trimmed from both ends, and
// letters compare and fold in ASCII only, as a table without a locale does.

#include <string>
#include <string_view>

namespace quire {

// `text` without leading and trailing blanks.
inline std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// `text` with a-z folded to A-Z; every other byte unchanged.
inline std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

// Whether `a` and `b` are equal with a-z and A-Z taken as the same letters.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace quire
