#include "index/RecordBitmap.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace quire {

std::size_t TRecordBitmap::ListLimit() const {
  // Four bytes an exception against eight bytes a word: at one exception
  // per 64 slots the list takes half the room of the words and each step
  // through it costs about as much as a word's.
  return std::max<std::size_t>(64, slots_ / 64);
}

void TRecordBitmap::MakeWords() {
  if (dense_) return;
  words_.assign((static_cast<std::size_t>(slots_) + 63) / 64,
                complement_ ? ~std::uint64_t{0} : std::uint64_t{0});
  ClearTail();
  for (const std::uint32_t record : list_) {
    const std::uint32_t bit = record - 1;
    words_[bit / 64] ^= std::uint64_t{1} << (bit % 64);
  }
  count_ = Count();
  list_.clear();
  complement_ = false;
  dense_ = true;
}

void TRecordBitmap::ClearTail() {
  // Bits past the last slot stay clear, so that counts and searches over
  // whole words never see them.
  if (slots_ % 64 != 0 && !words_.empty()) words_.back() &= (std::uint64_t{1} << (slots_ % 64)) - 1;
}

void TRecordBitmap::Recount() {
  count_ = 0;
  for (const std::uint64_t word : words_) count_ += std::popcount(word);
}

template <typename TKeep>
void TRecordBitmap::FilterList(TKeep keep) {
  list_.erase(std::remove_if(list_.begin(), list_.end(),
                             [&](std::uint32_t record) { return !keep(record); }),
              list_.end());
}

void TRecordBitmap::Resize(std::uint32_t slots) {
  const std::uint32_t old = slots_;
  if (dense_) {
    slots_ = slots;
    words_.resize((static_cast<std::size_t>(slots) + 63) / 64, 0);
    if (slots < old) {
      ClearTail();
      Recount();
    }
    return;
  }
  if (slots < old) {
    list_.erase(std::upper_bound(list_.begin(), list_.end(), slots), list_.end());
    slots_ = slots;
    return;
  }
  // The new records are clear: in a complement they are exceptions.
  if (complement_ && slots > old) {
    if (list_.size() + (slots - old) > std::max<std::size_t>(64, slots / 64)) {
      MakeWords();
      Resize(slots);
      return;
    }
    for (std::uint32_t record = old + 1; record <= slots; ++record) list_.push_back(record);
  }
  slots_ = slots;
}

void TRecordBitmap::Clear() {
  dense_ = false;
  complement_ = false;
  list_.clear();
  words_.clear();
  count_ = 0;
}

void TRecordBitmap::SetAll() {
  Clear();
  complement_ = true;
}

void TRecordBitmap::Invert() {
  if (!dense_) {
    complement_ = !complement_;
    return;
  }
  for (std::uint64_t& word : words_) word = ~word;
  ClearTail();
  count_ = static_cast<std::int32_t>(slots_) - count_;
}

void TRecordBitmap::And(const TRecordBitmap& other) {
  if (!dense_ && !complement_) {
    FilterList([&](std::uint32_t record) { return other.Test(record); });
    return;
  }
  if (!other.dense_ && !other.complement_) {
    std::vector<std::uint32_t> kept;
    for (const std::uint32_t record : other.list_) {
      if (record > slots_) break;
      if (Test(record)) kept.push_back(record);
    }
    Clear();
    list_ = std::move(kept);
    return;
  }
  if (!dense_ && !other.dense_) {
    // Both complements: clear wherever either is, and beyond `other`.
    std::vector<std::uint32_t> beyond;
    const std::size_t past = other.slots_ < slots_ ? slots_ - other.slots_ : 0;
    if (list_.size() + other.list_.size() + past <= ListLimit()) {
      for (std::uint32_t record = other.slots_ + 1; record <= slots_; ++record)
        beyond.push_back(record);
      std::vector<std::uint32_t> theirs;
      std::set_union(other.list_.begin(),
                     std::upper_bound(other.list_.begin(), other.list_.end(), slots_),
                     beyond.begin(), beyond.end(), std::back_inserter(theirs));
      std::vector<std::uint32_t> clear;
      std::set_union(list_.begin(), list_.end(), theirs.begin(), theirs.end(),
                     std::back_inserter(clear));
      list_ = std::move(clear);
      return;
    }
  }
  MakeWords();
  TRecordBitmap dense;
  const TRecordBitmap* words = &other;
  if (!other.dense_) {
    dense = other;
    dense.MakeWords();
    words = &dense;
  }
  count_ = 0;
  for (std::size_t w = 0; w < words_.size(); ++w) {
    words_[w] &= w < words->words_.size() ? words->words_[w] : 0;
    count_ += std::popcount(words_[w]);
  }
  // Bits of `other` beyond its own slots are clear already.
}

void TRecordBitmap::Or(const TRecordBitmap& other) {
  if (!dense_ && complement_) {
    FilterList([&](std::uint32_t record) { return !other.Test(record); });
    return;
  }
  if (!dense_ && !other.dense_ && !other.complement_) {
    std::vector<std::uint32_t> joined;
    std::set_union(list_.begin(), list_.end(), other.list_.begin(),
                   std::upper_bound(other.list_.begin(), other.list_.end(), slots_),
                   std::back_inserter(joined));
    list_ = std::move(joined);
    if (list_.size() > ListLimit()) MakeWords();
    return;
  }
  MakeWords();
  TRecordBitmap dense;
  const TRecordBitmap* words = &other;
  if (!other.dense_) {
    dense = other;
    dense.MakeWords();
    words = &dense;
  }
  for (std::size_t w = 0; w < words_.size() && w < words->words_.size(); ++w)
    words_[w] |= words->words_[w];
  ClearTail();  // `other` may have more slots than this one
  Recount();
}

bool TRecordBitmap::Test(std::uint32_t record) const {
  if (record == 0 || record > slots_) return false;
  if (!dense_) return std::binary_search(list_.begin(), list_.end(), record) != complement_;
  const std::uint32_t bit = record - 1;
  return (words_[bit / 64] >> (bit % 64)) & 1;
}

void TRecordBitmap::Set(std::uint32_t record, bool value) {
  if (record == 0 || record > slots_ || Test(record) == value) return;
  if (!dense_) {
    // The record's membership of the list flips.
    const auto place = std::lower_bound(list_.begin(), list_.end(), record);
    if (place != list_.end() && *place == record) {
      list_.erase(place);
    } else {
      list_.insert(place, record);
      if (list_.size() > ListLimit()) MakeWords();
    }
    return;
  }
  const std::uint32_t bit = record - 1;
  words_[bit / 64] ^= std::uint64_t{1} << (bit % 64);
  count_ += value ? 1 : -1;
}

std::int32_t TRecordBitmap::Count() const {
  if (dense_) return count_;
  const auto listed = static_cast<std::int32_t>(list_.size());
  return complement_ ? static_cast<std::int32_t>(slots_) - listed : listed;
}

std::uint32_t TRecordBitmap::NextSet(std::uint32_t record) const {
  if (!dense_) {
    if (!complement_) {
      const auto next = std::upper_bound(list_.begin(), list_.end(), record);
      return next != list_.end() ? *next : 0;
    }
    std::uint32_t next = record + 1;
    for (auto it = std::lower_bound(list_.begin(), list_.end(), next);
         it != list_.end() && *it == next; ++it)
      ++next;
    return next <= slots_ ? next : 0;
  }
  std::uint32_t bit = record;  // the bit of record + 1
  while (bit < slots_) {
    const std::uint64_t word = words_[bit / 64] >> (bit % 64);
    if (word != 0) {
      const std::uint32_t found = bit + static_cast<std::uint32_t>(std::countr_zero(word));
      return found < slots_ ? found + 1 : 0;
    }
    bit = (bit / 64 + 1) * 64;
  }
  return 0;
}

std::uint32_t TRecordBitmap::PriorSet(std::uint32_t record) const {
  if (record == 0 || record > slots_ + 1) record = slots_ + 1;
  if (!dense_) {
    if (!complement_) {
      const auto after = std::lower_bound(list_.begin(), list_.end(), record);
      return after != list_.begin() ? *std::prev(after) : 0;
    }
    std::uint32_t prior = record - 1;
    for (auto it = std::upper_bound(list_.begin(), list_.end(), prior);
         prior != 0 && it != list_.begin() && *std::prev(it) == prior; --it)
      --prior;
    return prior;
  }
  for (std::int64_t bit = static_cast<std::int64_t>(record) - 2; bit >= 0;) {
    const std::uint32_t b = static_cast<std::uint32_t>(bit);
    const std::uint64_t word = words_[b / 64] << (63 - b % 64);
    if (word != 0) return b - static_cast<std::uint32_t>(std::countl_zero(word)) + 1;
    bit = static_cast<std::int64_t>(b / 64) * 64 - 1;
  }
  return 0;
}

std::uint32_t TRecordBitmap::NthSet(std::int32_t n) const {
  if (n < 1 || n > Count()) return 0;
  if (!dense_) {
    if (!complement_) return list_[static_cast<std::size_t>(n - 1)];
    // The n-th record that is no exception lies after every exception with
    // fewer than n such records before it.
    const auto wanted = static_cast<std::uint32_t>(n);
    std::size_t low = 0;
    std::size_t high = list_.size();
    while (low < high) {
      const std::size_t middle = (low + high) / 2;
      if (list_[middle] - 1 - static_cast<std::uint32_t>(middle) < wanted) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return wanted + static_cast<std::uint32_t>(low);
  }
  for (std::size_t w = 0; w < words_.size(); ++w) {
    const int bits = std::popcount(words_[w]);
    if (n > bits) {
      n -= bits;
      continue;
    }
    std::uint64_t word = words_[w];
    for (int i = 1; i < n; ++i) word &= word - 1;  // drop the lowest set bits
    return static_cast<std::uint32_t>(w * 64 + std::countr_zero(word)) + 1;
  }
  return 0;
}

std::int32_t TRecordBitmap::RankOf(std::uint32_t record) const {
  if (record == 0) return 0;
  if (record > slots_) record = slots_;
  if (record == 0) return 0;
  if (!dense_) {
    const auto listed = static_cast<std::int32_t>(
        std::upper_bound(list_.begin(), list_.end(), record) - list_.begin());
    return complement_ ? static_cast<std::int32_t>(record) - listed : listed;
  }
  std::int32_t rank = 0;
  const std::uint32_t bit = record - 1;
  for (std::size_t w = 0; w < bit / 64; ++w) rank += std::popcount(words_[w]);
  const std::uint64_t mask =
      (bit % 64 == 63) ? ~std::uint64_t{0} : ((std::uint64_t{1} << (bit % 64 + 1)) - 1);
  return rank + std::popcount(words_[bit / 64] & mask);
}

}  // namespace quire
