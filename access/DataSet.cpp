#include "access/DataSet.h"

#include <algorithm>

#include "access/DataSetFilter.h"
#include "access/DataSource.h"
#include "access/FieldDefs.h"
#include "engine/BlankText.h"
#include "engine/DatabaseError.h"
#include "engine/EngineError.h"
#include "engine/FieldTypes.h"

namespace quire {
namespace {

constexpr TErrorCode kBeforeFirst = 8705;
constexpr TErrorCode kAfterLast = 8706;

// 0, or the two codes that only say where the cursor stands.
void CheckRead(TErrorCode code) {
  if (code != 0 && code != kBeforeFirst && code != kAfterLast) RaiseCode(code);
}

}  // namespace

TQuireDataSet::TQuireDataSet() = default;

// Subclasses close in their own destructors.
TQuireDataSet::~TQuireDataSet() {
  const std::vector<TDataSource*> sources = sources_;
  for (TDataSource* source : sources) source->DataSetGone();
}

void TQuireDataSet::CheckActive() const {
  if (!Active()) RaiseDatabaseError("Cannot perform this operation on a closed dataset");
}

void TQuireDataSet::Open() {
  if (Active()) return;
  Run(BeforeOpen);
  table_ = &OpenCursor();
  try {
    buffer_ = table_->NewRecordBuffer();
    BuildFields();
    state_ = TDataSetState::Browse;
    PrepareCursor();
    SetUpFilters();
    First();
  } catch (...) {
    state_ = TDataSetState::Inactive;
    filters_.reset();
    ReleaseFields();
    table_ = nullptr;
    CloseCursor();
    throw;
  }
  Notify(TDataEvent::ActiveChange);
  Run(AfterOpen);
}

void TQuireDataSet::Close() {
  if (!Active()) return;
  Run(BeforeClose);
  if (state_ != TDataSetState::Browse) Cancel();
  state_ = TDataSetState::Inactive;
  filters_.reset();  // they live on the engine table
  ReleaseFields();
  buffer_.clear();
  table_ = nullptr;
  CloseCursor();
  eof_ = bof_ = true;
  Notify(TDataEvent::ActiveChange);
  Run(AfterClose);
}

TField& TQuireDataSet::DeclareField(std::string_view name, TFieldType type, int size) {
  if (Active()) RaiseDatabaseError("Cannot perform this operation on an open dataset");
  fields_.push_back(std::make_unique<TField>(*this, std::string(name), type, size));
  return *fields_.back();
}

void TQuireDataSet::BuildFields() {
  const std::vector<TFieldDescriptor>& descriptors = table_->LogicalFields();
  // The definitions name the fields (a repeated name gets "_" and a
  // counter) and leave out the types the dataset does not present.
  const std::vector<TFieldDef> defs = FieldDefsOf(*table_);
  const bool declared = std::any_of(fields_.begin(), fields_.end(),
                                    [](const auto& field) { return field->Declared(); });
  if (!declared) {
    fields_.clear();
    for (const TFieldDef& def : defs)
      fields_.push_back(
          std::make_unique<TField>(*this, def.FieldNo, descriptors[def.FieldNo - 1], def.Name));
    return;
  }
  for (const auto& field : fields_) {
    const auto def = std::find_if(defs.begin(), defs.end(), [&field](const TFieldDef& candidate) {
      return EqualsIgnoringAsciiCase(candidate.Name, field->FieldName());
    });
    if (def == defs.end()) RaiseDatabaseError("Field '" + field->FieldName() + "' not found");
    if (def->DataType != field->FieldType())
      RaiseDatabaseError("Type mismatch for field '" + field->FieldName() +
                         "', expecting: " + std::string(FieldTypeName(field->FieldType())) +
                         " actual: " + std::string(FieldTypeName(def->DataType)));
    if (def->Size != field->Size())
      RaiseDatabaseError("Size mismatch for field '" + field->FieldName() + "', expecting: " +
                         std::to_string(field->Size()) + " actual: " + std::to_string(def->Size));
    field->Bind(def->FieldNo, descriptors[def->FieldNo - 1]);
  }
}

void TQuireDataSet::ReleaseFields() {
  std::erase_if(fields_, [](const auto& field) { return !field->Declared(); });
  for (const auto& field : fields_) field->Unbind();
}

TField* TQuireDataSet::FindField(std::string_view name) const {
  for (const auto& field : fields_)
    if (EqualsIgnoringAsciiCase(field->FieldName(), name)) return field.get();
  return nullptr;
}

TField& TQuireDataSet::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (field == nullptr) RaiseDatabaseError("Field '" + std::string(name) + "' not found");
  return *field;
}

void TQuireDataSet::ReadCurrent() {
  const TErrorCode code = table_->GetCurrentRecord(buffer_);
  CheckRead(code);
}

void TQuireDataSet::First() {
  CheckActive();
  if (state_ != TDataSetState::Browse) Cancel();
  Run(BeforeScroll);
  table_->First();
  const TErrorCode code = table_->GetNextRecord(buffer_);
  CheckRead(code);
  bof_ = true;
  eof_ = code != 0;
  Notify(TDataEvent::DataSetChange);
  Run(AfterScroll);
}

void TQuireDataSet::Last() {
  CheckActive();
  if (state_ != TDataSetState::Browse) Cancel();
  Run(BeforeScroll);
  table_->Last();
  const TErrorCode code = table_->GetPriorRecord(buffer_);
  CheckRead(code);
  eof_ = true;
  bof_ = code != 0;
  Notify(TDataEvent::DataSetChange);
  Run(AfterScroll);
}

void TQuireDataSet::Next() {
  CheckActive();
  CheckBrowseMode();
  Run(BeforeScroll);
  std::vector<std::uint8_t> next(buffer_.size());
  const TErrorCode code = table_->GetNextRecord(next);
  CheckRead(code);
  bof_ = false;
  if (code != 0) {
    // The last record stays current: the engine steps back onto it, so that
    // edit and delete work on the record the buffer shows.
    eof_ = true;
    CheckRead(table_->GetPriorRecord(next));
    return;
  }
  buffer_ = std::move(next);
  eof_ = false;
  Notify(TDataEvent::DataSetChange);
  Run(AfterScroll);
}

void TQuireDataSet::Prior() {
  CheckActive();
  CheckBrowseMode();
  Run(BeforeScroll);
  std::vector<std::uint8_t> prior(buffer_.size());
  const TErrorCode code = table_->GetPriorRecord(prior);
  CheckRead(code);
  eof_ = false;
  if (code != 0) {
    bof_ = true;  // the first record stays current, as Next keeps the last
    CheckRead(table_->GetNextRecord(prior));
    return;
  }
  buffer_ = std::move(prior);
  bof_ = false;
  Notify(TDataEvent::DataSetChange);
  Run(AfterScroll);
}

std::int32_t TQuireDataSet::RecordCount() {
  CheckActive();
  return table_->RecordCount();
}

std::uint32_t TQuireDataSet::Bookmark() const {
  return table_ != nullptr ? table_->CurrentRecordNumber() : 0;
}

void TQuireDataSet::GotoBookmark(std::uint32_t bookmark) {
  CheckActive();
  CheckBrowseMode();
  Run(BeforeScroll);
  if (!table_->GoToRecord(bookmark)) RaiseDatabaseError("Record not found");
  ReadCurrent();
  eof_ = bof_ = false;
  Notify(TDataEvent::DataSetChange);
  Run(AfterScroll);
}

int TQuireDataSet::CompareBookmarks(std::uint32_t a, std::uint32_t b) {
  if (a == 0 || b == 0) return a == b ? 0 : (a == 0 ? 1 : -1);
  if (a == b) return 0;
  CheckActive();
  // The engine tells places by moving: the current record is made current
  // again afterwards.
  const std::uint32_t current = table_->CurrentRecordNumber();
  const auto placeOf = [this](std::uint32_t bookmark) {
    return table_->GoToRecord(bookmark) ? table_->CurrentPosition() : 0;
  };
  const std::int32_t placeA = placeOf(a);
  const std::int32_t placeB = placeOf(b);
  if (current != 0) table_->GoToRecord(current);
  if (placeA == 0 || placeB == 0 || placeA == placeB) return 0;
  return placeA < placeB ? -1 : 1;
}

std::int32_t TQuireDataSet::RecNo() {
  CheckActive();
  if (state_ == TDataSetState::Insert || (eof_ && bof_)) return -1;
  const std::int32_t position = table_->CurrentPosition();
  return position > 0 ? position : -1;
}

void TQuireDataSet::SetRecNo(std::int32_t position) {
  CheckActive();
  CheckBrowseMode();
  Run(BeforeScroll);
  table_->GoToPosition(position);
  CursorMoved();
}

void TQuireDataSet::Refresh() {
  CheckActive();
  ReadCurrent();
  Notify(TDataEvent::DataSetChange);
}

void TQuireDataSet::Append() {
  CheckActive();
  CheckBrowseMode();
  if (!CanModify()) RaiseDatabaseError("Cannot modify a read-only dataset");
  Run(BeforeInsert);
  table_->InitRecord(buffer_);
  state_ = TDataSetState::Insert;
  InitNewRecord();
  Run(OnNewRecord);
  Notify(TDataEvent::RecordChange);
  Run(AfterInsert);
}

void TQuireDataSet::Edit() {
  CheckActive();
  if (state_ == TDataSetState::Edit || state_ == TDataSetState::Insert) return;
  CheckBrowseMode();
  if (!CanModify()) RaiseDatabaseError("Cannot modify a read-only dataset");
  Run(BeforeEdit);
  const bool locked = RunChecked(OnEditError, [this] {
    const TErrorCode code = table_->GetCurrentRecord(buffer_, /*lock=*/true);
    if (code != 0) RaiseCode(code);
  });
  if (!locked) return;
  state_ = TDataSetState::Edit;
  Notify(TDataEvent::RecordChange);
  Run(AfterEdit);
}

void TQuireDataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ == TDataSetState::SetKey || state_ == TDataSetState::Edit ||
      state_ == TDataSetState::Insert)
    Post();
}

void TQuireDataSet::Post() {
  CheckActive();
  if (state_ == TDataSetState::SetKey) {
    PostKey();
    EndOverride(TDataSetState::Browse);
    return;
  }
  if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
  Run(BeforePost);
  // On failure the engine has changed nothing: state and buffer stay.
  const bool posted = RunChecked(OnPostError, [this] {
    if (state_ == TDataSetState::Insert) {
      table_->InsertRecord(buffer_, /*reposition=*/true);
    } else {
      table_->ModifyRecord(buffer_, /*unlock=*/true, /*reposition=*/true);
    }
  });
  if (!posted) return;
  openBlobs_.clear();  // stored with the record
  state_ = TDataSetState::Browse;
  ReadCurrent();
  eof_ = bof_ = false;
  Notify(TDataEvent::DataSetChange);
  Run(AfterPost);
}

bool TQuireDataSet::RunChecked(const TDataSetErrorEvent& event, const std::function<void()>& step) {
  for (;;) {
    TDataAction action = TDataAction::Fail;
    try {
      step();
      return true;
    } catch (const EDatabaseError& error) {
      if (!event) throw;
      event(*this, error, action);
      if (action == TDataAction::Fail) throw;
    } catch (const EQuireEngineError& error) {
      if (!event) throw;
      event(*this, error, action);
      if (action == TDataAction::Fail) throw;
    }
    if (action == TDataAction::Abort) return false;
  }
}

void TQuireDataSet::CloseOpenBlobs() {
  for (const int fieldNo : openBlobs_) table_->CloseBlob(fieldNo, buffer_);
  openBlobs_.clear();
}

void TQuireDataSet::Cancel() {
  if (state_ == TDataSetState::SetKey) {
    CancelKey();
    EndOverride(TDataSetState::Browse);
    return;
  }
  if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
  Run(BeforeCancel);
  CloseOpenBlobs();
  if (state_ == TDataSetState::Edit) table_->UnlockRecord();
  state_ = TDataSetState::Browse;
  ReadCurrent();
  Notify(TDataEvent::DataSetChange);
  Run(AfterCancel);
}

void TQuireDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::Insert) {
    Cancel();
    return;
  }
  CheckBrowseMode();
  if (!CanModify()) RaiseDatabaseError("Cannot modify a read-only dataset");
  Run(BeforeDelete);
  if (state_ == TDataSetState::Edit) Cancel();
  if (!RunChecked(OnDeleteError, [this] { table_->DeleteRecord(/*reposition=*/true); })) return;
  // The next record becomes current; after the last one, the new last.
  std::vector<std::uint8_t> next(buffer_.size());
  TErrorCode code = table_->GetNextRecord(next);
  CheckRead(code);
  if (code != 0) {
    code = table_->GetPriorRecord(next);
    CheckRead(code);
  }
  if (code == 0) {
    buffer_ = std::move(next);
    eof_ = bof_ = false;
  } else {
    table_->InitRecord(buffer_);  // the table is empty: nothing is current
    eof_ = bof_ = true;
  }
  Notify(TDataEvent::DataSetChange);
  Run(AfterDelete);
}

void TQuireDataSet::EnableControls() {
  if (disableCount_ > 0 && --disableCount_ == 0 && changedWhileDisabled_) {
    changedWhileDisabled_ = false;
    Notify(TDataEvent::DataSetChange);
  }
}

void TQuireDataSet::Notify(TDataEvent event, const TField* field) {
  if (disableCount_ > 0) {
    changedWhileDisabled_ = true;
    return;
  }
  // A control may detach itself (or another) while it hears the event.
  const auto controls = controls_;
  for (const auto& [id, control] : controls) control(event, field);
}

int TQuireDataSet::AttachControl(TDataEventHandler handler) {
  controls_.emplace_back(nextControl_, std::move(handler));
  return nextControl_++;
}

void TQuireDataSet::DetachControl(int id) {
  std::erase_if(controls_, [id](const auto& control) { return control.first == id; });
}

void TQuireDataSet::BeginOverride(TDataSetState state, std::vector<std::uint8_t>& record) {
  state_ = state;
  activeOverride_ = &record;
}

void TQuireDataSet::EndOverride(TDataSetState previous) {
  state_ = previous;
  activeOverride_ = nullptr;
}

void TQuireDataSet::KeyFieldChanging(const TField&) {}

void TQuireDataSet::ReportError(std::exception_ptr error) noexcept {
  if (!OnError) return;
  try {
    OnError(error);
  } catch (...) {
    // The error display itself failed: nothing is left to tell.
  }
}

void TQuireDataSet::CursorMoved() {
  Resync();
  Notify(TDataEvent::DataSetChange);
  Run(AfterScroll);
}

void TQuireDataSet::Resync() {
  const TErrorCode code = table_->GetCurrentRecord(buffer_);
  CheckRead(code);
  eof_ = bof_ = code != 0;
}

// --- fields -----------------------------------------------------------------

TValue TField::Value() const {
  if (!dataset_.Active()) return TValue::NullOf(descriptor_.FieldType);
  const std::span<std::uint8_t> buffer = dataset_.ActiveBuffer();
  TValue value = ReadValue(descriptor_, buffer);
  // An open blob reads as blank while it is empty: ask the engine.
  if (descriptor_.IsBlob()) {
    std::vector<std::uint8_t> bytes(descriptor_.DataSize);
    value.Null = dataset_.table_->GetField(true, fieldNo_, buffer, bytes);
  }
  return value;
}

void TField::SetValue(const TValue& value) {
  const TDataSetState state = dataset_.State();
  const bool keyOrFilter = state == TDataSetState::SetKey || state == TDataSetState::Filter;
  if (state != TDataSetState::Edit && state != TDataSetState::Insert && !keyOrFilter)
    RaiseDatabaseError("Dataset not in edit or insert mode");
  if (ReadOnly() && !keyOrFilter) RaiseDatabaseError("Field '" + name_ + "' cannot be modified");
  if (state == TDataSetState::SetKey) dataset_.KeyFieldChanging(*this);
  TDataFile& table = *dataset_.table_;
  const std::span<std::uint8_t> buffer = dataset_.ActiveBuffer();
  if (value.Null) {
    table.SetField(true, fieldNo_, buffer, nullptr, 0);
  } else {
    TValue stored = value;
    if (stored.Type == ftype::String) {
      // Cut at the first zero byte and to the field's size.
      stored.Text = stored.Text.substr(0, stored.Text.find('\0'));
      if (descriptor_.FieldType == ftype::String)
        stored.Text.resize(std::min<std::size_t>(stored.Text.size(), descriptor_.FieldSize));
    }
    const auto bytes = EncodeForField(stored, descriptor_, CurrentFormatSettings());
    if (!bytes) RaiseDatabaseError("Value of field '" + name_ + "' is out of range");
    table.SetField(true, fieldNo_, buffer, bytes->data(), bytes->size());
  }
  dataset_.Notify(TDataEvent::FieldChange, this);
}

void TField::Clear() {
  if (!descriptor_.IsBlob()) {
    SetValue(TValue::NullOf(descriptor_.FieldType));
    return;
  }
  const TDataSetState state = dataset_.State();
  if (state != TDataSetState::Edit && state != TDataSetState::Insert)
    RaiseDatabaseError("Dataset not in edit or insert mode");
  if (ReadOnly()) RaiseDatabaseError("Field '" + name_ + "' cannot be modified");
  // A write stream over the blob, freed at once: the blob is left empty
  // and open until the record is posted.
  TDataFile& table = *dataset_.table_;
  auto& open = dataset_.openBlobs_;
  if (std::find(open.begin(), open.end(), fieldNo_) == open.end()) {
    RaiseIfNonzero(table.OpenBlob(fieldNo_, dataset_.buffer_));
    open.push_back(fieldNo_);
  }
  RaiseIfNonzero(table.TruncateBlob(fieldNo_, dataset_.buffer_, 0));
  dataset_.Notify(TDataEvent::FieldChange, this);
}

}  // namespace quire
