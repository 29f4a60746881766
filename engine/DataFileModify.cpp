// TDataFile: changing and deleting the current record.
#include <algorithm>

#include "engine/DataFileScopes.h"
#include "engine/EngineError.h"
#include "engine/FileBytes.h"

namespace quire {

TRecord& TDataFile::CurrentForChange() {
  // The write lock's change check may have dropped the caches: the record is
  // read again by its slot number, and must still be the record the caller
  // had (another program may have deleted it, or reused its slot).
  const std::uint32_t number = CurrentRecordNumber();
  const bool known = current_ != nullptr;
  const std::int32_t autoInc = known ? current_->AutoIncrement() : 0;
  if (number == 0) RaiseEngineError(err::RecordNotFound, FileName());
  for (;;) {
    if (number >= static_cast<std::uint32_t>(header_.NextRecordNumber))
      RaiseEngineError(err::RecordNotFound, FileName());
    const TFetch fetch = FetchRecord(number);
    if (fetch.retry) continue;
    TRecord& record = *fetch.record;
    record.Unpin();  // the current record's own pin is enough, or none
    if (record.Deleted() || (known && record.AutoIncrement() != autoInc))
      RaiseEngineError(err::RecordNotFound, FileName());
    if (current_ != &record) {
      record.Pin(FileName());
      SetCurrent(&record);
    }
    return record;
  }
}

void TDataFile::ModifyRecord(std::span<std::uint8_t> buffer, bool unlock, bool reposition) {
  if (buffer.size() < RecordBufferSize()) RaiseEngineError(err::RecordBuffersCorrupt, FileName());
  TWriteScope scope(*this);
  TRecord& record = CurrentForChange();
  const std::uint32_t number = record.Number();
  scope.LockRecord(number);
  // A record the caller had locked stays locked unless asked otherwise.
  if (!unlock) scope.KeepRecordLock();

  ValidateRecord(buffer);
  bytes::Put<std::int32_t>(buffer, kAutoIncOffset, record.AutoIncrement());

  struct TKeyChange {
    std::uint8_t index;
    std::vector<std::uint8_t> oldKey;
    std::vector<std::uint8_t> newKey;
  };
  std::vector<TKeyChange> changes;
  for (const std::uint8_t index : IndexNumbers()) {
    indexFile_.SelectIndex(index);
    std::vector<std::uint8_t> oldKey = KeyOf(record.Bytes());
    std::vector<std::uint8_t> newKey = KeyOf(buffer);
    if (oldKey == newKey) continue;
    if (!skipDuplicateCheck_) CheckDuplicateKey(newKey);
    changes.push_back({index, std::move(oldKey), std::move(newKey)});
  }

  try {
    if (!changes.empty()) {
      indexPagesPending_ = true;
      cursor_.Invalidate();
    }
    for (const TKeyChange& change : changes) {
      indexFile_.SelectIndex(change.index);
      indexFile_.ReplaceKey(change.oldKey, change.newKey, number);
    }
    StoreBlobs(buffer, number);
    const auto bytes = record.Bytes();
    std::copy(buffer.begin() + kRecordPrefixSize, buffer.begin() + header_.RecordSize,
              bytes.begin() + kRecordPrefixSize);
    record.MarkDirty();
    ComputeFields(record.Bytes());
    record.SetComputedValid(true);
    NoteRecordAdded(number, record.Bytes());
    bufferedChanged_ = true;
    MarkHeaderModified();
    if (WritesThrough()) FlushEverything(!changes.empty());
  } catch (...) {
    ForgetFailedChange(true);
    throw;
  }
  scope.Finish();
  if (reposition || !changes.empty()) PlaceCursorOn(record.Bytes(), number);
}

void TDataFile::DeleteRecord(bool reposition) {
  TWriteScope scope(*this);
  TRecord& record = CurrentForChange();
  const std::uint32_t number = record.Number();
  scope.LockRecord(number);

  const std::vector<std::uint8_t> copy(record.Bytes().begin(), record.Bytes().end());
  const std::int32_t autoInc = record.AutoIncrement();
  const bool primary = indexFile_.HasPrimaryIndex();
  // Where the cursor goes afterwards: the deleted record's place in the
  // current order, which the next record takes.
  const std::vector<std::uint8_t> placeKey =
      PhysicalOrder() ? std::vector<std::uint8_t>{} : KeyOf(copy);
  try {
    indexPagesPending_ = true;
    cursor_.Invalidate();
    for (const std::uint8_t index : IndexNumbers()) {
      indexFile_.SelectIndex(index);
      indexFile_.DeleteKey(KeyOf(copy));
    }
    if (primary) {
      indexFile_.SelectIndex(kSysDeletedIndex);
      indexFile_.ReplaceKey(SysDeletedKey(false, autoInc), SysDeletedKey(true, autoInc), number);
    }
    if (blobFile_.IsOpen()) {
      for (const TFieldDescriptor& field : fields_) {
        if (!field.IsBlob()) continue;
        const std::int32_t reference = bytes::Get<std::int32_t>(copy, field.FieldOffset + 1u);
        if (reference > 0) blobFile_.FreeValue(reference, number);
      }
    }
    // Last deleted, first reused: the chain link names the slot the next
    // insert would have taken, when that is a free one.
    const std::int32_t next = primary ? header_.FreeRecordHead : 0;
    record.SetDeleted(true);
    record.SetChainLink(next);
    header_.FreeRecordHead = static_cast<std::int32_t>(number);
    MarkHeaderModified();
    indexFile_.RecordCountDown();
    if (liveValid_) live_.Set(number, false);
    NoteRecordRemoved(number);
    SetCurrent(nullptr);
    bufferedChanged_ = true;
    if (WritesThrough()) FlushEverything(true);
  } catch (...) {
    ForgetFailedChange(true);
    throw;
  }
  scope.Finish();
  (void)reposition;  // the cursor always stands where the record was
  if (PhysicalOrder()) {
    physicalState_ = TCursorState::OnKey;
    physicalRecord_ = number;
  } else {
    cursor_.SetOnKey(placeKey, number);
  }
}

}  // namespace quire
