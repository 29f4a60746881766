#include "engine/Cipher.h"

namespace quire {

void CipherRun(void* buffer, std::size_t length, TCipherSeeds seeds) {
  const std::size_t count = length % 65536;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::uint8_t low = seeds.first;
  std::uint8_t high = seeds.second;
  for (std::size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<std::uint8_t>(bytes[i] ^ low ^ high);
    ++low;   // wraps mod 256
    --high;  // wraps mod 256
  }
}

}  // namespace quire
