#pragma once
// SELECT: result columns, joins, grouping and ordering, and the result
// table the rows are written to.
//
// Preparing binds the statement to its open source tables (result columns
// with their names, ORDER BY and GROUP BY items, join links taken out of
// the condition) and creates the result table; running fills it by nested
// iteration over the linked source tables and leaves it positioned on its
// order. A live result is the source table itself, restricted to the
// condition.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/DataFile.h"
#include "sql/ChangeStatements.h"
#include "sql/OpenTables.h"
#include "sql/Statement.h"

namespace quire {

struct TSelectSettings {
  // The caller asks for the source table itself where the statement allows.
  bool LiveResult = false;
  // The result table's locale.
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
};

class TSelectExecution {
 public:
  // Binds `statement` (a parsed SELECT whose source tables `tables` opens)
  // and creates the result table. Raises 11949 with the messages of SELECT
  // preparation. The execution keeps both references and must be destroyed
  // before them: a live result leaves its filter on a source table.
  TSelectExecution(TStatement& statement, TOpenTables& tables, const TSelectSettings& settings);
  ~TSelectExecution();

  // Fills the result table afresh and returns it, positioned on its order
  // (the source table itself for a live result).
  TDataFile& Run(const TProgressCallback& progress);

  // Rows in the result after the last run.
  std::int32_t RowsAffected() const;
  // Result fields the caller shows: the row number field and hidden fields
  // left out. Field numbers of the result table, in order.
  const std::vector<int>& VisibleFields() const;

 private:
  class TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace quire
