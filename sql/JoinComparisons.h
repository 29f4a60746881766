#pragma once
// Join kinds, and the marking of the comparisons in a join's ON condition
// that join two tables. The mark records which join a comparison came from;
// the executor plans from the statement's join clauses themselves (each ON
// kept with its join, see JoinPlan.h), not from the marks.

#include <cstdint>

#include "sql/QueryExprNode.h"

namespace quire {

using TJoinKind = std::uint8_t;
inline constexpr TJoinKind jkInner = 1;
inline constexpr TJoinKind jkLeft = 2;
inline constexpr TJoinKind jkRight = 3;

// Sets JoinKind = `kind` on every comparison (=, <>, <, >, <=, >=) of
// `condition` whose two operands each contain a column, looking through
// AND, OR and unary nodes only: a comparison inside a function or a
// predicate, or one with a constant side, stays unmarked.
void MarkJoinComparisons(TQueryExprNode& condition, TJoinKind kind);

}  // namespace quire
