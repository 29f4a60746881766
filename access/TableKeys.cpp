// The table's key buffers: key searches and ranges over the active index.

#include <span>

#include "access/Table.h"
#include "engine/DatabaseError.h"

namespace quire {

void TQuireTable::InitKeyBuffer(TKeyBuffer& buffer) {
  buffer.Record = engine_->NewRecordBuffer();
  engine_->InitRecord(buffer.Record);
  buffer.Modified = false;
  buffer.FieldCount = 0;
  buffer.Written = 0;
}

void TQuireTable::ClearKeyBuffers() {
  keys_.resize(kiSave + 1);
  for (TKeyBuffer& buffer : keys_) InitKeyBuffer(buffer);
}

int TQuireTable::IndexFieldCount() const {
  if (!engine_) return 0;
  return engine_->IndexFile().CurrentDescriptor().FieldCount;
}

TField& TQuireTable::IndexFields(int index) const {
  if (index < 0 || index >= IndexFieldCount()) RaiseDatabaseError("Field index out of range");
  const int number = engine_->IndexFile().CurrentDescriptor().FieldNumbers[index];
  for (const auto& field : Fields())
    if (field->FieldNo() == number) return *field;
  RaiseDatabaseError("Cannot access index field '%s'", engine_->FieldAt(true, number).FieldName);
}

void TQuireTable::KeyFieldChanging(const TField& field) {
  for (int i = 0; i < IndexFieldCount(); ++i) {
    if (engine_->IndexFile().CurrentDescriptor().FieldNumbers[i] != field.FieldNo()) continue;
    keys_[keyIndex_].Written |= 1u << i;
    keys_[keyIndex_].Modified = true;
    return;
  }
  RaiseDatabaseError("Field '%s' is not indexed and cannot be modified", field.FieldName());
}

void TQuireTable::BeginKeyWork(TKeyIndex index, bool clear) {
  CheckBrowseMode();
  keys_[kiSave] = keys_[index];
  if (clear) InitKeyBuffer(keys_[index]);
  keyIndex_ = index;
  BeginOverride(TDataSetState::SetKey, keys_[index].Record);
  Notify(TDataEvent::DataSetChange);
}

void TQuireTable::PostKey() {}

void TQuireTable::CancelKey() {
  keys_[keyIndex_] = keys_[kiSave];
}

void TQuireTable::SetKey() {
  BeginKeyWork(kiLookup, true);
}
void TQuireTable::EditKey() {
  BeginKeyWork(kiLookup, false);
}
void TQuireTable::SetRangeStart() {
  BeginKeyWork(kiRangeStart, true);
}
void TQuireTable::SetRangeEnd() {
  BeginKeyWork(kiRangeEnd, true);
}
void TQuireTable::EditRangeStart() {
  BeginKeyWork(kiRangeStart, false);
}
void TQuireTable::EditRangeEnd() {
  BeginKeyWork(kiRangeEnd, false);
}

int TQuireTable::KeyFieldCount() const {
  if (State() != TDataSetState::SetKey) RaiseDatabaseError("Dataset not in edit or insert mode");
  return keys_[keyIndex_].FieldCount;
}

void TQuireTable::SetKeyFieldCount(int count) {
  if (State() != TDataSetState::SetKey) RaiseDatabaseError("Dataset not in edit or insert mode");
  if (count < 0 || count > IndexFieldCount()) RaiseDatabaseError("Field index out of range");
  keys_[keyIndex_].FieldCount = count;
}

int TQuireTable::UsedKeyFields(const TKeyBuffer& buffer) const {
  if (buffer.FieldCount > 0) return buffer.FieldCount;
  int used = 0;
  for (int i = 0; i < IndexFieldCount(); ++i)
    if ((buffer.Written & (1u << i)) != 0) used = i + 1;
  return used;  // 0: every field of the index
}

void TQuireTable::SetKeyValues(const std::vector<TValue>& values) {
  if (static_cast<int>(values.size()) > IndexFieldCount())
    RaiseDatabaseError("Field index out of range");
  for (std::size_t i = 0; i < values.size(); ++i)
    IndexFields(static_cast<int>(i)).SetValue(values[i]);
  keys_[keyIndex_].FieldCount = static_cast<int>(values.size());
}

bool TQuireTable::GotoKey() {
  CheckBrowseMode();
  const TKeyBuffer& key = keys_[kiLookup];
  const std::uint32_t shown = engine_->CurrentRecordNumber();
  std::vector<std::uint8_t> found = engine_->NewRecordBuffer();
  if (engine_->FindNearest(key.Record, static_cast<std::size_t>(UsedKeyFields(key)), found)) {
    CursorMoved();
    return true;
  }
  // Not there: the record shown stays current.
  if (shown != 0) engine_->GoToRecord(shown);
  return false;
}

void TQuireTable::GotoNearest() {
  CheckBrowseMode();
  const TKeyBuffer& key = keys_[kiLookup];
  std::vector<std::uint8_t> found = engine_->NewRecordBuffer();
  engine_->FindNearest(key.Record, static_cast<std::size_t>(UsedKeyFields(key)), found);
  if (engine_->CurrentRecordNumber() == 0) {
    Last();  // every key is before the one asked for
  } else {
    CursorMoved();
  }
}

bool TQuireTable::FindKey(const std::vector<TValue>& values) {
  CheckActive();
  SetKey();
  try {
    SetKeyValues(values);
  } catch (...) {
    Cancel();
    throw;
  }
  return GotoKey();
}

void TQuireTable::FindNearest(const std::vector<TValue>& values) {
  CheckActive();
  SetKey();
  try {
    SetKeyValues(values);
  } catch (...) {
    Cancel();
    throw;
  }
  GotoNearest();
}

void TQuireTable::SetEngineRange(const TKeyBuffer& start, const TKeyBuffer& end) {
  const auto bound = [](const TKeyBuffer& buffer) {
    return buffer.Modified ? std::span<const std::uint8_t>(buffer.Record)
                           : std::span<const std::uint8_t>();
  };
  engine_->SetRange(bound(start), static_cast<std::size_t>(UsedKeyFields(start)), bound(end),
                    static_cast<std::size_t>(UsedKeyFields(end)));
}

void TQuireTable::RangeLost() {
  SetEngineRange(keys_[kiCurRangeStart], keys_[kiCurRangeEnd]);
}

void TQuireTable::ApplyRangeIfChanged(bool moveFirst) {
  const TKeyBuffer& start = keys_[kiRangeStart];
  const TKeyBuffer& end = keys_[kiRangeEnd];
  if (engine_->RangeActive() && start == keys_[kiCurRangeStart] && end == keys_[kiCurRangeEnd])
    return;
  SetEngineRange(start, end);
  keys_[kiCurRangeStart] = start;
  keys_[kiCurRangeEnd] = end;
  if (moveFirst) First();
}

void TQuireTable::ApplyRange() {
  CheckBrowseMode();
  ApplyRangeIfChanged(true);
}

void TQuireTable::CancelRange() {
  CheckBrowseMode();
  if (engine_->RangeActive()) engine_->CancelRange();
  for (const TKeyIndex index : {kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd})
    InitKeyBuffer(keys_[index]);
  if (engine_->CurrentRecordNumber() == 0) {
    First();
  } else {
    CursorMoved();
  }
}

void TQuireTable::SetRange(const std::vector<TValue>& start, const std::vector<TValue>& end) {
  CheckActive();
  SetRangeStart();
  try {
    SetKeyValues(start);
    Post();
    SetRangeEnd();
    SetKeyValues(end);
  } catch (...) {
    Cancel();
    throw;
  }
  ApplyRange();
}

}  // namespace quire
