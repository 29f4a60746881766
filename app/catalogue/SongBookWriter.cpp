#include "app/catalogue/SongBookWriter.h"

#include <QDate>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextStream>
#include <cerrno>

#include "app/InOutError.h"
#include "app/catalogue/SongBookLayout.h"

namespace lyrabook {
namespace {

// Page geometry in millimetres.
constexpr double kPageWidth = 210;
constexpr double kMargin = 14;
constexpr double kColumnGap = 8;
constexpr double kHeaderTop = 12;
constexpr double kRule = 21;
constexpr double kBodyTop = 25;
constexpr double kLineHeight = 5;  // 50 lines: the body ends at 275
constexpr double kFooter = 284;
constexpr double kColumnWidth = (kPageWidth - 2 * kMargin - kColumnGap) / 2;
// Within a column: the code, the name, the singer.
constexpr double kCodeWidth = 17;
constexpr double kNameShare = 0.56;
constexpr int kResolution = 300;

double Px(double mm) {
  return mm * kResolution / 25.4;
}

QString PageNumber(std::size_t page, std::size_t pages) {
  return QString::fromUtf8("หน้า %1 / %2").arg(page).arg(pages);
}

[[noreturn]] void CannotWrite(const QString& path) {
  throw EInOutError(EIO, "The song book cannot be written to " + path.toStdString());
}

class TPdfBook {
 public:
  TPdfBook(const std::vector<TBookGroup>& groups, const TBookHeader& header)
      : groups_(groups), header_(header) {
    const QString family = BookFontFamily();
    text_ = QFont(family);
    text_.setPointSizeF(9);
    heading_ = QFont(family);
    heading_.setPointSizeF(10);
    heading_.setBold(true);
    title_ = QFont(family);
    title_.setPointSizeF(14);
    title_.setBold(true);
  }

  void Write(const QString& path) {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(kResolution);
    writer.setTitle(header_.Title);
    writer.setCreator(QStringLiteral("Lyrabook"));
    QPainter painter;
    if (!painter.begin(&writer)) CannotWrite(path);
    const std::vector<TBookPage> pages = LayOutBook(groups_, kBookLinesPerColumn);
    for (std::size_t p = 0; p < pages.size(); ++p) {
      if (p > 0) writer.newPage();
      Page(painter, pages[p], p + 1, pages.size());
    }
    if (!painter.end()) CannotWrite(path);
    // The writer reports a file it could not open only through the painter;
    // a file left empty is the other sign.
    if (QFile(path).size() == 0) CannotWrite(path);
  }

 private:
  void Page(QPainter& painter, const TBookPage& page, std::size_t number, std::size_t pages) {
    painter.setPen(Qt::black);
    painter.setFont(title_);
    const QRectF top(Px(kMargin), Px(kHeaderTop), Px(kPageWidth - 2 * kMargin), Px(kRule - 12));
    painter.drawText(top, Qt::AlignLeft | Qt::AlignVCenter, header_.Title);
    painter.setFont(text_);
    painter.drawText(top, Qt::AlignRight | Qt::AlignVCenter, header_.Date);
    painter.drawLine(QPointF(Px(kMargin), Px(kRule)), QPointF(Px(kPageWidth - kMargin), Px(kRule)));
    for (int c = 0; c < kBookColumns; ++c) {
      const double left = kMargin + c * (kColumnWidth + kColumnGap);
      double y = kBodyTop;
      for (const TBookLine& line : page.Columns[c]) {
        Line(painter, line, left, y);
        y += kLineHeight;
      }
    }
    painter.setFont(text_);
    painter.drawText(QRectF(Px(kMargin), Px(kFooter), Px(kPageWidth - 2 * kMargin), Px(6)),
                     Qt::AlignHCenter | Qt::AlignVCenter, PageNumber(number, pages));
  }

  void Line(QPainter& painter, const TBookLine& line, double left, double y) {
    const TBookGroup& group = groups_[line.Group];
    if (line.Kind != TBookLine::TKind::Song) {
      const QRectF band(Px(left), Px(y + 0.3), Px(kColumnWidth), Px(kLineHeight - 0.6));
      painter.fillRect(band, QColor(225, 225, 225));
      painter.setFont(heading_);
      painter.drawText(band.adjusted(Px(1.5), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       HeadingText(group, line.Kind));
      return;
    }
    const TBookSong& song = group.Songs[line.Song];
    painter.setFont(text_);
    const QFontMetricsF metrics(text_, painter.device());
    const double rest = kColumnWidth - kCodeWidth;
    const double nameWidth = rest * kNameShare;
    const double singerWidth = rest - nameWidth;
    const auto cell = [&](const QString& text, double x, double width) {
      const QRectF box(Px(x), Px(y), Px(width - 1), Px(kLineHeight));
      painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                       metrics.elidedText(text, Qt::ElideRight, box.width()));
    };
    cell(song.Code, left, kCodeWidth);
    cell(song.Name, left + kCodeWidth, nameWidth);
    cell(song.Singer, left + kCodeWidth + nameWidth, singerWidth);
  }

  const std::vector<TBookGroup>& groups_;
  const TBookHeader& header_;
  QFont text_, heading_, title_;
};

QString Escaped(const QString& text) {
  return text.toHtmlEscaped();
}

}  // namespace

QString BookFontFamily() {
  const QStringList thai = QFontDatabase::families(QFontDatabase::Thai);
  for (const char* family : {"Loma", "Garuda", "Waree", "Norasi", "Tahoma"})
    if (thai.contains(QString::fromLatin1(family), Qt::CaseInsensitive))
      return QString::fromLatin1(family);
  return thai.isEmpty() ? QStringLiteral("sans-serif") : thai.front();
}

void WriteSongBookPdf(const QString& path, const std::vector<TBookGroup>& groups,
                      const TBookHeader& header) {
  TPdfBook(groups, header).Write(path);
}

void WriteSongBookHtml(const QString& path, const std::vector<TBookGroup>& groups,
                       const TBookHeader& header) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) CannotWrite(path);
  QTextStream out(&file);
  out.setEncoding(QStringConverter::Utf8);
  // Well-formed XML as well as HTML, so that a script can read it back.
  out << "<!DOCTYPE html>\n<html lang=\"th\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>"
      << Escaped(header.Title) << "</title>\n<style>\n"
      << "@page { size: A4; margin: 0; }\n"
      << "body { margin: 0; font-family: \"Loma\", \"Garuda\", \"Tahoma\", sans-serif; }\n"
      << ".page { box-sizing: border-box; width: 210mm; height: 297mm; padding: 12mm 14mm 0; "
         "break-after: page; position: relative; overflow: hidden; }\n"
      << ".page:last-child { break-after: auto; }\n"
      << "header { display: flex; justify-content: space-between; align-items: center; "
         "height: 9mm; border-bottom: 0.3mm solid black; }\n"
      << ".title { font-size: 14pt; font-weight: bold; } .date { font-size: 9pt; }\n"
      << ".columns { display: flex; gap: 8mm; margin-top: 4mm; }\n"
      << ".column { flex: 1; min-width: 0; }\n"
      << ".column > * { height: 5mm; line-height: 5mm; margin: 0; overflow: hidden; "
         "white-space: nowrap; font-size: 9pt; }\n"
      << "h2.group { font-size: 10pt; background: #e1e1e1; padding-left: 1.5mm; }\n"
      << ".song { display: flex; } .code { width: 17mm; flex: none; }\n"
      << ".name { flex: 56; overflow: hidden; text-overflow: ellipsis; }\n"
      << ".singer { flex: 44; overflow: hidden; text-overflow: ellipsis; }\n"
      << "footer { position: absolute; bottom: 8mm; left: 0; right: 0; text-align: center; "
         "font-size: 9pt; }\n"
      << "</style>\n</head>\n<body>\n";
  const std::vector<TBookPage> pages = LayOutBook(groups, kBookLinesPerColumn);
  for (std::size_t p = 0; p < pages.size(); ++p) {
    out << "<section class=\"page\">\n<header><span class=\"title\">" << Escaped(header.Title)
        << "</span><span class=\"date\">" << Escaped(header.Date)
        << "</span></header>\n<div class=\"columns\">\n";
    for (const std::vector<TBookLine>& column : pages[p].Columns) {
      out << "<div class=\"column\">\n";
      for (const TBookLine& line : column) {
        const TBookGroup& group = groups[line.Group];
        if (line.Kind == TBookLine::TKind::Song) {
          const TBookSong& song = group.Songs[line.Song];
          out << "<p class=\"song\"><span class=\"code\">" << Escaped(song.Code)
              << "</span><span class=\"name\">" << Escaped(song.Name)
              << "</span><span class=\"singer\">" << Escaped(song.Singer) << "</span></p>\n";
        } else {
          out << "<h2 class=\"group"
              << (line.Kind == TBookLine::TKind::ContinuedHeading ? " continued" : "") << "\">"
              << Escaped(HeadingText(group, line.Kind)) << "</h2>\n";
        }
      }
      out << "</div>\n";
    }
    out << "</div>\n<footer>" << PageNumber(p + 1, pages.size()) << "</footer>\n</section>\n";
  }
  out << "</body>\n</html>\n";
  out.flush();
  if (out.status() != QTextStream::Ok || !file.flush()) CannotWrite(path);
}

std::size_t WriteSongBook(const std::string& dataFolder, const QString& path, TBookOrder order,
                          const TBookHeader& header) {
  const QString lower = path.toLower();
  const bool pdf = lower.endsWith(QStringLiteral(".pdf"));
  if (!pdf && !lower.endsWith(QStringLiteral(".html")))
    throw EInOutError(EINVAL, "A song book is written as .pdf or .html, not " + path.toStdString());
  std::vector<TFoundSong> songs = TCatalogueSearch(dataFolder).AllSongs();
  const std::vector<TBookGroup> groups = GroupSongs(songs, order);
  if (pdf) {
    WriteSongBookPdf(path, groups, header);
  } else {
    WriteSongBookHtml(path, groups, header);
  }
  return songs.size();
}

TBookHeader DefaultBookHeader() {
  const QLocale thai(QLocale::Thai, QLocale::Thailand);
  return {QString::fromUtf8("สมุดเพลง Lyrabook"),
          thai.toString(QDate::currentDate(), QLocale::LongFormat)};
}

}  // namespace lyrabook
