// The catalogue search: songs whose name, singer or code starts with a text,
// through List's search index, checked against a read of every List row.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/catalogue/CatalogueSearch.h"
#include "platform/Cp874.h"
#include "support/CatalogueScratch.h"

namespace lyrabook {
namespace {

std::string Cp874(const std::string& utf8) {
  return Utf8ToCp874(utf8).value();
}

// A lyric file whose name and singer lines are `name` and `singer` (UTF-8).
std::string Lyric(const std::string& name, const std::string& singer) {
  return "maker\r\nPOP\r\nx\r\nM. Am\r\n" + Cp874(name) + "\r\n" + Cp874(singer) + "\r\nauthor\r\n";
}

std::vector<std::string> Codes(const TSearchResult& result) {
  std::vector<std::string> codes;
  for (const TFoundSong& song : result.Songs) codes.push_back(song.Code);
  return codes;
}

std::string Folded(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

class CatalogueSearchTest : public testing::CatalogueScratch {
 protected:
  // Writes and imports songs "code|name|singer" (UTF-8).
  void AddSongs(const std::vector<std::tuple<std::string, std::string, std::string>>& songs) {
    std::vector<std::string> names;
    for (const auto& [code, name, singer] : songs) {
      Write(code + ".txt", Lyric(name, singer));
      names.push_back(code + ".txt");
    }
    Import(names);
  }

  // What the search must answer, from a read of every List row: the rows of
  // the kinds asked whose folded Detail starts with the folded prefix, in
  // index order (kind, folded Detail as bytes, ID), each code once.
  std::vector<std::string> Expected(const std::string& prefix, TSearchKind kind) {
    struct TRow {
      int searchBy;
      std::string detail;
      int id;
      std::string code;
    };
    std::vector<TRow> rows;
    if (!catalogue_.tbList.Active()) catalogue_.OpenTables();
    quire::TQuireTable& list = catalogue_.tbList;
    for (list.First(); !list.Eof(); list.Next()) {
      const int searchBy = list.FieldByName("SearchBy").AsInteger();
      if (kind != TSearchKind::Any && searchBy != static_cast<int>(kind)) continue;
      const std::string detail = Folded(list.FieldByName("Detail").AsString());
      if (!detail.starts_with(Folded(prefix.substr(0, 100)))) continue;
      rows.push_back({searchBy, detail, list.FieldByName("ID").AsInteger(),
                      list.FieldByName("Code").AsString()});
    }
    std::sort(rows.begin(), rows.end(), [](const TRow& a, const TRow& b) {
      return std::tie(a.searchBy, a.detail, a.id) < std::tie(b.searchBy, b.detail, b.id);
    });
    std::vector<std::string> codes;
    std::set<std::string> seen;
    for (const TRow& row : rows)
      if (seen.insert(row.code).second) codes.push_back(row.code);
    return codes;
  }
};

TEST_F(CatalogueSearchTest, GeneratedCatalogueAnswersAsAReadOfEveryRow) {
  // Short texts over a few letters, so that prefixes share much: Latin in
  // both cases, Thai consonants, a leading vowel, a blank.
  const std::vector<std::string> letters = {"a", "A", "b", "B", "ก", "ข", "เ", " ", "1"};
  std::mt19937 random(18);
  const auto text = [&] {
    std::string out;
    const int length = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < length; ++i) out += letters[random() % letters.size()];
    return out;
  };
  std::vector<std::tuple<std::string, std::string, std::string>> songs;
  for (int i = 0; i < 150; ++i) {
    const std::string code = std::string(i % 3 == 0 ? "a" : "A") + std::to_string(100 + i);
    const std::string name = text();
    songs.emplace_back(code, name, text());
  }
  AddSongs(songs);

  TCatalogueSearch search(Data());
  std::vector<std::string> prefixes = {"", "a", "A", "ab", "AB", "a1", "A1", "b", "1"};
  for (const std::string& first : letters) {
    prefixes.push_back(Cp874(first));
    for (const std::string& second : letters) prefixes.push_back(Cp874(first + second));
  }
  for (const std::string& prefix : prefixes) {
    for (const TSearchKind kind :
         {TSearchKind::Any, TSearchKind::Name, TSearchKind::Singer, TSearchKind::Code}) {
      const TSearchResult found = search.Find(prefix, kind);
      EXPECT_EQ(Codes(found), Expected(prefix, kind))
          << "prefix '" << Cp874ToUtf8(prefix) << "' kind " << static_cast<int>(kind);
      EXPECT_FALSE(found.Truncated);
    }
  }
  // The empty text finds every song once.
  EXPECT_EQ(search.Find("").Songs.size(), 150u);
}

TEST_F(CatalogueSearchTest, FoundSongsCarryTheirSongRowAndLatinCaseIsIgnored) {
  AddSongs({{"K001", "Hello Dolly", "Louis"},
            {"K002", "hello again", "Neil"},
            {"K003", "HELLO", "adele"},
            {"K004", "Help", "The Band"},
            {"k005", "ใจเดียว", "Hello Band"}});
  TCatalogueSearch search(Data());
  const TSearchResult found = search.Find("hElLo");
  // By name first (index order, case folded), then by singer.
  EXPECT_EQ(Codes(found), (std::vector<std::string>{"K003", "K002", "K001", "k005"}));
  EXPECT_EQ(found.Rows, 4u);
  EXPECT_EQ(found.Songs[0],
            (TFoundSong{"K003", "HELLO", "adele", "author", "M. Am", "POP", "maker"}));
  EXPECT_EQ(found.Songs[3].Name, Cp874("ใจเดียว"));
  EXPECT_EQ(Codes(search.Find("HELLO", TSearchKind::Singer)), std::vector<std::string>{"k005"});
  EXPECT_EQ(Codes(search.Find("k00", TSearchKind::Code)),
            (std::vector<std::string>{"K001", "K002", "K003", "K004", "k005"}));
  EXPECT_EQ(Codes(search.Find("ADELE")), std::vector<std::string>{"K003"});
  EXPECT_TRUE(search.Find("Hello Dolly!").Songs.empty());
}

TEST_F(CatalogueSearchTest, ThaiPrefixesMatchByteForByte) {
  AddSongs({{"T1", "เพลงรัก", "แพรวา"},
            {"T2", "เพื่อน", "ต้นข้าว"},
            {"T3", "แพ้ใจ", "เพชร"},
            {"T4", "ไม่รัก", "ดาว"},
            {"T5", "เ", "๛จบ"}});  // ๛ is the code page's highest letter, 0xFB
  TCatalogueSearch search(Data());
  EXPECT_EQ(Codes(search.Find(Cp874("เพ"))), (std::vector<std::string>{"T1", "T2", "T3"}));
  EXPECT_EQ(Codes(search.Find(Cp874("เพ"), TSearchKind::Name)),
            (std::vector<std::string>{"T1", "T2"}));
  EXPECT_EQ(Codes(search.Find(Cp874("เ"), TSearchKind::Name)),
            (std::vector<std::string>{"T5", "T1", "T2"}));  // the bare vowel sorts first
  EXPECT_EQ(Codes(search.Find(Cp874("แพ"))), (std::vector<std::string>{"T3", "T1"}));
  EXPECT_EQ(Codes(search.Find(Cp874("๛"))), std::vector<std::string>{"T5"});
  // A tone mark more, or one fewer, is another text.
  EXPECT_TRUE(search.Find(Cp874("เพ่")).Songs.empty());
  EXPECT_TRUE(search.Find(Cp874("ไม")).Songs.size() == 1);
  EXPECT_TRUE(search.Find(Cp874("ไม้")).Songs.empty());
}

TEST_F(CatalogueSearchTest, PrefixEdges) {
  const std::string longName(120, 'L');  // stored cut to 100 characters
  AddSongs({{"E1", "AB", "x"},
            {"E2", "AB C", "y"},
            {"E3", "ABC", "z"},
            {"E4", longName, "w"},
            {"E5", "", ""}});
  TCatalogueSearch search(Data());
  // Every song once; blank texts sort first and start with the empty text.
  EXPECT_EQ(Codes(search.Find("")), (std::vector<std::string>{"E5", "E1", "E2", "E3", "E4"}));
  EXPECT_EQ(search.Find("").Rows, 15u);
  EXPECT_EQ(Codes(search.Find("", TSearchKind::Singer)),
            (std::vector<std::string>{"E5", "E4", "E1", "E2", "E3"}));
  EXPECT_TRUE(search.Find("", TSearchKind::Any, 1).Truncated);
  // A trailing blank is part of the text: "AB" is not "AB " followed by
  // anything, though the range built from "AB " holds it.
  EXPECT_EQ(Codes(search.Find("AB ")), std::vector<std::string>{"E2"});
  EXPECT_EQ(Codes(search.Find("AB")), (std::vector<std::string>{"E1", "E2", "E3"}));
  // Longer than the field: compared over the field's 100 characters, as the
  // catalogue holds the name.
  EXPECT_EQ(Codes(search.Find(longName)), std::vector<std::string>{"E4"});
  EXPECT_EQ(Codes(search.Find(longName + "MORE")), std::vector<std::string>{"E4"});
  EXPECT_EQ(Codes(search.Find(std::string(100, 'L'))), std::vector<std::string>{"E4"});
  EXPECT_TRUE(search.Find(std::string(99, 'L') + "M").Songs.empty());
  // Bytes no text holds.
  EXPECT_TRUE(search.Find("\xFF").Songs.empty());
  EXPECT_TRUE(search.Find("\x01").Songs.empty());
}

TEST_F(CatalogueSearchTest, LimitStopsAfterThatManySongs) {
  AddSongs({{"L1", "Sa", "q"}, {"L2", "Sb", "q"}, {"L3", "Sc", "Sd"}, {"L4", "x", "Se"}});
  TCatalogueSearch search(Data());
  TSearchResult found = search.Find("s", TSearchKind::Any, 2);
  EXPECT_EQ(Codes(found), (std::vector<std::string>{"L1", "L2"}));
  EXPECT_TRUE(found.Truncated);
  found = search.Find("s", TSearchKind::Any, 4);
  EXPECT_EQ(Codes(found), (std::vector<std::string>{"L1", "L2", "L3", "L4"}));
  EXPECT_FALSE(found.Truncated);  // exactly the limit, nothing left out
  EXPECT_EQ(found.Rows, 5u);      // L3 by name and by singer
}

TEST_F(CatalogueSearchTest, RowsWithoutTheirSongAreLeftOutAndMissingTablesFail) {
  AddSongs({{"G1", "Ghost", "a"}, {"G2", "Ghoul", "b"}});
  catalogue_.RunStatement("Delete from Song where Code = :Code", "G1");
  TCatalogueSearch search(Data());
  EXPECT_EQ(Codes(search.Find("Gh")), std::vector<std::string>{"G2"});
  TCatalogueSearch nowhere(dir_.Path("missing"));
  EXPECT_THROW(nowhere.Find("a"), std::exception);
  // A catalogue whose List is missing fails each search, and searches once
  // it is there.
  std::filesystem::create_directories(dir_.Path("half"));
  for (const char* ext : {".DAT", ".IDX", ".BLB"})
    std::filesystem::copy_file(Data() + "/Song" + std::string(ext), dir_.Path("half/Song") + ext);
  TCatalogueSearch half(dir_.Path("half"));
  EXPECT_THROW(half.Find("Gh"), std::exception);
  EXPECT_THROW(half.Find("Gh"), std::exception);
  for (const char* ext : {".DAT", ".IDX"})
    std::filesystem::copy_file(Data() + "/list" + std::string(ext), dir_.Path("half/list") + ext);
  EXPECT_EQ(Codes(half.Find("Gh")), std::vector<std::string>{"G2"});
}

TEST_F(CatalogueSearchTest, SeesSongsImportedMeanwhileInAnotherThread) {
  AddSongs({{"N0", "Night 0", "s"}});
  TCatalogueSearch search(Data());
  EXPECT_EQ(search.Find("Night").Songs.size(), 1u);
  std::vector<std::string> names;
  for (int i = 1; i <= 40; ++i) {
    const std::string code = "N" + std::to_string(i);
    Write(code + ".txt", Lyric("Night " + std::to_string(i), "s"));
    names.push_back(code + ".txt");
  }
  // The import writes through the default session while this thread keeps
  // searching through its own; every answer is some state of the import.
  std::thread worker([&] { Import(names); });
  std::size_t last = 1;
  for (int round = 0; round < 200; ++round) {
    const std::size_t now = search.Find("night").Songs.size();
    EXPECT_GE(now, last);
    EXPECT_LE(now, 41u);
    last = now;
  }
  worker.join();
  EXPECT_EQ(search.Find("NIGHT").Songs.size(), 41u);
}

TEST(SearchKind, Names) {
  EXPECT_EQ(SearchKindNamed(""), TSearchKind::Any);
  EXPECT_EQ(SearchKindNamed("name"), TSearchKind::Name);
  EXPECT_EQ(SearchKindNamed("singer"), TSearchKind::Singer);
  EXPECT_EQ(SearchKindNamed("code"), TSearchKind::Code);
  EXPECT_EQ(SearchKindNamed("Name"), std::nullopt);
}

}  // namespace
}  // namespace lyrabook
