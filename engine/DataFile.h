#pragma once
// TDataFile: one open table. It is the data file (".DAT") and owns the
// table's index file (".IDX") and, when the table has blob fields, its blob
// file (".BLB"), all opened, closed, created and emptied together.
//
// The data file is a 127-byte header, one 768-byte descriptor per field and
// the record slots (DataFileHeader.h). Open reads and checks the header and
// the descriptors against themselves and against the file's length, so that
// everything after it can trust them. The record operations build on the
// state kept here and live in files of their own.
//
// One TDataFile is used by one thread at a time.

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
#include "engine/TableCreate.h"
#include "engine/TableLocks.h"
#include "index/IndexFile.h"

namespace quire {

class TDataFile : public TFileHandler {
 public:
  // Asked while an encrypted table's password is not in the session's list;
  // returns true when it added a password to the list (the list is then
  // tested again) and false when the user gave none (open fails with 10498).
  using TPasswordCallback = std::function<bool()>;

  TDataFile();
  ~TDataFile() override;

  void SetPasswordCallback(TPasswordCallback callback) { passwordCallback_ = std::move(callback); }

  // Record lock retries after the first attempt (default 15) and the wait
  // between attempts in milliseconds (default 100).
  void SetLockRetryCount(std::uint8_t count) { locks_.SetLockRetryCount(count); }
  void SetLockWaitTime(std::uint16_t milliseconds) { locks_.SetLockWaitTime(milliseconds); }

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
  void ResetState();
  void ReadHeader();
  void CheckPassword();
  void ReadDescriptors();
  // Recomputes the derived sizes and checks every descriptor (8961).
  void CheckDescriptors();
  void BuildLogicalFields();
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
};

}  // namespace quire
