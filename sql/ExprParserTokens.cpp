// The tokenizer of TExprParser (see ExprParser.h).

#include "engine/DatabaseError.h"
#include "sql/ExprParser.h"

namespace quire {
namespace {

// The longest string constant a token keeps; the rest is dropped.
constexpr std::size_t kMaxStringToken = 256;

bool IsLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 129 && c <= 254);
}

bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}

bool IsNumberCharacter(unsigned char c) {
  return IsDigit(c) || c == '+' || c == '-' || c == '.' || c == 'E' || c == 'e';
}

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

}  // namespace

void TExprParser::NextToken() {
  const auto at = [this](std::size_t i) -> unsigned char {
    return i < text_.size() ? static_cast<unsigned char>(text_[i]) : 0;
  };
  while (scan_ < text_.size() && at(scan_) < 33) ++scan_;
  tokenStart_ = scan_;
  tokenText_.clear();
  if (scan_ >= text_.size()) {
    token_ = TToken::End;
    return;
  }
  const unsigned char c = at(scan_);
  if (c == '\'') {
    ReadString();
    return;
  }
  if (c == '-' || IsDigit(c)) {
    while (scan_ < text_.size() && IsNumberCharacter(at(scan_))) ++scan_;
    token_ = TToken::Literal;
    tokenText_ = text_.substr(tokenStart_, scan_ - tokenStart_);
    return;
  }
  if (IsLetter(c)) {
    while (scan_ < text_.size() && (IsLetter(at(scan_)) || IsDigit(at(scan_)))) ++scan_;
    token_ = TToken::Symbol;
    tokenText_ = text_.substr(tokenStart_, scan_ - tokenStart_);
    return;
  }
  if (c == '[') {
    const std::size_t close = text_.find(']', scan_ + 1);
    if (close == std::string::npos) RaiseDatabaseError("Unterminated field name");
    token_ = TToken::Name;
    tokenText_ = text_.substr(scan_ + 1, close - scan_ - 1);
    scan_ = close + 1;
    return;
  }
  ++scan_;
  switch (c) {
    case '(':
      token_ = TToken::LParen;
      return;
    case ')':
      token_ = TToken::RParen;
      return;
    case '=':
      token_ = TToken::Equal;
      return;
    case '<':
      token_ = TToken::Less;
      if (at(scan_) == '=') token_ = TToken::LessOrEqual;
      if (at(scan_) == '>') token_ = TToken::NotEqual;
      if (token_ != TToken::Less) ++scan_;
      return;
    case '>':
      token_ = TToken::Greater;
      if (at(scan_) == '=') {
        token_ = TToken::GreaterOrEqual;
        ++scan_;
      }
      return;
    default:
      RaiseDatabaseError("Invalid filter expression character: '%s'",
                         std::string(1, static_cast<char>(c)));
  }
}

// A quoted constant: up to the next quote that is not doubled.
void TExprParser::ReadString() {
  ++scan_;
  for (;;) {
    if (scan_ >= text_.size()) RaiseDatabaseError("Unterminated string constant");
    const char c = text_[scan_++];
    if (c == '\'') {
      if (scan_ >= text_.size() || text_[scan_] != '\'') break;
      ++scan_;  // a doubled quote is one quote of the text
    }
    if (tokenText_.size() < kMaxStringToken) tokenText_.push_back(c);
  }
  token_ = TToken::Literal;
}

std::string TExprParser::TokenName() const {
  if (token_ == TToken::End) return "nothing";
  return "'" + text_.substr(tokenStart_, scan_ - tokenStart_) + "'";
}

bool TExprParser::IsWord(std::string_view word) const {
  if (token_ != TToken::Symbol || tokenText_.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (UpperAscii(tokenText_[i]) != UpperAscii(word[i])) return false;
  return true;
}

}  // namespace quire
