#pragma once
// Pointer forms of the engine's little-endian helpers (engine/FileBytes.h),
// for the index layer's hot loops that walk page and entry bytes by pointer.

#include <cstdint>
#include <span>

#include "engine/FileBytes.h"

namespace quire::le {

inline std::uint16_t Load16(const std::uint8_t* p) {
  return bytes::Get<std::uint16_t>(std::span<const std::uint8_t>(p, 2), 0);
}

inline std::uint32_t Load32(const std::uint8_t* p) {
  return bytes::Get<std::uint32_t>(std::span<const std::uint8_t>(p, 4), 0);
}

inline void Store16(std::uint8_t* p, std::uint16_t v) {
  bytes::Put<std::uint16_t>(std::span<std::uint8_t>(p, 2), 0, v);
}

inline void Store32(std::uint8_t* p, std::uint32_t v) {
  bytes::Put<std::uint32_t>(std::span<std::uint8_t>(p, 4), 0, v);
}

}  // namespace quire::le
