#include "access/ParamScan.h"

namespace quire {
namespace {

bool EndsName(char c) {
  return c == '\r' || c == '\n' || c == ' ' || c == ')' || c == ',' || c == ';';
}

bool IsQuote(char c) {
  return c == '\'' || c == '"';
}

}  // namespace

TScannedText ScanParameters(std::string_view text) {
  TScannedText result;
  // Either quote toggles the state, whichever opened the literal.
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsQuote(c)) quoted = !quoted;
    if (quoted || IsQuote(c) || c != ':' || i + 1 >= text.size()) {
      result.engineText += c;
      continue;
    }
    if (text[i + 1] == ':') {
      result.engineText += ':';
      ++i;
      continue;
    }
    // A reference: its name runs to the first separator outside quotes.
    std::size_t end = i + 1;
    bool inName = false;
    for (; end < text.size(); ++end) {
      if (IsQuote(text[end])) {
        inName = !inName;
      } else if (!inName && EndsName(text[end])) {
        break;
      }
    }
    std::string name(text.substr(i + 1, end - i - 1));
    if (!name.empty() && IsQuote(name.front())) {
      name.erase(0, 1);
      if (!name.empty() && IsQuote(name.back())) name.pop_back();
    }
    result.names.push_back(std::move(name));
    result.engineText += '?';
    i = end - 1;
  }
  return result;
}

}  // namespace quire
