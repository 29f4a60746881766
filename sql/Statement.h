#pragma once
// TStatement: what the statement parser makes of one SQL statement, clause
// by clause, before anything is opened or run. Every list owns its entries;
// the parameter list points into the trees of the other lists.
//
// Select items, ORDER BY and GROUP BY items are kept as written: they name
// result columns, which only exist once the executor has opened the source
// tables. Conditions and INSERT and UPDATE values are bound and
// type-checked while they are parsed.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql/JoinComparisons.h"
#include "sql/ParseExpression.h"
#include "sql/QueryExprNode.h"
#include "sql/SourceDataFile.h"

namespace quire {

using TStatementKind = std::uint8_t;
inline constexpr TStatementKind skNone = 0;  // nothing parsed
inline constexpr TStatementKind skSelect = 1;
inline constexpr TStatementKind skInsert = 2;
inline constexpr TStatementKind skUpdate = 3;
inline constexpr TStatementKind skDelete = 4;

// One select item: the expression, its text as written, and its alias
// (empty when none).
struct TResultDataField {
  TExprTree Expression;
  std::string SourceText;
  std::string Alias;
};

// One target column of INSERT or UPDATE: a column node ("*" for all
// columns of the table).
struct TUpdateDataField {
  TExprTree Column;
};

// One value of INSERT or UPDATE, bound to the target table.
struct TUpdateDataValue {
  TExprTree Value;
  std::string SourceText;
};

// A GROUP BY item: a column name with an optional correlation name, or the
// number of a select item (then the name is empty).
struct TGroupByDataField {
  std::string ColumnName;
  std::string TableName;
  std::uint16_t ColumnNo = 0;
};

struct TOrderByDataField {
  std::string ColumnName;
  std::string TableName;
  std::uint16_t ColumnNo = 0;
  bool Descending = false;
};

// One JOIN ... ON of the FROM clause. Its condition is kept apart from
// WHERE and from the other joins: under an outer join, ON decides which rows
// of the joined table pair up (the others are NULL-extended), while WHERE
// drops rows afterwards; merged into one tree, the two could not be told
// apart.
struct TJoinClause {
  TJoinKind Kind = jkInner;
  // The table named after JOIN.
  const TSourceDataFile* Table = nullptr;
  // The FROM item (a table with its joins, up to the next ",") it belongs
  // to: the index into TStatement::FromItems.
  std::size_t FromItem = 0;
  TExprTree Condition;
};

struct TStatement {
  TStatementKind Kind = skNone;
  bool Distinct = false;

  // SELECT ... INTO [MEMORY] name.
  std::string ResultTableName;
  bool ResultInMemory = false;

  std::vector<TResultDataField> ResultFields;
  // In join order: a right join's table stands in front of the tables
  // named before it. The target of INSERT, UPDATE and DELETE is the only
  // entry. Entries keep their address: column nodes point to them.
  std::vector<std::unique_ptr<TSourceDataFile>> SourceTables;
  std::vector<TUpdateDataField> TargetFields;
  std::vector<TUpdateDataValue> Values;
  std::vector<TOrderByDataField> OrderByFields;
  std::vector<TGroupByDataField> GroupByFields;

  // The WHERE condition (null when there is none).
  TExprTree Condition;
  // Set by WHERE and by every join.
  bool HasCondition = false;
  // In the order written.
  std::vector<TJoinClause> Joins;
  // Each FROM item's tables in the order named: a right join fills with
  // NULLs the tables of its own item named before it, not those of the
  // items before the ",".
  std::vector<std::vector<const TSourceDataFile*>> FromItems;

  bool SeveralTables = false;  // a join or a comma in FROM
  bool HasOrderBy = false;
  bool HasGroupBy = false;
  bool NoCase = false;  // ORDER BY ... NOCASE
  bool WithLocks = false;
  bool Encrypted = false;
  std::string Password;  // of the result table, with Encrypted

  // The "?" markers of all clauses in order of appearance.
  TParameterList Parameters;

  // Back to the empty statement: kind skNone, no lists, flags cleared.
  void Clear();

  // Adds a named source table, at the front for a right join. Raises 11949
  // when another source table already has its correlation name (letter
  // case aside).
  TSourceDataFile& AddSourceTable(std::unique_ptr<TSourceDataFile> table, bool atFront);
};

}  // namespace quire
