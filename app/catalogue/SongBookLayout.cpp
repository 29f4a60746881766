#include "app/catalogue/SongBookLayout.h"

namespace lyrabook {
namespace {

// Fills columns one line at a time, two columns a page.
class TColumnFiller {
 public:
  explicit TColumnFiller(int linesPerColumn) : lines_(linesPerColumn) { pages_.emplace_back(); }

  int Left() const { return lines_ - static_cast<int>(Current().size()); }
  void Add(TBookLine line) { Current().push_back(line); }
  void NextColumn() {
    if (++column_ == kBookColumns) {
      column_ = 0;
      pages_.emplace_back();
    }
  }
  std::vector<TBookPage> Pages() && { return std::move(pages_); }

 private:
  std::vector<TBookLine>& Current() { return pages_.back().Columns[column_]; }
  const std::vector<TBookLine>& Current() const { return pages_.back().Columns[column_]; }

  int lines_;
  int column_ = 0;
  std::vector<TBookPage> pages_;
};

}  // namespace

std::vector<TBookPage> LayOutBook(const std::vector<TBookGroup>& groups, int linesPerColumn) {
  if (linesPerColumn < 2) linesPerColumn = 2;
  TColumnFiller filler(linesPerColumn);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    // A heading needs a song line under it in the same column.
    if (filler.Left() < 2) filler.NextColumn();
    filler.Add({TBookLine::TKind::Heading, g, 0});
    for (std::size_t s = 0; s < groups[g].Songs.size(); ++s) {
      if (filler.Left() == 0) {
        filler.NextColumn();
        filler.Add({TBookLine::TKind::ContinuedHeading, g, 0});
      }
      filler.Add({TBookLine::TKind::Song, g, s});
    }
  }
  return std::move(filler).Pages();
}

QString HeadingText(const TBookGroup& group, TBookLine::TKind kind) {
  return kind == TBookLine::TKind::ContinuedHeading ? group.Letter + QString::fromUtf8(" (ต่อ)")
                                                    : group.Letter;
}

}  // namespace lyrabook
