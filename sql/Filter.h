#pragma once
// TFilter: a condition on one table, answered from the table's indexes
// where it can be and by testing records where it cannot.
//
// A dataset hands its filter over as a binary filter buffer, which the
// filter decodes over the table's logical fields (FilterBufferReader.h).
// The compare nodes such a buffer makes (nkCompare: a string field against
// a text over its first PartialLength characters, or all when 0, folding
// case when CaseInsensitive) are answered from an index that folds case as
// the compare does, with the partial length as the key length.
//
// Index analysis grades every node of the tree: 0 when indexes answer it
// wholly, 1 in part, 2 not at all. A comparison of a column with a constant
// is answerable when an index (primary first, then the secondaries in
// order) starts with the column and folds case as the compare does
// (UPPER(column) needs a case-insensitive one), and the constant is exactly
// a value of the column (a constant the field would cut, round or strip of
// trailing blanks is left to the test, which sees it as it is). AND is answered in part when one
// side is, and puts the better side first so that the worse side only tests the records the better
// one let through; OR only when both sides are.
//
// The bitmap has one bit per record slot. Index ranges mark their records
// without reading them; a range over more than half of the keys is marked
// through its complement. The filter is activated on the table with that
// bitmap, and the table's cursor then visits only the records set in it.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "engine/DataFile.h"
#include "index/RecordBitmap.h"
#include "index/RecordFilters.h"
#include "sql/QueryExprNode.h"

namespace quire {

// An equal comparison of a column with a constant that an index answers
// by its keys alone, under the same rules as a filter's grade 0: the index
// (its slot) whose first field is the column and which compares as the
// comparison does, and the constant as the column stores it (not NULL).
struct TEqualKey {
  std::uint8_t Slot = 0;
  int FieldNo = 0;
  std::vector<std::uint8_t> Bytes;
};
std::optional<TEqualKey> EqualKeyOf(TDataFile& table, const TQueryExprNode& comparison);

class TFilter {
 public:
  // A record-level test supplied by the caller: grade 2.
  TFilter(TDataFile& table, TRecordTest test);
  // A condition whose column nodes are bound to the table's logical field
  // numbers, graded without the statement limit (see Analyse).
  TFilter(TDataFile& table, TExprTree tree);
  // A condition from a filter buffer, decoded over the table's logical
  // fields; raises 10051 for a buffer that does not decode.
  TFilter(TDataFile& table, std::span<const std::uint8_t> buffer);
  // Removes the filter from the table when it is installed there.
  ~TFilter();

  TFilter(const TFilter&) = delete;
  TFilter& operator=(const TFilter&) = delete;

  // Replaces the condition and grades it again.
  void ReplaceTree(TExprTree tree);
  void ReplaceTree(std::span<const std::uint8_t> buffer);
  const TQueryExprNode* Tree() const { return tree_.get(); }

  // Grades the tree and returns the root's grade. For a statement, an
  // index-answered node inside a compound condition whose range holds more
  // than 90% of the table's records is graded 2: testing those records is
  // cheaper than marking and combining them.
  std::uint8_t Analyse(bool forStatement);
  std::uint8_t Grade() const { return grade_; }

  // The records that satisfy the condition (bits of deleted slots may be
  // set; the table's own live records sort them out).
  TRecordBitmap BuildBitmap();

  // Whether the record in `record` passes.
  bool TestRecord(std::span<const std::uint8_t> record);

  // Installs the filter on the table (when it is not yet) and activates it
  // with a freshly built bitmap; Deactivate leaves it installed.
  void Activate();
  void Deactivate();

  // Keys looked at and records tested by the last BuildBitmap.
  struct TStatistics {
    std::uint64_t RangesMarked = 0;
    std::uint64_t RecordsTested = 0;
  };
  const TStatistics& Statistics() const { return statistics_; }

 private:
  class TAnalysis;
  class TBitmapBuild;

  TDataFile& table_;
  TRecordTest callback_;
  TExprTree tree_;
  std::uint8_t grade_ = 2;
  TFilterHandle handle_ = 0;
  TStatistics statistics_;
};

}  // namespace quire
