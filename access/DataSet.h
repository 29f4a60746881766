#pragma once
// TQuireDataSet: the dataset contract the program's components share,
// met by calls on the engine's table object. A dataset is inactive, or
// browses records, or edits the current record, or inserts a new one; its
// field objects read and write the active record buffer. Attached controls
// hear of changes unless notifications are suspended (DisableControls and
// EnableControls nest by count).
//
// The engine object comes from the subclass: the table dataset opens a
// data file, the query dataset takes its statement's result.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "access/Field.h"
#include "engine/DataFile.h"

namespace quire {

enum class TDataSetState { Inactive, Browse, Edit, Insert };

// What attached controls are told.
enum class TDataEvent { FieldChange, RecordChange, DataSetChange, ActiveChange };

class TQuireDataSet {
 public:
  using TNotify = std::function<void(TQuireDataSet& dataset)>;
  using TDataEventHandler = std::function<void(TDataEvent event, const TField* field)>;

  TQuireDataSet();
  virtual ~TQuireDataSet();
  TQuireDataSet(const TQuireDataSet&) = delete;
  TQuireDataSet& operator=(const TQuireDataSet&) = delete;

  bool Active() const { return state_ != TDataSetState::Inactive; }
  void SetActive(bool active) { active ? Open() : Close(); }
  TDataSetState State() const { return state_; }
  // Opens the engine object, builds the field objects, goes to the first
  // record. Any failure leaves the dataset closed.
  void Open();
  void Close();

  void First();
  void Last();
  void Next();
  void Prior();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  std::int32_t RecordCount();
  // The current record's number in the table (0: none); GotoBookmark makes
  // that record current again.
  std::uint32_t Bookmark() const;
  void GotoBookmark(std::uint32_t bookmark);
  // Reads the current record again.
  void Refresh();

  // A new record with the field defaults, in insert state; Insert is the
  // same here (records have no position of their own until posted).
  void Append();
  void Insert() { Append(); }
  // Locks the current record and reads it again, in edit state.
  void Edit();
  // Stores the record (insert or modify) and returns to browse state on it;
  // a refused post leaves the state and the buffer as they were.
  void Post();
  // Drops the changes (and the edit lock) and returns to browse state.
  void Cancel();
  // Deletes the current record; the next one becomes current.
  void Delete();

  const std::vector<std::unique_ptr<TField>>& Fields() const { return fields_; }
  TField* FindField(std::string_view name) const;
  // FindField, failing with "Field '%s' not found".
  TField& FieldByName(std::string_view name) const;

  void DisableControls() { ++disableCount_; }
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }
  void AttachControl(TDataEventHandler handler) { controls_.push_back(std::move(handler)); }

  TNotify BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert, BeforeEdit,
      AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete, AfterDelete,
      AfterScroll, OnNewRecord;

  // The open engine object (null while inactive).
  TDataFile* EngineTable() const { return table_; }
  // The active record buffer.
  std::span<std::uint8_t> ActiveBuffer() { return buffer_; }

 protected:
  // Opens the engine object the dataset works on; it stays valid until
  // CloseCursor.
  virtual TDataFile& OpenCursor() = 0;
  virtual void CloseCursor() = 0;
  // Whether the dataset may change records.
  virtual bool CanModify() const { return table_ != nullptr && !table_->ReadOnly(); }

  void Notify(TDataEvent event, const TField* field = nullptr);
  void CheckActive() const;

 private:
  friend class TField;
  void BuildFields();
  void ReadCurrent();
  void CloseOpenBlobs();
  void Run(const TNotify& event) {
    if (event) event(*this);
  }

  TDataSetState state_ = TDataSetState::Inactive;
  TDataFile* table_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<int> openBlobs_;  // blob fields opened by this edit
  bool eof_ = true;
  bool bof_ = true;
  int disableCount_ = 0;
  bool changedWhileDisabled_ = false;
  std::vector<TDataEventHandler> controls_;
};

}  // namespace quire
