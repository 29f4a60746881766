#pragma once
// How a SELECT walks its source tables: the condition (WHERE and every ON,
// joined by AND) taken apart into what each table can answer alone, the
// links that join a table to the tables before it, and the rest, which is
// tested on every combined row.
//
// The conjuncts of the condition (its parts below the top AND nodes) go:
//   - naming one table only: to that table's own condition, which restricts
//     the records it offers;
//   - a comparison whose two sides name one table each (a join comparison):
//     to the link of the later of the two tables, its columns standing on
//     the left; an inner comparison with a table that an outer join fills
//     with NULLs stays for the combined row, as a WHERE after the join does;
//   - a condition over several tables inside an outer join's ON (an OR of
//     two join comparisons, say): to that join's link, so that a row of the
//     preserved table that matches nothing still comes out, NULL-extended;
//   - anything else over several tables: to the combined row. An OR across
//     tables is never split: each of its sides alone is not the condition.
// A right join is a left join read the other way round: its table stands
// first in the source list, so the table named on the left is the one
// filled with NULLs.

#include <vector>

#include "sql/OpenTables.h"
#include "sql/Statement.h"

namespace quire {

struct TPlannedTable {
  TSourceDataFile* Source = nullptr;
  TStatementTable* Table = nullptr;
  // Over this table's columns only; null when it offers every record.
  TExprTree Condition;
  // Over this table's columns and those of tables before it; null for a
  // cross product (or the first table).
  TExprTree Link;
  // A row of the tables before it that no record matches still comes out,
  // with this table's columns NULL.
  bool LeftJoin = false;
};

struct TJoinPlan {
  // In the order of iteration: the source list's order.
  std::vector<TPlannedTable> Tables;
  // Tested on each combined row; null when nothing is left for it.
  TExprTree RowCondition;
};

// Takes `statement`'s condition apart over its open tables. Raises 11949:
// a join comparison side naming several tables, a correlation name that
// is not a source table, a table that two outer joins would fill.
TJoinPlan PlanJoins(const TStatement& statement, TOpenTables& tables);

// `left` AND `right`, either of which may be null.
TExprTree AndTogether(TExprTree left, TExprTree right);

}  // namespace quire
