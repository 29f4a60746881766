// The grammar of TExprParser (see ExprParser.h).

#include "sql/ExprParser.h"

#include "engine/DatabaseError.h"
#include "sql/FilterBuffer.h"
#include "sql/FilterConstantConversion.h"
#include "sql/QueryExprNode.h"

namespace quire {

TExprParser::TExprParser(const std::vector<TFieldDescriptor>& fields, TFilterOptions options,
                         std::string_view text, TFormatSettings settings)
    : filter_(fields, options, std::move(settings)),
      text_(text),
      trueWord_(kFilterTrueWord),
      falseWord_(kFilterFalseWord) {
  NextToken();
  const TExprNode& root = ParseExpression();
  if (token_ != TToken::End) RaiseDatabaseError("Filter expression incorrectly terminated");
  data_ = filter_.GetFilterData(root);
}

TExprNode& TExprParser::ParseExpression() {
  TExprNode* left = &ParseTerm();
  while (IsWord("OR")) {
    NextToken();
    left = &filter_.NewNode(TExprNodeKind::Operator, op::Or, {}, left, &ParseTerm());
  }
  return *left;
}

TExprNode& TExprParser::ParseTerm() {
  TExprNode* left = &ParseFactor();
  while (IsWord("AND")) {
    NextToken();
    left = &filter_.NewNode(TExprNodeKind::Operator, op::And, {}, left, &ParseFactor());
  }
  return *left;
}

TExprNode& TExprParser::ParseFactor() {
  if (!IsWord("NOT")) return ParseComparison();
  NextToken();
  return filter_.NewNode(TExprNodeKind::Operator, op::Not, {}, &ParseComparison());
}

TExprNode& TExprParser::ParseComparison() {
  TExprNode& left = ParsePrimary();
  std::uint8_t code = 0;
  switch (token_) {
    case TToken::Equal:
      code = op::Equal;
      break;
    case TToken::NotEqual:
      code = op::NotEqual;
      break;
    case TToken::Less:
      code = op::Less;
      break;
    case TToken::Greater:
      code = op::Greater;
      break;
    case TToken::LessOrEqual:
      code = op::LessOrEqual;
      break;
    case TToken::GreaterOrEqual:
      code = op::GreaterOrEqual;
      break;
    default:
      return left;
  }
  NextToken();
  return filter_.NewNode(TExprNodeKind::Operator, code, {}, &left, &ParsePrimary());
}

TExprNode& TExprParser::ParsePrimary() {
  TExprNode* node = nullptr;
  switch (token_) {
    case TToken::Symbol:
      if (IsWord("NULL")) {
        node = &filter_.NewNode(TExprNodeKind::Constant, 0, TValue::Untyped());
      } else if (IsWord(trueWord_) || IsWord(falseWord_)) {
        node = &filter_.NewNode(TExprNodeKind::Constant, 0, TValue::Boolean(IsWord(trueWord_)));
      } else {
        node = &filter_.NewNode(TExprNodeKind::Field, 0, TValue::String(tokenText_));
      }
      break;
    case TToken::Name:
      node = &filter_.NewNode(TExprNodeKind::Field, 0, TValue::String(tokenText_));
      break;
    case TToken::Literal:
      node = &filter_.NewNode(TExprNodeKind::Constant, 0, TValue::String(tokenText_));
      break;
    case TToken::LParen: {
      // Each level of parentheses costs the parser's stack, as deeper trees
      // cost the engine's.
      if (++nesting_ > filterbuffer::kMaxDepth) RaiseDatabaseError(std::string(kFilterTooComplex));
      NextToken();
      node = &ParseExpression();
      if (token_ != TToken::RParen) RaiseDatabaseError("')' expected but %s found", TokenName());
      --nesting_;
      break;
    }
    default:
      RaiseDatabaseError("Expression expected but %s found", TokenName());
  }
  NextToken();
  return *node;
}

}  // namespace quire
