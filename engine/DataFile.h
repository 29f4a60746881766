#pragma once
// TDataFile: one open table. It is the data file (".DAT") and owns the
// table's index file (".IDX") and, when the table has blob fields, its blob
// file (".BLB"), all opened, closed, created and emptied together.
//
// The data file is a 127-byte header, one 768-byte descriptor per field and
// the record slots (DataFileHeader.h). Open reads and checks the header and
// the descriptors against themselves and against the file's length, so that
// everything after it can trust them. The record operations build on the
// state kept here and live in files of their own:
//   DataFileRecords.cpp     fetching slots through the record cache, writing
//                           dirty records back, flushing all three files
//   DataFileFields.cpp      field values in record buffers, init record
//   DataFileValidity.cpp    required, minimum and maximum checks
//   DataFileNavigation.cpp  index selection, the cursor, current record
//   DataFileInsert.cpp      insert;  DataFileModify.cpp  modify and delete
//   DataFileSharing.cpp     locks, change detection, buffered-change mode
//   DataFileBlobs.cpp       blob values of a record buffer
//   DataFileRanges.cpp      key ranges and the optimiser's key counts
//   DataFileFilters.cpp     filters, bitmap mode and the visible records
//
// Sharing: a shared table writes every change through at once (records,
// header, index pages, blob blocks) under its write lock, so that other
// programs see it; an exclusive or table-locked table defers writing until
// it is closed or unlocked. Reads are served from the caches; a cache miss
// first takes a transient read lock and checks whether another program
// changed the table (ChangeCount and the index header's counter), in which
// case every cache is dropped and the operation starts again from the
// current record's key.
//
// Record reads return 0, 8705 (before the first record) or 8706 (after the
// last) instead of raising. One TDataFile is used by one thread at a time.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "blob/BlobFile.h"
#include "engine/DataFileHeader.h"
#include "engine/FileHandler.h"
#include "engine/RecordCache.h"
#include "engine/TableCreate.h"
#include "engine/TableLocks.h"
#include "engine/WriteBatch.h"
#include "index/BitmapSet.h"
#include "index/ComparisonBounds.h"
#include "index/IndexCursor.h"
#include "index/IndexFile.h"
#include "index/RecordBitmap.h"
#include "index/RecordFilters.h"

namespace quire {

class TDataFile : public TFileHandler {
 public:
  // Asked while an encrypted table's password is not in the session's list;
  // returns true when it added a password to the list (the list is then
  // tested again) and false when the user gave none (open fails with 10498).
  using TPasswordCallback = std::function<bool()>;
  // Computes computed field `field` over a record buffer: writes its value
  // (DataSize bytes) and returns whether it has one (false: null).
  using TComputedEvaluator =
      std::function<bool(const TFieldDescriptor& field, std::span<const std::uint8_t> record,
                         std::span<std::uint8_t> value)>;

  // Record reads and writes since open.
  struct TStatistics {
    std::uint64_t BufferFetches = 0;  // records asked of the cache
    std::uint64_t ReadAheads = 0;     // reads of more than one record
    std::uint64_t ReadCalls = 0;
    std::uint64_t WriteCalls = 0;
  };

  TDataFile();
  ~TDataFile() override;

  void SetPasswordCallback(TPasswordCallback callback) { passwordCallback_ = std::move(callback); }

  // Record lock retries after the first attempt (default 15) and the wait
  // between attempts in milliseconds (default 100).
  void SetLockRetryCount(std::uint8_t count) { locks_.SetLockRetryCount(count); }
  void SetLockWaitTime(std::uint16_t milliseconds) { locks_.SetLockWaitTime(milliseconds); }
  // Check for other programs' changes before every read, not only on a
  // cache miss.
  void SetStrictChangeDetection(bool strict);
  // Open the files with write-through (a setting of the closed table).
  void SetForceBufferFlush(bool force) { SetWriteThrough(force); }
  // Delete the table's files when it is closed (temporary result tables).
  void SetDeleteFilesOnClose(bool remove) { deleteOnClose_ = remove; }
  // Skip the duplicate-key checks of insert and modify (result tables, whose
  // rows are known to be distinct).
  void SetSkipDuplicateCheck(bool skip) { skipDuplicateCheck_ = skip; }
  // Replaces the evaluator that open compiles from the fields' compute
  // expressions; an empty one gives that evaluator back at the next open.
  void SetComputedFieldEvaluator(TComputedEvaluator evaluator) {
    customEvaluator_ = static_cast<bool>(evaluator);
    evaluator_ = std::move(evaluator);
  }

  // Opens the table: the data file, then its header checks (12035 version,
  // 15878 locale, 10498 password), its descriptors (8961 when they do not
  // agree with each other or the header), the index file and the blob file,
  // and finally the file length against the slot count (8961). On any
  // failure everything is closed again.
  void Open() override;

  // Writes back what is pending on an exclusive writable table (the header
  // when it changed, the index and blob headers), releases every lock and
  // closes the blob, index and data files.
  void Close() override;

  // Creates the table's files from `request`, replacing existing ones, with
  // every check done before anything is written; then opens the new table
  // through Open, defines its indexes and closes it. Needs the handler closed
  // (10031) and set exclusive (10253) and not read-only (11013). When a step
  // fails after the files were created, the files are deleted again. An
  // encrypted table's password is in the session's list during the creation;
  // a password that was not there before is removed afterwards.
  void CreateTable(const TTableCreateRequest& request);

  // Removes every record: the data file is cut to the end of its descriptors,
  // the header counters start again (ChangeCount 0, FreeRecordHead 0,
  // NextRecordNumber 1, LastAutoIncValue 0) and the index and blob files are
  // emptied. Needs the table open exclusively (10253) and writable (11013).
  void EmptyTable();

  // --- State of the open table ---------------------------------------------

  const TDataFileHeader& Header() const { return header_; }
  // The stored fields in field order, as in the file.
  const std::vector<TFieldDescriptor>& Fields() const { return fields_; }
  // The fields callers see: the stored ones, with every computed field given
  // an offset after the stored record.
  const std::vector<TFieldDescriptor>& LogicalFields() const { return logicalFields_; }
  // Bytes of a record buffer: the stored record and the computed area.
  std::size_t RecordBufferSize() const {
    return std::size_t{header_.RecordSize} + header_.ComputedAreaSize;
  }
  // Slots in the file, deleted ones included: NextRecordNumber - 1.
  std::int32_t SlotCount() const { return header_.NextRecordNumber - 1; }
  // The table's password as stored (empty for a plain table), so that a copy
  // of the table can be opened with the same password.
  std::string StoredPassword() const;
  // Byte values in the table's sort order; the identity without a locale.
  const std::array<std::uint8_t, 256>& CollationTable() const { return collation_; }

  TIndexFile& IndexFile() { return indexFile_; }
  // The blob file; open only while the table has blob fields.
  TBlobFile& BlobFile() { return blobFile_; }
  TTableLocks& Locks() { return locks_; }

  const TStatistics& Statistics() const { return statistics_; }
  // Records one read may fetch: 32767 / RecordSize.
  std::uint32_t ReadAheadLimit() const;
  const TRecordCache& Cache() const { return cache_; }

  // --- Fields -----------------------------------------------------------------
  // `logical` picks the logical field list (computed fields included, at
  // their offsets after the stored record) or the stored one. A number
  // outside the list raises 9985 with the number as the field text.

  const TFieldDescriptor& FieldAt(bool logical, int fieldNo) const;
  // The number of the field called `name` (ignoring case), 0 when none.
  int FieldNumber(std::string_view name, bool logical = true) const;
  // A zero-filled record buffer.
  std::vector<std::uint8_t> NewRecordBuffer() const {
    return std::vector<std::uint8_t>(RecordBufferSize(), 0);
  }
  // Whether the field is blank in `buffer`; its DataSize value bytes go to
  // `value`. An open blob counts as blank while it is empty.
  bool GetField(bool logical, int fieldNo, std::span<const std::uint8_t> buffer,
                std::span<std::uint8_t> value) const;
  // Writes a value (`value` null: none) into `buffer` by the rules of
  // FieldValue.h, then recomputes the computed fields. A computed field is
  // only written with `force`.
  void SetField(bool logical, int fieldNo, std::span<std::uint8_t> buffer, const void* value,
                std::size_t length, bool force = false);
  // Zero-fills `buffer` and applies every field's default, converted with
  // the table's locale settings.
  void InitRecord(std::span<std::uint8_t> buffer);

  // --- Navigation ---------------------------------------------------------------
  // The current order is the selected index; a table without a primary index
  // (and index 255) is in physical order: live records by slot number.

  // By name, ignoring case; "" is the primary index; 10022 for a name no
  // index has. The current record stays current.
  void SelectIndex(std::string_view name);
  void SelectIndex(std::uint8_t number);
  std::uint8_t CurrentIndex() const { return indexFile_.CurrentIndex(); }
  // Before the first record / after the last one.
  void First();
  void Last();
  // Copies the current record into `buffer` (when not empty), with `lock`
  // after taking its record lock. 8705 / 8706 at the edges, when `buffer`
  // is filled as InitRecord does.
  TErrorCode GetCurrentRecord(std::span<std::uint8_t> buffer, bool lock = false);
  // Moves one record and copies it, as GetCurrentRecord.
  TErrorCode GetNextRecord(std::span<std::uint8_t> buffer);
  TErrorCode GetPriorRecord(std::span<std::uint8_t> buffer);
  // Positions on the n-th record (1-based) of the current order and makes it
  // current; before the first below 1, after the last above the count.
  void GoToPosition(std::int32_t position);
  // Makes live record `recordNumber` current; false (nothing changed) when
  // the slot holds no live record.
  bool GoToRecord(std::uint32_t recordNumber);
  // Builds the key of `record` over the current index and looks for it
  // exactly (a secondary index's auto-increment suffix left out). When found
  // the record becomes current and is copied to `out` (when not empty).
  bool FindKey(std::span<const std::uint8_t> record, std::span<std::uint8_t> out);
  // Positions on the first key not before the key of `record` over the
  // index's first `fieldCount` fields (0: all) and makes its record current;
  // returns whether that key equals the search over those fields.
  bool FindNearest(std::span<const std::uint8_t> record, std::size_t fieldCount,
                   std::span<std::uint8_t> out);
  // Whether the keys of `a` and `b` agree over the current index's first
  // `fieldCount` fields (0: all), compared as the index orders them.
  bool SameKey(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
               std::size_t fieldCount);
  // Records in the current order, and the current record's place among them
  // (0 when there is none).
  std::int32_t RecordCount();
  std::int32_t CurrentPosition();
  // The current record's slot number, 0 when there is none.
  std::uint32_t CurrentRecordNumber() const;

  // --- Ranges (DataFileRanges.cpp) ---------------------------------------------
  // A range limits the current order to the keys from a start key to an end
  // key; counts and positions are then those of the range.

  // Builds the start key from `start` over the current index's first
  // `startFields` fields (0: all) and the end key from `end` likewise; the
  // unused tail of the start key sorts before, that of the end key after,
  // every key sharing the part given. An empty buffer leaves that end open.
  // The current record stays current when it lies inside, else the cursor
  // stands on the next record of the range. No effect in physical order.
  void SetRange(std::span<const std::uint8_t> start, std::size_t startFields,
                std::span<const std::uint8_t> end, std::size_t endFields);
  // The same with whole keys of the current index (K bytes each).
  void SetKeyRange(std::span<const std::uint8_t> startKey, std::span<const std::uint8_t> endKey);
  void CancelRange();
  bool RangeActive() const { return cursor_.RangeActive(); }
  // The keys of the current index whose first field compares with `value`
  // (`length` bytes as SetField takes them; null: no value) as `kind` says;
  // an equal comparison over the first `prefix` bytes of a string when
  // `prefix` is nonzero. Null keys count only for IsNull.
  std::int32_t CountKeysForComparison(TKeyComparison kind, const void* value, std::size_t length,
                                      std::size_t prefix = 0);
  // Sets the bits of the records whose key of the current index has a
  // first field that compares with `value` as CountKeysForComparison counts
  // them (NotEqual marks the equal keys, for the caller to invert).
  void MarkKeysForComparison(TKeyComparison kind, const void* value, std::size_t length,
                             std::size_t prefix, TRecordBitmap& bitmap);
  // Sets the bits of the records whose key of the current index lies from
  // `start` to `end` (whole keys).
  void MarkKeysInRange(std::span<const std::uint8_t> start, std::span<const std::uint8_t> end,
                       TRecordBitmap& bitmap);

  // --- Filters and bitmap mode (DataFileFilters.cpp) -----------------------------
  // While a filter is active, or in physical order, the table is in bitmap
  // mode: the visible records are those live, inside the range and passing
  // every active filter, kept in bitmaps that follow each insert and delete.

  // Installs an inactive filter (10051 without a test, 9482 while 128 are
  // installed) and returns its handle.
  TFilterHandle InstallFilter(TRecordTest test);
  // One filter, or all with handle 0; 10050 for a handle not installed.
  void ActivateFilter(TFilterHandle handle = 0);
  // Activates one filter with the bitmap of the records that pass it, built
  // by the caller (from the indexes, say) instead of by testing every
  // record. The bitmap follows this table's changes like any other; when
  // another program changes the table it is rebuilt by testing.
  void ActivateFilter(TFilterHandle handle, TRecordBitmap passed);
  void DeactivateFilter(TFilterHandle handle = 0);
  // Tests every record again with an active filter (10050 when it is not
  // installed) after what it tests for changed.
  void RefreshFilter(TFilterHandle handle);
  // Removes one filter (10050 for a handle not installed).
  void RemoveFilter(TFilterHandle handle);
  void RemoveAllFilters();
  std::size_t FilterCount() const { return filters_.Count(); }
  bool BitmapMode() const;
  // Builds every bitmap of bitmap mode afresh.
  void RebuildBitmaps();
  // With `narrow`, clears the bit of every record set in `bitmap` that
  // fails `test`; otherwise sets the bits of the live records that pass
  // (the bitmap sized for the slot count).
  void ScanAndTest(TRecordBitmap& bitmap, bool narrow, const TRecordTest& test);
  // Runs `reads` (counts, marks and activations of this table) as one read
  // operation: the transient read lock (with its change check) is taken
  // first and held until all have run, instead of being taken and given
  // back by each.
  void ReadTogether(const std::function<void()>& reads);

  // --- Changes --------------------------------------------------------------------

  // Inserts the record in `buffer` (its auto-increment value is written into
  // it) and makes it current when `reposition`. 11013 read-only, 10249 write
  // lock, 10258 record lock, 9732/9730/9731 validity, 9729 duplicate key,
  // 9479 table full; a refused record changes nothing.
  void InsertRecord(std::span<std::uint8_t> buffer, bool reposition = true);
  // Replaces the current record's stored fields with those of `buffer`.
  // `unlock` releases the record lock afterwards. 8710 when the current
  // record was deleted by another program meanwhile.
  void ModifyRecord(std::span<std::uint8_t> buffer, bool unlock = true, bool reposition = true);
  // Deletes the current record; the next record becomes current.
  void DeleteRecord(bool reposition = true);

  // --- Locks ------------------------------------------------------------------------

  // Record `recordNumber`, 0 for the current record (10258 / 10242).
  void LockRecord(std::uint32_t recordNumber = 0);
  void UnlockRecord(std::uint32_t recordNumber = 0);
  void LockTable();
  void UnlockTable();
  void LockAllRecords();
  void UnlockAllRecords();
  // Enters buffered-change mode (a writable table not already in it): the
  // first change takes the table lock and nothing is written after each
  // change; closing the table discards the changes.
  void BeginBufferedChanges();
  bool InBufferedChanges() const { return bufferedMode_; }

  // Checks whether another program changed the table; when it did, the
  // header is read again, every cache dropped and the cursor will find its
  // record again. Returns whether anything changed.
  bool CheckForChanges();

  // --- Blobs ------------------------------------------------------------------------
  // On blob field `fieldNo` (logical numbering) of `buffer`: 10753 for a
  // field that is not a blob; 10030 when the value is not open (except for
  // OpenBlob, which gives 9998 for a handle in the slot that is not open).
  // While open, the field's slot holds the negated handle.

  TErrorCode OpenBlob(int fieldNo, std::span<std::uint8_t> buffer);
  TErrorCode CloseBlob(int fieldNo, std::span<std::uint8_t> buffer);
  TErrorCode ReadBlob(int fieldNo, std::span<const std::uint8_t> buffer, std::uint32_t offset,
                      std::uint32_t count, void* destination, std::uint32_t& copied);
  TErrorCode WriteBlob(int fieldNo, std::span<const std::uint8_t> buffer, std::uint32_t offset,
                       std::uint32_t count, const void* source);
  TErrorCode TruncateBlob(int fieldNo, std::span<const std::uint8_t> buffer, std::uint32_t length);
  TErrorCode BlobSize(int fieldNo, std::span<const std::uint8_t> buffer, std::uint32_t& size);
  bool BlobIsOpen(int fieldNo, std::span<const std::uint8_t> buffer);

  // --- Header writes --------------------------------------------------------

  void MarkHeaderModified() { header_.HeaderModified = 1; }
  // When the header changed, or `force` is set: increments ChangeCount, sets
  // LastUpdated to now and writes the 127 bytes, then clears the mark.
  void WriteHeader(bool force = false);
  // Whether another user wrote the header since we read it (the ChangeCount
  // on disk differs); the header is then read again.
  bool HeaderChangedOnDisk();

 protected:
  // The table name trimmed, with ".DAT" as its extension.
  std::string NormaliseName(std::string_view name) const override;

 private:
  // The outcome of fetching a slot: its pinned buffer, or a request to
  // repeat the positioning because another program changed the table.
  struct TFetch {
    TRecord* record = nullptr;
    bool retry = false;
  };
  enum class TTravel { None, Forward, Backward };
  class TReadScope;
  class TWriteScope;

  // DataFileRecords.cpp
  TFetch FetchRecord(std::uint32_t number, TTravel travel = TTravel::None,
                     std::size_t suggested = 0);
  TRecord& AppendSlot(std::uint32_t number);
  TRecord& ObtainBuffer(std::uint32_t number);
  bool WriteBackRecords();
  void FlushEverything(bool forceIndexHeader);
  void ComputeFields(std::span<std::uint8_t> buffer);
  // The key bounds of a comparison on the current index's first field.
  TKeyBounds BoundsForComparison(TKeyComparison kind, const void* value, std::size_t length,
                                 std::size_t prefix);
  void DropCaches();
  void ForgetFailedChange(bool rereadHeader);
  // DataFileSharing.cpp
  bool EnsureFresh();
  void SyncCompanionLocks();
  void BeforeFirstChange();
  void DiscardBufferedChanges() noexcept;
  bool WritesThrough() const;
  // DataFileNavigation.cpp
  bool PhysicalOrder() const;
  void EnsureLiveRecords();
  void SetCurrent(TRecord* record);
  TErrorCode LoadCurrent(TRecord& record, std::span<std::uint8_t> buffer);
  TErrorCode Edge(TCursorState state, std::span<std::uint8_t> buffer);
  TErrorCode Step(bool forward, std::span<std::uint8_t> buffer);
  std::vector<std::uint8_t> KeyOf(std::span<const std::uint8_t> record) const;
  std::size_t KeyLength(std::size_t fieldCount) const;
  void PlaceCursorOn(std::span<const std::uint8_t> record, std::uint32_t number);
  std::uint32_t CursorRecord() const;
  // DataFileRanges.cpp / DataFileFilters.cpp
  std::vector<std::uint8_t> RangeKey(std::span<const std::uint8_t> record, std::size_t fields,
                                     bool high) const;
  void PlaceInRange();
  void ResetFilters();
  void DropBitmaps();
  const TRecordBitmap* CursorVisibleRecords();
  const TRecordBitmap& PhysicalRecords();
  void EnsureBitmaps();
  bool ScanRecords(TRecordBitmap& bitmap, bool narrow, const TRecordTest& test);
  void NoteRecordAdded(std::uint32_t number, std::span<const std::uint8_t> record);
  void NoteRecordRemoved(std::uint32_t number);
  // DataFileValidity.cpp
  void ValidateRecord(std::span<const std::uint8_t> buffer);
  // DataFileInsert.cpp / DataFileModify.cpp
  std::vector<std::uint8_t> SysDeletedKey(bool deleted, std::int32_t autoInc) const;
  std::vector<std::uint8_t> IndexNumbers() const;
  TRecord& CurrentForChange();
  void CheckDuplicateKey(std::span<const std::uint8_t> key);
  void StoreBlobs(std::span<std::uint8_t> buffer, std::uint32_t number);
  // DataFileBlobs.cpp
  std::int32_t BlobSlot(int fieldNo, std::span<const std::uint8_t> buffer, TErrorCode& code) const;

  void ResetState();
  void ReadHeader();
  void CheckPassword();
  void ReadDescriptors();
  // Recomputes the derived sizes and checks every descriptor (8961).
  void CheckDescriptors();
  void BuildLogicalFields();
  void PrepareKeys();
  void DeleteTableFiles() noexcept;
  bool BeforeIndexRead();
  void OpenCompanionFiles();
  void CheckFileLength();
  void CloseFiles() noexcept;
  void WriteRawHeader();
  void PrepareCompanion(TFileHandler& file) const;
  void CreateFiles(const TPreparedTable& table);
  void DefineIndexes(const TPreparedTable& table);
  void DeleteFilesAfterFailure() noexcept;

  // Files made by the creation under way, deleted again when it fails.
  struct TCreatedFiles {
    bool data = false;
    bool index = false;
    bool blob = false;
  };

  TDataFileHeader header_;
  TCreatedFiles created_;
  std::vector<TFieldDescriptor> fields_;
  std::vector<TFieldDescriptor> logicalFields_;
  std::array<std::uint8_t, 256> collation_{};
  TPasswordCallback passwordCallback_;
  TIndexFile indexFile_;
  TBlobFile blobFile_;
  TTableLocks locks_;

  TRecordCache cache_;
  // The writes of one flush of all three files, handed over together.
  TWriteBatch writeBatch_;
  TRecord* current_ = nullptr;  // pinned while current
  std::vector<std::uint8_t> scratch_;
  TIndexCursor cursor_;
  // Physical order: the live records and the slot the walk is on.
  TRecordBitmap live_;
  bool liveValid_ = false;
  TCursorState physicalState_ = TCursorState::BeforeFirst;
  std::uint32_t physicalRecord_ = 0;
  // The index file's cache holds pages not yet written (the cursor reads
  // the file).
  bool indexPagesPending_ = false;
  bool strictChangeDetection_ = false;
  bool deleteOnClose_ = false;
  bool skipDuplicateCheck_ = false;
  bool bufferedMode_ = false;
  bool bufferedChanged_ = false;
  TComputedEvaluator evaluator_;
  bool customEvaluator_ = false;
  TStatistics statistics_;
  // Bitmap mode: the filters, their bitmaps, and a second cursor that reads
  // bitmaps off an index while the first one keeps its place.
  TRecordFilters filters_;
  TBitmapSet bitmaps_;
  TIndexCursor scanner_{indexFile_, [this] { return BeforeIndexRead(); }};
  // What the bitmaps were built for: the index and range of the cursor.
  std::uint8_t bitmapsIndex_ = kPhysicalOrder;
  std::vector<std::uint8_t> bitmapsRange_;
};

}  // namespace quire
