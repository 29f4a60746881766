#pragma once
// The song book's pages: groups of songs poured into two columns a page,
// a fixed number of lines a column. A group's heading takes a line; when a
// group runs on into the next column or page, that column starts with the
// heading again, marked "(ต่อ)"; a heading never stands alone at the foot
// of a column. The PDF and the HTML book print the same pages.

#include <QString>
#include <cstddef>
#include <vector>

#include "app/catalogue/SongBookOrder.h"

namespace lyrabook {

struct TBookLine {
  enum class TKind { Heading, ContinuedHeading, Song };
  TKind Kind;
  std::size_t Group;  // index into the groups
  std::size_t Song;   // index into the group's songs, for a song line
};

struct TBookPage {
  std::vector<TBookLine> Columns[2];
};

inline constexpr int kBookColumns = 2;

// The pages of `groups` with `linesPerColumn` lines (at least 2) a column;
// one empty page for no songs.
std::vector<TBookPage> LayOutBook(const std::vector<TBookGroup>& groups, int linesPerColumn);

// The heading a line prints: the letter, with " (ต่อ)" when continued.
QString HeadingText(const TBookGroup& group, TBookLine::TKind kind);

}  // namespace lyrabook
