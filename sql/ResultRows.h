#pragma once
// Writing combined rows into the result table. Each row becomes a result
// record: plain columns copied from their source records (blobs as blobs),
// calculated columns evaluated. Then, by the kind of SELECT:
//   plain      the record is appended;
//   DISTINCT   appended unless the DISTINCT index holds an equal record;
//   GROUP BY   the group's record is looked up in the group index and its
//              aggregates updated, or the record appended as a new group;
//   all-aggregate  the one group is kept aside and appended at the end,
//              also when no row came (COUNT 0, the others NULL).
// Every aggregate skips NULL arguments. AVG adds into its column and its
// hidden count while rows arrive and is divided once they all have.
//
// The groups of a GROUP BY are kept in memory while rows arrive, found by
// the group index's key as a lookup in that index would find them, and
// appended in the order of their first rows when the rows end (or when they
// outgrow their room, after which the index is asked as above): the table
// ends up with the same records, without a lookup and a rewrite per row.
// Groups with blob columns go to the table at once. A DISTINCT keeps the
// keys of the records it appended the same way.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/DataFile.h"
#include "sql/CombinedRows.h"
#include "sql/ResultColumns.h"
#include "sql/ResultTable.h"

namespace quire {

class TResultRows {
 public:
  TResultRows(TDataFile& result, const TResultColumns& columns, const TResultLayout& layout,
              TJoinPlan& plan);
  ~TResultRows();
  TResultRows(const TResultRows&) = delete;
  TResultRows& operator=(const TResultRows&) = delete;

  void Add(TCombinedRow& row);
  // Writes what is kept aside and finishes the averages.
  void Finish();

  // The all-aggregate query's single COUNT, known without reading a row.
  void AddCount(std::int32_t count);

 private:
  // The result record of `row` before any grouping.
  std::vector<std::uint8_t> RecordOf(TCombinedRow& row);
  // The value an aggregate column takes from `row`, counting included.
  TValue ArgumentOf(const TResultColumn& column, TCombinedRow& row);
  // Starts (`first`) or updates the aggregates of `record` with `row`.
  void Accumulate(std::span<std::uint8_t> record, TCombinedRow& row, bool first);
  void Append(std::span<std::uint8_t> record);
  void CopyBlob(const TQueryExprNode& column, TCombinedRow& row, int field,
                std::span<std::uint8_t> record);
  // Copies a column that stores its value as the result field does straight
  // from the source record, as reading and writing the value would leave
  // it; false when it cannot.
  bool CopyStored(const TQueryExprNode& column, TCombinedRow& row, const TFieldDescriptor& to,
                  std::span<std::uint8_t> record);
  void DivideAverages(std::span<std::uint8_t> record);
  bool HasAverages() const;
  bool HasBlobColumn() const;
  // Appends the groups kept in memory and asks the group index from then on.
  void SpillGroups();
  const TFieldDescriptor& Field(int number) const { return result_.LogicalFields()[number - 1]; }

  TDataFile& result_;
  const TResultColumns& columns_;
  const TResultLayout& layout_;
  TJoinPlan& plan_;
  std::int32_t rows_ = 0;
  // The all-aggregate query's group, while rows arrive.
  std::vector<std::uint8_t> single_;
  bool singleStarted_ = false;
  // The GROUP BY groups in memory; null once they went to the table.
  class TGroups;
  std::unique_ptr<TGroups> groups_;
  // The keys of a DISTINCT's records so far; null once they outgrew their
  // room (the index is asked then).
  std::unique_ptr<TGroups> distinct_;
};

}  // namespace quire
