#pragma once
// The table cipher: a byte-stream cipher run over one unit of a table file at
// a time (a record image, the field descriptor block, an index page, a blob
// block, the header's password and description). Two 8-bit counters start at
// a seed pair; byte i is XORed with (s1 + i) mod 256 and (s2 - i) mod 256.
// The keystream repeats every 256 bytes, and running it twice over the same
// bytes gives them back, so enciphering and deciphering are one operation.

#include <cstddef>
#include <cstdint>
#include <span>

namespace quire {

// Start values of the cipher's two counters.
struct TCipherSeeds {
  std::uint8_t first;
  std::uint8_t second;
};

// Record images, the field descriptor block, index pages and blob blocks.
inline constexpr TCipherSeeds kDataCipherSeeds{0x3B, 0xA6};
// The password and the description in the data file header.
inline constexpr TCipherSeeds kHeaderCipherSeeds{0x5E, 0xC4};

// Transforms `length` bytes at `buffer` in place, starting a fresh run. The
// length is a 16-bit quantity in the table formats: only `length` mod 65536
// bytes are transformed, so a 70000-byte descriptor block has its first 4464
// bytes enciphered and the rest stored plain. A length of 0 does nothing.
void CipherRun(void* buffer, std::size_t length, TCipherSeeds seeds);

// The same over a span, with the span's size as the length.
inline void CipherRun(std::span<std::uint8_t> bytes, TCipherSeeds seeds) {
  CipherRun(bytes.data(), bytes.size(), seeds);
}

// Names for the two directions, for readers of the callers.
inline void EncipherRun(void* buffer, std::size_t length, TCipherSeeds seeds) {
  CipherRun(buffer, length, seeds);
}
inline void DecipherRun(void* buffer, std::size_t length, TCipherSeeds seeds) {
  CipherRun(buffer, length, seeds);
}

}  // namespace quire
