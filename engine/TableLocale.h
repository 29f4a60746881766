#pragma once
// Which table locales the engine can work with. A table's locale is
// SortId * 65536 + LanguageId; LanguageId 0 means no locale (byte order,
// upper case for a to z only) and is always available.

#include <cstdint>

namespace quire {

// Whether the locale is installed. Only "no locale" is, until the other
// locales compare, sort and upper-case exactly as the programs that share
// the tables do; a table in another locale is refused (15878) rather than
// having its keys ordered differently.
constexpr bool IsLocaleInstalled(std::uint16_t languageId, std::uint16_t sortId) {
  return languageId == 0 && sortId == 0;
}

}  // namespace quire
