#pragma once
// Little-endian integers and short strings inside file images. Every file
// format of the engine is little-endian whatever the machine, so images are
// always built and read byte by byte through these helpers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace quire::bytes {

// Reads an unsigned little-endian integer of sizeof(T) bytes at `at`.
template <typename T>
T Get(std::span<const std::uint8_t> image, std::size_t at) {
  using U = std::make_unsigned_t<T>;
  U value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<U>(U{image[at + i]} << (8 * i));
  return static_cast<T>(value);
}

// Writes `value` as a little-endian integer of sizeof(T) bytes at `at`.
template <typename T>
void Put(std::span<std::uint8_t> image, std::size_t at, T value) {
  using U = std::make_unsigned_t<T>;
  const U bits = static_cast<U>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i)
    image[at + i] = static_cast<std::uint8_t>((bits >> (8 * i)) & 0xFF);
}

// An IEEE double, little-endian.
inline double GetDouble(std::span<const std::uint8_t> image, std::size_t at) {
  const std::uint64_t bits = Get<std::uint64_t>(image, at);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void PutDouble(std::span<std::uint8_t> image, std::size_t at, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Put<std::uint64_t>(image, at, bits);
}

// A short string: one length byte and the characters in a slot of
// `capacity` + 1 bytes. A length byte beyond the capacity (a damaged file)
// is read as the capacity, so a reader never leaves the slot.
inline std::string GetShortString(std::span<const std::uint8_t> image, std::size_t at,
                                  std::size_t capacity) {
  const std::size_t length = std::min<std::size_t>(image[at], capacity);
  return std::string(reinterpret_cast<const char*>(image.data() + at + 1), length);
}

// Writes `text` cut to `capacity` characters; the rest of the slot is zeroed.
inline void PutShortString(std::span<std::uint8_t> image, std::size_t at, std::size_t capacity,
                           std::string_view text) {
  const std::size_t length = std::min(text.size(), capacity);
  std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), capacity + 1, std::uint8_t{0});
  image[at] = static_cast<std::uint8_t>(length);
  std::memcpy(image.data() + at + 1, text.data(), length);
}

}  // namespace quire::bytes
