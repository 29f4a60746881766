#pragma once
// TRecordBitmap: one bit per record slot (record r is bit r - 1), with the
// count of set bits kept up to date. The data file keeps the live records of
// a table in one, for walks in physical order; ranges and filters keep the
// records they let through in others, and the visible records are the
// product of them all.
//
// A bitmap that holds few records, or all but a few, keeps the exceptions as
// a sorted list instead of a word per 64 slots, so that clearing, filling,
// inverting and combining cost what the exceptions cost, not what the table
// does: a condition that an index answers with three records costs the same
// on a table of a thousand records as on one of a million. When the list
// grows past a share of the slots the bitmap turns into words for good.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quire {

class TRecordBitmap {
 public:
  // Room for records 1..slots; new bits are clear, bits beyond are dropped.
  void Resize(std::uint32_t slots);
  std::uint32_t Slots() const { return slots_; }
  void Clear();
  // Every record 1..Slots() set.
  void SetAll();
  // Flips every record 1..Slots().
  void Invert();
  // Keeps the records set in both (`other` is read as clear beyond its
  // slots).
  void And(const TRecordBitmap& other);
  // Adds the records set in `other` (those within this one's slots).
  void Or(const TRecordBitmap& other);

  bool Test(std::uint32_t record) const;
  // Records outside 1..Slots() are ignored.
  void Set(std::uint32_t record, bool value);
  std::int32_t Count() const;

  // The first set record after `record` (0 starts at the beginning), or 0.
  std::uint32_t NextSet(std::uint32_t record) const;
  // The last set record before `record` (0 starts at the end), or 0.
  std::uint32_t PriorSet(std::uint32_t record) const;
  // The n-th set record (1-based), or 0.
  std::uint32_t NthSet(std::int32_t n) const;
  // The number of set records up to and including `record`.
  std::int32_t RankOf(std::uint32_t record) const;

 private:
  // Exceptions a listed bitmap keeps before it turns into words.
  std::size_t ListLimit() const;
  // Turns a listed bitmap into words.
  void MakeWords();
  void ClearTail();
  void Recount();
  // Keeps the listed exceptions for which `keep` holds.
  template <typename TKeep>
  void FilterList(TKeep keep);

  // Listed (not `dense_`): the records in `list_`, or with `complement_`
  // every record of 1..slots_ but those; sorted, each within 1..slots_.
  bool dense_ = false;
  bool complement_ = false;
  std::vector<std::uint32_t> list_;
  std::vector<std::uint64_t> words_;
  std::uint32_t slots_ = 0;
  std::int32_t count_ = 0;  // of the words
};

}  // namespace quire
