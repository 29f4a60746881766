#pragma once
// Blob files for tests: a blob file made in a scratch folder, values posted
// the way the data file posts them, and the raw blocks of the file.

#include <cstdint>
#include <string>
#include <vector>

#include "blob/BlobFile.h"
#include "blob/BlobVerifier.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"

namespace quire::testing {

using Bytes = std::vector<std::uint8_t>;

// `size` bytes that differ from block to block and from seed to seed.
Bytes Pattern(std::size_t size, std::uint32_t seed = 1);

// A block header as it lies in the file (deciphered when asked).
struct RawBlock {
  std::uint32_t previous = 0;
  std::uint32_t next = 0;
  std::uint16_t usedBytes = 0;
  std::uint32_t owner = 0;
  std::int32_t valueLength = 0;
  Bytes payload;
};

class BlobFileFixture {
 public:
  // Creates "t.BLB" (exclusive, open) with blocks of `blockSize` bytes.
  explicit BlobFileFixture(std::uint32_t blockSize = 512, bool encrypted = false);

  TBlobFile& File() { return file_; }
  std::string Path() const { return dir_.Path("t.BLB"); }
  std::uint32_t BlockSize() const { return blockSize_; }
  bool Encrypted() const { return encrypted_; }

  // Posts `bytes` as field `field` of `record`, whose stored reference is
  // `firstBlock`, as the data file does; writes blocks and header. Returns
  // the new reference.
  std::int32_t Post(std::uint32_t record, std::int32_t firstBlock, const Bytes& bytes,
                    std::uint16_t field = 1);
  // Opens, reads whole and closes the value at `firstBlock` of `record`.
  Bytes Read(std::uint32_t record, std::int32_t firstBlock);

  // Closes the file and opens it again, exclusive or shared.
  void Reopen(bool exclusive = true);
  // A second handler on the same file, opened shared.
  void OpenOther(TBlobFile& other) const;

  // The file's bytes, and one block as stored (deciphered when encrypted).
  std::string FileBytes() const;
  RawBlock Block(std::uint32_t offset) const;
  // Overwrites 4 bytes of the block header at `offset` + `at`, enciphered as
  // the file stores them.
  void PatchBlockField(std::uint32_t offset, std::size_t at, std::uint32_t value,
                       std::size_t size = 4);
  TBlobCheck Verify(const std::vector<TStoredBlob>& values);

 private:
  EngineScope engine_;
  ScratchDir dir_;
  std::uint32_t blockSize_;
  bool encrypted_;
  TBlobFile file_;
};

}  // namespace quire::testing
