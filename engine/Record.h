#pragma once
// TRecord: one cached record buffer of a table.
//
// The buffer is the record image (deleted flag at 0, own number or free-chain
// link at 1, auto-increment value at 5, then the stored fields) followed by
// the computed-field area. The dirty flag says the image differs from the
// file; the pin count keeps the buffer from being reused while a caller works
// with it; the mark keeps it while a read-ahead that includes it is running.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quire {

// A buffer pinned more often than this is a fault of the caller (8962).
inline constexpr int kMaxRecordPins = 64;

class TRecord {
 public:
  // A zeroed buffer of `bufferSize` bytes holding no record.
  explicit TRecord(std::size_t bufferSize);

  // 0 while the buffer holds no record.
  std::uint32_t Number() const { return number_; }
  std::span<std::uint8_t> Bytes() { return buffer_; }
  std::span<const std::uint8_t> Bytes() const { return buffer_; }

  bool Dirty() const { return dirty_; }
  void MarkDirty() { dirty_ = true; }
  bool ComputedValid() const { return computedValid_; }
  void SetComputedValid(bool valid) { computedValid_ = valid; }
  bool Marked() const { return marked_; }
  void SetMarked(bool marked) { marked_ = marked; }

  int PinCount() const { return pins_; }
  // Raises 8962 naming `fileName` on the 65th pin.
  void Pin(std::string_view fileName);
  void Unpin() {
    if (pins_ > 0 && --pins_ == 0) Unpinned();
  }
  void ResetPins() {
    if (pins_ > 0) Unpinned();
    pins_ = 0;
  }

  // Zeroes the buffer and writes its number at offset 1; clean, computed
  // fields invalid, unmarked. Pins are left alone.
  void Clear();

  // Loads the stored part from a file image of `recordSize` bytes,
  // deciphering it when `encrypted`. A live record gets this buffer's number
  // at offset 1 (the file keeps it there too, but copies must not depend on
  // that). Clean afterwards; computed fields invalid.
  void Load(const std::uint8_t* image, std::size_t recordSize, bool encrypted);
  // Writes the stored part into a file image, enciphered when `encrypted`;
  // clean afterwards.
  void Store(std::uint8_t* image, std::size_t recordSize, bool encrypted);

  bool Deleted() const { return buffer_[0] != 0; }
  // Each of these marks the buffer dirty.
  void SetDeleted(bool deleted);
  void SetChainLink(std::int32_t next);
  void SetAutoIncrement(std::int32_t value);
  std::int32_t AutoIncrement() const;
  std::int32_t ChainLink() const;

 private:
  // The cache keeps buffers findable by number, so only it numbers them.
  friend class TRecordCache;
  // Gives the buffer another number; a live record gets it at offset 1.
  void SetNumber(std::uint32_t number);
  // Number 0, zero image, unpinned, clean.
  void Forget();
  // Number 0, unpinned, clean; the image is left as it is (a buffer is
  // zeroed again before it is used for another record).
  void Release();
  // The cache's list of the pinned buffers, which this buffer joins while
  // it is pinned, so that unpinning all of them costs what is pinned.
  void ListPinsIn(std::vector<TRecord*>* pinned) { pinned_ = pinned; }
  // Leaves the cache's list of pinned buffers.
  void Unpinned();

  std::vector<std::uint8_t> buffer_;
  std::uint32_t number_ = 0;
  int pins_ = 0;
  std::vector<TRecord*>* pinned_ = nullptr;
  bool dirty_ = false;
  bool computedValid_ = false;
  bool marked_ = false;
};

}  // namespace quire
