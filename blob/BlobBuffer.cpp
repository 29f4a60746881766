#include "blob/BlobBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "engine/EngineError.h"

namespace quire {

TBlobBuffer::TBlobBuffer(std::uint32_t record, std::uint16_t field, std::uint32_t firstBlock,
                         std::vector<std::uint8_t> bytes)
    : record_(record), field_(field), firstBlock_(firstBlock), bytes_(std::move(bytes)) {}

TErrorCode TBlobBuffer::Read(std::uint32_t offset, std::uint32_t count, void* destination,
                             std::uint32_t& copied) const {
  // 64-bit sums: offset + count may pass 2^32.
  const std::uint64_t end = std::uint64_t{offset} + count;
  const std::uint64_t available = offset < bytes_.size() ? bytes_.size() - offset : 0;
  copied = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, available));
  if (copied > 0) std::memcpy(destination, bytes_.data() + offset, copied);
  return end > bytes_.size() ? err::EndOfBlob : TErrorCode{0};
}

TErrorCode TBlobBuffer::Write(std::uint32_t offset, std::uint32_t count, const void* source,
                              std::uint32_t maxLength) {
  const std::uint64_t end = std::uint64_t{offset} + count;
  if (end > maxLength) return err::InvalidBlobLength;
  if (end > bytes_.size()) Resize(static_cast<std::size_t>(end));
  if (count > 0) std::memcpy(bytes_.data() + offset, source, count);
  modified_ = true;
  return 0;
}

TErrorCode TBlobBuffer::Truncate(std::uint32_t length, std::uint32_t maxLength) {
  if (length > maxLength) return err::InvalidBlobLength;
  Resize(length);
  modified_ = true;
  return 0;
}

void TBlobBuffer::Resize(std::size_t length) {
  try {
    bytes_.resize(length);
  } catch (const std::bad_alloc&) {
    RaiseEngineError(err::OutOfMemory);
  }
}

std::int32_t TOpenBlobs::Add(std::unique_ptr<TBlobBuffer> value) {
  // At most `limit_` handles are in use, so a free one is found quickly.
  do {
    lastHandle_ = lastHandle_ == std::numeric_limits<std::int32_t>::max() ? 1 : lastHandle_ + 1;
  } while (values_.count(lastHandle_) != 0);
  values_.emplace(lastHandle_, std::move(value));
  return lastHandle_;
}

TBlobBuffer* TOpenBlobs::Find(std::int32_t handle) const {
  const auto found = values_.find(handle);
  return found == values_.end() ? nullptr : found->second.get();
}

bool TOpenBlobs::Remove(std::int32_t handle) {
  return values_.erase(handle) != 0;
}

}  // namespace quire
