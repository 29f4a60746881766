#pragma once
// TExpressionParser: the tokenizer that the statement parser and the
// expression grammar read SQL text from, one token at a time.
//
// A token is one of the kinds below or, for any other single character, that
// character's own code ('(' is 40, ',' is 44, '=' is 61, '?' is 63). The
// two-character operators "<>", "<=", ">=" and "||" are put together by the
// grammar from two such tokens, so blanks may stand between their halves.
//
// There are no reserved words: a keyword is only a keyword where the parser
// tests for it with IsKeyword, and a bracketed name counts as one there, so
// [FROM] is read as FROM wherever a keyword may stand.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quire {

using TTokenKind = std::uint8_t;

inline constexpr TTokenKind tkEnd = 0;
inline constexpr TTokenKind tkSymbol = 1;     // letter or '_', then letters, digits, '_'
inline constexpr TTokenKind tkBracketed = 2;  // [name], no escape
inline constexpr TTokenKind tkString = 3;     // '...' or "..." with doubled quotes inside
inline constexpr TTokenKind tkInteger = 4;
inline constexpr TTokenKind tkFloat = 5;

// The longest token text handed out; longer texts are cut silently.
inline constexpr std::size_t kMaxTokenText = 255;

class TExpressionParser {
 public:
  // Copies `text` (freeing an earlier one) and puts the scan at its start,
  // with the kind 0 and both marks cleared. ReadToken reads the first token.
  void Load(std::string_view text);
  // Forgets the text.
  void Free();

  // Skips blanks, control characters and /* comments */, reads one token and
  // returns its kind. Raises 11949 for a comment, quote or bracket that the
  // text ends inside.
  TTokenKind ReadToken();

  TTokenKind Kind() const { return kind_; }
  bool TokenKindIs(TTokenKind kind) const { return kind_ == kind; }
  // The current token's text, at most 255 characters: without the delimiters
  // for bracketed and quoted tokens (doubled quotes left as they stand),
  // otherwise the raw text. Empty at the end of the text.
  std::string TokenText() const;
  // The value of a quoted token: its text with each doubled quote reduced to
  // one ('O''Neil' is O'Neil), at most 255 characters. Names and passwords
  // take TokenText instead.
  std::string StringValue() const;
  // Whether the current token is a symbol or a bracketed name whose text is
  // `word`, ignoring letter case. A quoted string is never a keyword.
  bool IsKeyword(std::string_view word) const;

  // Sets the expression-start mark to the current token.
  void MarkExpressionStart() { mark_ = tokenStart_; }
  // The source text from the mark to the end of the last token read before
  // the current one. Raises 11949 when it is longer than 255 characters.
  std::string ExpressionText() const;

 private:
  void SkipBlanksAndComments();
  void ReadQuoted(char quote, TTokenKind kind, std::string_view missingMessage);
  void ReadNumber();
  [[noreturn]] void RaiseMissing(std::string_view what, std::size_t openedAt) const;

  char At(std::size_t position) const { return position < text_.size() ? text_[position] : '\0'; }

  std::string text_;
  std::size_t scan_ = 0;
  std::size_t tokenStart_ = 0;
  std::size_t tokenEnd_ = 0;  // just after the closing delimiter
  std::size_t previousEnd_ = 0;
  std::size_t mark_ = 0;
  TTokenKind kind_ = tkEnd;
};

// The character classes of symbols: A-Z, a-z and every byte from 129 to 254
// (the upper half of a single-byte code page, so Thai letters count).
bool IsSqlLetter(char c);
bool IsSqlDigit(char c);

}  // namespace quire
