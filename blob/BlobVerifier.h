#pragma once
// TBlobVerifier: a full structural check of a blob file, read from the file
// itself (not from any cache), so that it can judge a file the engine would
// refuse to open as well as one it just wrote.
//
// It checks the header (version, end offset on a block boundary and inside
// the file, free block head), walks the free chain (pointers, loops) and the
// chain of every value, and requires every block to be reached exactly once,
// from one value or from the free chain. In a value's chain: the first block
// has no previous block and holds the value length, later blocks hold 0;
// every block has the value's owner; each previous link names the block
// before; every block but the last is full and the last holds the rest; the
// chain has exactly the blocks its length needs.
//
// The values are the blob references of the table's records. Without them
// (Verify with none) every block off the free chain whose previous link is 0
// is taken as the first block of a value of the record it names.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quire {

class TBlobFile;
class TFileHandler;

// One value the table holds: field `field` of physical record `record`
// refers to the chain at `firstBlock` (never 0).
struct TStoredBlob {
  std::uint32_t record = 0;
  std::uint16_t field = 0;
  std::uint32_t firstBlock = 0;
};

// One fault: the file, the block (0 for the header or the file as a whole)
// and what is wrong.
struct TBlobFault {
  std::string fileName;
  std::uint32_t block = 0;
  std::string text;

  // "FILE: block OFFSET: TEXT", or "FILE: TEXT" for block 0.
  std::string Line() const;
};

struct TBlobCheck {
  std::vector<TBlobFault> faults;
  std::size_t values = 0;           // chains walked
  std::size_t valueBlocks = 0;      // blocks reached from a value
  std::size_t freeBlocks = 0;       // blocks on the free chain
  std::size_t blocks = 0;           // blocks between 512 and the end offset
  std::vector<TStoredBlob> chains;  // the values walked, given or found

  bool Ok() const { return faults.empty(); }
};

class TBlobVerifier {
 public:
  // Reads `file` (open, any mode) as a blob file of `blockSize`-byte blocks,
  // deciphering when `encrypted`.
  TBlobVerifier(TFileHandler& file, std::uint32_t blockSize, bool encrypted);
  // The open blob file with its own settings (its blocks and header must be
  // written first: the check reads the file).
  explicit TBlobVerifier(TBlobFile& file);

  // Checks the file against `values`, or, with none given, against the
  // chains it finds (above).
  TBlobCheck Verify(std::optional<std::span<const TStoredBlob>> values = std::nullopt);

 private:
  class TWalk;

  TFileHandler& file_;
  std::uint32_t blockSize_;
  bool encrypted_;
};

}  // namespace quire
