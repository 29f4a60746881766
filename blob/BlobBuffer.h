#pragma once
// TBlobBuffer: the in-memory copy of one open blob value, and TOpenBlobs, the
// table of a blob file's open values.
//
// A value is read whole when it is opened; reads, writes and truncation work
// on the copy, and the blocks are rewritten only when its record is posted.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "engine/ErrorCodes.h"

namespace quire {

class TBlobBuffer {
 public:
  TBlobBuffer(std::uint32_t record, std::uint16_t field, std::uint32_t firstBlock,
              std::vector<std::uint8_t> bytes);

  // The physical record number of the owner; changed by a post of a new
  // record, which gets its slot only then.
  std::uint32_t Record() const { return record_; }
  void SetRecord(std::uint32_t record) { record_ = record; }
  std::uint16_t Field() const { return field_; }
  // The first block of the stored chain, 0 when none.
  std::uint32_t FirstBlock() const { return firstBlock_; }
  void SetFirstBlock(std::uint32_t offset) { firstBlock_ = offset; }

  std::uint32_t Size() const { return static_cast<std::uint32_t>(bytes_.size()); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

  // Copies up to `count` bytes from `offset`; 8711 when offset + count runs
  // past the end (`copied` then counts the bytes up to the end).
  TErrorCode Read(std::uint32_t offset, std::uint32_t count, void* destination,
                  std::uint32_t& copied) const;
  // Copies `count` bytes to `offset`, growing the value first when it is
  // shorter; 10029 when it would grow past `maxLength`.
  TErrorCode Write(std::uint32_t offset, std::uint32_t count, const void* source,
                   std::uint32_t maxLength);
  // Sets the length (new bytes zero); 10029 above `maxLength`.
  TErrorCode Truncate(std::uint32_t length, std::uint32_t maxLength);

 private:
  void Resize(std::size_t length);

  std::uint32_t record_;
  std::uint16_t field_;
  std::uint32_t firstBlock_;
  std::vector<std::uint8_t> bytes_;
  bool modified_ = false;
};

// The open values of one blob file, by handle; at most `limit` at once.
class TOpenBlobs {
 public:
  explicit TOpenBlobs(std::size_t limit) : limit_(limit) {}

  bool Full() const { return values_.size() >= limit_; }
  // Takes `value` and returns its handle (positive). The caller checks Full.
  std::int32_t Add(std::unique_ptr<TBlobBuffer> value);
  // The value of `handle`, null when it names none.
  TBlobBuffer* Find(std::int32_t handle) const;
  // Forgets the value of `handle`; false when it names none.
  bool Remove(std::int32_t handle);
  void Clear() { values_.clear(); }
  std::size_t Count() const { return values_.size(); }

  // Visits every open value, in handle order.
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const auto& [handle, value] : values_) visit(*value);
  }

 private:
  std::size_t limit_;
  // Handles count up so that a stale handle in a record buffer does not name
  // a value opened later; they wrap before leaving the positive range.
  std::int32_t lastHandle_ = 0;
  std::map<std::int32_t, std::unique_ptr<TBlobBuffer>> values_;
};

}  // namespace quire
