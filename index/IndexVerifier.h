#pragma once
// TIndexVerifier: a full structural check of an index file, read from the
// file itself (not from any cache), so that it can judge a file the engine
// would refuse to open as well as one it just wrote.
//
// For every defined index it walks the tree from the root and checks: page
// offsets inside the file and each page reached once; page types (root node
// 0 or root leaf 3 at the top, nodes 1 and leaves 2 below, leaves all at one
// depth); entry counts within the page capacities, compressed leaves within
// 4083 bytes with their used-bytes field exact; zero bytes after the entries;
// keys in index order within and across pages; every node entry holding its
// child's first key and the exact number of keys below it; the left and right
// links of every level. It then walks the index's free chain (count 0, zero
// entry area, no page of a tree, no cycle) and, over the whole file, reports
// pages that belong to no index. A compressed leaf must hold exactly the
// bytes its keys encode to, so a count of equal leading or cut trailing bytes
// other than the one the keys give is a fault even when it still decodes.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "index/KeyComparer.h"
#include "index/KeyField.h"

namespace quire {

class TFileHandler;
class TIndexFile;

// One fault: the file, the page (0 for the header) and what is wrong.
struct TIndexFault {
  std::string fileName;
  std::uint32_t page = 0;
  std::string indexName;  // empty for faults of the file as a whole
  std::string text;

  // "FILE: page OFFSET: index NAME: TEXT" (the page and index parts left out
  // when they do not apply).
  std::string Line() const;
};

// Called for every leaf entry of an index, in index order.
using TLeafVisitor = std::function<void(std::span<const std::uint8_t> key, std::uint32_t record)>;
// Called for every leaf entry of every index checked: the index number
// (0..31), the leaf page that holds the entry, its key and record number.
using TIndexEntryVisitor =
    std::function<void(std::uint8_t index, std::uint32_t page, std::span<const std::uint8_t> key,
                       std::uint32_t record)>;

struct TIndexCheck {
  std::vector<TIndexFault> faults;
  std::int64_t keys = 0;      // leaf entries of the indexes checked
  std::size_t depth = 0;      // levels of the deepest tree
  std::size_t freePages = 0;  // pages on the free chains
  // The header could be read and its descriptors walked: when false no
  // index was checked at all.
  bool headerUsable = false;
};

class TIndexVerifier {
 public:
  // Reads `file` (open, any mode), enciphered when `encrypted`. Keys compare
  // as bytes unless `fields` and `collation` describe a table with a locale.
  TIndexVerifier(TFileHandler& file, bool encrypted, std::span<const TKeyField> fields = {},
                 const TKeyCollation* collation = nullptr);
  // The open index file with its own settings (its pages must be flushed).
  explicit TIndexVerifier(TIndexFile& file);

  // Checks the header, every defined index and the pages between them.
  TIndexCheck VerifyFile();
  // The same, visiting the leaf entries of each index in index order.
  TIndexCheck VerifyFile(const TIndexEntryVisitor& visit);
  // Checks index `number` (0..31) alone, visiting its leaf entries in order.
  TIndexCheck VerifyIndex(std::uint8_t number, const TLeafVisitor& visit = {});

 private:
  class TWalk;

  TFileHandler& file_;
  bool encrypted_;
  std::vector<TKeyField> fields_;
  const TKeyCollation* collation_;
};

}  // namespace quire
