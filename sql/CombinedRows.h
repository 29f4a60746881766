#pragma once
// The combined rows of a SELECT: nested iteration over its source tables
// in the plan's order. The first table is read through its own condition;
// each later table, whenever the tables before it move to a new row, is
// restricted to its own condition and its link with the current values of
// the earlier tables put in as constants (answered from its indexes where
// they serve, else tested record by record). A left-joined table that
// offers no record for the row still gives one row, with its columns NULL.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sql/ChangeStatements.h"
#include "sql/Evaluate.h"
#include "sql/JoinPlan.h"

namespace quire {

// One combined row: a record of every source table, or NULL for a table
// that a left join filled. Reads the columns of a bound tree.
class TCombinedRow : public TColumnReader {
 public:
  explicit TCombinedRow(const TJoinPlan& plan);

  TValue Read(const TQueryExprNode& column) override;

  std::size_t TableCount() const { return records_.size(); }
  // The place in the plan of the table a column node is bound to.
  std::size_t PositionOf(const TSourceDataFile* source) const;
  std::span<std::uint8_t> Record(std::size_t table) { return records_[table]; }
  bool IsNull(std::size_t table) const { return null_[table]; }
  void SetNull(std::size_t table, bool null) { null_[table] = null; }

 private:
  const TJoinPlan& plan_;
  std::vector<std::vector<std::uint8_t>> records_;
  std::vector<bool> null_;
};

class TCombinedRows {
 public:
  explicit TCombinedRows(TJoinPlan& plan) : plan_(plan), row_(plan) {}

  // Hands every combined row that passes the plan's row condition to
  // `sink`. Progress goes by the records of
  // the first table, as a DELETE reports it; an abort stops after the
  // current record of the first table.
  void ForEach(const TProgressCallback& progress, const std::function<void(TCombinedRow&)>& sink);

 private:
  void Descend(std::size_t table, const std::function<void(TCombinedRow&)>& sink);
  // What table `table` must satisfy for the current row of the tables
  // before it; null when it offers every record.
  TExprTree Restriction(std::size_t table);

  TJoinPlan& plan_;
  TCombinedRow row_;
};

}  // namespace quire
