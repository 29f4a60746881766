#include "index/IndexFile.h"

#include <array>
#include <string>

#include "engine/Cipher.h"
#include "engine/EngineError.h"
#include "engine/TableName.h"
#include "index/IndexDefinition.h"

namespace quire {

namespace {

// The descriptor stored for a definition that passed its checks: the
// definition's flags and fields, the computed key size, no pages yet.
TIndexDescriptor StoredDescriptor(const TIndexDefinition& definition, std::string name,
                                  std::uint16_t keySize) {
  TIndexDescriptor d = definition;
  d.Name = std::move(name);
  d.KeySize = keySize;
  d.RootPage = 0;
  d.FreePageHead = 0;
  // Field numbers past the field count are zero in the file.
  for (std::size_t i = d.FieldCount; i < kMaxKeyFields; ++i) d.FieldNumbers[i] = 0;
  return d;
}

}  // namespace

TIndexFile::TIndexFile() = default;

TIndexFile::~TIndexFile() = default;

void TIndexFile::SetEncrypted(bool encrypted) {
  if (IsOpen()) RaiseEngineError(err::FileInUse, FileName());
  encrypted_ = encrypted;
}

std::string TIndexFile::NormaliseName(std::string_view name) const {
  return NormaliseTableFileName(name, kIndexFileExtension);
}

void TIndexFile::Create() {
  TFileHandler::Create();
  header_ = TIndexHeader::NewFile();
  WriteHeaderImage();
  header_.SetModified(false);
  ResetCaches();
  SelectIndex(kPrimaryIndex);
}

void TIndexFile::Open() {
  TFileHandler::Open();
  try {
    ReadHeader();
    if (header_.Version() != kIndexFileVersion) RaiseEngineError(err::WrongVersion, FileName());
    CheckDescriptors();
  } catch (...) {
    Close();
    throw;
  }
  ResetCaches();
  SelectIndex(kPrimaryIndex);
}

void TIndexFile::CheckDescriptors() const {
  // Every later step trusts these numbers to size keys and walk slots; a
  // damaged header must not lead them outside the header or a page.
  const auto corrupt = [this] { RaiseEngineError(err::HeaderCorrupt, FileName()); };
  if (header_.SecondaryCount() > kMaxSecondaryIndexes) corrupt();
  for (std::size_t slot = 0; slot < kIndexSlotCount; ++slot) {
    const bool used = (slot == kPrimaryIndex && !header_.NoPrimary()) ||
                      (slot >= 1 && slot <= header_.SecondaryCount()) || slot == kSysDeletedSlot;
    if (!used) continue;
    const TIndexDescriptor d = header_.Descriptor(slot);
    if (d.KeySize > kMaxKeySize || d.FieldCount > kMaxKeyFields) corrupt();
  }
}

void TIndexFile::Close() {
  header_ = TIndexHeader();
  ResetCaches();
  current_ = kPrimaryIndex;
  currentDescriptor_ = TIndexDescriptor();
  layout_ = TKeyLayout();
  comparer_ = TKeyComparer();
  tree_.SetIndex(comparer_, 0);
  bitmapMode_ = false;
  // Closing the handle releases the lock bytes themselves.
  readLocked_ = writeLocked_ = false;
  readLockByte_ = 0;
  tableLockHeld_ = bufferedMode_ = false;
  TFileHandler::Close();
}

void TIndexFile::Empty() {
  RequireExclusiveOpen();
  // Truncating writes zero bytes at the new end.
  Seek(static_cast<std::int64_t>(kIndexHeaderSize), 0);
  const std::uint8_t none = 0;
  Write(&none, 0);

  header_.SetEndOffset(static_cast<std::uint32_t>(kIndexHeaderSize));
  header_.SetRecordCount(0);
  for (std::size_t slot = 0; slot <= header_.SecondaryCount(); ++slot) {
    header_.SetRootPage(slot, 0);
    header_.SetFreePageHead(slot, 0);
  }
  header_.SetRootPage(kSysDeletedSlot, 0);
  header_.SetFreePageHead(kSysDeletedSlot, 0);
  ResetCaches();
  MarkHeaderModified();
  WriteHeader();
  SelectIndex(current_);
}

void TIndexFile::ReadHeader() {
  TIndexHeader header;
  ReadAt(0, header.Bytes().data(), kIndexHeaderSize);
  if (encrypted_) DecipherRun(header.Bytes().data(), kIndexHeaderSize, kDataCipherSeeds);
  header.SetModified(false);
  header_ = header;
}

void TIndexFile::WriteHeader(bool force) {
  if (!header_.Modified() && !force) return;
  // Unsigned arithmetic: the counter wraps rather than overflowing.
  header_.SetChangeCount(
      static_cast<std::int32_t>(static_cast<std::uint32_t>(header_.ChangeCount()) + 1u));
  WriteHeaderImage();
  header_.SetModified(false);
}

void TIndexFile::WriteHeaderImage() {
  std::array<std::uint8_t, kIndexHeaderSize> image;
  const auto bytes = header_.Bytes();
  std::copy(bytes.begin(), bytes.end(), image.begin());
  if (encrypted_) EncipherRun(image.data(), image.size(), kDataCipherSeeds);
  WriteAt(0, image.data(), image.size());
}

bool TIndexFile::HeaderChanged() {
  std::array<std::uint8_t, 4> counter;
  ReadHead(counter.data(), counter.size());
  // The counter is the first 4 bytes of a header run, so deciphering them
  // alone gives the plain counter.
  if (encrypted_) DecipherRun(counter.data(), counter.size(), kDataCipherSeeds);
  const auto ours = header_.Bytes();
  return !std::equal(counter.begin(), counter.end(), ours.begin());
}

void TIndexFile::RecordCountUp() {
  header_.SetRecordCount(header_.RecordCount() + 1);
  MarkHeaderModified();
}

void TIndexFile::RecordCountDown() {
  header_.SetRecordCount(header_.RecordCount() - 1);
  MarkHeaderModified();
}

void TIndexFile::RequireExclusiveOpen() const {
  if (!IsOpen() || !Exclusive()) RaiseEngineError(err::MustBeExclusive, FileName());
}

void TIndexFile::DefinePrimaryIndex(const TIndexDefinition& definition,
                                    std::span<const TIndexField> fields) {
  RequireExclusiveOpen();
  if (header_.Descriptor(kPrimaryIndex).KeySize != 0) {
    RaiseEngineError(err::PrimaryIndexExists, FileName());
  }
  if (definition.FieldCount > kMaxKeyFields) RaiseEngineError(err::IndexLimits, FileName());

  if (definition.FieldCount == 0) {
    header_.ClearDescriptor(kPrimaryIndex);
    header_.SetNoPrimary(true);
  } else {
    const std::uint16_t keySize =
        CheckIndexKey(definition, false, fields, kPrimaryIndexName, FileName());
    header_.SetDescriptor(kPrimaryIndex, StoredDescriptor(definition, {}, keySize));
    header_.SetNoPrimary(false);
  }
  ResetCache(kPrimaryIndex);
  MarkHeaderModified();
  WriteHeader();
  if (current_ == kPrimaryIndex) SelectIndex(kPrimaryIndex);
}

void TIndexFile::AddSecondaryIndex(const TIndexDefinition& definition,
                                   std::span<const TIndexField> fields) {
  RequireExclusiveOpen();
  const std::size_t count = header_.SecondaryCount();
  if (count >= kMaxSecondaryIndexes || definition.FieldCount > kMaxKeyFields) {
    RaiseEngineError(err::IndexLimits, FileName());
  }
  const std::string name = definition.Name.substr(0, kMaxIndexNameLength);
  if (name.empty()) RaiseEngineError(err::IndexNameMissing, FileName());
  if (!IsIndexNameLetter(static_cast<unsigned char>(name[0]))) {
    RaiseEngineError(err::InvalidIndexName, FileName(), {}, {}, name);
  }
  for (std::size_t slot = 1; slot <= count; ++slot) {
    if (SameIndexName(header_.Descriptor(slot).Name, name)) {
      RaiseEngineError(err::IndexExists, FileName(), {}, {}, name);
    }
  }
  const std::uint16_t keySize = CheckIndexKey(definition, true, fields, name, FileName());

  header_.SetDescriptor(count + 1, StoredDescriptor(definition, name, keySize));
  header_.SetSecondaryCount(static_cast<std::uint8_t>(count + 1));
  ResetCache(count + 1);
  MarkHeaderModified();
  WriteHeader();
}

std::string TIndexFile::IndexName(std::uint8_t number) const {
  if (number == kPrimaryIndex) return kPrimaryIndexName;
  if (number < kIndexSlotCount) return header_.Descriptor(number).Name;
  return std::to_string(number);
}

void TIndexFile::SelectIndex(std::string_view name) {
  const std::size_t count = header_.SecondaryCount();
  if (!name.empty()) {
    for (std::size_t slot = 1; slot <= count; ++slot) {
      if (SameIndexName(header_.Descriptor(slot).Name, name)) {
        SelectIndex(static_cast<std::uint8_t>(slot));
        return;
      }
    }
  }
  SelectIndex(kPrimaryIndex);
}

void TIndexFile::SelectIndex(std::uint8_t number) {
  const bool defined = number == kPrimaryIndex || number == kSysDeletedIndex ||
                       number == kPhysicalOrder ||
                       (number >= 1 && number <= header_.SecondaryCount());
  if (!defined) {
    RaiseEngineError(err::InvalidIndexName, FileName(), {}, {}, std::to_string(number));
  }
  current_ = number;
  currentDescriptor_ = number == kPhysicalOrder ? TIndexDescriptor() : header_.Descriptor(number);
  bitmapMode_ = number == kPhysicalOrder || (number == kPrimaryIndex && header_.NoPrimary());
  layout_ = number == kPhysicalOrder
                ? TKeyLayout()
                : TKeyLayout::For(number, currentDescriptor_, keyFields_, collation_ != nullptr);
  comparer_ = TKeyComparer(layout_, collation_, number == kSysDeletedIndex);
  tree_.SetIndex(comparer_, layout_.KeySize());
}

void TIndexFile::SetKeyFields(std::span<const TKeyField> fields) {
  keyFields_.assign(fields.begin(), fields.end());
  SelectIndex(current_);
}

void TIndexFile::SetCollation(const TKeyCollation* collation) {
  collation_ = collation;
  SelectIndex(current_);
}

void TIndexFile::BuildKey(std::span<const std::uint8_t> record, std::span<std::uint8_t> key) const {
  layout_.Build(record, key);
}

bool TIndexFile::SelectIndexForField(std::uint16_t fieldNo, bool caseInsensitive, bool anyCase,
                                     std::span<const TIndexField> fields) {
  if (header_.NoPrimary()) return false;
  bool isString = false;
  for (const TIndexField& field : fields) {
    if (field.FieldNo == fieldNo) isString = field.FieldType == 1;
  }
  for (std::size_t slot = 0; slot <= header_.SecondaryCount(); ++slot) {
    const TIndexDescriptor d = header_.Descriptor(slot);
    if (d.FieldCount == 0 || d.FieldNumbers[0] != fieldNo) continue;
    if (isString && !anyCase && (d.CaseInsensitive != 0) != caseInsensitive) continue;
    SelectIndex(static_cast<std::uint8_t>(slot));
    return true;
  }
  return false;
}

}  // namespace quire
