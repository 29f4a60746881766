#include "blob/BlobFile.h"

#include "blob/BlobBuffer.h"
#include "blob/BlockCache.h"
#include "engine/Cipher.h"
#include "engine/EngineError.h"
#include "engine/FileBytes.h"
#include "engine/TableName.h"

namespace quire {

TBlobFile::TBlobFile() : values_(std::make_unique<TOpenBlobs>(kMaxOpenBlobs)) {}

TBlobFile::~TBlobFile() = default;

void TBlobFile::SetEncrypted(bool encrypted) {
  if (IsOpen()) RaiseEngineError(err::FileInUse, FileName());
  encrypted_ = encrypted;
}

void TBlobFile::SetBlockSize(std::uint32_t blockSize) {
  if (IsOpen()) RaiseEngineError(err::FileInUse, FileName());
  blockSize_ = blockSize == 0 ? 512 : blockSize;
}

std::string TBlobFile::NormaliseName(std::string_view name) const {
  return NormaliseTableFileName(name, kBlobFileExtension);
}

void TBlobFile::Create() {
  // Refused before anything is created: a block of this size could not say
  // in its 16-bit used-bytes field that its payload is full.
  if (blockSize_ > kMaxBlobBlockSize) RaiseEngineError(err::BlobFieldsOrBlockSize, FileName());
  TFileHandler::Create();
  header_ = TBlobHeader{};
  header_.Modified = 1;
  WriteHeaderImage();
  header_.Modified = 0;
  ResetBlocks();
}

void TBlobFile::Open() {
  TFileHandler::Open();
  try {
    ReadHeader();
    if (header_.Version != kBlobFileVersion) RaiseEngineError(err::WrongVersion, FileName());
    if (blockSize_ > kMaxBlobBlockSize) RaiseEngineError(err::BlobFieldsOrBlockSize, FileName());
    CheckHeader();
    ResetBlocks();
  } catch (...) {
    Close();
    throw;
  }
}

void TBlobFile::CheckHeader() const {
  // Later block reads trust these offsets; a damaged header is refused here
  // rather than sending them outside the file.
  const auto onBoundary = [this](std::uint32_t offset) {
    return offset >= kBlobHeaderSize && (offset - kBlobHeaderSize) % blockSize_ == 0;
  };
  const bool freeHeadValid =
      header_.FreeBlockHead == 0 ||
      (onBoundary(header_.FreeBlockHead) && header_.FreeBlockHead < header_.EndOffset);
  if (!onBoundary(header_.EndOffset) || !freeHeadValid)
    RaiseEngineError(err::BlobBuffersCorrupt, FileName());
}

void TBlobFile::Close() {
  values_->Clear();
  cache_.reset();
  tableLockHeld_ = false;
  bufferedMode_ = false;
  changeInProgress_ = false;
  header_ = TBlobHeader{};
  TFileHandler::Close();
}

void TBlobFile::ResetBlocks() {
  values_->Clear();
  cache_ = std::make_unique<TBlockCache>(*this, blockSize_, encrypted_);
}

void TBlobFile::Empty() {
  if (!Exclusive()) RaiseEngineError(err::MustBeExclusive, FileName());
  if (ReadOnly()) RaiseEngineError(err::AccessDenied, FileName());
  Seek(static_cast<std::int64_t>(kBlobHeaderSize), 0);
  Write(nullptr, 0);  // a write of 0 bytes cuts the file here
  ResetBlocks();
  header_.Version = kBlobFileVersion;
  header_.EndOffset = kBlobHeaderSize;
  header_.FreeBlockHead = 0;
  header_.Modified = 1;
  WriteHeader();
}

void TBlobFile::ReadHeader() {
  TBlobHeaderImage image;
  ReadAt(0, image.data(), image.size());
  if (encrypted_) CipherRun(image, kDataCipherSeeds);
  header_ = TBlobHeader::Decode(image);
  header_.Modified = 0;
  // Every block before the end offset is in the file once its header is:
  // blocks are written first. A file shorter than that is damaged (cut
  // short); it is still read as far as it goes, but new blocks are not
  // placed past its end, where they would open a hole of up to 2 GB.
  cutShort_ = static_cast<std::int64_t>(header_.EndOffset) > Size();
}

void TBlobFile::WriteHeader(bool force) {
  if (!HeaderModified() && !force) return;
  ++header_.ChangeCount;
  WriteHeaderImage();
  header_.Modified = 0;
}

void TBlobFile::WriteHeaderImage() {
  TBlobHeaderImage image = header_.Encode();
  if (encrypted_) CipherRun(image, kDataCipherSeeds);
  WriteAt(0, image.data(), image.size());
}

bool TBlobFile::HeaderChanged() {
  std::array<std::uint8_t, 4> counter;
  ReadAt(0, counter.data(), counter.size());
  // The first 4 bytes are the start of a header run, so they decipher alone.
  if (encrypted_) CipherRun(counter, kDataCipherSeeds);
  if (bytes::Get<std::int32_t>(counter, 0) == header_.ChangeCount) return false;
  ReadHeader();
  return true;
}

bool TBlobFile::CheckForChanges() {
  if (!HeaderChanged()) return false;
  Invalidate();
  return true;
}

}  // namespace quire
