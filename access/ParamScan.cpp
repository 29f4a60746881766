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
  char literal = 0;  // the quote of the literal the walk is in, 0 outside
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (literal != 0) {
      if (c == literal) literal = 0;
      result.engineText += c;
      continue;
    }
    if (IsQuote(c)) {
      literal = c;
      result.engineText += c;
      continue;
    }
    if (c != ':' || i + 1 >= text.size()) {
      result.engineText += c;
      continue;
    }
    if (text[i + 1] == ':') {
      result.engineText += ':';
      ++i;
      continue;
    }
    // A reference: its name, quoted or not.
    std::size_t end = i + 1;
    std::string name;
    if (IsQuote(text[end])) {
      const char quote = text[end];
      const std::size_t close = text.find(quote, end + 1);
      end = close == std::string_view::npos ? text.size() : close + 1;
      name = std::string(text.substr(i + 1, end - i - 1));
      if (!name.empty() && IsQuote(name.front())) name.erase(0, 1);
      if (!name.empty() && IsQuote(name.back())) name.pop_back();
    } else {
      while (end < text.size() && !EndsName(text[end])) ++end;
      name = std::string(text.substr(i + 1, end - i - 1));
    }
    result.names.push_back(std::move(name));
    result.engineText += '?';
    i = end - 1;
  }
  return result;
}

}  // namespace quire
