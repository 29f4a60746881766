// The song book: Thai dictionary order against a list written by hand, the
// letters groups are filed under, the pages with their "(ต่อ)" headings, the
// HTML book read back, and the PDF's pages for a known catalogue.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "app/InOutError.h"
#include "app/catalogue/CatalogueDefinition.h"
#include "app/catalogue/SongBookLayout.h"
#include "app/catalogue/SongBookWriter.h"
#include "app/catalogue/SongImport.h"
#include "engine/Engine.h"
#include "platform/Cp874.h"
#include "support/ListedFiles.h"

namespace lyrabook {
namespace {

std::string Cp874(const QString& text) {
  return Utf8ToCp874(text.toStdString()).value();
}

TFoundSong Song(const QString& code, const QString& name, const QString& singer) {
  return TFoundSong{Cp874(code), Cp874(name), Cp874(singer), {}, {}, {}, {}};
}

std::vector<QString> Names(const std::vector<TBookGroup>& groups) {
  std::vector<QString> names;
  for (const TBookGroup& group : groups)
    for (const TBookSong& song : group.Songs) names.push_back(song.Name);
  return names;
}

TEST(SongBookOrder, ThaiDictionaryOrderOfAListWrittenByHand) {
  // As a Thai dictionary lists them: by consonant first, a leading vowel
  // after the consonant it stands before (เก after กุ้ง), the vowels in
  // the order ะ ั า ำ ิ ี ึ ื ุ ู เ แ โ ใ ไ, tone marks only between words
  // otherwise the same (ขาว ข่าว ข้าว), ฤ after ร and ฦ after ล, brackets
  // passed over, digits before Thai, Latin after it, ignoring case.
  const std::vector<QString> reference = {
      "123", "กก", "กด",  "กระดาษ", "กา",      "ก้าน", "กำ",  "กิน",  "กุ้ง",    "เก",     "เก่ง",
      "เกม", "แก", "แกะ", "โกรธ",   "ใกล้",     "ไก่",  "ขาว", "ข่าว", "ข้าว",   "เขา",    "งาม",
      "รัก",  "ฤดู", "ลม",  "ฦๅ",     "(วงดาว)", "สาว", "อ่าน", "ฮา",  "apple", "Banana", "cherry"};
  std::vector<TFoundSong> songs;
  for (std::size_t i = 0; i < reference.size(); ++i)
    songs.push_back(Song(QString("C%1").arg(i, 3, 10, QChar('0')), reference[i], "x"));
  std::mt19937 random(874);
  for (int round = 0; round < 5; ++round) {
    std::shuffle(songs.begin(), songs.end(), random);
    EXPECT_EQ(Names(GroupSongs(songs, TBookOrder::Name)), reference);
  }
  // A byte sort of code page 874 would have put every leading vowel last.
  std::vector<std::string> bytes;
  for (const QString& name : reference) bytes.push_back(Cp874(name));
  EXPECT_FALSE(std::is_sorted(bytes.begin(), bytes.end()));
}

TEST(SongBookOrder, GroupsByTheFirstLetterOfTheOrderingField) {
  const std::vector<TFoundSong> songs = {Song("A2", "เกม", "แพรวา"), Song("A1", "กา", "(วงดาว)"),
                                         Song("B1", "love", "ต้น"),   Song("B2", "Lucky", "ต้น"),
                                         Song("C1", "7 วัน", ""),     Song("C2", "ไก่", "พร")};
  std::vector<TBookGroup> groups = GroupSongs(songs, TBookOrder::Name);
  std::vector<QString> letters;
  for (const TBookGroup& group : groups) letters.push_back(group.Letter);
  EXPECT_EQ(letters, (std::vector<QString>{"7", "ก", "L"}));
  EXPECT_EQ(Names(groups), (std::vector<QString>{"7 วัน", "กา", "เกม", "ไก่", "love", "Lucky"}));
  // By singer: a blank singer first, a band in brackets under its letter;
  // equal singers by code.
  groups = GroupSongs(songs, TBookOrder::Singer);
  letters.clear();
  for (const TBookGroup& group : groups) letters.push_back(group.Letter);
  EXPECT_EQ(letters, (std::vector<QString>{"#", "ต", "พ", "ว"}));
  EXPECT_EQ(groups[1].Songs.size(), 2u);
  EXPECT_EQ(groups[1].Songs[0].Code, "B1");
  EXPECT_EQ(groups[2].Songs[0].Singer, "พร");
  EXPECT_EQ(groups[2].Songs[1].Singer, "แพรวา");
  groups = GroupSongs(songs, TBookOrder::Code);
  EXPECT_EQ(groups.front().Letter, "A");
  EXPECT_EQ(GroupLetter("10001"), "1");
  EXPECT_EQ(groups.front().Songs.front().Code, "A1");

  EXPECT_EQ(GroupLetter("ใจ"), "จ");
  EXPECT_EQ(GroupLetter("  \"abc\""), "A");
  EXPECT_EQ(GroupLetter("เ"), "#");
  EXPECT_EQ(GroupLetter(""), "#");
  EXPECT_EQ(GroupLetter("๑๒"), "#");
  EXPECT_EQ(GroupLetter("<Band>"), "#");
  EXPECT_EQ(BookOrderNamed("singer"), TBookOrder::Singer);
  EXPECT_EQ(BookOrderNamed("artist"), std::nullopt);
}

std::vector<TBookGroup> Groups(std::initializer_list<int> sizes) {
  std::vector<TBookGroup> groups;
  for (const int size : sizes) {
    TBookGroup group{QString(QChar(static_cast<char16_t>(u'A' + groups.size()))), {}};
    for (int i = 0; i < size; ++i) group.Songs.push_back({QString::number(i), "n", "s"});
    groups.push_back(group);
  }
  return groups;
}

using K = TBookLine::TKind;

TEST(SongBookLayout, GroupsRunOnUnderAContinuedHeading) {
  // Five lines a column: A takes its heading and four songs, runs on with
  // "(ต่อ)" for three more; B's heading would stand alone at the foot, so
  // it starts the next page.
  const std::vector<TBookGroup> groups = Groups({7, 2, 1});
  const std::vector<TBookPage> pages = LayOutBook(groups, 5);
  ASSERT_EQ(pages.size(), 2u);
  const auto kinds = [](const std::vector<TBookLine>& column) {
    std::vector<std::pair<K, std::size_t>> out;
    for (const TBookLine& line : column) out.emplace_back(line.Kind, line.Group);
    return out;
  };
  using L = std::vector<std::pair<K, std::size_t>>;
  EXPECT_EQ(kinds(pages[0].Columns[0]),
            (L{{K::Heading, 0}, {K::Song, 0}, {K::Song, 0}, {K::Song, 0}, {K::Song, 0}}));
  EXPECT_EQ(kinds(pages[0].Columns[1]),
            (L{{K::ContinuedHeading, 0}, {K::Song, 0}, {K::Song, 0}, {K::Song, 0}}));
  EXPECT_EQ(kinds(pages[1].Columns[0]),
            (L{{K::Heading, 1}, {K::Song, 1}, {K::Song, 1}, {K::Heading, 2}, {K::Song, 2}}));
  EXPECT_TRUE(pages[1].Columns[1].empty());
  EXPECT_EQ(HeadingText(groups[0], K::ContinuedHeading), QString::fromUtf8("A (ต่อ)"));
  EXPECT_EQ(HeadingText(groups[0], K::Heading), "A");
  // A column filled exactly opens no empty page; no songs give one page.
  EXPECT_EQ(LayOutBook(Groups({8}), 5).size(), 1u);
  EXPECT_EQ(LayOutBook(Groups({9}), 5).size(), 2u);
  EXPECT_EQ(LayOutBook(Groups({4}), 5).size(), 1u);
  EXPECT_EQ(LayOutBook({}, 5).size(), 1u);
  EXPECT_EQ(LayOutBook(Groups({9, 1}), 5).size(), 2u);
}

TEST(SongBookLayout, EverySongOnceInOrderOverManyRandomBooks) {
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<TBookGroup> groups;
    const int count = 1 + static_cast<int>(random() % 12);
    for (int g = 0; g < count; ++g) {
      TBookGroup group{QString::number(g), {}};
      const int size = 1 + static_cast<int>(random() % 30);
      for (int s = 0; s < size; ++s) group.Songs.push_back({});
      groups.push_back(group);
    }
    const int lines = 2 + static_cast<int>(random() % 20);
    std::vector<std::pair<std::size_t, std::size_t>> seen;
    for (const TBookPage& page : LayOutBook(groups, lines)) {
      for (const std::vector<TBookLine>& column : page.Columns) {
        ASSERT_LE(column.size(), static_cast<std::size_t>(lines));
        for (std::size_t i = 0; i < column.size(); ++i) {
          const TBookLine& line = column[i];
          if (line.Kind == K::Song) seen.emplace_back(line.Group, line.Song);
          // A heading has a song of its group right under it.
          if (line.Kind != K::Song) {
            ASSERT_LT(i + 1, column.size());
            EXPECT_EQ(column[i + 1].Kind, K::Song);
            EXPECT_EQ(column[i + 1].Group, line.Group);
          }
          // A column that starts inside a group says so.
          if (i == 0 && line.Kind == K::Song) ADD_FAILURE() << "column starts bare";
          if (line.Kind == K::ContinuedHeading) {
            EXPECT_EQ(i, 0u);
          }
        }
      }
    }
    std::vector<std::pair<std::size_t, std::size_t>> expected;
    for (std::size_t g = 0; g < groups.size(); ++g)
      for (std::size_t s = 0; s < groups[g].Songs.size(); ++s) expected.emplace_back(g, s);
    EXPECT_EQ(seen, expected);
  }
}

using test::TNames;
using test::TNoStatus;

// A catalogue in a temporary folder, filled from lyric files written here.
class SongBookFile : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    quire::StartEngine();
    saved_ = QDir::currentPath();
    CreateCatalogueTables(Data());
    QDir().mkpath(dir_.path() + "/songs");
  }
  void TearDown() override { QDir::setCurrent(saved_); }

  std::string Data() const { return dir_.path().toStdString() + "/Data"; }
  QString Path(const QString& name) const { return dir_.path() + "/" + name; }

  // Songs "code" -> (name, singer), imported in one run.
  void Import(const std::vector<std::tuple<QString, QString, QString>>& songs) {
    std::vector<std::string> names;
    for (const auto& [code, name, singer] : songs) {
      QFile file(dir_.path() + "/songs/" + code + ".txt");
      EXPECT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(QByteArray::fromStdString("m\r\nPOP\r\nx\r\nM. C\r\n" + Cp874(name) + "\r\n" +
                                           Cp874(singer) + "\r\n"));
      names.push_back((code + ".txt").toStdString());
    }
    QDir::setCurrent(dir_.path() + "/songs");
    TSongCatalogue catalogue;
    catalogue.AssignTablePasswords();
    TNames files(names);
    TNoStatus status;
    ImportSongFiles(catalogue, Data(), files, status);
  }

  QTemporaryDir dir_;
  QString saved_;
};

// What an HTML book holds, read back as XML.
struct TReadBook {
  struct TEntry {
    QString heading;  // the heading the song stands under
    QString code, name, singer;
  };
  std::vector<TEntry> songs;
  std::vector<QString> headings;  // every heading, continued ones included
  std::vector<QString> footers;
  std::vector<QString> titles;
  int pages = 0;
  int columns = 0;
  int columnsStartingContinued = 0;
};

TReadBook ReadHtml(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  TReadBook book;
  QString heading;
  bool columnStart = false;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const QString cls = xml.attributes().value("class").toString();
    const bool atColumnStart = columnStart;
    columnStart = false;
    if (xml.name() == u"section" && cls == "page") ++book.pages;
    if (xml.name() == u"div" && cls == "column") {
      ++book.columns;
      columnStart = true;
    }
    if (xml.name() == u"footer") book.footers.push_back(xml.readElementText());
    if (xml.name() == u"span" && cls == "title") book.titles.push_back(xml.readElementText());
    if (xml.name() == u"h2") {
      const QString text = xml.readElementText();
      book.headings.push_back(text);
      if (cls == "group continued") {
        if (atColumnStart) ++book.columnsStartingContinued;
        heading = text.left(text.indexOf(' '));
      } else {
        EXPECT_EQ(cls, "group");
        heading = text;
      }
    }
    if (xml.name() == u"p" && cls == "song") book.songs.push_back({heading, {}, {}, {}});
    if (xml.name() == u"span" && !book.songs.empty()) {
      if (cls == "code") book.songs.back().code = xml.readElementText();
      if (cls == "name") book.songs.back().name = xml.readElementText();
      if (cls == "singer") book.songs.back().singer = xml.readElementText();
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return book;
}

TEST_F(SongBookFile, HtmlBookReadBackHoldsEverySongOnceUnderItsLetter) {
  // 130 songs: more than a column, so groups run on; texts with signs that
  // HTML must escape.
  std::vector<std::tuple<QString, QString, QString>> songs;
  const std::vector<QString> singers = {"แพรวา", "ต้นข้าว", "<Band> & Co", "\"Quote\"", "ดาว"};
  for (int i = 0; i < 130; ++i)
    songs.emplace_back(QString("S%1").arg(100 + i), QString::fromUtf8("เพลง %1").arg(i),
                       singers[static_cast<std::size_t>(i) % singers.size()]);
  Import(songs);
  const TBookHeader header{QString::fromUtf8("สมุดเพลงร้าน <A&B>"), "9/12/2026"};
  EXPECT_EQ(WriteSongBook(Data(), Path("book.html"), TBookOrder::Singer, header), 130u);
  const TReadBook book = ReadHtml(Path("book.html"));

  ASSERT_EQ(book.songs.size(), 130u);
  std::map<QString, int> codes;
  for (const TReadBook::TEntry& entry : book.songs) ++codes[entry.code];
  EXPECT_EQ(codes.size(), 130u);  // every song once
  // Each song under the letter of its singer, the groups in Thai order.
  for (const TReadBook::TEntry& entry : book.songs)
    EXPECT_EQ(entry.heading, GroupLetter(entry.singer)) << entry.singer.toStdString();
  std::vector<QString> order;
  for (const TReadBook::TEntry& entry : book.songs)
    if (order.empty() || order.back() != entry.heading) order.push_back(entry.heading);
  // "<" is a symbol, which sorts before the letters; quotes are passed over.
  EXPECT_EQ(order, (std::vector<QString>{"#", "ด", "ต", "พ", "Q"}));
  // 130 songs and five headings over 50-line columns: three columns, and
  // each of the two that begins inside a group begins with its "(ต่อ)".
  EXPECT_EQ(book.pages, 2);
  EXPECT_EQ(book.columns, 4);
  EXPECT_EQ(book.columnsStartingContinued, 2);
  EXPECT_EQ(std::count_if(book.headings.begin(), book.headings.end(),
                          [](const QString& h) { return h.endsWith(QString::fromUtf8("(ต่อ)")); }),
            2);
  EXPECT_EQ(book.footers,
            (std::vector<QString>{QString::fromUtf8("หน้า 1 / 2"), QString::fromUtf8("หน้า 2 / 2")}));
  EXPECT_EQ(book.titles, (std::vector<QString>(2, header.Title)));
  const auto band = std::find_if(book.songs.begin(), book.songs.end(),
                                 [](const TReadBook::TEntry& e) { return e.heading == "#"; });
  ASSERT_NE(band, book.songs.end());
  EXPECT_EQ(band->singer, "<Band> & Co");
}

int PdfPages(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF-"));
  // Page objects, not the page tree ("/Type /Pages").
  return static_cast<int>(
      QString::fromLatin1(bytes).count(QRegularExpression("/Type\\s*/Page(?![s])")));
}

TEST_F(SongBookFile, PdfHasThePagesOfTheLayoutAndAThaiFont) {
  // One letter, 250 songs: 98 songs a page (a heading and a "(ต่อ)" take a
  // line of each column), so three pages.
  std::vector<std::tuple<QString, QString, QString>> songs;
  for (int i = 0; i < 250; ++i)
    songs.emplace_back(QString("P%1").arg(1000 + i), QString::fromUtf8("กา %1").arg(i),
                       QString::fromUtf8("ใจ"));
  Import(songs);
  EXPECT_EQ(WriteSongBook(Data(), Path("book.pdf"), TBookOrder::Name, DefaultBookHeader()), 250u);
  EXPECT_EQ(PdfPages(Path("book.pdf")), 3);
  QFile file(Path("book.pdf"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.contains("/BaseFont /" + BookFontFamily().toLatin1())) << "font not embedded";
  EXPECT_TRUE(QFontDatabase::writingSystems(BookFontFamily()).contains(QFontDatabase::Thai));

  // An empty catalogue still makes a book of one page.
  std::filesystem::remove_all(Data());
  CreateCatalogueTables(Data());
  EXPECT_EQ(WriteSongBook(Data(), Path("empty.pdf"), TBookOrder::Name, DefaultBookHeader()), 0u);
  EXPECT_EQ(PdfPages(Path("empty.pdf")), 1);
}

TEST_F(SongBookFile, FailuresAreInputOutputOrEngineErrors) {
  EXPECT_THROW(WriteSongBook(Data(), Path("book.txt"), TBookOrder::Name, DefaultBookHeader()),
               EInOutError);
  EXPECT_THROW(
      WriteSongBook(Data(), Path("no/such/folder/b.html"), TBookOrder::Name, DefaultBookHeader()),
      EInOutError);
  EXPECT_THROW(
      WriteSongBook(Data(), Path("no/such/folder/b.pdf"), TBookOrder::Name, DefaultBookHeader()),
      EInOutError);
  EXPECT_THROW(
      WriteSongBook(Data() + "/missing", Path("b.pdf"), TBookOrder::Name, DefaultBookHeader()),
      std::exception);
}

}  // namespace
}  // namespace lyrabook
