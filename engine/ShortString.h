#pragma once
// Texts that the engine keeps in short-string slots (a length byte and up to
// 255 characters): error context texts, passwords, directory names. A longer
// text is cut when stored, as the slot cannot hold more.

#include <cstddef>
#include <string>
#include <string_view>

namespace quire {

inline constexpr std::size_t kShortStringCapacity = 255;

// `text` cut to at most 255 characters.
inline std::string ToShortString(std::string_view text) {
  return std::string(text.substr(0, kShortStringCapacity));
}

}  // namespace quire
