#pragma once
// TFileHandler: the engine's file object, base of the data, index and blob
// files. It opens, creates, reads, writes, seeks, flushes, renames, copies and
// deletes one file and takes byte-range locks on it, either on disk or on an
// in-memory file of the current engine session.
//
// Every failure raises an engine error with the file's name. Settings that
// concern the file (name, exclusive, read-only, in-memory) change only while it
// is closed (else 10031). One handler is used by one thread at a time.
//
// Sharing: an exclusive open keeps every other open of the file out (11013),
// in this process and in others; a shared open keeps exclusive opens out.
// Creating, deleting, renaming and replacing a file (copy target) first make
// sure nobody else has it open.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileLock.h"
#include "platform/UniqueFd.h"

namespace quire {

class TMemoryFile;
class TWriteBatch;

class TFileHandler {
 public:
  TFileHandler();
  // An open handler closes itself.
  virtual ~TFileHandler();
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;

  // Full path, or the logical name of an in-memory file.
  const std::string& FileName() const { return name_; }
  // Stores NormaliseName(name). 10031 when open.
  void SetFileName(std::string_view name);

  // Opened for sole use; lock operations then always succeed without locking.
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);  // 10031 when open
  // Opened for reading only: every write fails with 11013. Also set by open
  // when the disk file carries the read-only attribute (no write bit).
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);  // 10031 when open
  bool InMemory() const { return inMemory_; }
  void SetInMemory(bool inMemory);  // 10031 when open
  // The open file carries the read-only attribute: the table layers take no
  // locks on it.
  bool NoLocking() const { return noLocking_; }
  bool IsOpen() const { return open_; }
  // Opens files with write-through (O_DSYNC), and flushes become no-ops.
  // Ignored while open; once set it stays set.
  void SetWriteThrough(bool writeThrough);
  bool WriteThrough() const { return writeThrough_; }

  // Opens an existing file (11010 when there is none; 11013 when the share
  // mode refuses). A name that does not exist as spelled is matched ignoring
  // case. 10031 when already open.
  virtual void Open();
  // Creates the file, replacing an existing one, for exclusive use. 10031
  // when open, 10253 when not set exclusive, 11013 when someone has it open.
  virtual void Create();
  // Closes the file and releases every lock taken through this handler.
  virtual void Close();
  // Deletes the closed file: 10031 when open, 9220 when it cannot be deleted
  // or someone has it open.
  virtual void Delete();
  // Renames the closed file to NormaliseName(newName) and takes the new name:
  // 10031 when open, 11047 when it fails (someone has it open, or a file of
  // the new name exists).
  virtual void Rename(std::string_view newName);
  // Copies the open file's bytes to `targetName`, replacing it. Nothing while
  // closed. The copy is refused (11013) while someone has the target open.
  void CopyTo(std::string_view targetName);
  bool Exists() const;

  // Origin 0 from the start, 1 from the position, 2 from the end (disk: end +
  // offset; in memory: length - offset). Returns the new position.
  std::int64_t Seek(std::int64_t offset, int origin);
  // Seeks to the end and returns the position.
  std::int64_t Size();
  // Reads at the position and advances. Fewer bytes than `count` raise 9217
  // unless `allowShort`. Returns the count read.
  std::size_t Read(void* buffer, std::size_t count, bool allowShort = false);
  // Writes at the position and advances; fewer bytes stored raise 9218. A
  // count of 0 truncates the file at the position.
  void Write(const void* buffer, std::size_t count);
  // As Read and Write, at `offset`, leaving the position alone.
  std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t count, bool allowShort = false);
  // Reads the first `count` bytes of the file (at most 4096), as ReadAt(0)
  // would. A shared disk file serves them from a read-only shared mapping of
  // its first page, which shows every other program's writes as soon as
  // they are made: the change counters that each cache miss compares live
  // there, and reading them costs no system call. The mapping is made on
  // the first call while the file holds `count` bytes; files that have to
  // shrink below that are only ever changed by an exclusive open, which no
  // shared open can be beside.
  void ReadHead(void* buffer, std::size_t count);
  void WriteAt(std::int64_t offset, const void* buffer, std::size_t count);
  // Asks the operating system to store its buffers (skipped with
  // write-through; nothing for in-memory files).
  void Flush();

  // While `batch` is attached (null detaches), WriteAt on a disk file queues
  // the write in it instead of performing it; every other access to the
  // file's bytes first submits what the batch holds. The batch must outlive
  // the attachment, and its owner submits it before releasing the locks
  // that keep other programs from reading.
  void AttachWriteBatch(TWriteBatch* batch) { batch_ = batch; }

  // Byte-range locks; they never wait. Always true on an exclusive file.
  // Refused when the range overlaps one held through this or another open of
  // the file; an unlock must name a held range exactly.
  bool LockRange(std::int64_t offset, std::int64_t length);
  bool UnlockRange(std::int64_t offset, std::int64_t length);

 protected:
  // The name the file gets; derived classes put their extension on it.
  virtual std::string NormaliseName(std::string_view name) const;

 private:
  void RequireClosed() const;
  void RequireOpen() const;
  void RequireWritable() const;
  void OpenOnDisk();
  void OpenInMemory();
  void CreateOnDisk();
  void CreateInMemory();
  void CloseHandles() noexcept;
  // Submits the attached batch's queued writes, if any.
  void SettleWrites();
  // Runs `io` on the in-memory file under the engine's memory-file section,
  // at *offset when given (the handle's position is restored afterwards).
  using MemoryIo = std::function<std::int64_t(TMemoryFile&, int handle)>;
  std::int64_t TransferInMemory(const std::int64_t* offset, const MemoryIo& io);
  std::size_t ReadFromMemory(const std::int64_t* offset, void* buffer, std::size_t count,
                             bool allowShort);
  void WriteToMemory(const std::int64_t* offset, const void* buffer, std::size_t count);

  std::string name_;
  bool inMemory_ = false;
  bool exclusive_ = false;
  bool readOnlySetting_ = false;  // what the owner asked for
  bool readOnly_ = false;         // in force: the setting or the file's attribute
  bool noLocking_ = false;
  bool open_ = false;
  bool writeThrough_ = false;

  lyrabook::UniqueFd fd_;
  std::unique_ptr<lyrabook::FileRangeLocks> locks_;
  // Shared with the session's list, so that it outlives a removal from it.
  std::shared_ptr<TMemoryFile> memoryFile_;
  int memoryHandle_ = 0;
  TWriteBatch* batch_ = nullptr;
  // The shared mapping of the first page (ReadHead); null while none, and
  // `headRefused_` once none can be had for this open.
  const unsigned char* head_ = nullptr;
  bool headRefused_ = false;
};

}  // namespace quire
