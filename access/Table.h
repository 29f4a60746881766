#pragma once
// TQuireTable: the dataset over one table of a database's folder.
//
// Opening: "Missing table name." without TableName; the database is
// acquired; the engine table is opened as the folder + TableName with the
// table's settings, asking the session for missing passwords; the index of
// IndexName, or of IndexFieldNames when set (empty: the primary), becomes
// the order; a master link restricts the table to its master's range; the
// first record is current. A failure leaves the table closed.
//
// The settings of the file (TableName, Exclusive, ReadOnly, InMemory,
// StrictChangeDetection, ForceBufferFlush) change only while closed; the
// lock retry count and wait go to the open engine table at once, and the
// engine retries every refused record and table lock with them.
//
// Key work (TableKeys.cpp). Six key buffers, each a record with a mark of
// whether a field was set and the key field count: the key being searched,
// the range start and end being entered, the range last applied (start and
// end), and a copy to give back when key work is cancelled. SetKey and
// EditKey (SetRangeStart / EditRangeStart, SetRangeEnd / EditRangeEnd)
// enter key state with the buffer cleared or kept; the index fields are then
// written into it ("Field '%s' is not indexed and cannot be modified" for
// any other field); Post keeps the entered key, Cancel gives the old one
// back. A key uses KeyFieldCount leading fields of the index when that is
// set, else the leading fields up to the last one written.
//
// Master-detail (TableMaster.cpp): with MasterSource and MasterFields
// ("A;B", fields of the master) the table shows the range of its active
// index whose leading fields equal the master's current values, applied
// again whenever the master moves; a new record takes those values.
//
// Locate and Lookup (DataSet.h) search, where the table's own index does not
// serve them, on a second engine table over the same file with an index over
// the key fields (TableLocate.cpp; kept while the key fields stay the same).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "access/DBDataSet.h"
#include "access/DataSource.h"
#include "access/FieldDefs.h"
#include "engine/DataFile.h"
#include "engine/Value.h"

namespace quire {

class TQuireTable : public TQuireDBDataSet {
 public:
  explicit TQuireTable(const void* owner = nullptr);
  ~TQuireTable() override;

  const std::string& TableName() const { return tableName_; }
  void SetTableName(std::string_view name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);
  // After opening, whether the engine table is read-only.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  bool InMemory() const { return inMemory_; }
  void SetInMemory(bool inMemory);
  bool StrictChangeDetection() const { return strict_; }
  void SetStrictChangeDetection(bool strict);
  bool ForceBufferFlush() const { return forceFlush_; }
  void SetForceBufferFlush(bool force);
  // Passed to an open table at once.
  std::uint8_t LockRetryCount() const { return lockRetryCount_; }
  void SetLockRetryCount(std::uint8_t count);
  std::uint16_t LockWaitTime() const { return lockWaitTime_; }
  void SetLockWaitTime(std::uint16_t milliseconds);
  // The active index by name ("" the primary); setting it clears
  // IndexFieldNames. On an open table the range is cancelled and the first
  // record of the new order becomes current.
  const std::string& IndexName() const { return indexName_; }
  void SetIndexName(std::string_view name);
  // The active index by its fields ("Code;Name", names ignoring case);
  // setting it clears IndexName. "No index for fields '%s'" when no index
  // has exactly these fields.
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(std::string_view names);

  // --- Definitions (TableDefs.cpp) ----------------------------------------
  // Read from the table when first asked after a change of its settings;
  // while the table is closed through a second engine table on its file,
  // opened (never exclusively) for the reading only.
  const std::vector<TFieldDef>& FieldDefs();
  const std::vector<TIndexDef>& IndexDefs();

  // --- Keys and ranges (TableKeys.cpp) --------------------------------------
  void SetKey();
  void EditKey();
  // Makes the record with the entered key current; false (nothing moves)
  // when there is none.
  bool GotoKey();
  // Makes the first record at or after the entered key current (after the
  // last one: the last record, at the end).
  void GotoNearest();
  // SetKey, the values into the leading index fields, GotoKey or
  // GotoNearest. "Field index out of range" for more values than the index
  // has fields.
  bool FindKey(const std::vector<TValue>& values);
  void FindNearest(const std::vector<TValue>& values);
  // Key state: the leading index fields a key uses (0: up to the last one
  // written). "Dataset not in edit or insert mode" outside key state.
  int KeyFieldCount() const;
  void SetKeyFieldCount(int count);
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  // Limits the table to the keys from the range start to the range end (a
  // bound that was not entered leaves that end open) and makes the first
  // record current; nothing is done again for the range already applied.
  void ApplyRange();
  // Removes the range and clears the range buffers; the record stays.
  void CancelRange();
  void SetRange(const std::vector<TValue>& start, const std::vector<TValue>& end);
  // The active index's fields; "Field index out of range" beyond them,
  // "Cannot access index field '%s'" for one the dataset lacks.
  int IndexFieldCount() const;
  TField& IndexFields(int index) const;

  // --- Master-detail (TableMaster.cpp) --------------------------------------
  TDataSource* MasterSource() const { return masterLink_.Source(); }
  // "Circular datalinks are not allowed" for a source of this table.
  void SetMasterSource(TDataSource* source);
  const std::string& MasterFields() const { return masterFields_; }
  void SetMasterFields(std::string_view fields);

 protected:
  TDataFile& OpenCursor() override;
  void CloseCursor() override;
  bool CanModify() const override;
  void PrepareCursor() override;
  void KeyFieldChanging(const TField& field) override;
  void PostKey() override;
  void CancelKey() override;
  void InitNewRecord() override;
  void RangeLost() override;
  TDataFile* LocateTable(std::string_view keyFields, const std::vector<int>& numbers,
                         bool caseInsensitive) override;

 private:
  enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave };
  struct TKeyBuffer {
    std::vector<std::uint8_t> Record;
    bool Modified = false;
    int FieldCount = 0;         // 0: up to the last field written
    std::uint32_t Written = 0;  // bit i: index field i was written
    friend bool operator==(const TKeyBuffer&, const TKeyBuffer&) = default;
  };
  class TMasterLink : public TDataLink {
   public:
    explicit TMasterLink(TQuireTable& table) : table_(table) {}

   protected:
    void DataEvent(TDataEvent event, const TField* field) override;

   private:
    TQuireTable& table_;
  };

  // Gives a new engine table the table's settings and the session's password
  // prompt (removed again after its open).
  std::unique_ptr<TDataFile> OpenEngineTable(bool exclusive);
  // A second engine table on the file, for as long as the caller keeps it.
  std::unique_ptr<TDataFile> OpenSecondTable();
  std::string IndexForFields(TDataFile& engine, std::string_view names) const;
  void SelectActiveIndex();
  // TableKeys.cpp
  void ClearKeyBuffers();
  void InitKeyBuffer(TKeyBuffer& buffer);
  void BeginKeyWork(TKeyIndex index, bool clear);
  int UsedKeyFields(const TKeyBuffer& buffer) const;
  void SetKeyValues(const std::vector<TValue>& values);
  void ApplyRangeIfChanged(bool moveFirst);
  void SetEngineRange(const TKeyBuffer& start, const TKeyBuffer& end);
  // TableMaster.cpp
  void MasterChanged(bool moveFirst);
  std::vector<TField*> MasterLinkFields() const;

  std::string tableName_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool inMemory_ = false;
  bool strict_ = false;
  bool forceFlush_ = false;
  std::uint8_t lockRetryCount_ = 15;
  std::uint16_t lockWaitTime_ = 100;
  std::string indexName_;
  std::string indexFieldNames_;
  std::unique_ptr<TDataFile> engine_;

  // Definitions and what they were read for.
  bool defsValid_ = false;
  std::string defsFor_;
  std::vector<TFieldDef> fieldDefs_;
  std::vector<TIndexDef> indexDefs_;

  std::vector<TKeyBuffer> keys_;   // kiLookup .. kiSave while open
  TKeyIndex keyIndex_ = kiLookup;  // the buffer of the key work under way

  TMasterLink masterLink_{*this};
  std::string masterFields_;

  // The second engine table of the last locate, by its key fields and case.
  std::unique_ptr<TDataFile> locateTable_;
  std::string locateFields_;
  bool locateCaseInsensitive_ = false;
};

}  // namespace quire
