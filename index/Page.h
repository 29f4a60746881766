#pragma once
// TPage: one 4096-byte page of an index, held decoded in memory.
//
// On disk a page is a 13-byte header followed by its entries (zero after the
// last one):
//   0  1  type: 0 root node, 1 interior node, 2 leaf, 3 root leaf
//   1  2  entry count (0 for a page on a free chain)
//   3  4  left page offset    (0 at the left edge)
//   7  4  right page offset   (0 at the right edge; next free page when free)
//   11 2  used bytes: encoded entry bytes of a compressed leaf, else 0
// Node entries are key + child offset + subtree key count (K + 8 bytes);
// leaf entries key + record number (K + 4 bytes), or the compressed forms of
// CompressedLeaf.h. On an encrypted table the whole page is one cipher run.
//
// In memory the entries are kept uncompressed in the layout of PageEntry.h;
// entry positions in this interface are 0-based.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "index/CompressedLeaf.h"
#include "index/IndexDescriptor.h"
#include "index/PageEntry.h"

namespace quire {

class TFileHandler;
class TIndexFile;

inline constexpr std::size_t kPageSize = 4096;
inline constexpr std::size_t kPageHeaderSize = 13;
inline constexpr std::size_t kPageEntryArea = kPageSize - kPageHeaderSize;  // 4083
inline constexpr int kMaxPagePins = 64;

enum class TPageType : std::uint8_t { RootNode = 0, Node = 1, Leaf = 2, RootLeaf = 3 };

// What a page needs to know about the index it belongs to.
struct TPageFormat {
  std::uint8_t indexNumber = 0;
  std::uint16_t keySize = 0;
  std::uint8_t compression = 0;  // of leaf pages; node pages are never compressed
  bool keySuffix = false;        // keys end in a 4-byte auto-increment suffix

  // The format of index `number` described by `descriptor`: only secondary
  // indexes (1..30) that are not unique carry the suffix.
  static TPageFormat For(std::uint8_t number, const TIndexDescriptor& descriptor);
};

class TPage {
 public:
  explicit TPage(const TPageFormat& format);

  const TPageFormat& Format() const { return format_; }

  // Where the page lives in the file; 0 while the page holds nothing.
  std::uint32_t Offset() const { return offset_; }
  void SetOffset(std::uint32_t offset) { offset_ = offset; }
  // The parent found on the way down; 0 for the root or a page fetched directly.
  std::uint32_t Parent() const { return parent_; }
  void SetParent(std::uint32_t offset) { parent_ = offset; }

  TPageType Type() const { return type_; }
  void SetType(TPageType type) { type_ = type; }
  bool IsLeaf() const { return type_ == TPageType::Leaf || type_ == TPageType::RootLeaf; }
  bool IsNode() const { return !IsLeaf(); }
  bool IsRoot() const { return type_ == TPageType::RootNode || type_ == TPageType::RootLeaf; }
  // Whether this page's entries are stored compressed (leaves of a compressed index).
  bool Compressed() const { return IsLeaf() && format_.compression != 0; }

  std::uint32_t Left() const { return left_; }
  void SetLeft(std::uint32_t offset) { left_ = offset; }
  std::uint32_t Right() const { return right_; }
  void SetRight(std::uint32_t offset) { right_ = offset; }
  // The used-bytes field as last read or written. A free page keeps it.
  std::uint16_t UsedBytes() const { return usedBytes_; }

  // A page on its index's free chain: written with count 0 and a zero entry
  // area; type, left and used bytes keep their last values.
  bool Free() const { return free_; }
  void SetFree(bool free) { free_ = free; }

  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

  // Pinned pages are never replaced in the cache. Pin fails (returns false)
  // on a 65th pin; the caller reports 8965.
  int PinCount() const { return pins_; }
  bool Pin();
  void Unpin();
  void ResetPins() { pins_ = 0; }

  // 1-based cursor positions: the search position used while descending and
  // changing the tree, the walk position used by the cursor.
  std::size_t SearchPosition() const { return searchPosition_; }
  void SetSearchPosition(std::size_t position) { searchPosition_ = position; }
  std::size_t WalkPosition() const { return walkPosition_; }
  void SetWalkPosition(std::size_t position) { walkPosition_ = position; }

  // --- Entries ----------------------------------------------------------------

  std::size_t Count() const { return count_; }
  std::span<const std::uint8_t> Key(std::size_t i) const;
  // Child page offset (node) or record number (leaf).
  std::uint32_t Pointer(std::size_t i) const;
  // Keys in the child's subtree (nodes only).
  std::int32_t SubtreeCount(std::size_t i) const;
  // The compression counts as last computed (on read, write or EncodedBytes).
  TCompressionCounts Counts(std::size_t i) const;

  // Inserts an entry before position `i` (i == Count() appends). `key` must
  // be K bytes.
  void Insert(std::size_t i, std::span<const std::uint8_t> key, std::uint32_t pointer,
              std::int32_t subtreeCount = 0);
  void Remove(std::size_t i);
  // Moves the `count` entries from position `first` to position `at` of
  // `to`, a page of the same index, removing them here.
  void MoveEntriesTo(std::size_t first, std::size_t count, TPage& to, std::size_t at);
  void SetKey(std::size_t i, std::span<const std::uint8_t> key);
  void SetPointer(std::size_t i, std::uint32_t pointer);
  void SetSubtreeCount(std::size_t i, std::int32_t count);
  // Forgets every entry.
  void ClearEntries();
  // A page taken for new use: no entries, no links, used bytes 0, not free,
  // marked modified.
  void Reset(std::uint32_t offset);
  // Forgets the page altogether (offset 0, clean, unpinned), so that its
  // object can hold another page.
  void Forget();
  // Keys in the page's subtree: the entry count of a leaf, the sum of the
  // subtree counts of a node.
  std::int32_t KeysBelow() const;

  // Entries a node page, or a leaf of an uncompressed index, may hold:
  // 4083 div (K + 10) for nodes and 4083 div (K + 6) for leaves. (The
  // divisors are 2 bytes more than the stored entry sizes; the tree splits
  // by these limits.) Compressed leaves are limited by bytes instead.
  std::size_t Capacity() const;
  // For a compressed leaf, the bytes its entries need encoded (the counts
  // are recomputed); for other pages the fixed-size entry bytes.
  std::size_t EncodedBytes();
  // Whether the page holds more than it may: more entries than its capacity,
  // or, compressed, more than 4083 encoded bytes.
  bool Overflows();

  // --- Bytes and file ---------------------------------------------------------

  // The page image. Raises 8965 naming `fileName` when the entries do not fit
  // in 4083 bytes.
  void EncodeTo(std::span<std::uint8_t, kPageSize> out, std::string_view fileName);
  // Replaces the page's contents from an image (offset, parent and cache
  // state are left alone). A damaged image (unknown type, entries that do not
  // fit or do not decode) raises 8965 naming `fileName`.
  void DecodeFrom(std::span<const std::uint8_t, kPageSize> in, std::string_view fileName);

  // Reads the page at `offset` of `file`, deciphering it when `encrypted`.
  // The page is clean and not free afterwards.
  void Read(TFileHandler& file, std::uint32_t offset, bool encrypted);
  // The same for a page of an index file, taken from the file's own page
  // cache when it holds that page unmodified (what the file holds, as long
  // as the change checks run before reads) and read otherwise: a cursor
  // that finds the pages its last walk read gone after a change takes them
  // from memory instead of the file.
  void Read(TIndexFile& file, std::uint32_t offset, bool encrypted);
  // Becomes a clean, unpinned copy of `other`, a page of the same format
  // as read from the file.
  void CopyCleanFrom(const TPage& other);
  // Writes the page at its offset, enciphered when `encrypted`; clean afterwards.
  void Write(TFileHandler& file, bool encrypted);

 private:
  std::uint8_t* EntryAt(std::size_t i);
  const std::uint8_t* EntryAt(std::size_t i) const;
  TLeafFormat LeafFormat() const;
  void Reserve(std::size_t bytes);
  std::size_t StoredEntrySize(bool leaf) const;  // node or uncompressed leaf entry on disk
  // Takes the contents of `other`, a page of the same format, as Read would
  // take them from its image.
  void CopyContentsFrom(const TPage& other);

  TPageFormat format_;
  TEntryLayout layout_;
  std::uint32_t offset_ = 0;
  std::uint32_t parent_ = 0;
  TPageType type_ = TPageType::RootLeaf;
  std::uint32_t left_ = 0;
  std::uint32_t right_ = 0;
  std::uint16_t usedBytes_ = 0;
  bool free_ = false;
  bool modified_ = false;
  int pins_ = 0;
  std::size_t searchPosition_ = 0;
  std::size_t walkPosition_ = 0;
  std::size_t count_ = 0;
  std::vector<std::uint8_t> entries_;  // count_ entries of layout_.Stride() bytes
  std::vector<std::uint8_t> spare_;    // decode buffer, swapped with entries_
};

}  // namespace quire
