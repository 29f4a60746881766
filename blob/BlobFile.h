#pragma once
// TBlobFile: the blob file (".BLB") of one open table that has blob fields.
// It holds the blob values in chains of fixed-size blocks after a 512-byte
// header; this class owns the header. The data file owns one TBlobFile,
// gives it the table's name (the extension becomes ".BLB"), the exclusive,
// read-only and in-memory settings, the encryption switch and the block
// size, and creates, opens, empties and closes it with the table.
//
// Encrypted tables encipher the header as one run of the table cipher with
// the data seeds.

#include <cstdint>
#include <string>
#include <string_view>

#include "blob/BlobHeader.h"
#include "engine/FileHandler.h"

namespace quire {

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

  // Creates the file, replacing an existing one (closed and exclusive, else
  // 10031 / 10253), and writes the header of a file without blocks: version
  // 3, end offset 512, header-modified 1, change counter 0. Stays open.
  void Create() override;

  // Opens the file and reads its header: a version other than 3 gives 12035,
  // and an end offset or free block head that is not a block boundary inside
  // the file's block area gives 8963; the file is closed again on failure.
  void Open() override;

  // Forgets the header and closes the file. Does not write: the owner writes
  // the header (WriteHeader) before it closes.
  void Close() override;

  // Cuts the file to its header: end offset 512, no free blocks, version 3;
  // the header is written. Needs the file open exclusively and writable
  // (10253, 11013).
  void Empty();

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

 protected:
  std::string NormaliseName(std::string_view name) const override;

 private:
  void WriteHeaderImage();
  void CheckHeader() const;

  TBlobHeader header_;
  bool encrypted_ = false;
  std::uint32_t blockSize_ = 512;
};

}  // namespace quire
