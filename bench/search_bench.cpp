// The catalogue search per keystroke, beside SQLite answering the same prefix
// queries from an index in the same run, and the song book of the whole
// catalogue.
//
// One catalogue of N songs (default 100,000) is written through the
// catalogue's own tables (a Song row and its three List rows per song, as
// the import leaves them) and the same rows into SQLite with the import
// benchmark's indexes (List: SearchBy + Detail COLLATE NOCASE). Then 300
// song names are "typed" a letter at a time, 1 to 8 letters each; every
// keystroke is one search as the search window makes it: each kind's rows
// whose Detail starts with the text, the songs of their codes looked up by
// code, each song once, at most 500. Quire goes through TCatalogueSearch
// (a key range on List's "BySearch" index, Song by its primary index);
// SQLite runs `SearchBy = ? AND Detail >= ? AND Detail < ?` on its index and
// looks each code up in Song the same way. Both report the time per
// keystroke (median, 95th percentile, max) and the songs found, which must
// agree.
//
// Last, the song book: every song read, sorted with the Thai collation and
// written as PDF and as HTML, timed apiece.
//
//   search_bench [SONGS]

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/catalogue/CatalogueDefinition.h"
#include "app/catalogue/CatalogueSearch.h"
#include "app/catalogue/SongCatalogue.h"
#include "bench/BenchSize.h"
#include "bench/SqliteConnection.h"
#include "engine/Engine.h"
#ifdef LYRABOOK_SONGBOOK
#include <QGuiApplication>

#include "app/catalogue/SongBookOrder.h"
#include "app/catalogue/SongBookWriter.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

constexpr std::size_t kShown = 500;  // as the search window lists them
constexpr std::size_t kTypedNames = 300;
constexpr std::size_t kMaxLetters = 8;

// --- The songs --------------------------------------------------------------------

struct TSong {
  std::string code, name, singer;
};

std::uint64_t Next(std::uint64_t& seed) {
  seed = seed * 6364136223846793005ull + 1442695040888963407ull;
  return seed >> 33;
}

// A Thai word in code page 874: a consonant (0xA1..0xCE), sometimes with a
// leading vowel (0xE0..0xE4) before it or a vowel after it.
std::string ThaiWord(std::uint64_t& seed, std::size_t syllables) {
  static const char after[] = {'\xd2', '\xd4', '\xd5', '\xd8', '\xd1', '\xd3'};
  std::string word;
  for (std::size_t i = 0; i < syllables; ++i) {
    if (Next(seed) % 4 == 0) word += static_cast<char>(0xe0 + Next(seed) % 5);
    word += static_cast<char>(0xa1 + Next(seed) % 46);
    if (Next(seed) % 2 == 0) word += after[Next(seed) % 6];
  }
  return word;
}

std::vector<TSong> MakeSongs(std::size_t count) {
  static const char* latin[] = {"Love", "Night", "Dream", "Rain", "Star", "Moon", "Heart", "Sky"};
  std::uint64_t seed = 18;
  std::vector<TSong> songs;
  songs.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    TSong song;
    char code[32];
    std::snprintf(code, sizeof code, "%c%06zu", "ABK"[i % 3], i);
    song.code = code;
    song.name = Next(seed) % 10 == 0
                    ? std::string(latin[Next(seed) % 8]) + " " + latin[Next(seed) % 8]
                    : ThaiWord(seed, 2 + Next(seed) % 3) + " " + ThaiWord(seed, 1 + Next(seed) % 3);
    song.singer = ThaiWord(seed, 2) + " " + ThaiWord(seed, 2);
    songs.push_back(std::move(song));
  }
  return songs;
}

// --- Quire ---------------------------------------------------------------------------

void FillQuire(const std::string& data, const std::vector<TSong>& songs) {
  lyrabook::CreateCatalogueTables(data);
  lyrabook::TSongCatalogue catalogue;
  catalogue.AssignTablePasswords();
  catalogue.Connect(data);
  catalogue.OpenTables();
  for (const TSong& song : songs) {
    catalogue.tbSong.Append();
    catalogue.tbSong.FieldByName("Code").SetAsString(song.code);
    catalogue.tbSong.FieldByName("Name").SetAsString(song.name);
    catalogue.tbSong.FieldByName("Singer").SetAsString(song.singer);
    catalogue.tbSong.Post();
    for (int by = lyrabook::kSearchByName; by <= lyrabook::kSearchByCode; ++by) {
      catalogue.tbList.Append();
      catalogue.tbList.FieldByName("Detail").SetAsString(by == 1   ? song.name
                                                         : by == 2 ? song.singer
                                                                   : song.code);
      catalogue.tbList.FieldByName("Code").SetAsString(song.code);
      catalogue.tbList.FieldByName("SongName").SetAsString(song.name);
      catalogue.tbList.FieldByName("Singer").SetAsString(song.singer);
      catalogue.tbList.FieldByName("SearchBy").SetAsInteger(by);
      catalogue.tbList.Post();
    }
  }
}

// --- SQLite --------------------------------------------------------------------------

class TSqliteSearch {
 public:
  TSqliteSearch(const std::string& path, const std::vector<TSong>& songs) : db_(path) {
    db_.Exec(
        "CREATE TABLE Song(Code TEXT PRIMARY KEY, Name TEXT, Singer TEXT);"
        "CREATE TABLE List(ID INTEGER PRIMARY KEY AUTOINCREMENT, Detail TEXT, "
        "Code TEXT, SearchBy INTEGER);"
        "CREATE INDEX BySearch ON List(SearchBy, Detail COLLATE NOCASE);");
    db_.Exec("BEGIN");
    sqlite3_stmt* song = db_.Prepare("INSERT INTO Song VALUES(?1, ?2, ?3)");
    sqlite3_stmt* list = db_.Prepare("INSERT INTO List(Detail, Code, SearchBy) VALUES(?1, ?2, ?3)");
    for (const TSong& s : songs) {
      bench::BindText(song, 1, s.code);
      bench::BindText(song, 2, s.name);
      bench::BindText(song, 3, s.singer);
      db_.Step(song);
      for (int by = 1; by <= 3; ++by) {
        bench::BindText(list, 1, by == 1 ? s.name : by == 2 ? s.singer : s.code);
        bench::BindText(list, 2, s.code);
        sqlite3_bind_int(list, 3, by);
        db_.Step(list);
      }
    }
    sqlite3_finalize(song);
    sqlite3_finalize(list);
    db_.Exec("COMMIT");
    range_ = db_.Prepare(
        "SELECT Detail, Code FROM List WHERE SearchBy = ?1 AND Detail >= ?2 COLLATE NOCASE "
        "AND Detail < ?3 COLLATE NOCASE ORDER BY SearchBy, Detail COLLATE NOCASE, ID");
    lookup_ = db_.Prepare("SELECT Code, Name, Singer FROM Song WHERE Code = ?1");
  }
  ~TSqliteSearch() {
    sqlite3_finalize(range_);
    sqlite3_finalize(lookup_);
  }

  // The songs as the search window would list them.
  std::vector<std::string> Find(const std::string& prefix) {
    std::vector<std::string> found;
    std::unordered_set<std::string> seen;
    const std::string high = prefix + "\xFF";
    for (int by = 1; by <= 3 && found.size() < kShown; ++by) {
      sqlite3_bind_int(range_, 1, by);
      bench::BindText(range_, 2, prefix);
      bench::BindText(range_, 3, high);
      while (found.size() < kShown && sqlite3_step(range_) == SQLITE_ROW) {
        const std::string code(reinterpret_cast<const char*>(sqlite3_column_text(range_, 1)));
        if (seen.contains(code)) continue;
        bench::BindText(lookup_, 1, code);
        if (sqlite3_step(lookup_) == SQLITE_ROW) {
          seen.insert(code);
          found.push_back(code);
        }
        sqlite3_reset(lookup_);
      }
      sqlite3_reset(range_);
    }
    return found;
  }

 private:
  bench::TSqliteConnection db_;
  sqlite3_stmt* range_ = nullptr;
  sqlite3_stmt* lookup_ = nullptr;
};

// --- Measuring -----------------------------------------------------------------------

struct TTimes {
  std::vector<double> ms;
  std::size_t songs = 0;
  double Percentile(double p) {
    std::sort(ms.begin(), ms.end());
    return ms[std::min(ms.size() - 1, static_cast<std::size_t>(p * ms.size()))];
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count =
      argc > 1 ? std::strtoul(argv[1], nullptr, 10) : bench::Size<std::size_t>(100000, 2000);
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("search_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(scratch);
  quire::StartEngine();

  const std::vector<TSong> songs = MakeSongs(count);
  auto start = Clock::now();
  FillQuire((scratch / "Data").string(), songs);
  const double fillQuire = Milliseconds(Clock::now() - start);
  start = Clock::now();
  TSqliteSearch sqlite((scratch / "search.sqlite").string(), songs);
  const double fillSqlite = Milliseconds(Clock::now() - start);

  // The keystrokes: prefixes of names, singers and codes of songs spread
  // over the catalogue.
  std::vector<std::string> keystrokes;
  for (std::size_t i = 0; i < kTypedNames; ++i) {
    const TSong& song = songs[(i * 7919) % songs.size()];
    const std::string& typed = i % 3 == 0 ? song.name : i % 3 == 1 ? song.singer : song.code;
    for (std::size_t n = 1; n <= std::min(typed.size(), kMaxLetters); ++n)
      keystrokes.push_back(typed.substr(0, n));
  }

  lyrabook::TCatalogueSearch search((scratch / "Data").string());
  search.Find("warm up");
  sqlite.Find("warm up");
  TTimes quire, peer;
  std::size_t disagreements = 0;
  for (const std::string& text : keystrokes) {
    auto t = Clock::now();
    const lyrabook::TSearchResult found = search.Find(text, lyrabook::TSearchKind::Any, kShown);
    quire.ms.push_back(Milliseconds(Clock::now() - t));
    t = Clock::now();
    const std::vector<std::string> expected = sqlite.Find(text);
    peer.ms.push_back(Milliseconds(Clock::now() - t));
    quire.songs += found.Songs.size();
    peer.songs += expected.size();
    std::vector<std::string> codes;
    for (const lyrabook::TFoundSong& song : found.Songs) codes.push_back(song.Code);
    if (codes != expected) ++disagreements;
  }

  std::printf(
      "search_bench: %zu songs (%zu List rows); filled in %.1f s (Quire), %.1f s "
      "(SQLite)\n",
      count, 3 * count, fillQuire / 1000, fillSqlite / 1000);
  std::printf(
      "%zu keystrokes, at most %zu songs each; songs found: Quire %zu, SQLite %zu; "
      "keystrokes whose songs differ: %zu\n",
      keystrokes.size(), kShown, quire.songs, peer.songs, disagreements);
  std::printf("| per keystroke | Quire ms | SQLite ms | ratio |\n|---|---:|---:|---:|\n");
  for (const auto& [label, p] :
       {std::pair<const char*, double>{"median", 0.5}, {"95th percentile", 0.95}, {"max", 1.0}}) {
    const double q = quire.Percentile(p);
    const double s = peer.Percentile(p);
    std::printf("| %s | %.3f | %.3f | %.2f |\n", label, q, s, s / q);
  }

#ifdef LYRABOOK_SONGBOOK
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);
  start = Clock::now();
  const std::vector<lyrabook::TFoundSong> all = search.AllSongs();
  const double read = Milliseconds(Clock::now() - start);
  start = Clock::now();
  const std::vector<lyrabook::TBookGroup> groups =
      lyrabook::GroupSongs(all, lyrabook::TBookOrder::Singer);
  const double sort = Milliseconds(Clock::now() - start);
  start = Clock::now();
  lyrabook::WriteSongBookPdf(QString::fromStdString((scratch / "book.pdf").string()), groups,
                             lyrabook::DefaultBookHeader());
  const double pdf = Milliseconds(Clock::now() - start);
  start = Clock::now();
  lyrabook::WriteSongBookHtml(QString::fromStdString((scratch / "book.html").string()), groups,
                              lyrabook::DefaultBookHeader());
  const double html = Milliseconds(Clock::now() - start);
  std::printf(
      "song book of %zu songs: read %.2f s, Thai sort and groups %.2f s, PDF %.2f s "
      "(%.1f MB), HTML %.2f s; PDF in all %.2f s\n",
      all.size(), read / 1000, sort / 1000, pdf / 1000,
      std::filesystem::file_size(scratch / "book.pdf") / 1e6, html / 1000,
      (read + sort + pdf) / 1000);
#endif
  std::filesystem::remove_all(scratch);
  return disagreements == 0 ? 0 : 1;
}
