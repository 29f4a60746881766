#pragma once
// TBlobFile: the blob file (".BLB") of one open table that has blob fields.
// It holds the blob values in chains of fixed-size blocks after a 512-byte
// header. The data file owns one TBlobFile, gives it the table's name (the
// extension becomes ".BLB"), the exclusive, read-only and in-memory
// settings, the encryption switch and the block size, and creates, opens,
// empties and closes it with the table.
//
// Blocks. Every block is B bytes at 512 + n*B: an 18-byte header (previous,
// next, used bytes, owner record, value length) and B - 18 payload bytes
// (Block.h). A value lives in a chain of blocks owned by one record; blocks
// that fall out of use go on the file's one free chain. Blocks pass through a
// cache (BlockCache.h) of min(262140 / B, 4096) blocks.
//
// Values. A value is opened whole into memory (TBlobBuffer) and read,
// written and truncated there; its blocks are rewritten only when the record
// is posted. A handle names an open value; the data file keeps it negated in
// the record buffer's slot while the value is open.
//
// Posting a record, in this order:
//   SetOwner(record)                    the record's physical number
//   refs = WriteModifiedValues()        blocks rewritten in the cache
//   (the data file stores refs into the record image and writes the record)
//   FlushBlocks(); WriteHeader()        when the table writes through
//   CloseAllValues()
// Deleting a record: FreeValue() for each nonzero reference it held.
//
// Damaged files. Every offset read from the file is checked before use: a
// chain whose owner, pointer (before 512, at or past the end offset, not on a
// block boundary), shape (a loop, a block in two chains) or length is wrong
// raises 8963, a chain shorter than its value raises 8711, a used-bytes count
// larger than the payload raises 10029. A value is read and an old chain
// walked whole before any block is changed, so a damaged chain changes
// nothing on disk.
//
// Sharing with other programs. Blocks are read without further ado while the
// file is exclusive, a table lock is held (SetTableLockHeld) or a post is in
// progress. Otherwise a block that has to be read from the file is read under
// a read lock of the blob file after comparing the header's change counter
// with ours; when another user changed the file, the header is read again,
// every cached block is dropped and reading the value starts again from its
// first block.
//
// Encrypted tables encipher the header as one run of the table cipher with
// the data seeds, and each block as two runs: its header and its payload.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "blob/BlobHeader.h"
#include "engine/ErrorCodes.h"
#include "engine/FileHandler.h"

namespace quire {

class TBlock;
class TBlockCache;
class TOpenBlobs;
class TBlobBuffer;

// A value handle: positive while the value is open. A closed handle is not
// given out again soon (handles count up), so a stale handle in a record
// buffer meets 10030 rather than another value.
using TBlobHandle = std::int32_t;

// At most this many values are open in one blob file at once.
inline constexpr std::size_t kMaxOpenBlobs = 64;
// The longest value: its length is a signed 32-bit field of the first block.
inline constexpr std::uint32_t kMaxBlobLength = 2147483647;
// No block is placed at an end offset beyond this (9479).
inline constexpr std::uint32_t kMaxBlobEndOffset = 2000000000;
// The largest block size: the used-bytes field of a block is 16 bits.
inline constexpr std::uint32_t kMaxBlobBlockSize = 65535 + 18;

// Where an open value goes in the record image after a post: the value of
// field `field` (its number in the table) starts at block `firstBlock`, 0
// when it is empty.
struct TBlobReference {
  std::uint16_t field = 0;
  std::int32_t firstBlock = 0;
};

class TBlobFile : public TFileHandler {
 public:
  TBlobFile();
  ~TBlobFile() override;

  // Settings of the closed file (10031 when open), from the data file header.
  void SetEncrypted(bool encrypted);
  bool Encrypted() const { return encrypted_; }
  // The block size B (a stored 0 means 512).
  void SetBlockSize(std::uint32_t blockSize);
  std::uint32_t BlockSize() const { return blockSize_; }
  // Payload bytes per block: B - 18.
  std::uint32_t PayloadSize() const { return blockSize_ - 18; }

  // --- File ------------------------------------------------------------------

  // Creates the file, replacing an existing one (closed and exclusive, else
  // 10031 / 10253), and writes the header of a file without blocks: version
  // 3, end offset 512, header-modified 1, change counter 0. Stays open. A
  // block size above 65553 gives 9498 (the used-bytes field could not hold
  // a full payload).
  void Create() override;

  // Opens the file and reads its header: a version other than 3 gives 12035,
  // a block size above 65553 gives 9498, and an end offset or free block head
  // that is not a block boundary inside the file's block area gives 8963; the
  // file is closed again on failure. Sizes the block cache.
  void Open() override;

  // Discards every open value and every cached block, written or not, forgets
  // the header and closes the file. The owner writes what it wants to keep
  // (FlushBlocks, WriteHeader) before it closes.
  void Close() override;

  // Cuts the file to its header: end offset 512, no free blocks, version 3;
  // the header is written. Needs the file open exclusively and writable
  // (10253, 11013). Open values and cached blocks are dropped.
  void Empty();

  // --- Header ----------------------------------------------------------------

  const TBlobHeader& Header() const { return header_; }
  bool HeaderModified() const { return header_.Modified != 0; }
  void MarkHeaderModified() { header_.Modified = 1; }

  // Reads and deciphers the header; clears the header-modified flag.
  void ReadHeader();
  // When the header is modified, or `force` is set: increments the change
  // counter, writes the 512 bytes with the modified flag as it stands, then
  // clears the flag.
  void WriteHeader(bool force = false);
  // Whether another user wrote the header since we read it: deciphers the
  // first 4 bytes on disk as the start of a header run and compares them with
  // our change counter; when they differ the header is read again.
  bool HeaderChanged();
  // HeaderChanged, and when it reports true every cached block is dropped
  // too. The table runs this in its change check after it takes its locks.
  bool CheckForChanges();

  // --- Open values -------------------------------------------------------------
  // Misuse is a result code (0 = success); a damaged chain raises (above).

  // Reads the stored value of field `field` of physical record `record`,
  // whose chain starts at `firstBlock` (0: an empty value), whole into
  // memory and sets `handle`. 9494 when 64 values are open; 9998 for a
  // negative `firstBlock` (an in-memory handle, not a stored reference).
  // Nothing stays open when it raises.
  TErrorCode OpenValue(std::int32_t firstBlock, std::uint16_t field, std::uint32_t record,
                       TBlobHandle& handle);
  // Forgets the open value and its unposted changes; `firstBlock` gets the
  // value's stored reference (as last posted) for the record buffer's slot.
  // 10030 when `handle` names no open value.
  TErrorCode CloseValue(TBlobHandle handle, std::int32_t& firstBlock);
  // Copies `count` bytes from `offset` of the value to `destination`. When
  // offset + count runs past the end, copies the bytes from offset to the end
  // (none when offset is at or past it) and returns 8711. `copied` is the
  // number of bytes copied. 10030 for a handle that names no open value.
  TErrorCode ReadValue(TBlobHandle handle, std::uint32_t offset, std::uint32_t count,
                       void* destination, std::uint32_t& copied) const;
  // Copies `count` bytes from `source` to `offset`, first growing the value
  // to offset + count (new bytes zero) when it is shorter; marks it
  // modified. 10029 when the value would pass kMaxBlobLength; 10030 as above.
  TErrorCode WriteValue(TBlobHandle handle, std::uint32_t offset, std::uint32_t count,
                        const void* source);
  // Sets the length: shrinking drops the tail, growing appends zero bytes, 0
  // empties the value; marks it modified. 10029 above kMaxBlobLength; 10030.
  TErrorCode TruncateValue(TBlobHandle handle, std::uint32_t length);
  // The current length of the open value. 10030 as above.
  TErrorCode ValueSize(TBlobHandle handle, std::uint32_t& size) const;
  // Whether `handle` names an open value of this file.
  bool IsValueOpen(TBlobHandle handle) const;
  std::size_t OpenValueCount() const;

  // --- Posting and deleting records -----------------------------------------------

  // Gives every open value the physical record number `record` (for a new
  // record, the slot it has just received).
  void SetOwner(std::uint32_t record);
  // Stores every open value that is modified: its old chain is reused block
  // by block, more blocks come from the free chain or the end of the file,
  // and an old tail it no longer needs goes to the free chain; an empty value
  // frees its whole chain and gets reference 0. The blocks are changed in
  // the cache (FlushBlocks writes them) and the header is marked modified.
  // Modified values of different records give 8963, before anything is
  // stored. Returns the reference of every open value, modified or not, for
  // the record image; stored values are no longer modified.
  std::vector<TBlobReference> WriteModifiedValues();
  // The references of every open value as they stand (the last stored ones).
  std::vector<TBlobReference> OpenValueReferences() const;
  // Forgets every open value without storing it.
  void CloseAllValues();
  // Puts the chain at `firstBlock`, owned by `record`, on the free chain, in
  // chain order (its last block ends at the head). For each blob of a
  // deleted record; 0 does nothing. The chain is checked whole first.
  void FreeValue(std::int32_t firstBlock, std::uint32_t record);

  // --- Block cache -----------------------------------------------------------------

  // Writes every modified, unpinned block, runs of adjacent blocks in one
  // write each. The header is written separately (WriteHeader).
  void FlushBlocks();
  // Forgets every cached block, written or not (another user changed the
  // file, or the table discards buffered changes).
  void Invalidate();
  // Whether the table holds a lock that keeps other writers out (its read,
  // write or table lock): blocks are then read without the change check, and
  // this file takes no read lock of its own (it would collide with the
  // table's). With `buffered` (the table lock of buffered-change mode) the
  // cache grows by 256 blocks when every block is in use, instead of failing
  // with 8963; ending it writes back and trims the cache.
  void SetTableLockHeld(bool held, bool buffered = false);

  std::size_t CachedBlocks() const;
  std::size_t CacheCapacity() const;
  // Read and write calls made for blocks since open.
  std::uint64_t BlockReads() const;
  std::uint64_t BlockWrites() const;

 protected:
  std::string NormaliseName(std::string_view name) const override;

 private:
  void WriteHeaderImage();
  void CheckHeader() const;
  void ResetBlocks();
  void RequireOpenFile() const;

  // Values (BlobFileValues.cpp).
  TBlobBuffer* FindValue(TBlobHandle handle) const;
  std::vector<std::uint8_t> ReadStoredValue(std::uint32_t firstBlock, std::uint32_t record);
  // False when another user changed the file on the way: start again.
  bool TryReadStoredValue(std::uint32_t firstBlock, std::uint32_t record,
                          std::vector<std::uint8_t>& bytes);

  // Chains (BlobFileChains.cpp).
  bool ValidBlockOffset(std::uint32_t offset) const;
  void RequireBlockOffset(std::uint32_t offset) const;
  std::uint64_t BlockCount() const;
  // The offsets of the chain at `firstBlock`, checked whole: every pointer
  // a block of the file, no block twice, every block owned by `record`.
  std::vector<std::uint32_t> WalkChain(std::uint32_t firstBlock, std::uint32_t record);
  // Rewrites `value` into its old chain `oldChain` (from WalkChain), taking
  // and freeing blocks as its new length needs.
  void StoreValue(TBlobBuffer& value, std::span<const std::uint32_t> oldChain);
  std::uint32_t TakeBlock();
  void FreeBlocks(std::span<const std::uint32_t> offsets);
  [[noreturn]] void RaiseCorrupt() const;

  // Blocks through the cache, with the change check where it applies
  // (BlobFileBlocks.cpp). FetchBlock returns null when another user changed
  // the file (the cache has been dropped then).
  bool NeedsChangeCheck() const;
  TBlock* FetchBlock(std::uint32_t offset, std::uint32_t readAhead);
  // FetchBlock inside RunChange, where no check runs.
  TBlock& FetchKnownBlock(std::uint32_t offset, std::uint32_t readAhead);
  // Runs `change` after one change check, with no check inside it: half way
  // through a change a restart could no longer undo what was done.
  void RunChange(const std::function<void()>& change);

  TBlobHeader header_;
  bool encrypted_ = false;
  std::uint32_t blockSize_ = 512;

  std::unique_ptr<TBlockCache> cache_;
  std::unique_ptr<TOpenBlobs> values_;
  bool tableLockHeld_ = false;
  bool bufferedMode_ = false;
  bool changeInProgress_ = false;
  // The file ends before the header's end offset (see ReadHeader).
  bool cutShort_ = false;
};

}  // namespace quire
