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
//
// Filters: `Filter` (read with `FilterOptions`) and `OnFilterRecord` become
// engine filters on the open engine table (DataSetFilter.h); while
// `Filtered` is on the cursor visits only the records both accept. A change
// of any of them on an open, filtered dataset, and turning `Filtered` on or
// off, moves to the first record. When activating fails, the filters are
// built again and activated once more; a second failure raises.
// OnFilterRecord runs with the dataset in filter state and the candidate
// record as its active buffer; the accept flag starts true, and an error the
// event raises goes to `OnError` while the flag decides as it stands.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "access/Field.h"
#include "engine/DataFile.h"
#include "sql/FilterExpr.h"

namespace quire {

// SetKey: the fields write a key buffer (TQuireTable's key work); Filter:
// the fields read and write the record a filter event decides on, or the
// values a locate looks for.
enum class TDataSetState { Inactive, Browse, Edit, Insert, SetKey, Filter };

// What attached controls are told.
enum class TDataEvent { FieldChange, RecordChange, DataSetChange, ActiveChange };

// What an OnPostError, OnEditError or OnDeleteError handler decides: raise
// the error (the default), end the operation quietly with the dataset as
// the failure left it, or try the engine step again.
enum class TDataAction { Fail, Abort, Retry };

class TDataSetFilters;
class TDataSource;

namespace lo {
using TLocateOptions = std::uint8_t;
inline constexpr TLocateOptions CaseInsensitive = 1;
// The last value is the start of the text looked for.
inline constexpr TLocateOptions PartialKey = 2;
}  // namespace lo

class TQuireDataSet {
 public:
  using TNotify = std::function<void(TQuireDataSet& dataset)>;
  using TDataEventHandler = std::function<void(TDataEvent event, const TField* field)>;
  // Sets `accept` to false to refuse the record the fields show.
  using TFilterRecordEvent = std::function<void(TQuireDataSet& dataset, bool& accept)>;
  // Where errors go that an event raised inside the engine's work (the
  // application's error display); without one they are dropped.
  using TErrorHandler = std::function<void(std::exception_ptr error)>;
  // `error` is the component's EDatabaseError or the engine's
  // EQuireEngineError; `action` starts as Fail.
  using TDataSetErrorEvent =
      std::function<void(TQuireDataSet& dataset, const std::exception& error, TDataAction& action)>;

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
  // -1, 0 or 1 as record `a` stands before, at or after record `b` in the
  // current order. A missing bookmark (0) orders after a present one, two
  // missing ones are equal, and bookmarks whose order cannot be told (a
  // record gone since) count as equal. The current record stays current.
  int CompareBookmarks(std::uint32_t a, std::uint32_t b);
  // The current record's place in the current order, from 1; -1 when there
  // is none and for a record being inserted.
  std::int32_t RecNo();
  // Makes the record at that place current (before the first or after the
  // last when out of range: an empty view then) and reads it.
  void SetRecNo(std::int32_t position);
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

  // Declares a field object, as a form holds one, while the dataset is
  // closed ("Cannot perform this operation on an open dataset" otherwise).
  // A dataset with declared fields makes no default ones: each open binds
  // every declared field to the table's field of its name, failing (and
  // leaving the dataset closed) with "Field '%s' not found", "Type mismatch
  // for field '%s', expecting: %s actual: %s" or "Size mismatch for field
  // '%s', expecting: %d actual: %d". `size` is what the field definition
  // gives: string, bytes and variable-bytes sizes, BCD decimals, else 0.
  TField& DeclareField(std::string_view name, TFieldType type, int size = 0);

  const std::vector<std::unique_ptr<TField>>& Fields() const { return fields_; }
  TField* FindField(std::string_view name) const;
  // FindField, failing with "Field '%s' not found".
  TField& FieldByName(std::string_view name) const;

  // --- Filters (DataSetFilter.cpp) -----------------------------------------
  const std::string& Filter() const { return filterText_; }
  // On an open dataset the text is parsed at once; a text that does not
  // parse raises the parser's message and keeps the old one.
  void SetFilter(std::string_view text);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool filtered);
  TFilterOptions FilterOptions() const { return filterOptions_; }
  void SetFilterOptions(TFilterOptions options);
  const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
  void SetOnFilterRecord(TFilterRecordEvent event);
  // The records the filters accept, searched while `Filtered` is off too:
  // FindFirst and FindLast from the start or the end, FindNext and
  // FindPrior from the current record. The record found becomes current;
  // when none is found the current record stays and the result is false.
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }
  // Whether the last find found a record.
  bool Found() const { return found_; }

  // --- Locate and lookup (DataSetLocate.cpp) --------------------------------
  // `keyFields` names fields joined by ";", one value each ("Field index out
  // of range" otherwise). The search runs on the active index when it starts
  // with these fields and folds case as asked; else on a second engine table
  // that LocateTable gives, when the dataset has no range and no filter; else
  // through a temporary filter. Locate makes the first match current and
  // says whether there was one; Lookup leaves the current record alone and
  // gives the `resultFields` of the first match (no value without one).
  bool Locate(std::string_view keyFields, const std::vector<TValue>& values,
              lo::TLocateOptions options = 0);
  std::optional<std::vector<TValue>> Lookup(std::string_view keyFields,
                                            const std::vector<TValue>& values,
                                            std::string_view resultFields);

  void DisableControls() { ++disableCount_; }
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }
  // Returns an id for DetachControl.
  int AttachControl(TDataEventHandler handler);
  void DetachControl(int id);

  TErrorHandler OnError;

  // Asked when the engine refuses the post, the edit lock or the delete
  // (after BeforePost, BeforeEdit, BeforeDelete).
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

  TNotify BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert, BeforeEdit,
      AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete, AfterDelete,
      BeforeScroll, AfterScroll, OnNewRecord;

  // The open engine object (null while inactive).
  TDataFile* EngineTable() const { return table_; }
  // The active record buffer: the current record's, or in key and filter
  // state the key buffer or the record being decided on.
  std::span<std::uint8_t> ActiveBuffer() {
    return activeOverride_ != nullptr ? std::span<std::uint8_t>(*activeOverride_) : buffer_;
  }

 protected:
  // Opens the engine object the dataset works on; it stays valid until
  // CloseCursor.
  virtual TDataFile& OpenCursor() = 0;
  virtual void CloseCursor() = 0;
  // Whether the dataset may change records.
  virtual bool CanModify() const { return table_ != nullptr && !table_->ReadOnly(); }

  void Notify(TDataEvent event, const TField* field = nullptr);
  void CheckActive() const;
  // Posts a pending change, or ends key work, so that the dataset browses.
  void CheckBrowseMode();
  // Reads the engine's current record into the buffer after the engine
  // moved; an empty view leaves a fresh record and both edges set.
  void Resync();
  // The engine moved to another record: reads it as the current one, tells
  // the controls and runs AfterScroll.
  void CursorMoved();
  // Makes `record` the active buffer in `state` (SetKey or Filter) until
  // EndOverride gives the current record back in `previous`.
  void BeginOverride(TDataSetState state, std::vector<std::uint8_t>& record);
  void EndOverride(TDataSetState previous);
  // Called before a field writes the key buffer in key state: refuses a
  // field the key has no place for.
  virtual void KeyFieldChanging(const TField& field);
  // Key state: post keeps the entered key, cancel gives the old one back.
  virtual void PostKey() {}
  virtual void CancelKey() {}
  // Runs before OnNewRecord on a new record's buffer.
  virtual void InitNewRecord() {}
  // Runs on opening, after the field objects are made and before the
  // filters are set up and the first record is read.
  virtual void PrepareCursor() {}
  // Gives `error` to OnError (if any).
  void ReportError(std::exception_ptr error) noexcept;
  // The blob fields changed in the current edit (open until post or cancel).
  std::vector<int>& ChangedBlobs() { return openBlobs_; }
  // Builds the filters anew on the open engine table and activates them
  // when filtered.
  void SetUpFilters();
  void FirstIfFiltered();
  // Activates the filters on the engine table, setting its range again
  // when their building dropped it (RangeLost).
  void ActivateFilters();
  // The engine table lost the range the dataset set: set it again.
  virtual void RangeLost() {}
  // An engine table on the same file whose current index starts with the
  // fields `numbers` and folds case as asked, for a search that the
  // dataset's own index does not serve; null when there is none.
  virtual TDataFile* LocateTable(std::string_view keyFields, const std::vector<int>& numbers,
                                 bool caseInsensitive);

 private:
  friend class TField;
  friend class TDataSource;
  bool FindRecord(bool restart, bool forward);
  bool AcceptRecord(std::span<const std::uint8_t> record);
  bool LocateRecord(std::string_view keyFields, const std::vector<TValue>& values,
                    lo::TLocateOptions options, bool moveTo, std::vector<std::uint8_t>& found);
  void BuildFields();
  // Drops the default fields and unbinds the declared ones.
  void ReleaseFields();
  void ReadCurrent();
  void CloseOpenBlobs();
  // Runs `step` until it succeeds, or `event` decides: false when it
  // decided to abort; the error passes on when it decided to fail.
  bool RunChecked(const TDataSetErrorEvent& event, const std::function<void()>& step);
  void Run(const TNotify& event) {
    if (event) event(*this);
  }

  TDataSetState state_ = TDataSetState::Inactive;
  TDataFile* table_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t>* activeOverride_ = nullptr;
  std::vector<std::uint8_t> filterRecord_;  // the record a filter event sees
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<int> openBlobs_;  // blob fields opened by this edit
  bool eof_ = true;
  bool bof_ = true;
  int disableCount_ = 0;
  bool changedWhileDisabled_ = false;
  std::vector<std::pair<int, TDataEventHandler>> controls_;
  int nextControl_ = 1;
  std::vector<TDataSource*> sources_;  // data sources naming this dataset
  std::string filterText_;
  TFilterOptions filterOptions_ = 0;
  bool filtered_ = false;
  TFilterRecordEvent onFilterRecord_;
  std::unique_ptr<TDataSetFilters> filters_;
  bool found_ = false;
};

}  // namespace quire
