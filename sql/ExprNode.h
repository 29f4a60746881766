#pragma once
// TExprNode: one item of a parsed dataset filter expression, before it is
// written into a filter buffer. Nodes belong to the TFilterExpr that made
// them and point at their operands without owning them.

#include <cstdint>

#include "engine/Value.h"

namespace quire {

enum class TExprNodeKind : std::uint8_t {
  Field = 0,
  Constant = 1,
  Operator = 2,
};

struct TExprNode {
  TExprNodeKind Kind = TExprNodeKind::Constant;
  // A compare of a string field over the constant's whole length, as a
  // locate with a partial key asks for it.
  bool Partial = false;
  // Operators: one of op::Equal .. op::Or (QueryExprNode.h).
  std::uint8_t Operator = 0;
  // Fields: the name as written, in Value.Text. Constants: the text as
  // written (numbers too), a NULL (the untyped value), a boolean, or a
  // value of any type handed in by a locate.
  TValue Value;
  TExprNode* Left = nullptr;
  TExprNode* Right = nullptr;
};

}  // namespace quire
