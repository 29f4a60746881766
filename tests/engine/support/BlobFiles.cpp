#include "support/BlobFiles.h"

#include <gtest/gtest.h>

#include <span>

#include "blob/Block.h"
#include "engine/Cipher.h"
#include "support/TableRequests.h"

namespace quire::testing {

Bytes Pattern(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

BlobFileFixture::BlobFileFixture(std::uint32_t blockSize, bool encrypted)
    : blockSize_(blockSize), encrypted_(encrypted) {
  file_.SetFileName(dir_.Path("t"));
  file_.SetExclusive(true);
  file_.SetBlockSize(blockSize);
  file_.SetEncrypted(encrypted);
  file_.Create();
}

std::int32_t BlobFileFixture::Post(std::uint32_t record, std::int32_t firstBlock,
                                   const Bytes& bytes, std::uint16_t field) {
  TBlobHandle handle = 0;
  EXPECT_EQ(file_.OpenValue(firstBlock, field, record, handle), 0);
  EXPECT_EQ(file_.TruncateValue(handle, 0), 0);
  EXPECT_EQ(file_.WriteValue(handle, 0, static_cast<std::uint32_t>(bytes.size()), bytes.data()), 0);
  file_.SetOwner(record);
  const auto references = file_.WriteModifiedValues();
  file_.FlushBlocks();
  file_.WriteHeader();
  file_.CloseAllValues();
  EXPECT_EQ(references.size(), 1u);
  return references.empty() ? -1 : references.front().firstBlock;
}

Bytes BlobFileFixture::Read(std::uint32_t record, std::int32_t firstBlock) {
  TBlobHandle handle = 0;
  EXPECT_EQ(file_.OpenValue(firstBlock, 1, record, handle), 0);
  std::uint32_t size = 0;
  EXPECT_EQ(file_.ValueSize(handle, size), 0);
  Bytes bytes(size);
  std::uint32_t copied = 0;
  EXPECT_EQ(file_.ReadValue(handle, 0, size, bytes.data(), copied), 0);
  EXPECT_EQ(copied, size);
  std::int32_t reference = 0;
  EXPECT_EQ(file_.CloseValue(handle, reference), 0);
  EXPECT_EQ(reference, firstBlock);
  return bytes;
}

void BlobFileFixture::Reopen(bool exclusive) {
  file_.Close();
  file_.SetExclusive(exclusive);
  file_.Open();
}

void BlobFileFixture::OpenOther(TBlobFile& other) const {
  other.SetFileName(Path());
  other.SetBlockSize(blockSize_);
  other.SetEncrypted(encrypted_);
  other.Open();
}

std::string BlobFileFixture::FileBytes() const {
  return ScratchDir::ReadFile(Path());
}

RawBlock BlobFileFixture::Block(std::uint32_t offset) const {
  const std::string bytes = FileBytes();
  Bytes header(bytes.begin() + offset, bytes.begin() + offset + kBlockHeaderSize);
  RawBlock block;
  block.payload.assign(bytes.begin() + offset + kBlockHeaderSize,
                       bytes.begin() + offset + blockSize_);
  if (encrypted_) {
    CipherRun(header, kDataCipherSeeds);
    CipherRun(block.payload, kDataCipherSeeds);
  }
  const std::string text(header.begin(), header.end());
  block.previous = static_cast<std::uint32_t>(LeAt(text, 0, 4));
  block.next = static_cast<std::uint32_t>(LeAt(text, 4, 4));
  block.usedBytes = static_cast<std::uint16_t>(LeAt(text, 8, 2));
  block.owner = static_cast<std::uint32_t>(LeAt(text, 10, 4));
  block.valueLength = static_cast<std::int32_t>(LeAt(text, 14, 4));
  return block;
}

void BlobFileFixture::PatchBlockField(std::uint32_t offset, std::size_t at, std::uint32_t value,
                                      std::size_t size) {
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) {
    auto byte = static_cast<std::uint8_t>(value >> (8 * i));
    if (encrypted_) byte ^= Keystream(kDataCipherSeeds.first, kDataCipherSeeds.second, at + i);
    bytes.push_back(static_cast<char>(byte));
  }
  PatchFile(Path(), offset + at, bytes);
}

TBlobCheck BlobFileFixture::Verify(const std::vector<TStoredBlob>& values) {
  TBlobVerifier verifier(file_);
  return verifier.Verify(std::span<const TStoredBlob>(values));
}

}  // namespace quire::testing
