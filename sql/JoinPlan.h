#pragma once
// How a SELECT walks its source tables: the order of the nested iteration,
// the runs of tables that outer joins fill with NULLs, and where each part
// of the conditions is tested.
//
// The FROM clause reads as a left-deep tree per FROM item: each join
// combines the tables of its item named so far with one more table. A left
// join fills its own table with NULLs for a row of the others that nothing
// pairs with; a right join fills the tables named before it in its item.
// Such a run of tables is an outer group. Groups nest or stand apart, and
// in the iteration order (the items one after the other; within an item,
// the right-joined tables first, last joined first, then the others as
// named) each group's tables are neighbours, its preserved tables before
// them.
//
// Every condition is taken apart at its top AND nodes into conjuncts, and
// each conjunct has a home: WHERE, and the ON of an inner join that no
// later right join of its item encloses, belong to the whole row; an outer
// join's ON belongs to its group, and an inner join's ON to the group of the
// first right join after it in its item. A conjunct is tested as early as
// its home allows: it restricts the records of the last table it reads (at
// the earliest the first table of its group) when that table's innermost
// group is its home, with the values of earlier tables put in as constants,
// so that indexes can answer it; otherwise its group tests it once its last
// table is placed, or the whole row tests it. An OR across tables is never
// split: each of its sides alone is not the condition.

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
};

// Tables First to Last (positions in the plan) that an outer join fills
// with NULLs when no combination of their records passes the join.
struct TOuterGroup {
  std::size_t First = 0;
  std::size_t Last = 0;
  // Tested once the group's last table is placed; null when every part of
  // the join went to a table's records.
  TExprTree Test;
};

struct TJoinPlan {
  // In the order of iteration.
  std::vector<TPlannedTable> Tables;
  std::vector<TOuterGroup> Groups;
  // Tested on each combined row; null when nothing is left for it.
  TExprTree RowCondition;
};

// Takes `statement`'s conditions apart over its open tables. Raises 11949:
// a join comparison side naming several tables, a column of a table that
// is not a source table.
TJoinPlan PlanJoins(const TStatement& statement, TOpenTables& tables);

// `left` AND `right`, either of which may be null.
TExprTree AndTogether(TExprTree left, TExprTree right);

}  // namespace quire
