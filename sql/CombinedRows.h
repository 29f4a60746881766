#pragma once
// The combined rows of a SELECT: nested iteration over its source tables
// in the plan's order. The first table is read through its own condition;
// each later table, whenever the tables before it move to a new row, is
// restricted to its own condition and its link with the current values of
// the earlier tables put in as constants (answered from its indexes where
// they serve, else tested record by record). An outer group whose tables
// give no combination that passes its test for the row of the tables
// before it still gives one row, with the group's columns NULL.

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
  explicit TCombinedRows(TJoinPlan& plan);

  // Hands every combined row that passes the plan's row condition to
  // `sink`. Progress goes by the records of
  // the first table, as a DELETE reports it; an abort stops after the
  // current record of the first table.
  void ForEach(const TProgressCallback& progress, const std::function<void(TCombinedRow&)>& sink);

 private:
  // Places the tables from `table` on: enters the groups that start there
  // (outermost first, from the `group`th), then reads the table.
  void Place(std::size_t table, std::size_t group = 0);
  void Read(std::size_t table);
  // Table `table` holds its record (or NULLs): tests the groups that end
  // there (innermost first, from the `group`th), then places the next.
  void Placed(std::size_t table, std::size_t group = 0);
  // What a table must satisfy for the current row of the tables before
  // it: its condition and its link, copied once per run, with a constant
  // in place of each column of an earlier table.
  class TRestriction {
   public:
    explicit TRestriction(const TPlannedTable& table);
    // The constants set from `row`; null when the table offers every
    // record.
    const TQueryExprNode* Refresh(TCombinedRow& row);

   private:
    TExprTree tree_;
    // Each constant of the copy with the column it stands for.
    std::vector<std::pair<TQueryExprNode*, const TQueryExprNode*>> slots_;
  };

  TJoinPlan& plan_;
  TCombinedRow row_;
  const std::function<void(TCombinedRow&)>* sink_ = nullptr;
  // Per table, the groups starting there, outermost first, and those
  // ending there, innermost first.
  std::vector<std::vector<std::size_t>> starting_;
  std::vector<std::vector<std::size_t>> ending_;
  // Per group: a combination of its tables passed since it was entered.
  std::vector<bool> matched_;
  std::vector<TRestriction> restrictions_;
};

}  // namespace quire
