#include "index/RecordBitmap.h"

#include <algorithm>
#include <bit>

namespace quire {

void TRecordBitmap::Resize(std::uint32_t slots) {
  const std::uint32_t old = slots_;
  if (slots < old) {
    for (std::uint32_t r = slots + 1; r <= old; ++r) Set(r, false);
  }
  slots_ = slots;
  words_.resize((static_cast<std::size_t>(slots) + 63) / 64, 0);
}

void TRecordBitmap::Clear() {
  std::fill(words_.begin(), words_.end(), 0);
  count_ = 0;
}

void TRecordBitmap::SetAll() {
  std::fill(words_.begin(), words_.end(), ~std::uint64_t{0});
  ClearTail();
  count_ = static_cast<std::int32_t>(slots_);
}

void TRecordBitmap::Invert() {
  for (std::uint64_t& word : words_) word = ~word;
  ClearTail();
  count_ = static_cast<std::int32_t>(slots_) - count_;
}

void TRecordBitmap::And(const TRecordBitmap& other) {
  count_ = 0;
  for (std::size_t w = 0; w < words_.size(); ++w) {
    words_[w] &= w < other.words_.size() ? other.words_[w] : 0;
    count_ += std::popcount(words_[w]);
  }
  // Bits of `other` beyond its own slots are clear already.
}

void TRecordBitmap::Or(const TRecordBitmap& other) {
  for (std::size_t w = 0; w < words_.size() && w < other.words_.size(); ++w)
    words_[w] |= other.words_[w];
  ClearTail();  // `other` may have more slots than this one
  count_ = 0;
  for (const std::uint64_t word : words_) count_ += std::popcount(word);
}

void TRecordBitmap::ClearTail() {
  // Bits past the last slot stay clear, so that counts and searches over
  // whole words never see them.
  if (slots_ % 64 != 0 && !words_.empty()) words_.back() &= (std::uint64_t{1} << (slots_ % 64)) - 1;
}

bool TRecordBitmap::Test(std::uint32_t record) const {
  if (record == 0 || record > slots_) return false;
  const std::uint32_t bit = record - 1;
  return (words_[bit / 64] >> (bit % 64)) & 1;
}

void TRecordBitmap::Set(std::uint32_t record, bool value) {
  if (record == 0 || record > slots_ || Test(record) == value) return;
  const std::uint32_t bit = record - 1;
  words_[bit / 64] ^= std::uint64_t{1} << (bit % 64);
  count_ += value ? 1 : -1;
}

std::uint32_t TRecordBitmap::NextSet(std::uint32_t record) const {
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
  for (std::int64_t bit = static_cast<std::int64_t>(record) - 2; bit >= 0;) {
    const std::uint32_t b = static_cast<std::uint32_t>(bit);
    const std::uint64_t word = words_[b / 64] << (63 - b % 64);
    if (word != 0) return b - static_cast<std::uint32_t>(std::countl_zero(word)) + 1;
    bit = static_cast<std::int64_t>(b / 64) * 64 - 1;
  }
  return 0;
}

std::uint32_t TRecordBitmap::NthSet(std::int32_t n) const {
  if (n < 1 || n > count_) return 0;
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
  std::int32_t rank = 0;
  const std::uint32_t bit = record - 1;
  for (std::size_t w = 0; w < bit / 64; ++w) rank += std::popcount(words_[w]);
  const std::uint64_t mask =
      (bit % 64 == 63) ? ~std::uint64_t{0} : ((std::uint64_t{1} << (bit % 64 + 1)) - 1);
  return rank + std::popcount(words_[bit / 64] & mask);
}

}  // namespace quire
