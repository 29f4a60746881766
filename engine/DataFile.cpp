#include "engine/DataFile.h"

#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FileBytes.h"
#include "engine/FileSession.h"
#include "engine/TableLocale.h"
#include "engine/TableName.h"
#include "sql/ComputedFields.h"

namespace quire {

TDataFile::TDataFile()
    : locks_(*this, indexFile_), cursor_(indexFile_, [this] { return BeforeIndexRead(); }) {
  locks_.SetChangeCheck([this] { return CheckForChanges(); });
  for (std::size_t i = 0; i < collation_.size(); ++i) collation_[i] = static_cast<std::uint8_t>(i);
}

TDataFile::~TDataFile() {
  // The base destructor would only close the data file itself.
  try {
    if (IsOpen()) Close();
  } catch (...) {
    CloseFiles();
  }
}

std::string TDataFile::NormaliseName(std::string_view name) const {
  return NormaliseTableFileName(name, kDataFileExtension);
}

void TDataFile::ResetState() {
  header_ = TDataFileHeader{};
  fields_.clear();
  logicalFields_.clear();
  locks_.Reset();
  locks_.SetBlobFile(nullptr);
  current_ = nullptr;
  cache_.Clear();
  scratch_.clear();
  scratch_.shrink_to_fit();
  cursor_.Reset();
  live_ = TRecordBitmap();
  liveValid_ = false;
  ResetFilters();
  physicalState_ = TCursorState::BeforeFirst;
  physicalRecord_ = 0;
  indexPagesPending_ = false;
  bufferedMode_ = bufferedChanged_ = false;
  statistics_ = TStatistics{};
}

void TDataFile::Open() {
  ResetState();
  TFileHandler::Open();
  try {
    ReadHeader();
    if (header_.Version != kDataFileVersion) RaiseEngineError(err::WrongVersion, FileName());
    if (header_.LanguageId != 0 && !IsLocaleInstalled(header_.LanguageId, header_.SortId))
      RaiseEngineError(err::LanguageDriver, FileName());
    if (header_.IsEncrypted()) CheckPassword();
    ReadDescriptors();
    BuildLogicalFields();
    OpenCompanionFiles();
    CheckFileLength();
    cache_.Configure(RecordBufferSize());
    PrepareKeys();
  } catch (...) {
    CloseFiles();
    throw;
  }
}

void TDataFile::ReadHeader() {
  THeaderImage image;
  ReadAt(0, image.data(), image.size());
  header_ = DecodeDataFileHeader(image);
  header_.HeaderModified = 0;
}

void TDataFile::CheckPassword() {
  TFileSession& session = CurrentSession();
  // The callback may add a password; a wrong one simply does not match and
  // the callback is asked again until it gives up.
  while (!session.TestPassword(header_.Password)) {
    if (!passwordCallback_ || !passwordCallback_())
      RaiseEngineError(err::PasswordRequired, FileName());
  }
}

void TDataFile::ReadDescriptors() {
  if (header_.FieldCount > kMaxFieldCount) RaiseEngineError(err::HeaderCorrupt, FileName());
  std::vector<std::uint8_t> block(kFieldDescriptorSize * header_.FieldCount);
  ReadAt(static_cast<std::int64_t>(kDataHeaderSize), block.data(), block.size());
  fields_ = DecodeDescriptorBlock(block, header_.IsEncrypted());
  CheckDescriptors();
}

void TDataFile::CheckDescriptors() {
  const auto corrupt = [this] { RaiseEngineError(err::HeaderCorrupt, FileName()); };
  std::size_t running = kRecordPrefixSize;
  std::size_t computedArea = 0;
  int blobs = 0;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    TFieldDescriptor& field = fields_[i];
    if (field.FieldNo != static_cast<int>(i + 1)) corrupt();
    // A size the creation would refuse gives a value size that does not fit
    // the descriptor's byte, and records laid out differently from it.
    if (HasFieldSize(field.FieldType) && field.FieldSize > kMaxFieldSize) corrupt();
    field.DeriveSizes();
    if (field.IsAutoInc()) {
      if (field.FieldOffset != kAutoIncOffset) corrupt();
    } else if (field.IsComputed()) {
      if (field.FieldOffset != 0) corrupt();
    } else {
      if (field.FieldOffset != running) corrupt();
      running += field.DataSize + 1u;
    }
    if (field.IsComputed()) computedArea += field.DataSize + 1u;
    if (field.IsBlob()) ++blobs;
  }
  if (running != header_.RecordSize) corrupt();
  // Record buffers are sized from the header's computed area and filled from
  // the descriptors, and the blob file is opened by the header's blob count:
  // both must agree with the descriptors.
  if (computedArea != header_.ComputedAreaSize || blobs != header_.BlobFieldCount) corrupt();
  // Creation never makes blocks smaller than 64 bytes; a smaller one would
  // leave no room for the block header.
  if (blobs > 0 && header_.EffectiveBlobBlockSize() < kMinBlobBlockSize) corrupt();
  // Slot numbers name places in the file; a chain head outside the slots
  // would send the first insert there.
  if (header_.NextRecordNumber < 1 || header_.FreeRecordHead < 0 ||
      header_.FreeRecordHead >= header_.NextRecordNumber)
    corrupt();
}

void TDataFile::BuildLogicalFields() {
  logicalFields_ = fields_;
  // Computed fields follow the stored record in a record buffer.
  std::size_t offset = header_.RecordSize;
  for (TFieldDescriptor& field : logicalFields_) {
    if (!field.IsComputed() || field.IsAutoInc()) continue;
    field.FieldOffset = static_cast<std::uint16_t>(offset);
    offset += field.DataSize + 1u;
  }
  if (!customEvaluator_) evaluator_ = CompileComputedFields(logicalFields_);
}

void TDataFile::PrepareKeys() {
  std::vector<TKeyField> keyFields;
  keyFields.reserve(logicalFields_.size());
  for (const TFieldDescriptor& field : logicalFields_) {
    keyFields.push_back({static_cast<std::uint16_t>(field.FieldNo), field.FieldType,
                         field.FieldSubType, field.DataSize, field.FieldOffset});
  }
  indexFile_.SetKeyFields(keyFields);
  // Only tables without a locale open, and their keys compare as bytes.
  indexFile_.SetCollation(nullptr);
  indexFile_.SelectIndex(kPrimaryIndex);
  cursor_.Reset();
}

void TDataFile::PrepareCompanion(TFileHandler& file) const {
  file.SetFileName(FileName());
  file.SetExclusive(Exclusive());
  file.SetInMemory(InMemory());
  file.SetWriteThrough(WriteThrough());
}

void TDataFile::OpenCompanionFiles() {
  PrepareCompanion(indexFile_);
  indexFile_.SetReadOnly(ReadOnly());
  indexFile_.SetEncrypted(header_.IsEncrypted());
  indexFile_.Open();
  if (header_.BlobFieldCount > 0) {
    PrepareCompanion(blobFile_);
    blobFile_.SetReadOnly(ReadOnly());
    blobFile_.SetEncrypted(header_.IsEncrypted());
    blobFile_.SetBlockSize(header_.EffectiveBlobBlockSize());
    blobFile_.Open();
    locks_.SetBlobFile(&blobFile_);
  }
}

void TDataFile::CheckFileLength() {
  // Under the read lock no writer is between appending a slot and writing
  // the header, and the change check has brought the header up to date.
  const bool locked = !NoLocking() && locks_.TransientReadLock();
  try {
    // The header was read before the lock; a writer may have appended since.
    if (locked) HeaderChangedOnDisk();
    const std::int64_t length = Size();
    const std::int64_t dataStart = header_.DataStart();
    const std::int64_t recordBytes = length - dataStart;
    // A file that ends at its descriptors must have no slots either; a
    // header that claims slots the file lacks is as damaged as a short slot.
    if (recordBytes < 0 || recordBytes % header_.RecordSize != 0 ||
        recordBytes / header_.RecordSize + 1 != header_.NextRecordNumber)
      RaiseEngineError(err::HeaderCorrupt, FileName());
  } catch (...) {
    if (locked) locks_.TransientReadUnlock();
    throw;
  }
  if (locked) locks_.TransientReadUnlock();
}

bool TDataFile::HeaderChangedOnDisk() {
  std::array<std::uint8_t, 4> counter;
  ReadHead(counter.data(), counter.size());
  if (bytes::Get<std::int32_t>(counter, 0) == header_.ChangeCount) return false;
  const TDataFileHeader before = header_;
  ReadHeader();
  // Other programs change counters, never the layout of an open table.
  if (header_.RecordSize != before.RecordSize || header_.FieldCount != before.FieldCount ||
      header_.Version != kDataFileVersion || header_.NextRecordNumber < 1 ||
      header_.FreeRecordHead < 0 || header_.FreeRecordHead >= header_.NextRecordNumber)
    RaiseEngineError(err::HeaderCorrupt, FileName());
  return true;
}

void TDataFile::Close() {
  if (!IsOpen()) return;
  const bool deleteFiles = deleteOnClose_;
  try {
    if (locks_.TableLocked() && bufferedMode_) {
      DiscardBufferedChanges();
    } else {
      if (current_ != nullptr) current_->Unpin();
      current_ = nullptr;
      cache_.UnpinAll();
      if (Exclusive() && !ReadOnly()) {
        WriteBackRecords();
        WriteHeader();
        cache_.Trim();
        indexFile_.Flush();
        indexFile_.WriteHeader();
        if (blobFile_.IsOpen()) {
          blobFile_.FlushBlocks();
          blobFile_.WriteHeader();
        }
      }
    }
  } catch (...) {
    locks_.ReleaseAll();
    CloseFiles();
    throw;
  }
  locks_.ReleaseAll();
  CloseFiles();
  if (deleteFiles) DeleteTableFiles();
}

void TDataFile::DeleteTableFiles() noexcept {
  for (TFileHandler* file :
       {static_cast<TFileHandler*>(this), static_cast<TFileHandler*>(&indexFile_),
        static_cast<TFileHandler*>(&blobFile_)}) {
    try {
      if (file->Exists()) file->Delete();
    } catch (...) {
      // A temporary table that cannot be removed is left behind.
    }
  }
}

void TDataFile::CloseFiles() noexcept {
  for (TFileHandler* file :
       {static_cast<TFileHandler*>(&blobFile_), static_cast<TFileHandler*>(&indexFile_)}) {
    try {
      if (file->IsOpen()) file->Close();
    } catch (...) {
      // Closing never fails in a way the caller could mend; go on closing.
    }
  }
  try {
    TFileHandler::Close();
  } catch (...) {
  }
  ResetState();
}

void TDataFile::WriteHeader(bool force) {
  if (header_.HeaderModified == 0 && !force) return;
  ++header_.ChangeCount;
  WriteRawHeader();
}

void TDataFile::WriteRawHeader() {
  header_.LastUpdated = LastUpdatedNow();
  const THeaderImage image = EncodeDataFileHeader(header_);
  WriteAt(0, image.data(), image.size());
  header_.HeaderModified = 0;
}

void TDataFile::EmptyTable() {
  if (!Exclusive()) RaiseEngineError(err::MustBeExclusive, FileName());
  if (ReadOnly()) RaiseEngineError(err::AccessDenied, FileName());
  if (current_ != nullptr) current_->Unpin();
  current_ = nullptr;
  cache_.Clear();
  cursor_.Reset();
  liveValid_ = false;
  DropBitmaps();
  physicalState_ = TCursorState::BeforeFirst;
  Seek(header_.DataStart(), 0);
  Write(nullptr, 0);  // a write of 0 bytes cuts the file here
  header_.ChangeCount = 0;
  header_.FreeRecordHead = 0;
  header_.NextRecordNumber = 1;
  header_.LastAutoIncValue = 0;
  // Written as a new table's header is: the counter starts again at 0.
  header_.HeaderModified = 1;
  WriteRawHeader();
  indexFile_.Empty();
  if (blobFile_.IsOpen()) blobFile_.Empty();
}

std::string TDataFile::StoredPassword() const {
  return header_.IsEncrypted() ? header_.Password : std::string();
}

}  // namespace quire
