#pragma once
// TIndexFile: the index file (".IDX") of one open table. It holds every index
// of the table in one file: the primary index (slot 0), up to 30 secondary
// indexes (slots 1..30) and the internal "Sys Deleted" index (slot 31), each
// a B+-tree of 4096-byte pages (TPage) after the 4096-byte header.
//
// This class owns the header image and the index definitions. The data file
// owns one TIndexFile, gives it the table's name (the extension becomes
// ".IDX"), the exclusive/read-only/in-memory settings and the encryption
// switch, and drives it: create + define indexes at table creation, open and
// close with the table, header writes with its flushes.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/FileHandler.h"
#include "index/IndexDescriptor.h"
#include "index/IndexField.h"
#include "index/IndexHeader.h"

namespace quire {

inline constexpr std::uint8_t kPrimaryIndex = 0;
inline constexpr std::uint8_t kSysDeletedIndex = kSysDeletedSlot;
inline constexpr std::uint8_t kPhysicalOrder = 255;  // no index: record slot order
inline constexpr std::size_t kMaxSecondaryIndexes = 30;
inline constexpr char kPrimaryIndexName[] = "Primary";

class TIndexFile : public TFileHandler {
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

 protected:
  // The table name with its extension replaced by ".IDX".
  std::string NormaliseName(std::string_view name) const override;

 private:
  void RequireExclusiveOpen() const;
  void CheckDescriptors() const;
  void WriteHeaderImage();

  TIndexHeader header_;
  bool encrypted_ = false;
  std::uint8_t current_ = kPrimaryIndex;
  TIndexDescriptor currentDescriptor_;
  bool bitmapMode_ = false;
};

}  // namespace quire
