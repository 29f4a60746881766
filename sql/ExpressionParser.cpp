#include "sql/ExpressionParser.h"

#include <algorithm>

#include "engine/BlankText.h"
#include "sql/SqlError.h"

namespace quire {

bool IsSqlLetter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (byte >= 129 && byte <= 254);
}

bool IsSqlDigit(char c) {
  return c >= '0' && c <= '9';
}

void TExpressionParser::Load(std::string_view text) {
  // The text is zero-terminated as far as the tokenizer is concerned: an
  // embedded zero byte ends it.
  text_.assign(text.substr(0, std::min(text.find('\0'), text.size())));
  scan_ = tokenStart_ = tokenEnd_ = previousEnd_ = mark_ = 0;
  kind_ = tkEnd;
}

void TExpressionParser::Free() {
  Load({});
}

void TExpressionParser::SkipBlanksAndComments() {
  const auto skipBlanks = [this] {
    while (scan_ < text_.size() && static_cast<unsigned char>(text_[scan_]) <= 32) ++scan_;
  };
  skipBlanks();
  while (At(scan_) == '/' && At(scan_ + 1) == '*') {
    // Not nested: the first "*/" ends the comment, and its "*" may not also
    // be the opening one's ("/*/" does not close).
    const std::size_t close = text_.find("*/", scan_ + 2);
    if (close == std::string::npos)
      RaiseSqlError("Missing ending comment slash and asterisk in SQL statement");
    scan_ = close + 2;
    skipBlanks();
  }
}

void TExpressionParser::RaiseMissing(std::string_view what, std::size_t openedAt) const {
  const std::string rest = text_.substr(openedAt + 1, kMaxTokenText);
  RaiseSqlError("Missing " + std::string(what) + " after '" + rest + "' in SQL statement");
}

void TExpressionParser::ReadQuoted(char quote, TTokenKind kind, std::string_view missingMessage) {
  std::size_t at = scan_ + 1;
  for (;;) {
    if (at >= text_.size()) RaiseMissing(missingMessage, scan_);
    if (text_[at] == quote) {
      if (At(at + 1) != quote) break;
      at += 2;  // a doubled quote stands for one and does not end the token
      continue;
    }
    ++at;
  }
  kind_ = kind;
  scan_ = tokenEnd_ = at + 1;
}

void TExpressionParser::ReadNumber() {
  std::size_t at = scan_;
  while (IsSqlDigit(At(at))) ++at;
  kind_ = tkInteger;
  const char next = At(at);
  if (next == '.' || next == 'E' || next == 'e' || next == '+' || next == '-') {
    // A sign continues the number only as an exponent's: 12-3 is 12, "-", 3,
    // and 1.5E+3 is one token. The digits, points and exponent letters run
    // freely; a text such as 1.2.3 fails when it is converted.
    const auto continues = [&](std::size_t i) {
      const char c = At(i);
      if (IsSqlDigit(c) || c == '.' || c == 'E' || c == 'e') return true;
      return (c == '+' || c == '-') && i > scan_ && (At(i - 1) == 'E' || At(i - 1) == 'e');
    };
    if (continues(at)) {
      kind_ = tkFloat;
      while (continues(at)) ++at;
    }
  }
  scan_ = tokenEnd_ = at;
}

TTokenKind TExpressionParser::ReadToken() {
  previousEnd_ = scan_;
  SkipBlanksAndComments();
  tokenStart_ = scan_;
  if (scan_ >= text_.size()) {
    kind_ = tkEnd;
    tokenEnd_ = scan_;
    return kind_;
  }
  const char first = text_[scan_];
  if (IsSqlLetter(first) || first == '_') {
    std::size_t at = scan_ + 1;
    while (IsSqlLetter(At(at)) || IsSqlDigit(At(at)) || At(at) == '_') ++at;
    kind_ = tkSymbol;
    scan_ = tokenEnd_ = at;
  } else if (first == '\'') {
    ReadQuoted('\'', tkString, "single quote");
  } else if (first == '"') {
    ReadQuoted('"', tkString, "double quote");
  } else if (first == '[') {
    const std::size_t close = text_.find(']', scan_ + 1);
    if (close == std::string::npos) RaiseMissing("right bracket", scan_);
    kind_ = tkBracketed;
    scan_ = tokenEnd_ = close + 1;
  } else if (IsSqlDigit(first)) {
    ReadNumber();
  } else {
    kind_ = static_cast<TTokenKind>(static_cast<unsigned char>(first));
    scan_ = tokenEnd_ = scan_ + 1;
  }
  return kind_;
}

std::string TExpressionParser::TokenText() const {
  std::size_t from = tokenStart_, to = scan_;
  if (kind_ == tkBracketed || kind_ == tkString) {
    ++from;
    to = tokenEnd_ - 1;
  }
  return text_.substr(from, std::min(to - from, kMaxTokenText));
}

std::string TExpressionParser::StringValue() const {
  if (kind_ != tkString) return TokenText();
  const char quote = text_[tokenStart_];
  std::string value;
  for (std::size_t at = tokenStart_ + 1; at + 1 < tokenEnd_ && value.size() < kMaxTokenText; ++at) {
    value += text_[at];
    if (text_[at] == quote) ++at;  // the second of a doubled pair
  }
  return value;
}

bool TExpressionParser::IsKeyword(std::string_view word) const {
  return (kind_ == tkSymbol || kind_ == tkBracketed) && EqualsIgnoringAsciiCase(TokenText(), word);
}

std::string TExpressionParser::ExpressionText() const {
  const std::size_t end = std::max(previousEnd_, mark_);
  if (end - mark_ > kMaxTokenText)
    RaiseSqlError("Source column expression exceeds maximum expression length of " +
                  std::to_string(kMaxTokenText) + " characters");
  return text_.substr(mark_, end - mark_);
}

}  // namespace quire
