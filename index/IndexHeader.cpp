#include "index/IndexHeader.h"

#include <algorithm>
#include <cassert>

#include "index/LittleEndian.h"

namespace quire {

namespace {
constexpr std::size_t kChangeCountAt = 0;
constexpr std::size_t kVersionAt = 8;
constexpr std::size_t kEndOffsetAt = 9;
constexpr std::size_t kSlotsAt = 14;
constexpr std::size_t kRecordCountAt = 3974;
constexpr std::size_t kRootPageInSlot = 86;
constexpr std::size_t kFreePageHeadInSlot = 90;
}  // namespace

TIndexHeader TIndexHeader::NewFile() {
  TIndexHeader header;
  header.image_[kVersionAt] = kIndexFileVersion;
  header.SetEndOffset(static_cast<std::uint32_t>(kIndexHeaderSize));
  TIndexDescriptor sysDeleted;
  sysDeleted.Name = kSysDeletedName;
  sysDeleted.KeySize = kSysDeletedKeySize;
  header.SetDescriptor(kSysDeletedSlot, sysDeleted);
  header.SetModified(true);
  return header;
}

std::int32_t TIndexHeader::ChangeCount() const {
  return static_cast<std::int32_t>(le::Load32(&image_[kChangeCountAt]));
}

void TIndexHeader::SetChangeCount(std::int32_t value) {
  le::Store32(&image_[kChangeCountAt], static_cast<std::uint32_t>(value));
}

std::uint32_t TIndexHeader::EndOffset() const {
  return le::Load32(&image_[kEndOffsetAt]);
}

void TIndexHeader::SetEndOffset(std::uint32_t offset) {
  le::Store32(&image_[kEndOffsetAt], offset);
}

std::int32_t TIndexHeader::RecordCount() const {
  return static_cast<std::int32_t>(le::Load32(&image_[kRecordCountAt]));
}

void TIndexHeader::SetRecordCount(std::int32_t count) {
  le::Store32(&image_[kRecordCountAt], static_cast<std::uint32_t>(count));
}

TIndexDescriptor TIndexHeader::Descriptor(std::size_t slot) const {
  return TIndexDescriptor::Decode(Slot(slot));
}

void TIndexHeader::SetDescriptor(std::size_t slot, const TIndexDescriptor& descriptor) {
  descriptor.EncodeTo(Slot(slot));
}

void TIndexHeader::ClearDescriptor(std::size_t slot) {
  auto bytes = Slot(slot);
  std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
}

std::uint32_t TIndexHeader::RootPage(std::size_t slot) const {
  return le::Load32(Slot(slot).data() + kRootPageInSlot);
}

void TIndexHeader::SetRootPage(std::size_t slot, std::uint32_t offset) {
  le::Store32(Slot(slot).data() + kRootPageInSlot, offset);
}

std::uint32_t TIndexHeader::FreePageHead(std::size_t slot) const {
  return le::Load32(Slot(slot).data() + kFreePageHeadInSlot);
}

void TIndexHeader::SetFreePageHead(std::size_t slot, std::uint32_t offset) {
  le::Store32(Slot(slot).data() + kFreePageHeadInSlot, offset);
}

std::span<std::uint8_t, kIndexDescriptorSize> TIndexHeader::Slot(std::size_t slot) {
  assert(slot < kIndexSlotCount);
  return std::span<std::uint8_t, kIndexDescriptorSize>(
      image_.data() + kSlotsAt + slot * kIndexDescriptorSize, kIndexDescriptorSize);
}

std::span<const std::uint8_t, kIndexDescriptorSize> TIndexHeader::Slot(std::size_t slot) const {
  assert(slot < kIndexSlotCount);
  return std::span<const std::uint8_t, kIndexDescriptorSize>(
      image_.data() + kSlotsAt + slot * kIndexDescriptorSize, kIndexDescriptorSize);
}

}  // namespace quire
