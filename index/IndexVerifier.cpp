#include "index/IndexVerifier.h"

#include <algorithm>
#include <array>
#include <map>

#include "engine/Cipher.h"
#include "engine/EngineError.h"
#include "engine/FileHandler.h"
#include "index/IndexFile.h"
#include "index/IndexHeader.h"
#include "index/KeyLayout.h"
#include "index/Page.h"

namespace quire {

namespace {

constexpr std::size_t kMaxDepth = 64;

std::string IndexLabel(std::uint8_t number, const TIndexDescriptor& d) {
  return number == kPrimaryIndex ? std::string(kPrimaryIndexName) : d.Name;
}

bool IndexDefined(const TIndexHeader& header, std::size_t slot) {
  return (slot == kPrimaryIndex && !header.NoPrimary()) ||
         (slot >= 1 && slot <= header.SecondaryCount()) || slot == kSysDeletedSlot;
}

}  // namespace

std::string TIndexFault::Line() const {
  std::string line = fileName;
  if (page != 0) line += ": page " + std::to_string(page);
  if (!indexName.empty()) line += ": index " + indexName;
  return line + ": " + text;
}

// One verification pass: the header, the pages seen so far and the faults.
class TIndexVerifier::TWalk {
 public:
  TWalk(TIndexVerifier& owner, TIndexCheck& check) : owner_(owner), check_(check) {}

  bool ReadHeader();
  const TIndexHeader& Header() const { return header_; }
  void VerifyIndex(std::uint8_t number, const TIndexEntryVisitor& visit);
  void ReportUnowned();

 private:
  // What a level needs to know of each of its pages, in walk order.
  struct TLevelPage {
    std::uint32_t offset = 0;
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    std::vector<std::uint8_t> firstKey;
    std::vector<std::uint8_t> lastKey;
  };

  void Fault(std::uint32_t page, std::string text) {
    check_.faults.push_back({owner_.file_.FileName(), page, indexName_, std::move(text)});
  }
  bool Claim(std::uint32_t offset, std::uint32_t from);
  bool ReadImage(std::uint32_t offset, std::array<std::uint8_t, kPageSize>& image);
  // Walks the subtree at `offset`; returns its key count, or -1 when it
  // could not be read.
  std::int64_t Walk(std::uint32_t offset, std::size_t depth, std::uint32_t from,
                    const TIndexEntryVisitor& visit);
  void CheckPage(TPage& page, const std::array<std::uint8_t, kPageSize>& image, bool root);
  void CheckEncoding(TPage& page, const std::array<std::uint8_t, kPageSize>& image);
  void CheckLevels();
  void CheckFreeChain(std::uint8_t number);

  TIndexVerifier& owner_;
  TIndexCheck& check_;
  TIndexHeader header_;
  std::map<std::uint32_t, std::string> owners_;  // page -> index that holds it
  std::string indexName_;
  TPageFormat format_;
  TKeyLayout layout_;
  TKeyComparer comparer_;
  std::vector<std::vector<TLevelPage>> levels_;
  std::size_t leafDepth_ = 0;
};

bool TIndexVerifier::TWalk::ReadHeader() {
  try {
    const std::size_t got = owner_.file_.ReadAt(0, header_.Bytes().data(), kIndexHeaderSize, true);
    if (got < kIndexHeaderSize) {
      Fault(0, "the header is cut short (" + std::to_string(got) + " bytes)");
      return false;
    }
  } catch (const EQuireEngineError& e) {
    Fault(0, "the header cannot be read: " + e.Message());
    return false;
  }
  if (owner_.encrypted_) DecipherRun(header_.Bytes().data(), kIndexHeaderSize, kDataCipherSeeds);
  bool usable = true;
  if (header_.Version() != kIndexFileVersion) {
    Fault(0, "version " + std::to_string(header_.Version()) + ", expected 3");
    usable = false;
  }
  if (header_.EndOffset() < kIndexHeaderSize || header_.EndOffset() % kPageSize != 0) {
    Fault(0, "end offset " + std::to_string(header_.EndOffset()) + " is not a page boundary");
    usable = false;
  }
  if (header_.SecondaryCount() > kMaxSecondaryIndexes) {
    Fault(0, std::to_string(header_.SecondaryCount()) + " secondary indexes, at most 30");
    usable = false;
  }
  for (std::size_t slot = 0; usable && slot < kIndexSlotCount; ++slot) {
    if (!IndexDefined(header_, slot)) continue;
    const TIndexDescriptor d = header_.Descriptor(slot);
    if (d.KeySize == 0 || d.KeySize > kMaxKeySize || d.FieldCount > kMaxKeyFields ||
        (slot == kSysDeletedSlot && d.KeySize != kSysDeletedKeySize) || d.Compression > 3) {
      indexName_ = IndexLabel(static_cast<std::uint8_t>(slot), d);
      Fault(0, "descriptor out of range (key size " + std::to_string(d.KeySize) + ", compression " +
                   std::to_string(d.Compression) + ")");
      indexName_.clear();
      usable = false;
    }
  }
  return usable;
}

bool TIndexVerifier::TWalk::Claim(std::uint32_t offset, std::uint32_t from) {
  if (offset < kIndexHeaderSize || offset % kPageSize != 0 || offset >= header_.EndOffset()) {
    Fault(from, "points to offset " + std::to_string(offset) + ", which is not a page of the file");
    return false;
  }
  const auto [it, added] = owners_.emplace(offset, indexName_);
  if (!added) {
    Fault(offset, "page reached twice (already held by index " + it->second + ")");
    return false;
  }
  return true;
}

bool TIndexVerifier::TWalk::ReadImage(std::uint32_t offset,
                                      std::array<std::uint8_t, kPageSize>& image) {
  try {
    if (owner_.file_.ReadAt(offset, image.data(), kPageSize, true) < kPageSize) {
      Fault(offset, "page lies past the end of the file");
      return false;
    }
  } catch (const EQuireEngineError& e) {
    Fault(offset, "page cannot be read: " + e.Message());
    return false;
  }
  if (owner_.encrypted_) DecipherRun(image.data(), kPageSize, kDataCipherSeeds);
  return true;
}

void TIndexVerifier::TWalk::VerifyIndex(std::uint8_t number, const TIndexEntryVisitor& visit) {
  const TIndexDescriptor d = header_.Descriptor(number);
  indexName_ = IndexLabel(number, d);
  format_ = TPageFormat::For(number, d);
  layout_ = TKeyLayout::For(number, d, owner_.fields_, owner_.collation_ != nullptr);
  comparer_ = TKeyComparer(layout_, owner_.collation_, number == kSysDeletedSlot);
  levels_.clear();
  leafDepth_ = 0;

  const std::uint32_t root = header_.RootPage(number);
  if (root != 0 && Claim(root, 0)) {
    const std::int64_t keys = Walk(root, 0, 0, visit);
    if (keys >= 0) check_.keys += keys;
    CheckLevels();
    check_.depth = std::max(check_.depth, levels_.size());
  }
  CheckFreeChain(number);
  indexName_.clear();
}

std::int64_t TIndexVerifier::TWalk::Walk(std::uint32_t offset, std::size_t depth,
                                         std::uint32_t from, const TIndexEntryVisitor& visit) {
  if (depth >= kMaxDepth) {
    Fault(from, "tree deeper than " + std::to_string(kMaxDepth) + " levels");
    return -1;
  }
  std::array<std::uint8_t, kPageSize> image;
  if (!ReadImage(offset, image)) return -1;
  TPage page(format_);
  try {
    page.DecodeFrom(image, owner_.file_.FileName());
  } catch (const EQuireEngineError&) {
    Fault(offset, "entries do not decode (type " + std::to_string(image[0]) + ", count " +
                      std::to_string(image[1] | (image[2] << 8)) + ")");
    return -1;
  }
  page.SetOffset(offset);
  CheckPage(page, image, depth == 0);

  if (levels_.size() <= depth) levels_.resize(depth + 1);
  TLevelPage entry{offset, page.Left(), page.Right(), {}, {}};
  if (page.Count() > 0) {
    const auto first = page.Key(0);
    const auto last = page.Key(page.Count() - 1);
    entry.firstKey.assign(first.begin(), first.end());
    entry.lastKey.assign(last.begin(), last.end());
  }
  levels_[depth].push_back(std::move(entry));

  if (page.IsLeaf()) {
    if (leafDepth_ == 0) leafDepth_ = depth + 1;
    if (leafDepth_ != depth + 1) Fault(offset, "leaf at a different depth from the others");
    if (visit) {
      for (std::size_t i = 0; i < page.Count(); ++i)
        visit(format_.indexNumber, offset, page.Key(i), page.Pointer(i));
    }
    return static_cast<std::int64_t>(page.Count());
  }
  std::int64_t total = 0;
  for (std::size_t i = 0; i < page.Count(); ++i) {
    const std::uint32_t child = page.Pointer(i);
    if (!Claim(child, offset)) return -1;
    const std::size_t childSlot = levels_.size() > depth + 1 ? levels_[depth + 1].size() : 0;
    const std::int64_t keys = Walk(child, depth + 1, offset, visit);
    if (keys < 0) return -1;
    const TLevelPage& walked = levels_[depth + 1][childSlot];
    if (walked.firstKey.empty() ||
        !std::equal(walked.firstKey.begin(), walked.firstKey.end(), page.Key(i).begin())) {
      Fault(offset, "entry " + std::to_string(i + 1) +
                        " does not hold the first key of its child page " + std::to_string(child));
    }
    if (keys != page.SubtreeCount(i)) {
      Fault(offset, "entry " + std::to_string(i + 1) + " counts " +
                        std::to_string(page.SubtreeCount(i)) + " keys, its child page " +
                        std::to_string(child) + " holds " + std::to_string(keys));
    }
    total += keys;
  }
  return total;
}

void TIndexVerifier::TWalk::CheckPage(TPage& page, const std::array<std::uint8_t, kPageSize>& image,
                                      bool root) {
  const std::uint32_t offset = page.Offset();
  const TPageType expected = root ? (page.IsLeaf() ? TPageType::RootLeaf : TPageType::RootNode)
                                  : (page.IsLeaf() ? TPageType::Leaf : TPageType::Node);
  if (page.Type() != expected) {
    Fault(offset, "type " + std::to_string(static_cast<int>(page.Type())) + ", expected " +
                      std::to_string(static_cast<int>(expected)));
  }
  if (page.Count() == 0) Fault(offset, "page of the tree without entries");

  std::size_t used = 0;
  if (page.Compressed()) {
    used = page.UsedBytes();
    if (used > kPageEntryArea)
      Fault(offset, "compressed entries take " + std::to_string(used) + " bytes, more than 4083");
    else
      CheckEncoding(page, image);
  } else {
    if (page.Count() > page.Capacity()) {
      Fault(offset, std::to_string(page.Count()) + " entries, more than the capacity " +
                        std::to_string(page.Capacity()));
    }
    if (page.UsedBytes() != 0) Fault(offset, "used-bytes field is not 0");
    used = std::min(kPageEntryArea, page.Count() * (format_.keySize + (page.IsLeaf() ? 4u : 8u)));
  }
  const auto tail = image.begin() + static_cast<std::ptrdiff_t>(kPageHeaderSize + used);
  if (std::any_of(tail, image.end(), [](std::uint8_t b) { return b != 0; })) {
    Fault(offset, "non-zero bytes after the entries");
  }
  for (std::size_t i = 1; i < page.Count(); ++i) {
    const int order =
        comparer_.Compare(page.Key(i - 1).data(), page.Key(i).data(), format_.keySize);
    if (order > 0) Fault(offset, "entry " + std::to_string(i + 1) + " is out of order");
    if (order == 0)
      Fault(offset,
            "entries " + std::to_string(i) + " and " + std::to_string(i + 1) + " hold equal keys");
  }
}

// Encoding the decoded keys again must give the bytes read: the counts of
// equal leading and cut trailing bytes are fixed by the keys, and the
// used-bytes field by the entries.
void TIndexVerifier::TWalk::CheckEncoding(TPage& page,
                                          const std::array<std::uint8_t, kPageSize>& image) {
  std::array<std::uint8_t, kPageSize> again{};
  try {
    page.EncodeTo(again, owner_.file_.FileName());
  } catch (const EQuireEngineError&) {
    Fault(page.Offset(), "compressed entries do not fit in 4083 bytes");
    return;
  }
  constexpr std::size_t usedAt = 11;
  const auto field = [](const std::array<std::uint8_t, kPageSize>& bytes) {
    return bytes[usedAt] | (bytes[usedAt + 1] << 8);
  };
  // Entries first: an entry stored with other counts also takes a different
  // number of bytes, and the entry is what the reader needs to hear of.
  const auto differ =
      std::mismatch(image.begin() + kPageHeaderSize, image.end(), again.begin() + kPageHeaderSize);
  if (differ.first != image.end()) {
    Fault(page.Offset(), "compressed entries are not encoded as their keys give (byte " +
                             std::to_string(differ.first - image.begin()) + ")");
  } else if (field(image) != field(again)) {
    Fault(page.Offset(), "used-bytes field " + std::to_string(field(image)) +
                             ", the entries take " + std::to_string(field(again)));
  }
}

void TIndexVerifier::TWalk::CheckLevels() {
  for (const std::vector<TLevelPage>& level : levels_) {
    for (std::size_t i = 0; i < level.size(); ++i) {
      const TLevelPage& page = level[i];
      const std::uint32_t left = i == 0 ? 0 : level[i - 1].offset;
      const std::uint32_t right = i + 1 == level.size() ? 0 : level[i + 1].offset;
      if (page.left != left) {
        Fault(page.offset,
              "left link " + std::to_string(page.left) + ", expected " + std::to_string(left));
      }
      if (page.right != right) {
        Fault(page.offset,
              "right link " + std::to_string(page.right) + ", expected " + std::to_string(right));
      }
      if (i > 0 && !page.firstKey.empty() && !level[i - 1].lastKey.empty() &&
          comparer_.Compare(level[i - 1].lastKey.data(), page.firstKey.data(), format_.keySize) >=
              0) {
        Fault(page.offset, "first key is not after the last key of the page to its left");
      }
    }
  }
}

void TIndexVerifier::TWalk::CheckFreeChain(std::uint8_t number) {
  std::uint32_t from = 0;
  for (std::uint32_t offset = header_.FreePageHead(number); offset != 0;) {
    if (!Claim(offset, from)) return;  // also ends a cycle
    std::array<std::uint8_t, kPageSize> image;
    if (!ReadImage(offset, image)) return;
    ++check_.freePages;
    if (image[1] != 0 || image[2] != 0) Fault(offset, "free page with a nonzero entry count");
    if (std::any_of(image.begin() + kPageHeaderSize, image.end(),
                    [](std::uint8_t b) { return b != 0; })) {
      Fault(offset, "free page whose entry area is not zero");
    }
    from = offset;
    offset = static_cast<std::uint32_t>(image[7] | (image[8] << 8) | (image[9] << 16) |
                                        (std::uint32_t{image[10]} << 24));
  }
}

void TIndexVerifier::TWalk::ReportUnowned() {
  for (std::uint32_t offset = kIndexHeaderSize; offset < header_.EndOffset(); offset += kPageSize) {
    if (owners_.count(offset) == 0) Fault(offset, "page belongs to no index");
  }
}

TIndexVerifier::TIndexVerifier(TFileHandler& file, bool encrypted,
                               std::span<const TKeyField> fields, const TKeyCollation* collation)
    : file_(file),
      encrypted_(encrypted),
      fields_(fields.begin(), fields.end()),
      collation_(collation) {}

TIndexVerifier::TIndexVerifier(TIndexFile& file)
    : TIndexVerifier(file, file.Encrypted(), file.KeyFields(), file.Collation()) {}

TIndexCheck TIndexVerifier::VerifyFile() {
  return VerifyFile(TIndexEntryVisitor{});
}

TIndexCheck TIndexVerifier::VerifyFile(const TIndexEntryVisitor& visit) {
  TIndexCheck check;
  TWalk walk(*this, check);
  if (!walk.ReadHeader()) return check;
  check.headerUsable = true;
  for (std::size_t slot = 0; slot < kIndexSlotCount; ++slot) {
    if (IndexDefined(walk.Header(), slot)) walk.VerifyIndex(static_cast<std::uint8_t>(slot), visit);
  }
  walk.ReportUnowned();
  return check;
}

TIndexCheck TIndexVerifier::VerifyIndex(std::uint8_t number, const TLeafVisitor& visit) {
  TIndexCheck check;
  TWalk walk(*this, check);
  if (!walk.ReadHeader()) return check;
  check.headerUsable = true;
  if (!visit) {
    walk.VerifyIndex(number, {});
  } else {
    walk.VerifyIndex(number,
                     [&visit](std::uint8_t, std::uint32_t, std::span<const std::uint8_t> key,
                              std::uint32_t record) { visit(key, record); });
  }
  return check;
}

}  // namespace quire
