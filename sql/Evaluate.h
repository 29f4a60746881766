#pragma once
// Evaluation of a checked expression tree against the current record.
//
// The right operand of a binary node is evaluated first; AND stops there
// when it is false and OR when it is true. NULL rules:
//   =    two NULLs are equal, a NULL and a value are not
//   <>   the negation of = (so a NULL against a value, on either side, is true)
//   < > <= >= with a NULL operand: false (an index never holds null keys, so
//        a scan must not find them either)
//   arithmetic and functions over a NULL operand: NULL
//   LIKE with a NULL side: false; NOT LIKE: true
// Dataset filter compares (nkCompare) match strings over their first
// PartialLength characters (all when 0), folding A-Z and a-z together when
// CaseInsensitive; a NULL side never matches, so = is false and <> true.
// Integer kinds compute in 32 bits and wrap; BCD in 1/10000 units rounded
// to the result's decimals; dates move by days, times by milliseconds,
// timestamps by days; division by zero gives NULL.

#include <array>
#include <cstdint>

#include "engine/Value.h"
#include "sql/QueryExprNode.h"

namespace quire {

class TColumnReader {
 public:
  virtual ~TColumnReader() = default;
  // The value of a bound column node in the current record.
  virtual TValue Read(const TQueryExprNode& column) = 0;
};

struct TEvaluationContext {
  // Null: column nodes keep the value they hold.
  TColumnReader* Reader = nullptr;
  // The string order of the locale (byte values in sort order); null for a
  // plain byte compare. Case mapping is the plain letter mapping of a table
  // without a locale, the only locale the engine opens tables in.
  const std::array<std::uint8_t, 256>* Collation = nullptr;
};

TValue Evaluate(const TQueryExprNode& tree, const TEvaluationContext& context);

// Whether `text` matches the LIKE pattern: "%" any run (also none), "_" one
// byte, any other byte itself, case-sensitively. Once the text is used up,
// what remains of the pattern must be empty or exactly "%".
bool MatchLikePattern(std::string_view text, std::string_view pattern);

// The arithmetic of a binary node (+ - * /) or a unary minus or plus over
// evaluated operands; `result` is the node's checked type.
TValue ApplyArithmetic(std::uint8_t code, const TValue& result, const TValue& left,
                       const TValue& right);
TValue ApplyUnary(std::uint8_t code, const TValue& operand);

}  // namespace quire
