#pragma once
// TQuireBlobStream: a stream over one blob field of a dataset's active
// record, in read, write or read-write mode, over the engine's blob calls.
//
// Opening takes the active record buffer for the dataset's state: none while
// the dataset is closed or browses an empty view, and the stream then stays
// closed (reads and writes nothing). Unless the field was already changed in
// the current edit, the write modes fail with "Field '%s' cannot be
// modified" for a read-only field and with "Dataset not in edit or insert
// mode" outside edit and insert, and the engine opens the blob (its error
// codes raise EQuireEngineError). Write mode empties the blob at once.
//
// Reads and writes work at the stream's position, which they advance; the
// engine keeps the whole value in memory until the record is posted, and
// cancelling drops what the streams wrote. A read-mode stream refuses writes
// and truncation with "Field '%s' cannot be modified".
//
// Freeing the stream: when it wrote, the field counts as changed in the
// current edit (post stores it) and attached controls hear of the change (an
// error there goes to the dataset's OnError); when the field is not changed,
// the engine closes the blob again.
//
// A stream belongs to the record it was opened on: free it before the
// dataset posts, cancels or moves. If the dataset does so first, the stream
// closes itself and leaves the engine and the dataset alone.

#include <cstddef>
#include <cstdint>
#include <span>

#include "access/DBDataSet.h"
#include "access/Field.h"
#include "engine/ErrorCodes.h"

namespace quire {

enum class TBlobStreamMode { Read, Write, ReadWrite };

// Where Seek counts from.
enum class TSeekOrigin { Beginning, Current, End };

class TQuireBlobStream {
 public:
  // `field` must be a blob field of `dataset` ("Field '%s' not found"
  // otherwise).
  TQuireBlobStream(TQuireDBDataSet& dataset, TField& field, TBlobStreamMode mode);
  ~TQuireBlobStream();
  TQuireBlobStream(const TQuireBlobStream&) = delete;
  TQuireBlobStream& operator=(const TQuireBlobStream&) = delete;

  // Whether the stream has a blob to work on: opened on a record buffer that
  // is still the dataset's active one.
  bool Opened() const;
  TBlobStreamMode Mode() const { return mode_; }

  // Up to `count` bytes from the position into `destination`; returns how
  // many came (fewer at the end of the blob, none on a closed stream).
  std::size_t Read(void* destination, std::size_t count);
  // `count` bytes at the position, the blob growing as needed; returns
  // `count` (0 on a closed stream).
  std::size_t Write(const void* source, std::size_t count);
  // Moves the position and returns it; a position before the start is the
  // start. From the end counts from the blob's size.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin);
  std::int64_t Position() const { return position_; }
  // The blob's size (0 on a closed stream).
  std::int64_t Size();
  // Cuts the blob at the position.
  void Truncate();

 private:
  std::span<std::uint8_t> Buffer();
  // The field's slot in `buffer`: the negated handle of the open value.
  std::int32_t Slot(std::span<const std::uint8_t> buffer) const;
  bool FieldChanged();
  void CheckWritable() const;
  // Raises the engine error `code` for the dataset's table.
  [[noreturn]] void Fail(TErrorCode code) const;
  void Close() noexcept;

  TQuireDBDataSet& dataset_;
  TField& field_;
  TBlobStreamMode mode_;
  bool opened_ = false;
  std::int32_t slot_ = 0;    // the open value's slot while opened
  bool registered_ = false;  // this stream marked the field changed on opening
  bool written_ = false;
  std::int64_t position_ = 0;
};

}  // namespace quire
