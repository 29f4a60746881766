// TDataFile: the current order and the current record — index selection,
// moves in index order (through the cursor) and in physical order (through
// the live-records bitmap), positioning by ordinal, record number and key.
#include <algorithm>
#include <cstring>

#include "engine/Cipher.h"
#include "engine/DataFileScopes.h"
#include "engine/EngineError.h"

namespace quire {

bool TDataFile::PhysicalOrder() const {
  const std::uint8_t index = indexFile_.CurrentIndex();
  return index == kPhysicalOrder || (index == kPrimaryIndex && !indexFile_.HasPrimaryIndex());
}

void TDataFile::EnsureLiveRecords() {
  if (liveValid_ && live_.Slots() == static_cast<std::uint32_t>(SlotCount())) return;
  EnsureFresh();
  // Read from the slots themselves: a table without a primary index keeps no
  // other record of which slots are deleted, and deleted records must stay
  // hidden after the table is opened again.
  const auto slots = static_cast<std::uint32_t>(SlotCount());
  const std::size_t size = header_.RecordSize;
  live_.Resize(slots);
  live_.Clear();
  const std::uint32_t perRead =
      std::max<std::uint32_t>(1, 65536 / static_cast<std::uint32_t>(size));
  for (std::uint32_t first = 1; first <= slots; first += perRead) {
    const std::uint32_t count = std::min(perRead, slots - first + 1);
    scratch_.resize(std::size_t{count} * size);
    const std::size_t got = ReadAt(header_.RecordOffset(static_cast<std::int32_t>(first)),
                                   scratch_.data(), scratch_.size(), true);
    ++statistics_.ReadCalls;
    for (std::uint32_t i = 0; i < count; ++i) {
      bool deleted = true;
      if (const TRecord* cached = cache_.Peek(first + i)) {
        deleted = cached->Deleted();
      } else if ((std::size_t{i} + 1) * size <= got) {
        // The deleted flag is the first byte of a record's cipher run.
        std::uint8_t flag = scratch_[std::size_t{i} * size];
        if (header_.IsEncrypted()) DecipherRun(&flag, 1, kDataCipherSeeds);
        deleted = flag != 0;
      }
      live_.Set(first + i, !deleted);
    }
  }
  liveValid_ = true;
}

void TDataFile::SetCurrent(TRecord* record) {
  // The fetch pinned the new record; that pin is the current record's.
  if (current_ != nullptr) current_->Unpin();
  current_ = record;
}

TErrorCode TDataFile::LoadCurrent(TRecord& record, std::span<std::uint8_t> buffer) {
  SetCurrent(&record);
  const auto bytes = record.Bytes();
  std::copy_n(bytes.begin(), std::min(bytes.size(), buffer.size()), buffer.begin());
  return 0;
}

TErrorCode TDataFile::Edge(TCursorState state, std::span<std::uint8_t> buffer) {
  SetCurrent(nullptr);
  if (!buffer.empty()) InitRecord(buffer);
  return state == TCursorState::AfterLast ? err::EndOfFile : err::BeginningOfFile;
}

std::uint32_t TDataFile::CursorRecord() const {
  if (PhysicalOrder()) return physicalState_ == TCursorState::OnKey ? physicalRecord_ : 0;
  return cursor_.Record();
}

std::uint32_t TDataFile::CurrentRecordNumber() const {
  return current_ != nullptr ? current_->Number() : CursorRecord();
}

std::vector<std::uint8_t> TDataFile::KeyOf(std::span<const std::uint8_t> record) const {
  std::vector<std::uint8_t> key(indexFile_.KeySize(), 0);
  indexFile_.BuildKey(record, key);
  return key;
}

std::size_t TDataFile::KeyLength(std::size_t fieldCount) const {
  const TIndexDescriptor& index = indexFile_.CurrentDescriptor();
  const std::uint8_t number = indexFile_.CurrentIndex();
  const bool suffix = number >= 1 && number <= kMaxSecondaryIndexes && index.Unique == 0;
  if (fieldCount == 0 || fieldCount >= index.FieldCount)
    return indexFile_.KeySize() - (suffix ? 4u : 0u);
  std::size_t length = 0;
  for (std::size_t i = 0; i < fieldCount; ++i)
    length += FieldAt(true, index.FieldNumbers[i]).DataSize + 1u;
  return length;
}

void TDataFile::PlaceCursorOn(std::span<const std::uint8_t> record, std::uint32_t number) {
  if (PhysicalOrder()) {
    physicalState_ = TCursorState::OnKey;
    physicalRecord_ = number;
  } else {
    cursor_.SetOnKey(KeyOf(record), number);
  }
}

void TDataFile::SelectIndex(std::string_view name) {
  if (name.empty()) return SelectIndex(kPrimaryIndex);
  for (std::size_t slot = 1; slot <= indexFile_.SecondaryIndexCount(); ++slot) {
    const auto number = static_cast<std::uint8_t>(slot);
    const std::string stored = indexFile_.IndexName(number);
    if (stored.size() == name.size() &&
        std::equal(stored.begin(), stored.end(), name.begin(), [](char a, char b) {
          const auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
          return up(a) == up(b);
        }))
      return SelectIndex(number);
  }
  RaiseEngineError(err::InvalidIndexName, FileName(), {}, {}, name);
}

void TDataFile::SelectIndex(std::uint8_t number) {
  indexFile_.SelectIndex(number);
  cursor_.Reset();
  physicalState_ = TCursorState::BeforeFirst;
  // The current record stays current, now at its place in the new order.
  if (current_ != nullptr) PlaceCursorOn(current_->Bytes(), current_->Number());
}

void TDataFile::First() {
  SetCurrent(nullptr);
  cursor_.SetBeforeFirst();
  physicalState_ = TCursorState::BeforeFirst;
}

void TDataFile::Last() {
  SetCurrent(nullptr);
  cursor_.SetAfterLast();
  physicalState_ = TCursorState::AfterLast;
}

TErrorCode TDataFile::GetCurrentRecord(std::span<std::uint8_t> buffer, bool lock) {
  TReadScope scope(*this);
  for (;;) {
    TCursorState state = physicalState_;
    std::uint32_t number = physicalRecord_;
    if (!PhysicalOrder()) {
      bool exact = false;
      if (cursor_.Resync(exact) == TMoveResult::Restart) continue;
      state = cursor_.State();
      number = cursor_.Record();
    }
    if (state != TCursorState::OnKey) return Edge(state, buffer);
    if (lock) {
      LockRecord(number);
      // Locking checks for others' changes; the record may have moved on.
      if (CursorRecord() != number || (!PhysicalOrder() && !cursor_.Synced())) {
        bool exact = false;
        if (!PhysicalOrder() && cursor_.Resync(exact) == TMoveResult::Ok && exact) {
          // Still the same record.
        } else {
          locks_.RecordUnlock(number);
          continue;
        }
      }
    }
    const TFetch fetch = FetchRecord(number);
    if (fetch.retry) continue;
    if (fetch.record->Deleted() && PhysicalOrder()) {
      // Deleted since the walk stood on it: its successor takes its place.
      fetch.record->Unpin();
      physicalRecord_ = PhysicalRecords().NextSet(number);
      if (physicalRecord_ == 0) physicalState_ = TCursorState::AfterLast;
      continue;
    }
    return LoadCurrent(*fetch.record, buffer);
  }
}

TErrorCode TDataFile::GetNextRecord(std::span<std::uint8_t> buffer) {
  return Step(true, buffer);
}

TErrorCode TDataFile::GetPriorRecord(std::span<std::uint8_t> buffer) {
  return Step(false, buffer);
}

TErrorCode TDataFile::Step(bool forward, std::span<std::uint8_t> buffer) {
  TReadScope scope(*this);
  const TTravel travel = forward ? TTravel::Forward : TTravel::Backward;
  for (;;) {
    if (PhysicalOrder()) {
      const TRecordBitmap& visible = PhysicalRecords();
      std::uint32_t target = 0;
      if (forward && physicalState_ != TCursorState::AfterLast)
        target = visible.NextSet(physicalState_ == TCursorState::OnKey ? physicalRecord_ : 0);
      if (!forward && physicalState_ != TCursorState::BeforeFirst)
        target = visible.PriorSet(physicalState_ == TCursorState::OnKey ? physicalRecord_ : 0);
      if (target == 0) {
        physicalState_ = forward ? TCursorState::AfterLast : TCursorState::BeforeFirst;
        return Edge(physicalState_, buffer);
      }
      const TFetch fetch = FetchRecord(target, travel);
      if (fetch.retry) continue;
      physicalState_ = TCursorState::OnKey;
      physicalRecord_ = target;
      return LoadCurrent(*fetch.record, buffer);
    }
    const TIndexCursor::TSaved saved = cursor_.Save();
    if ((forward ? cursor_.Next() : cursor_.Prior()) == TMoveResult::Restart) continue;
    if (cursor_.State() != TCursorState::OnKey) return Edge(cursor_.State(), buffer);
    const std::size_t run = cursor_.ContiguousRun(forward, ReadAheadLimit());
    const TFetch fetch = FetchRecord(cursor_.Record(), travel, run);
    if (fetch.retry) {
      cursor_.Restore(saved);
      continue;
    }
    return LoadCurrent(*fetch.record, buffer);
  }
}

void TDataFile::GoToPosition(std::int32_t position) {
  TReadScope scope(*this);
  for (;;) {
    std::uint32_t number = 0;
    if (PhysicalOrder()) {
      number = position < 1 ? 0 : PhysicalRecords().NthSet(position);
      physicalState_ = position < 1  ? TCursorState::BeforeFirst
                       : number == 0 ? TCursorState::AfterLast
                                     : TCursorState::OnKey;
      physicalRecord_ = number;
    } else {
      if (cursor_.JumpTo(position) == TMoveResult::Restart) continue;
      number = cursor_.Record();
    }
    if (number == 0) {
      SetCurrent(nullptr);
      return;
    }
    const TFetch fetch = FetchRecord(number);
    if (fetch.retry) continue;
    SetCurrent(fetch.record);
    return;
  }
}

bool TDataFile::GoToRecord(std::uint32_t recordNumber) {
  TReadScope scope(*this);
  for (;;) {
    if (recordNumber == 0 || recordNumber >= static_cast<std::uint32_t>(header_.NextRecordNumber))
      return false;
    const TFetch fetch = FetchRecord(recordNumber);
    if (fetch.retry) continue;
    if (fetch.record->Deleted()) {
      fetch.record->Unpin();
      return false;
    }
    SetCurrent(fetch.record);
    PlaceCursorOn(fetch.record->Bytes(), recordNumber);
    return true;
  }
}

bool TDataFile::FindKey(std::span<const std::uint8_t> record, std::span<std::uint8_t> out) {
  if (PhysicalOrder()) return false;
  TReadScope scope(*this);
  const std::vector<std::uint8_t> key = KeyOf(record);
  for (;;) {
    const TIndexCursor::TSaved saved = cursor_.Save();
    bool found = false;
    if (cursor_.Seek(key, KeyLength(0), found) == TMoveResult::Restart) continue;
    if (!found) {
      cursor_.Restore(saved);
      return false;
    }
    const TFetch fetch = FetchRecord(cursor_.Record());
    if (fetch.retry) {
      cursor_.Restore(saved);
      continue;
    }
    LoadCurrent(*fetch.record, out);
    return true;
  }
}

bool TDataFile::FindNearest(std::span<const std::uint8_t> record, std::size_t fieldCount,
                            std::span<std::uint8_t> out) {
  if (PhysicalOrder()) return false;
  TReadScope scope(*this);
  const std::vector<std::uint8_t> key = KeyOf(record);
  for (;;) {
    bool found = false;
    if (cursor_.Seek(key, KeyLength(fieldCount), found) == TMoveResult::Restart) continue;
    if (cursor_.State() != TCursorState::OnKey) {
      Edge(cursor_.State(), out);
      return false;
    }
    const TFetch fetch = FetchRecord(cursor_.Record());
    if (fetch.retry) continue;
    LoadCurrent(*fetch.record, out);
    return found;
  }
}

bool TDataFile::SameKey(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                        std::size_t fieldCount) {
  if (PhysicalOrder()) return false;
  const auto ka = KeyOf(a);
  const auto kb = KeyOf(b);
  return indexFile_.CompareKeys(ka.data(), kb.data(), KeyLength(fieldCount)) == 0;
}

std::int32_t TDataFile::RecordCount() {
  TReadScope scope(*this);
  if (PhysicalOrder()) return PhysicalRecords().Count();
  // The records of the range, or the visible ones while a filter is active.
  for (;;) {
    std::int32_t count = 0;
    if (cursor_.VisibleCount(count) == TMoveResult::Ok) return count;
  }
}

std::int32_t TDataFile::CurrentPosition() {
  TReadScope scope(*this);
  if (PhysicalOrder()) {
    if (physicalState_ != TCursorState::OnKey) return 0;
    return PhysicalRecords().RankOf(physicalRecord_);
  }
  for (;;) {
    bool exact = false;
    if (cursor_.Resync(exact) == TMoveResult::Ok) return cursor_.Position();
  }
}

}  // namespace quire
