#pragma once
// The song book as a file: A4 pages of two columns (SongBookLayout), a
// header with the book's title and date, the page number at the foot, the
// Thai text in a Thai font. A PDF through Qt's PDF writer, or an HTML page
// of the same pages for a browser to print.

#include <QString>
#include <cstddef>
#include <string>
#include <vector>

#include "app/catalogue/SongBookOrder.h"

namespace lyrabook {

struct TBookHeader {
  QString Title;
  QString Date;
};

// Lines a column holds, headings included: the same in both formats.
inline constexpr int kBookLinesPerColumn = 50;

// The font family the book's Thai text is set in: a Thai font installed
// (fonts-thai-tlwg's Loma first), else the first with Thai letters.
QString BookFontFamily();

// Write the book of `groups` to `path`; an input/output error when the
// file cannot be written. The PDF needs a QGuiApplication.
void WriteSongBookPdf(const QString& path, const std::vector<TBookGroup>& groups,
                      const TBookHeader& header);
void WriteSongBookHtml(const QString& path, const std::vector<TBookGroup>& groups,
                       const TBookHeader& header);

// The song book of the catalogue in `dataFolder`, read through a session of
// its own, ordered by `order`, to `path`: PDF when it ends in ".pdf", HTML
// for ".html" (ignoring case). Returns the number of songs. An
// input/output error for another ending, an engine error when the
// catalogue cannot be read.
std::size_t WriteSongBook(const std::string& dataFolder, const QString& path, TBookOrder order,
                          const TBookHeader& header);

// "สมุดเพลง" and today's date, as the book is headed by default.
TBookHeader DefaultBookHeader();

}  // namespace lyrabook
