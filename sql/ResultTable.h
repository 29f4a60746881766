#pragma once
// The table a SELECT writes its rows to, and its layout:
//   field 1        "Row___No", integer: the row's number in arrival order
//   fields 2..n+1  one per result column, of the source column's type or
//                  the expression's (an AVG column is a float)
//   then           a hidden integer "Avg__Count" + n for each AVG column in
//                  field n, counting the values its average is made of.
// Indexes: the ORDER BY index (the primary, over the ordered columns with
// their descending flags and NOCASE, and the row number last so that equal
// rows keep their order); the GROUP BY index over the grouped columns and
// the DISTINCT index over all columns, each unique, named "GroupBy" and
// "Distinct" beside an ORDER BY index and the primary otherwise. A GROUP BY
// or DISTINCT index the ORDER BY index already is, is not made twice.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "sql/OpenTables.h"
#include "sql/ResultColumns.h"

namespace quire {

inline constexpr std::size_t kMaxDistinctColumns = 16;

struct TResultLayout {
  TTableCreateRequest Request;  // fields and indexes; the rest is set at creation
  // Result field number of each column, and of its hidden count (0: none).
  std::vector<int> ColumnFields;
  std::vector<int> CountFields;
  bool HasOrderIndex = false;
  // Index names for SelectIndex ("" is the primary); unset when none.
  std::optional<std::string> GroupIndex;
  std::optional<std::string> DistinctIndex;
};

// Raises 11949 for a DISTINCT over more than 16 columns.
TResultLayout LayoutResult(const TResultColumns& columns, TOpenTables& tables,
                           const std::vector<TSortColumn>& orderBy, bool noCase,
                           const std::vector<TSortColumn>& groupBy, bool distinct);

struct TResultTableOptions {
  std::string Name;  // empty: a temporary table, deleted when closed
  bool InMemory = false;
  std::string Password;  // empty: not encrypted
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
};

// Creates the table (replacing one of that name) and returns it open,
// exclusive. A name without a directory lies in the session's private
// directory, or the current directory when the session has none.
std::unique_ptr<TDataFile> CreateResultTable(const TResultLayout& layout,
                                             const TResultTableOptions& options);

}  // namespace quire
