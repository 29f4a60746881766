#include "blob/Block.h"

#include <algorithm>
#include <array>

#include "engine/Cipher.h"
#include "engine/FileBytes.h"

namespace quire {
namespace {
constexpr std::size_t kPreviousAt = 0;
constexpr std::size_t kNextAt = 4;
constexpr std::size_t kUsedBytesAt = 8;
constexpr std::size_t kOwnerAt = 10;
constexpr std::size_t kValueLengthAt = 14;
}  // namespace

TBlock::TBlock(std::uint32_t blockSize) : payload_(blockSize - kBlockHeaderSize) {}

void TBlock::Load(std::span<const std::uint8_t> image, bool encrypted) {
  std::array<std::uint8_t, kBlockHeaderSize> header;
  std::copy_n(image.begin(), kBlockHeaderSize, header.begin());
  std::copy_n(image.begin() + kBlockHeaderSize, payload_.size(), payload_.begin());
  if (encrypted) {
    // Header and payload are separate runs: each starts the keystream afresh.
    CipherRun(header, kDataCipherSeeds);
    CipherRun(payload_, kDataCipherSeeds);
  }
  Previous = bytes::Get<std::uint32_t>(header, kPreviousAt);
  Next = bytes::Get<std::uint32_t>(header, kNextAt);
  UsedBytes = bytes::Get<std::uint16_t>(header, kUsedBytesAt);
  Owner = bytes::Get<std::uint32_t>(header, kOwnerAt);
  ValueLength = bytes::Get<std::int32_t>(header, kValueLengthAt);
  modified_ = false;
}

void TBlock::Store(std::span<std::uint8_t> image, bool encrypted) const {
  const auto header = image.first(kBlockHeaderSize);
  const auto payload = image.subspan(kBlockHeaderSize, payload_.size());
  bytes::Put<std::uint32_t>(header, kPreviousAt, Previous);
  bytes::Put<std::uint32_t>(header, kNextAt, Next);
  bytes::Put<std::uint16_t>(header, kUsedBytesAt, UsedBytes);
  bytes::Put<std::uint32_t>(header, kOwnerAt, Owner);
  bytes::Put<std::int32_t>(header, kValueLengthAt, ValueLength);
  std::copy(payload_.begin(), payload_.end(), payload.begin());
  if (encrypted) {
    CipherRun(header, kDataCipherSeeds);
    CipherRun(payload, kDataCipherSeeds);
  }
}

void TBlock::Clear() {
  Previous = 0;
  Next = 0;
  UsedBytes = 0;
  Owner = 0;
  ValueLength = 0;
  std::fill(payload_.begin(), payload_.end(), std::uint8_t{0});
}

bool TBlock::CopyIn(std::size_t at, std::span<const std::uint8_t> bytes) {
  if (at > payload_.size() || bytes.size() > payload_.size() - at) return false;
  std::copy(bytes.begin(), bytes.end(), payload_.begin() + static_cast<std::ptrdiff_t>(at));
  return true;
}

bool TBlock::CopyOut(std::size_t at, std::span<std::uint8_t> bytes) const {
  if (at > payload_.size() || bytes.size() > payload_.size() - at) return false;
  std::copy_n(payload_.begin() + static_cast<std::ptrdiff_t>(at), bytes.size(), bytes.begin());
  return true;
}

bool TBlock::Pin() {
  if (pins_ >= kMaxBlockPins) return false;
  ++pins_;
  return true;
}

}  // namespace quire
