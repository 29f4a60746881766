#pragma once
// The song book's order: the songs sorted by singer, name or code in Thai
// dictionary order (ICU's collation for the Thai locale, through QCollator:
// a leading vowel เ แ โ ใ ไ sorts after the consonant it precedes, tone
// marks count only between otherwise equal words, Thai before Latin), and
// grouped by the first letter of that field.

#include <QString>
#include <optional>
#include <string_view>
#include <vector>

#include "app/catalogue/CatalogueSearch.h"

namespace lyrabook {

enum class TBookOrder { Singer, Name, Code };

// "singer", "name", "code"; nothing for another word.
std::optional<TBookOrder> BookOrderNamed(std::string_view word);

// One song as the book prints it (decoded from code page 874).
struct TBookSong {
  QString Code, Name, Singer;
};

struct TBookGroup {
  QString Letter;  // the heading
  std::vector<TBookSong> Songs;
};

// The letter a text is filed under, past leading punctuation and blanks: its
// first Thai consonant (after any leading vowel), a Latin letter in upper
// case, a digit 0 to 9, "#" for anything else (symbols, Thai digits, other
// scripts, no text).
QString GroupLetter(const QString& text);

// Sorts `songs` by the field of `order` (ties by code), each group the run
// of songs with one letter, in the order of the collation.
std::vector<TBookGroup> GroupSongs(const std::vector<TFoundSong>& songs, TBookOrder order);

}  // namespace lyrabook
