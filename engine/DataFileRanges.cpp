// TDataFile: key ranges over the current index, and the key counts and
// marks the query optimiser asks for. The cursor keeps the range and finds
// its first and last positions through the subtree counts; this file turns
// record buffers into the range's bounds.
#include <algorithm>

#include "engine/DataFile.h"
#include "engine/DataFileScopes.h"
#include "engine/EngineError.h"

namespace quire {

std::vector<std::uint8_t> TDataFile::RangeKey(std::span<const std::uint8_t> record,
                                              std::size_t fields, bool high) const {
  const TKeyOrder order(indexFile_, indexFile_.CurrentIndex());
  std::vector<std::uint8_t> key(order.KeySize(), 0);
  std::size_t given = 0;
  if (!record.empty()) {
    key = order.KeyOf(record);
    const TKeyLayout& layout = order.Layout();
    const std::size_t used =
        fields == 0 ? layout.PartCount() : std::min(fields, layout.PartCount());
    for (std::size_t i = 0; i < used; ++i) given += layout.Part(i).dataSize + 1u;
  }
  // The fields not given, and the auto-increment suffix of a non-unique
  // index, take every value: the lowest at the start, the highest at the end.
  if (given < key.size()) PadKey(key, given, order, collation_, high);
  return key;
}

void TDataFile::SetRange(std::span<const std::uint8_t> start, std::size_t startFields,
                         std::span<const std::uint8_t> end, std::size_t endFields) {
  if (PhysicalOrder()) return;
  SetKeyRange(RangeKey(start, startFields, false), RangeKey(end, endFields, true));
}

void TDataFile::SetKeyRange(std::span<const std::uint8_t> startKey,
                            std::span<const std::uint8_t> endKey) {
  if (PhysicalOrder()) return;
  const std::size_t k = indexFile_.KeySize();
  if (startKey.size() != k || endKey.size() != k)
    RaiseEngineError(err::InvalidKeySize, FileName(), {}, {},
                     indexFile_.IndexName(indexFile_.CurrentIndex()));
  cursor_.SetRange(startKey, endKey);
  PlaceInRange();
}

void TDataFile::CancelRange() {
  if (!cursor_.RangeActive()) return;
  cursor_.CancelRange();
  PlaceInRange();
}

void TDataFile::PlaceInRange() {
  TReadScope scope(*this);
  // The current record stays current when the range holds it; otherwise
  // the cursor moves on to the next record of the range.
  const std::uint32_t number = current_ != nullptr ? current_->Number() : 0;
  if (current_ != nullptr) cursor_.SetOnKey(KeyOf(current_->Bytes()), number);
  for (;;) {
    bool exact = false;
    if (cursor_.Resync(exact) == TMoveResult::Ok) break;
  }
  if (number != 0 && cursor_.Record() != number) SetCurrent(nullptr);
}

TKeyBounds TDataFile::BoundsForComparison(TKeyComparison kind, const void* value,
                                          std::size_t length, std::size_t prefix) {
  const TKeyOrder order(indexFile_, indexFile_.CurrentIndex());
  const TIndexDescriptor& index = indexFile_.CurrentDescriptor();
  const int fieldNo = index.FieldNumbers[0];
  const std::size_t width = order.Layout().Part(0).dataSize + 1u;
  // The constant's part is built as keys are: a record holding it, keyed.
  std::vector<std::uint8_t> scratch = NewRecordBuffer();
  const std::uint8_t nullIndicator = order.KeyOf(scratch)[0];
  std::vector<std::uint8_t> constant;
  if (value != nullptr) {
    SetField(false, fieldNo, scratch, value, length, true);
    const std::vector<std::uint8_t> key = order.KeyOf(scratch);
    constant.assign(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(width));
  }
  // The indicator of a present value: a string's is set by any text.
  std::vector<std::uint8_t> present = NewRecordBuffer();
  const std::uint8_t one[8] = {'1'};
  SetField(false, fieldNo, present, one, 1, true);
  const std::uint8_t valueIndicator = order.KeyOf(present)[0];
  if (!constant.empty() && constant[0] == nullIndicator) constant.clear();  // a blank value
  return ComparisonBounds(order, collation_, kind, constant, nullIndicator, valueIndicator, prefix);
}

std::int32_t TDataFile::CountKeysForComparison(TKeyComparison kind, const void* value,
                                               std::size_t length, std::size_t prefix) {
  if (PhysicalOrder() || indexFile_.KeySize() == 0) return 0;
  const TKeyBounds bounds = BoundsForComparison(kind, value, length, prefix);
  if (bounds.empty) return 0;
  const TKeyOrder order(indexFile_, indexFile_.CurrentIndex());
  TReadScope scope(*this);
  scanner_.BindIndex(indexFile_.CurrentIndex());
  for (;;) {
    std::int32_t count = 0;
    if (scanner_.CountBetween(bounds.start, bounds.end, order.KeySize(), count) == TMoveResult::Ok)
      return count;
  }
}

void TDataFile::MarkKeysForComparison(TKeyComparison kind, const void* value, std::size_t length,
                                      std::size_t prefix, TRecordBitmap& bitmap) {
  if (PhysicalOrder() || indexFile_.KeySize() == 0) return;
  const TKeyBounds bounds = BoundsForComparison(kind, value, length, prefix);
  if (bounds.empty) return;
  MarkKeysInRange(bounds.start, bounds.end, bitmap);
}

void TDataFile::MarkKeysInRange(std::span<const std::uint8_t> start,
                                std::span<const std::uint8_t> end, TRecordBitmap& bitmap) {
  if (PhysicalOrder()) return;
  const std::size_t k = indexFile_.KeySize();
  if (start.size() != k || end.size() != k)
    RaiseEngineError(err::InvalidKeySize, FileName(), {}, {},
                     indexFile_.IndexName(indexFile_.CurrentIndex()));
  TReadScope scope(*this);
  scanner_.BindIndex(indexFile_.CurrentIndex());
  for (;;) {
    TRecordBitmap marked = bitmap;
    if (scanner_.MarkBetween(start, end, k, marked) == TMoveResult::Ok) {
      bitmap = std::move(marked);
      return;
    }
  }
}

}  // namespace quire
