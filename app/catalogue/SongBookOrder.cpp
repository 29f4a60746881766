#include "app/catalogue/SongBookOrder.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>

#include "platform/Cp874.h"

namespace lyrabook {
namespace {

bool IsThaiConsonant(char16_t c) {
  return c >= u'\u0E01' && c <= u'\u0E2E';
}

bool IsLeadingVowel(char16_t c) {
  return c >= u'\u0E40' && c <= u'\u0E44';
}

QString Decoded(const std::string& bytes) {
  return QString::fromStdString(Cp874ToUtf8(bytes));
}

const QString& FieldOf(const TBookSong& song, TBookOrder order) {
  switch (order) {
    case TBookOrder::Singer:
      return song.Singer;
    case TBookOrder::Name:
      return song.Name;
    case TBookOrder::Code:
      break;
  }
  return song.Code;
}

}  // namespace

std::optional<TBookOrder> BookOrderNamed(std::string_view word) {
  if (word == "singer") return TBookOrder::Singer;
  if (word == "name") return TBookOrder::Name;
  if (word == "code") return TBookOrder::Code;
  return std::nullopt;
}

QString GroupLetter(const QString& text) {
  // Brackets, quotes and blanks before the word ("(วงดาวเหนือ)") are passed
  // over, as the collation passes over them; other signs (< + $) are not,
  // and sort before every letter, as "#" does.
  qsizetype i = 0;
  while (i < text.size() && (text[i].isPunct() || text[i].isSpace())) ++i;
  while (i < text.size() && IsLeadingVowel(text[i].unicode())) ++i;
  if (i == text.size()) return QStringLiteral("#");
  const char16_t c = text[i].unicode();
  if (IsThaiConsonant(c)) return QString(QChar(c));
  if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) return QString(QChar(c)).toUpper();
  // Codes are mostly digits: a book by code is filed by its first digit.
  if (c >= u'0' && c <= u'9') return QString(QChar(c));
  return QStringLiteral("#");
}

std::vector<TBookGroup> GroupSongs(const std::vector<TFoundSong>& songs, TBookOrder order) {
  QCollator collator{QLocale(QLocale::Thai, QLocale::Thailand)};
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  // A band's name in brackets is filed under its first letter.
  collator.setIgnorePunctuation(true);
  // Sort keys once per song: comparing keys is far cheaper than collating
  // the two texts at every comparison of the sort.
  struct TKeyed {
    TBookSong song;
    QCollatorSortKey field;
    QCollatorSortKey code;
  };
  std::vector<TKeyed> keyed;
  keyed.reserve(songs.size());
  for (const TFoundSong& found : songs) {
    TBookSong song{Decoded(found.Code), Decoded(found.Name), Decoded(found.Singer)};
    QCollatorSortKey field = collator.sortKey(FieldOf(song, order));
    QCollatorSortKey code = collator.sortKey(song.Code);
    keyed.push_back({std::move(song), std::move(field), std::move(code)});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const TKeyed& a, const TKeyed& b) {
    const int byField = a.field.compare(b.field);
    return byField != 0 ? byField < 0 : a.code.compare(b.code) < 0;
  });
  std::vector<TBookGroup> groups;
  for (TKeyed& entry : keyed) {
    const QString letter = GroupLetter(FieldOf(entry.song, order));
    // A letter that comes back later (Latin letters of either case sort
    // together, so only odd texts do this) starts a group of its own.
    if (groups.empty() || groups.back().Letter != letter) groups.push_back({letter, {}});
    groups.back().Songs.push_back(std::move(entry.song));
  }
  return groups;
}

}  // namespace lyrabook
