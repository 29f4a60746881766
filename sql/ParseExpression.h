#pragma once
// The expression grammar: from the tokenizer's current token to a tree.
//
// Every binary level is right-recursive, so chains group to the right:
// a - b - c is a - (b - c) and a AND b OR c is a AND (b OR c). AND and OR
// share one level; NOT binds tighter than a comparison (NOT a = b is
// (NOT a) = b). Stored compute expressions and statements written for these
// tables rely on that grouping.
//
//   logical        comparison [(AND | OR) logical]
//   comparison     additive [op comparison]  op: = <> < > <= >= LIKE, NOT LIKE,
//                  BETWEEN x AND y, NOT BETWEEN, IN (...), NOT IN, IS [NOT] NULL
//   additive       multiplicative [(+ | - | ||) additive]
//   multiplicative unary [(* | /) multiplicative]
//   unary          NOT primary | - primary | + primary | primary
//
// The parse starts at the parser's current token and leaves the parser on
// the first token after the expression. Every error is 11949 with a message
// that ends in the clause name.

#include <cstdint>
#include <string_view>
#include <vector>

#include "sql/ExpressionParser.h"
#include "sql/QueryExprNode.h"

namespace quire {

using TParseFlags = std::uint8_t;
inline constexpr TParseFlags pfAggregates = 1;  // SUM, AVG, MIN, MAX, COUNT
inline constexpr TParseFlags pfAllColumns = 2;  // * and table.*
inline constexpr TParseFlags pfPredicates = 4;  // LIKE, BETWEEN, IN, IS
inline constexpr TParseFlags pfParams = 8;      // ? markers

// The "?" markers of a statement in order of appearance; the nodes belong
// to their trees.
using TParameterList = std::vector<TQueryExprNode*>;

// The clause names that end the messages.
inline constexpr std::string_view kClauseSourceColumns = "source columns";
inline constexpr std::string_view kClauseTableColumns = "table columns";
inline constexpr std::string_view kClauseValues = "values";
inline constexpr std::string_view kClauseCondition = "WHERE or JOIN clause";

// One whole expression. `parameters` receives the "?" markers (may be null
// when pfParams is not given).
TExprTree ParseExpression(TExpressionParser& parser, TParseFlags flags, std::string_view clause,
                          TParameterList* parameters = nullptr);

// One primary only (UPDATE's target columns).
TExprTree ParsePrimary(TExpressionParser& parser, TParseFlags flags, std::string_view clause,
                       TParameterList* parameters = nullptr);

}  // namespace quire
