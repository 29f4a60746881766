#include "index/IndexDescriptor.h"

#include <algorithm>
#include <cstring>

#include "engine/FileBytes.h"
#include "index/LittleEndian.h"

namespace quire {

namespace {
constexpr std::size_t kNameAt = 0;
constexpr std::size_t kKeySizeAt = 31;
constexpr std::size_t kDescendingAt = 33;
constexpr std::size_t kCaseInsensitiveAt = 34;
constexpr std::size_t kUniqueAt = 35;
constexpr std::size_t kCompressionAt = 36;
constexpr std::size_t kFieldCountAt = 37;
constexpr std::size_t kFieldDescendingAt = 38;
constexpr std::size_t kFieldNumbersAt = 54;
constexpr std::size_t kRootPageAt = 86;
constexpr std::size_t kFreePageHeadAt = 90;
}  // namespace

void TIndexDescriptor::EncodeTo(std::span<std::uint8_t, kIndexDescriptorSize> out) const {
  std::uint8_t* p = out.data();
  std::memset(p, 0, kIndexDescriptorSize);
  bytes::PutShortString(out, kNameAt, kMaxIndexNameLength, Name);
  le::Store16(p + kKeySizeAt, KeySize);
  p[kDescendingAt] = Descending;
  p[kCaseInsensitiveAt] = CaseInsensitive;
  p[kUniqueAt] = Unique;
  p[kCompressionAt] = Compression;
  p[kFieldCountAt] = FieldCount;
  std::copy(FieldDescending.begin(), FieldDescending.end(), p + kFieldDescendingAt);
  for (std::size_t i = 0; i < kMaxKeyFields; ++i) {
    le::Store16(p + kFieldNumbersAt + 2 * i, FieldNumbers[i]);
  }
  le::Store32(p + kRootPageAt, RootPage);
  le::Store32(p + kFreePageHeadAt, FreePageHead);
}

TIndexDescriptor TIndexDescriptor::Decode(std::span<const std::uint8_t, kIndexDescriptorSize> in) {
  const std::uint8_t* p = in.data();
  TIndexDescriptor d;
  d.Name = bytes::GetShortString(in, kNameAt, kMaxIndexNameLength);
  d.KeySize = le::Load16(p + kKeySizeAt);
  d.Descending = p[kDescendingAt];
  d.CaseInsensitive = p[kCaseInsensitiveAt];
  d.Unique = p[kUniqueAt];
  d.Compression = p[kCompressionAt];
  d.FieldCount = p[kFieldCountAt];
  std::copy_n(p + kFieldDescendingAt, kMaxKeyFields, d.FieldDescending.begin());
  for (std::size_t i = 0; i < kMaxKeyFields; ++i) {
    d.FieldNumbers[i] = le::Load16(p + kFieldNumbersAt + 2 * i);
  }
  d.RootPage = le::Load32(p + kRootPageAt);
  d.FreePageHead = le::Load32(p + kFreePageHeadAt);
  return d;
}

}  // namespace quire
