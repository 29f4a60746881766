#include "engine/Record.h"

#include <algorithm>
#include <cstring>

#include "engine/Cipher.h"
#include "engine/DataFileHeader.h"
#include "engine/EngineError.h"
#include "engine/FileBytes.h"

namespace quire {

constexpr std::size_t kNumberAt = 1;

TRecord::TRecord(std::size_t bufferSize) : buffer_(bufferSize, 0) {}

void TRecord::Pin(std::string_view fileName) {
  if (pins_ >= kMaxRecordPins) RaiseEngineError(err::RecordBuffersCorrupt, fileName);
  if (pins_++ == 0 && pinned_ != nullptr) pinned_->push_back(this);
}

void TRecord::Unpinned() {
  if (pinned_ == nullptr) return;
  // Few buffers are pinned at a time: the current record and the ones an
  // operation works on.
  const auto found = std::find(pinned_->begin(), pinned_->end(), this);
  if (found != pinned_->end()) pinned_->erase(found);
}

void TRecord::Clear() {
  std::fill(buffer_.begin(), buffer_.end(), std::uint8_t{0});
  bytes::Put<std::int32_t>(buffer_, kNumberAt, static_cast<std::int32_t>(number_));
  dirty_ = computedValid_ = marked_ = false;
}

void TRecord::Forget() {
  number_ = 0;
  Clear();
  ResetPins();
}

void TRecord::Release() {
  number_ = 0;
  dirty_ = computedValid_ = marked_ = false;
  ResetPins();
}

void TRecord::Load(const std::uint8_t* image, std::size_t recordSize, bool encrypted) {
  std::memcpy(buffer_.data(), image, recordSize);
  if (encrypted) DecipherRun(buffer_.data(), recordSize, kDataCipherSeeds);
  std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(recordSize), buffer_.end(),
            std::uint8_t{0});
  if (!Deleted()) bytes::Put<std::int32_t>(buffer_, kNumberAt, static_cast<std::int32_t>(number_));
  dirty_ = computedValid_ = false;
}

void TRecord::Store(std::uint8_t* image, std::size_t recordSize, bool encrypted) {
  std::memcpy(image, buffer_.data(), recordSize);
  if (encrypted) EncipherRun(image, recordSize, kDataCipherSeeds);
  dirty_ = false;
}

void TRecord::SetDeleted(bool deleted) {
  buffer_[0] = deleted ? 1 : 0;
  dirty_ = true;
}

void TRecord::SetChainLink(std::int32_t next) {
  bytes::Put<std::int32_t>(buffer_, kNumberAt, next);
  dirty_ = true;
}

std::int32_t TRecord::ChainLink() const {
  return bytes::Get<std::int32_t>(buffer_, kNumberAt);
}

void TRecord::SetAutoIncrement(std::int32_t value) {
  bytes::Put<std::int32_t>(buffer_, kAutoIncOffset, value);
  dirty_ = true;
}

std::int32_t TRecord::AutoIncrement() const {
  return bytes::Get<std::int32_t>(buffer_, kAutoIncOffset);
}

void TRecord::SetNumber(std::uint32_t number) {
  number_ = number;
  if (!Deleted()) bytes::Put<std::int32_t>(buffer_, kNumberAt, static_cast<std::int32_t>(number));
}

}  // namespace quire
