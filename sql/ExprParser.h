#pragma once
// TExprParser: reads a dataset filter text and builds its filter buffer.
//
// Tokens (blanks and control characters, codes below 33, between them):
//   'text'     a string constant; '' inside stands for one quote; at most
//              256 characters are kept
//   - or digit a number constant of "+", "-", ".", digits, "E" and "e",
//              kept as text like a string
//   ( ) = <> < > <= >=
//   symbol     a letter, "_" or a byte 129..254, then letters, digits, "_"
//              and such bytes (the national letters of the code page)
//   [name]     a field name as written between the brackets
// Grammar, left-associative, lowest precedence first:
//   expression = term { OR term }
//   term       = factor { AND factor }
//   factor     = [ NOT ] comparison
//   comparison = primary [ relop primary ]
//   primary    = NULL | true word | false word | symbol | [name]
//              | constant | "(" expression ")"
// The true and false words ("True", "False") match in any letter case;
// NULL, AND, OR and NOT too. A keyword in brackets is a field name.
//
// Every failure raises EDatabaseError with the dataset layer's text; a
// token in a message is shown between single quotes as written, or as
// "nothing" at the end of the text. The tree then goes to TFilterExpr,
// whose messages follow (FilterExpr.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DataFileHeader.h"
#include "engine/FormatSettings.h"
#include "sql/ExprNode.h"
#include "sql/FilterExpr.h"

namespace quire {

class TExprParser {
 public:
  // Parses the whole of `text` as a filter over a table with the logical
  // fields `fields` and builds its buffer.
  TExprParser(const std::vector<TFieldDescriptor>& fields, TFilterOptions options,
              std::string_view text, TFormatSettings settings = CurrentFormatSettings());

  const std::vector<std::uint8_t>& FilterData() const { return data_; }
  std::size_t DataSize() const { return data_.size(); }

 private:
  enum class TToken : std::uint8_t {
    End,
    Symbol,
    Name,     // [bracketed]
    Literal,  // string or number
    LParen,
    RParen,
    Equal,
    NotEqual,
    Less,
    Greater,
    LessOrEqual,
    GreaterOrEqual,
  };

  // Tokenizer (ExprParserTokens.cpp).
  void NextToken();
  void ReadString();
  // The current token for a message: quoted as written, or "nothing".
  std::string TokenName() const;
  // Whether the current token is the symbol `word`, in any letter case.
  bool IsWord(std::string_view word) const;

  // Grammar (ExprParser.cpp).
  TExprNode& ParseExpression();
  TExprNode& ParseTerm();
  TExprNode& ParseFactor();
  TExprNode& ParseComparison();
  TExprNode& ParsePrimary();

  TFilterExpr filter_;
  std::string text_;
  std::size_t scan_ = 0;
  std::size_t tokenStart_ = 0;
  TToken token_ = TToken::End;
  std::string tokenText_;
  std::string trueWord_;
  std::string falseWord_;
  int nesting_ = 0;  // open parentheses around the current token
  std::vector<std::uint8_t> data_;
};

}  // namespace quire
