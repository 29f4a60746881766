#pragma once
// The result columns of a SELECT: what each select item becomes once the
// source tables are open, with its name and its place in the result table.
//
// "*" stands for every column of every source table (tables in the order
// the statement names them, columns in field order), table.* for every
// column of that table. A column is plain (copied from a source record),
// calculated (an expression evaluated over the combined row) or an
// aggregate over one of those, whose value the grouping builds.

#include <cstdint>
#include <string>
#include <vector>

#include "sql/OpenTables.h"
#include "sql/Statement.h"

namespace quire {

struct TResultColumn {
  // Bound and type-checked; a plain column is a column node.
  TExprTree Expression;
  // The aggregate's operation (op::Sum ... op::Avg), 0 when none; the
  // aggregate's argument is Expression->Left.
  std::uint8_t Aggregate = 0;
  // COUNT(*): the row itself is counted, no argument is read.
  bool CountsRows = false;
  std::string Name;        // unique among the columns, at most 30 characters
  std::string SourceText;  // as written, for messages

  // The value the column holds before aggregation: the plain column node,
  // or the expression (the aggregate's argument for an aggregate).
  const TQueryExprNode& Value() const { return Aggregate != 0 ? *Expression->Left : *Expression; }
  bool IsPlain() const { return Value().IsColumn(); }
};

struct TResultColumns {
  std::vector<TResultColumn> Columns;
  // Every column is an aggregate and there is no GROUP BY: one result row.
  bool AllAggregate = false;
  // GROUP BY, or the all-aggregate query.
  bool Grouped = false;
};

// Builds the columns of `statement`'s select list over its open tables.
// Raises 11949: a column named "Row___No", an alias on "*", a column that
// does not resolve, an aggregate where the list is neither grouped nor
// all aggregates, an aggregate inside a larger expression.
TResultColumns BuildResultColumns(const TStatement& statement, TOpenTables& tables);

// A sort or grouping item resolved to a result column (0-based).
struct TSortColumn {
  std::size_t Column = 0;
  bool Descending = false;
};

// The ORDER BY and GROUP BY items as result columns: by number (1 to the
// column count) or by name, a name with a correlation name matching a plain
// column of that table. Raises 11949 with the clause's messages.
std::vector<TSortColumn> ResolveOrderBy(const TStatement& statement, const TResultColumns& columns);
std::vector<TSortColumn> ResolveGroupBy(const TStatement& statement, const TResultColumns& columns);

}  // namespace quire
