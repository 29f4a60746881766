#pragma once
// TIndexFile: the index file (".IDX") of one open table. It holds every index
// of the table in one file: the primary index (slot 0), up to 30 secondary
// indexes (slots 1..30) and the internal "Sys Deleted" index (slot 31), each
// a B+-tree of 4096-byte pages (TPage) after the 4096-byte header.
//
// This class owns the header image, the index definitions and a cache of
// decoded pages per index. The data file owns one TIndexFile, gives it the
// table's name (the extension becomes ".IDX"), the exclusive/read-only/
// in-memory settings, the encryption switch and the table's fields, and
// drives it: create + define indexes at table creation, open and close with
// the table, key changes for every record it adds, changes or deletes, page
// and header writes with its flushes.
//
// Sharing with other programs: pages are read without further ado while the
// file is exclusive or a lock is held (the table's, or this file's own read
// or write lock). Otherwise a page that has to be read from the file is read
// under a read lock after comparing the header's change counter with ours;
// when another user changed the file, the header is read again, every cached
// page is dropped and the search starts again from the root.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <array>
#include <vector>

#include "engine/FileHandler.h"
#include "index/IndexDescriptor.h"
#include "index/IndexField.h"
#include "index/IndexHeader.h"
#include "index/IndexTree.h"
#include "index/KeyComparer.h"
#include "index/KeyField.h"
#include "index/KeyLayout.h"
#include "index/PageCache.h"

namespace quire {

inline constexpr std::uint8_t kPrimaryIndex = 0;
inline constexpr std::uint8_t kSysDeletedIndex = kSysDeletedSlot;
inline constexpr std::uint8_t kPhysicalOrder = 255;  // no index: record slot order
inline constexpr std::size_t kMaxSecondaryIndexes = 30;
inline constexpr char kPrimaryIndexName[] = "Primary";

// The highest offset at which a page may start.
inline constexpr std::uint32_t kMaxPageOffset = 2000000000;

class TIndexFile : public TFileHandler, private TTreeStorage {
 public:
  TIndexFile();
  ~TIndexFile() override;

  // Encrypted tables encipher the header and every page as one run of the
  // table cipher (data seeds) each. A setting of the closed file (10031 when
  // open), taken from the data file header.
  void SetEncrypted(bool encrypted);
  bool Encrypted() const { return encrypted_; }

  // Creates the file, replacing an existing one (closed and exclusive
  // handler, else 10031 / 10253), and writes the header of a new file with
  // no index defined yet: version 3, end offset 4096, slot 31 "Sys Deleted",
  // header-modified 1, change counter 0. The file stays open.
  void Create() override;

  // Opens the file and reads its header; a version other than 3 gives 12035,
  // a header whose index count, key sizes or key field counts are out of
  // range gives 8961; either leaves the file closed. Selects index 0.
  void Open() override;

  // Forgets the header and the selection and closes the file. Does not write:
  // the owner writes the header (WriteHeader) before it closes.
  void Close() override;

  // Cuts the file to its header and resets it: end offset 4096, record count
  // 0, root page and free page head of every defined index and of slot 31 set
  // to 0; the header is written. Needs the file open exclusively (10253).
  void Empty();

  // --- Header ---------------------------------------------------------------

  const TIndexHeader& Header() const { return header_; }

  // Reads and deciphers the header; clears the header-modified flag.
  void ReadHeader();

  // When the header is modified, or `force` is set: increments the change
  // counter, writes the header with its modified flag as it stands, then
  // clears the flag. Otherwise writes nothing.
  void WriteHeader(bool force = false);

  void MarkHeaderModified() { header_.SetModified(true); }
  bool HeaderModified() const { return header_.Modified(); }

  // Whether another user wrote the header since we read it: compares the
  // change counter on disk (the first 4 bytes, deciphered as the start of a
  // header run) with ours. Reads only those 4 bytes.
  bool HeaderChanged();

  // The table's live record count kept in the header; each change marks the
  // header modified.
  std::int32_t RecordCount() const { return header_.RecordCount(); }
  void RecordCountUp();
  void RecordCountDown();

  // --- Index definitions ----------------------------------------------------

  // Defines the primary index from `definition` over the table's `fields`.
  // Needs the file open exclusively (10253). Fails with 9993 when slot 0
  // already has a key size, 9487 for more than 16 fields, 10023 for a field
  // number the table lacks, 12292 for a blob field, 10026 for a key above
  // 1036 bytes. A definition with no fields sets the no-primary flag and
  // clears slot 0. The header is written at once.
  void DefinePrimaryIndex(const TIndexDefinition& definition, std::span<const TIndexField> fields);

  // Adds a secondary index in the next free slot. Needs the file open
  // exclusively (10253). Fails with 9487 when 30 secondary indexes exist or
  // more than 16 fields are given, 10010 for an empty name, 10022 for a name
  // that does not begin with a letter, 10027 for a name in use (ignoring
  // case), 10023 / 12292 / 10026 as for the primary index (a secondary key
  // may not be empty). The name is cut to 30 characters; a secondary index
  // that is not unique gets 4 more key bytes for the record's auto-increment
  // suffix. The header is written at once.
  void AddSecondaryIndex(const TIndexDefinition& definition, std::span<const TIndexField> fields);

  bool HasPrimaryIndex() const { return !header_.NoPrimary(); }
  std::size_t SecondaryIndexCount() const { return header_.SecondaryCount(); }

  // The descriptor in slot 0..31.
  TIndexDescriptor Descriptor(std::uint8_t number) const { return header_.Descriptor(number); }

  // The name engine messages use for an index: "Primary" for index 0, the
  // stored name otherwise, the number in decimal for physical order.
  std::string IndexName(std::uint8_t number) const;

  // --- Index selection ------------------------------------------------------

  // Selects by name, ignoring case; an empty name, or one no secondary index
  // has, selects the primary index.
  void SelectIndex(std::string_view name);

  // Selects 0..30 (a defined index), 31 or 255 (physical order); any other
  // number gives 10022 with the number as the index name. Physical order,
  // and index 0 of a table without a primary index, turn bitmap mode on.
  void SelectIndex(std::uint8_t number);

  std::uint8_t CurrentIndex() const { return current_; }
  // The selected index's descriptor (all zero for physical order).
  const TIndexDescriptor& CurrentDescriptor() const { return currentDescriptor_; }
  bool BitmapMode() const { return bitmapMode_; }

  // Selects the first index (primary, then secondaries in slot order) whose
  // first key field is `fieldNo` and, for a string field, whose case folding
  // equals `caseInsensitive` unless `anyCase` is set. Returns false and
  // leaves the selection alone when there is none; a table without a
  // primary index has none.
  bool SelectIndexForField(std::uint16_t fieldNo, bool caseInsensitive, bool anyCase,
                           std::span<const TIndexField> fields);

  // --- Keys -------------------------------------------------------------------

  // The table's fields as key building sees them (record offsets included).
  // Given by the data file after open; kept until changed.
  void SetKeyFields(std::span<const TKeyField> fields);
  // The string order of the table's locale; null (the default) for a table
  // without one, whose keys compare as bytes. Must outlive its use here.
  void SetCollation(const TKeyCollation* collation);
  std::span<const TKeyField> KeyFields() const { return keyFields_; }
  const TKeyCollation* Collation() const { return collation_; }

  // Key size K of the current index (0 in physical order).
  std::uint16_t KeySize() const { return layout_.KeySize(); }
  // Builds the current index's key of `record` (a record buffer) into `key`,
  // which must hold KeySize() bytes.
  void BuildKey(std::span<const std::uint8_t> record, std::span<std::uint8_t> key) const;
  // Compares two keys of the current index over `length` bytes: -1, 0, 1.
  int CompareKeys(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) const {
    return comparer_.Compare(a, b, length);
  }

  // --- Key operations on the current index ------------------------------------
  // Keys are K bytes. In physical order, and on index 0 of a table without a
  // primary index, there is no tree: finds find nothing and changes do nothing.

  // For the primary index and unique secondary indexes: raises 9729 ("Duplicate
  // key found in index " + name; "Primary" for index 0) when the key is present.
  void CheckDuplicate(std::span<const std::uint8_t> key);
  // Inserts the key with its record number after every equal key.
  void InsertKey(std::span<const std::uint8_t> key, std::uint32_t record);
  // Removes the key; 8708 when it is absent.
  void DeleteKey(std::span<const std::uint8_t> key);
  // Removes `oldKey` (8708 when absent, nothing changed) and inserts `newKey`.
  void ReplaceKey(std::span<const std::uint8_t> oldKey, std::span<const std::uint8_t> newKey,
                  std::uint32_t record);
  // Whether the key is present.
  bool FindExact(std::span<const std::uint8_t> key);
  // The 1-based rank of the key in the current index order, 0 when absent.
  std::int32_t KeyPosition(std::span<const std::uint8_t> key);

  // --- Page cache ---------------------------------------------------------------

  // Writes every modified, unpinned page of every index, runs of adjacent
  // pages in one write each. The header is written separately (WriteHeader).
  void Flush();
  // Forgets every cached page, written or not (another user changed the file).
  void Invalidate();
  // Sets every page's pin count to 0 (after an operation failed).
  void UnpinAll();
  // Cuts every page list back to 31 pages, writing the modified pages it cuts.
  void TrimCache();
  // The page at `offset` when index `number`'s cache holds it unmodified,
  // else null. Leaves the cache's order alone.
  const TPage* CleanCachedPage(std::uint8_t number, std::uint32_t offset) const;
  // Takes a copy of a page a cursor read from the file into the cache of
  // its index, so that the change that follows the read (a delete of the
  // record the cursor found) does not read it again. Nothing is taken
  // under buffered changes, where the file may be older than the cache.
  void AdoptPage(const TPage& page);
  // Pages cached for index `number`, and the list's current capacity.
  std::size_t CachedPages(std::uint8_t number) const { return caches_[number].Size(); }

  // Whether the table holds a lock that keeps other writers out (its read,
  // write or table lock): pages are then read without the change check. With
  // `buffered` (the table lock of buffered-change mode) the page lists may
  // grow beyond 31 pages instead of writing pages back; ending it trims them.
  void SetTableLockHeld(bool held, bool buffered = false);

  // When another user wrote the header since we read it: reads the header
  // again, forgets every cached page and returns true. The table runs this
  // after it takes its locks.
  bool CheckForChanges();

  // --- Lock primitives ----------------------------------------------------------
  // The index file's part of the table locks: a reader holds one byte at
  // 2147483647 - r (r drawn anew for each attempt), a writer the 65535 bytes
  // from 2147418112. Each tries 1 + 8192 times, 3 ms apart, and reports
  // whether it got the lock; always true on an exclusive or no-locking file.

  bool ReadLock();
  void ReadUnlock();
  bool WriteLock();
  void WriteUnlock();
  bool ReadLocked() const { return readLocked_; }
  bool WriteLocked() const { return writeLocked_; }

 protected:
  // The table name with its extension replaced by ".IDX".
  std::string NormaliseName(std::string_view name) const override;

 private:
  void RequireExclusiveOpen() const;
  void CheckDescriptors() const;
  void WriteHeaderImage();

  // TTreeStorage: the pages of the current index.
  TPage* FetchPage(std::uint32_t offset) override;
  TPage& TakePage() override;
  void FreePage(TPage& page) override;
  void RequireRoomFor(std::size_t count) override;
  std::uint32_t RootPage() const override;
  void SetRootPage(std::uint32_t offset) override;
  const std::string& StorageFileName() const override { return FileName(); }

  bool HasTree() const;
  TPage& LoadPage(std::uint32_t offset);
  bool NeedsChangeCheck() const;
  void ResetCaches();
  void ResetCache(std::size_t slot);
  TPageCache& CurrentCache() { return caches_[current_ == kPhysicalOrder ? 0 : current_]; }
  // Runs a change of the current index: checks for other users' changes
  // once at its start when no lock keeps them out, then reads pages without
  // checking until it ends.
  template <typename Change>
  void RunChange(Change change);
  void RequireKeySize(std::span<const std::uint8_t> key) const;

  TIndexHeader header_;
  bool encrypted_ = false;
  std::uint8_t current_ = kPrimaryIndex;
  TIndexDescriptor currentDescriptor_;
  bool bitmapMode_ = false;

  std::vector<TKeyField> keyFields_;
  const TKeyCollation* collation_ = nullptr;
  TKeyLayout layout_;
  TKeyComparer comparer_;
  TIndexTree tree_{*this};
  std::array<TPageCache, kIndexSlotCount> caches_;

  bool tableLockHeld_ = false;
  bool bufferedMode_ = false;
  bool changeInProgress_ = false;
  bool readLocked_ = false;
  bool writeLocked_ = false;
  std::int64_t readLockByte_ = 0;  // 0: none taken on the file
};

}  // namespace quire
