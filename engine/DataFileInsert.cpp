// TDataFile: inserting a record. The order matters: every check that can
// refuse the record (locks, validity, duplicate keys) runs before anything
// changes, so that a refused record leaves the files exactly as they were.
#include <algorithm>
#include <limits>

#include "engine/DataFileScopes.h"
#include "engine/EngineError.h"
#include "engine/FileBytes.h"
#include "index/KeyLayout.h"

namespace quire {
namespace {

// The auto-increment value after `last`: from the largest value the count
// starts again at 1.
std::int32_t NextAutoIncrement(std::int32_t last) {
  return last == std::numeric_limits<std::int32_t>::max() ? 1 : last + 1;
}

}  // namespace

std::vector<std::uint8_t> TDataFile::IndexNumbers() const {
  std::vector<std::uint8_t> numbers;
  if (indexFile_.HasPrimaryIndex()) numbers.push_back(kPrimaryIndex);
  for (std::size_t slot = 1; slot <= indexFile_.SecondaryIndexCount(); ++slot)
    numbers.push_back(static_cast<std::uint8_t>(slot));
  return numbers;
}

std::vector<std::uint8_t> TDataFile::SysDeletedKey(bool deleted, std::int32_t autoInc) const {
  std::vector<std::uint8_t> key(5, 0);
  key[0] = deleted ? 1 : 0;
  PutKeyInt32(key.data() + 1, autoInc);
  return key;
}

void TDataFile::CheckDuplicateKey(std::span<const std::uint8_t> key) {
  try {
    indexFile_.CheckDuplicate(key);
  } catch (const EQuireEngineError& error) {
    // The index file names itself; users are told about the table's data
    // file, as every other record error does.
    if (error.Code() != err::DuplicateKey) throw;
    RaiseEngineError(err::DuplicateKey, FileName(), {}, {},
                     indexFile_.IndexName(indexFile_.CurrentIndex()));
  }
}

void TDataFile::StoreBlobs(std::span<std::uint8_t> buffer, std::uint32_t number) {
  if (!blobFile_.IsOpen() || blobFile_.OpenValueCount() == 0) return;
  blobFile_.SetOwner(number);
  const std::vector<TBlobReference> references = blobFile_.WriteModifiedValues();
  for (const TBlobReference& reference : references) {
    const TFieldDescriptor& field = FieldAt(true, reference.field);
    bytes::Put<std::int32_t>(buffer, field.FieldOffset + 1u, reference.firstBlock);
    buffer[field.FieldOffset] = reference.firstBlock != 0 ? 1 : 0;
  }
  blobFile_.CloseAllValues();
}

void TDataFile::InsertRecord(std::span<std::uint8_t> buffer, bool reposition) {
  if (buffer.size() < RecordBufferSize()) RaiseEngineError(err::RecordBuffersCorrupt, FileName());
  TWriteScope scope(*this);

  // The slot: the most recently freed one when the table has a primary
  // index (whose "Sys Deleted" order finds live records), else a new one.
  const bool reuse = header_.FreeRecordHead != 0 && indexFile_.HasPrimaryIndex();
  const auto slot =
      static_cast<std::uint32_t>(reuse ? header_.FreeRecordHead : header_.NextRecordNumber);
  scope.LockRecord(slot);

  ValidateRecord(buffer);
  const std::int32_t autoInc = NextAutoIncrement(header_.LastAutoIncValue);
  bytes::Put<std::int32_t>(buffer, kAutoIncOffset, autoInc);
  // Blob handles are not part of any key, so keys can be built now.

  const std::vector<std::uint8_t> indexes = IndexNumbers();
  std::vector<std::vector<std::uint8_t>> keys;
  for (const std::uint8_t index : indexes) {
    indexFile_.SelectIndex(index);
    keys.push_back(KeyOf(buffer));
    if (!skipDuplicateCheck_) CheckDuplicateKey(keys.back());
  }
  // The slot to reuse must really be free before anything changes.
  TRecord* record = nullptr;
  std::int32_t oldAutoInc = 0;
  if (reuse) {
    for (;;) {
      const TFetch fetch = FetchRecord(slot);
      if (!fetch.retry) {
        record = fetch.record;
        break;
      }
    }
    if (!record->Deleted()) {
      record->Unpin();
      RaiseEngineError(err::HeaderCorrupt, FileName());
    }
    oldAutoInc = record->AutoIncrement();
  }

  // From here on the table changes.
  const TDataFileHeader before = header_;
  try {
    indexPagesPending_ = true;
    cursor_.Invalidate();
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      indexFile_.SelectIndex(indexes[i]);
      indexFile_.InsertKey(keys[i], slot);
    }
    if (indexFile_.HasPrimaryIndex()) {
      indexFile_.SelectIndex(kSysDeletedIndex);
      if (reuse) {
        indexFile_.ReplaceKey(SysDeletedKey(true, oldAutoInc), SysDeletedKey(false, autoInc), slot);
      } else {
        indexFile_.InsertKey(SysDeletedKey(false, autoInc), slot);
      }
    }
    if (reuse) {
      header_.FreeRecordHead = record->ChainLink();
    } else {
      record = &AppendSlot(slot);
    }
    record->Clear();
    header_.LastAutoIncValue = autoInc;
    MarkHeaderModified();
    StoreBlobs(buffer, slot);
    const auto bytes = record->Bytes();
    std::copy(buffer.begin() + kRecordPrefixSize, buffer.begin() + header_.RecordSize,
              bytes.begin() + kRecordPrefixSize);
    record->SetAutoIncrement(autoInc);
    record->MarkDirty();
    ComputeFields(record->Bytes());
    record->SetComputedValid(true);
    indexFile_.RecordCountUp();
    if (liveValid_) {
      live_.Resize(static_cast<std::uint32_t>(SlotCount()));
      live_.Set(slot, true);
    }
    NoteRecordAdded(slot, record->Bytes());
    cache_.UnpinAll();
    record->Pin(FileName());
    current_ = record;
    bufferedChanged_ = true;
    if (WritesThrough()) FlushEverything(false);
  } catch (...) {
    // The header's counters go back; a shared table forgets what it
    // changed in memory, the files still holding the table as it was.
    header_.NextRecordNumber = before.NextRecordNumber;
    header_.FreeRecordHead = before.FreeRecordHead;
    header_.LastAutoIncValue = before.LastAutoIncValue;
    ForgetFailedChange(false);
    throw;
  }
  scope.Finish();
  if (reposition) {
    PlaceCursorOn(record->Bytes(), slot);
  } else {
    cursor_.Invalidate();
  }
}

}  // namespace quire
