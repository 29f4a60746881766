// TBlobFile: open values, and what a post or a delete of their record does
// with them.
#include <algorithm>
#include <new>
#include <unordered_set>

#include "blob/BlobBuffer.h"
#include "blob/BlobFile.h"
#include "blob/BlockCache.h"
#include "engine/EngineError.h"

namespace quire {

namespace {
// What a stored value reserves before its blocks are read; larger values grow
// as their chain is read.
constexpr std::size_t kInitialValueReserve = 1 << 20;
}  // namespace

void TBlobFile::RequireOpenFile() const {
  if (!IsOpen()) RaiseEngineError(err::InvalidHandle, FileName());
}

TBlobBuffer* TBlobFile::FindValue(TBlobHandle handle) const {
  return values_->Find(handle);
}

TErrorCode TBlobFile::OpenValue(std::int32_t firstBlock, std::uint16_t field, std::uint32_t record,
                                TBlobHandle& handle) {
  RequireOpenFile();
  if (firstBlock < 0) return err::InvalidBlobOffset;
  if (values_->Full()) return err::TooManyBlobsOpen;
  auto bytes = ReadStoredValue(static_cast<std::uint32_t>(firstBlock), record);
  handle = values_->Add(std::make_unique<TBlobBuffer>(
      record, field, static_cast<std::uint32_t>(firstBlock), std::move(bytes)));
  return 0;
}

TErrorCode TBlobFile::CloseValue(TBlobHandle handle, std::int32_t& firstBlock) {
  const TBlobBuffer* value = FindValue(handle);
  if (value == nullptr) return err::InvalidBlobHandle;
  firstBlock = static_cast<std::int32_t>(value->FirstBlock());
  values_->Remove(handle);
  return 0;
}

TErrorCode TBlobFile::ReadValue(TBlobHandle handle, std::uint32_t offset, std::uint32_t count,
                                void* destination, std::uint32_t& copied) const {
  copied = 0;
  const TBlobBuffer* value = FindValue(handle);
  if (value == nullptr) return err::InvalidBlobHandle;
  return value->Read(offset, count, destination, copied);
}

TErrorCode TBlobFile::WriteValue(TBlobHandle handle, std::uint32_t offset, std::uint32_t count,
                                 const void* source) {
  TBlobBuffer* value = FindValue(handle);
  if (value == nullptr) return err::InvalidBlobHandle;
  return value->Write(offset, count, source, kMaxBlobLength);
}

TErrorCode TBlobFile::TruncateValue(TBlobHandle handle, std::uint32_t length) {
  TBlobBuffer* value = FindValue(handle);
  if (value == nullptr) return err::InvalidBlobHandle;
  return value->Truncate(length, kMaxBlobLength);
}

TErrorCode TBlobFile::ValueSize(TBlobHandle handle, std::uint32_t& size) const {
  const TBlobBuffer* value = FindValue(handle);
  if (value == nullptr) return err::InvalidBlobHandle;
  size = value->Size();
  return 0;
}

bool TBlobFile::IsValueOpen(TBlobHandle handle) const {
  return FindValue(handle) != nullptr;
}

std::size_t TBlobFile::OpenValueCount() const {
  return values_->Count();
}

std::vector<std::uint8_t> TBlobFile::ReadStoredValue(std::uint32_t firstBlock,
                                                     std::uint32_t record) {
  std::vector<std::uint8_t> bytes;
  if (firstBlock == 0) return bytes;
  // Each failed try saw another user's change and dropped the cache; the
  // next one reads the new state from its first block.
  while (!TryReadStoredValue(firstBlock, record, bytes)) {
  }
  return bytes;
}

bool TBlobFile::TryReadStoredValue(std::uint32_t firstBlock, std::uint32_t record,
                                   std::vector<std::uint8_t>& bytes) {
  const std::uint32_t payload = PayloadSize();
  const TBlock* block = FetchBlock(firstBlock, 1);
  if (block == nullptr) return false;
  if (block->Owner != record) RaiseCorrupt();
  // A length no chain of this file could hold is damage.
  const std::int32_t length = block->ValueLength;
  if (length < 0 || static_cast<std::uint64_t>(length) > BlockCount() * payload) RaiseCorrupt();
  // The header's end offset can claim far more blocks than the file holds, so
  // the stored length alone must not decide how much memory we take: the
  // bytes grow with the blocks actually read, and a chain that runs out
  // first ends in 8711 below.
  const auto total = static_cast<std::size_t>(length);
  bytes.clear();
  try {
    bytes.reserve(std::min<std::size_t>(total, kInitialValueReserve));
  } catch (const std::bad_alloc&) {
    RaiseEngineError(err::OutOfMemory);
  }

  std::unordered_set<std::uint32_t> seen{firstBlock};
  std::size_t copied = 0;
  for (;;) {
    if (block->Owner != record) RaiseCorrupt();
    if (block->UsedBytes > payload) RaiseEngineError(err::InvalidBlobLength, FileName());
    const std::size_t wanted = std::min<std::size_t>(payload, total - copied);
    const std::size_t count = std::min<std::size_t>(wanted, block->UsedBytes);
    bytes.resize(copied + count);
    block->CopyOut(0, std::span(bytes).subspan(copied, count));
    copied += count;
    if (count < wanted || copied == total) break;
    const std::uint32_t next = block->Next;
    if (next == 0) break;
    if (!seen.insert(next).second) RaiseCorrupt();  // FetchBlock judges the offset
    const auto ahead = static_cast<std::uint32_t>((total - copied + payload - 1) / payload);
    block = FetchBlock(next, ahead);
    if (block == nullptr) return false;
  }
  if (copied != total) RaiseEngineError(err::EndOfBlob, FileName());
  return true;
}

void TBlobFile::SetOwner(std::uint32_t record) {
  values_->ForEach([record](TBlobBuffer& value) { value.SetRecord(record); });
}

std::vector<TBlobReference> TBlobFile::WriteModifiedValues() {
  std::vector<TBlobBuffer*> modified;
  values_->ForEach([&modified](TBlobBuffer& value) {
    if (value.Modified()) modified.push_back(&value);
  });
  if (!modified.empty()) {
    // One post stores one record's values; anything else is a caller that
    // lost track of its buffers.
    for (const TBlobBuffer* value : modified) {
      if (value->Record() != modified.front()->Record()) RaiseCorrupt();
    }
    RunChange([&] {
      // Every old chain is walked before any is rewritten: a damaged one, or
      // two values sharing blocks, stops the post with nothing changed.
      std::vector<std::vector<std::uint32_t>> oldChains;
      std::unordered_set<std::uint32_t> inUse;
      for (const TBlobBuffer* value : modified) {
        oldChains.push_back(value->FirstBlock() == 0
                                ? std::vector<std::uint32_t>{}
                                : WalkChain(value->FirstBlock(), value->Record()));
        for (std::uint32_t offset : oldChains.back()) {
          if (!inUse.insert(offset).second) RaiseCorrupt();
        }
      }
      for (std::size_t i = 0; i < modified.size(); ++i) StoreValue(*modified[i], oldChains[i]);
    });
  }
  return OpenValueReferences();
}

std::vector<TBlobReference> TBlobFile::OpenValueReferences() const {
  std::vector<TBlobReference> references;
  values_->ForEach([&references](const TBlobBuffer& value) {
    references.push_back({value.Field(), static_cast<std::int32_t>(value.FirstBlock())});
  });
  return references;
}

void TBlobFile::CloseAllValues() {
  values_->Clear();
}

}  // namespace quire
