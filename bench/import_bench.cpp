// The catalogue import as the window's button runs it (ImportSongFiles over
// the shared, encrypted Song and List tables), beside SQLite doing the same
// work per file in the same run: read the file's header lines, delete the
// code's Song and List rows, insert one Song row and three List rows, each
// statement its own transaction (WAL, synchronous=OFF), with the same
// indexes (Song: Code primary, Name, Singer; List: ID primary
// auto-increment, Code, SearchBy + Detail).
//
// One import of every generated file into an empty catalogue; the clock is
// read at every slice boundary (the status line is shown before each file),
// so the same run gives the rate of the first 1k, 10k and 100k files and the
// cost per file against the songs already in the catalogue. Then the first
// files are imported again, so that every delete finds its rows. Each side
// runs in a child process of its own, so that its peak RSS is its own.
//
//   import_bench [FILES]

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/catalogue/CatalogueDefinition.h"
#include "app/catalogue/CatalogueHost.h"
#include "app/catalogue/LyricHeader.h"
#include "app/catalogue/SongCatalogue.h"
#include "app/catalogue/SongCode.h"
#include "app/catalogue/SongImport.h"
#include "bench/BenchSize.h"
#include "bench/SqliteConnection.h"
#include "engine/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration elapsed) {
  return std::chrono::duration<double>(elapsed).count();
}

// --- The lyric files ------------------------------------------------------------

// A Thai word in code page 874 (consonants 0xA1..0xCE, a vowel after each).
std::string ThaiWord(std::size_t seed, std::size_t length) {
  static const char vowels[] = {'\xd2', '\xd4', '\xd5', '\xd8', '\xd1'};
  std::string word;
  for (std::size_t i = 0; i < length; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    word += static_cast<char>(0xa1 + (seed >> 33) % 46);
    if (i % 2 == 1) word += vowels[(seed >> 40) % 5];
  }
  return word;
}

// Seven header lines as the demo files have them (maker, group, tempo,
// sex and key, name, singer, author), then a few lyric lines.
std::string LyricFile(std::size_t n) {
  const char* sexes[] = {"\xaa. G", "\xcb. Am", "\xa4\xd9\xe8 C"};
  std::string text = "Lyrabook Studio\r\nPOP\r\n120\r\n";
  text += sexes[n % 3];
  text += "\r\n" + ThaiWord(n, 6 + n % 9) + " " + std::to_string(n) + "\r\n";
  text += ThaiWord(n * 7 + 1, 4 + n % 7) + "\r\n" + ThaiWord(n * 13 + 5, 5) + "\r\n\r\n";
  for (int line = 0; line < 4; ++line) text += ThaiWord(n + line, 12) + "\r\n";
  return text;
}

std::vector<std::string> WriteLyricFiles(const std::string& folder, std::size_t count) {
  std::vector<std::string> names;
  names.reserve(count);
  for (std::size_t n = 0; n < count; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "K%07zu.txt", n + 1);
    std::ofstream(folder + "/" + name, std::ios::binary) << LyricFile(n);
    names.emplace_back(name);
  }
  return names;
}

// --- What each side measures -------------------------------------------------------

struct TImportTimes {
  std::vector<double> marks;  // seconds from the start at file 0, slice, 2 slice, ..., the end
  double reimport = 0;        // seconds for importing the first files again
  long peakKb = 0;
  long songs = 0, listRows = 0;  // rows at the end
};

// The clock at every `slice`-th file, as the status line is shown before it.
class TClockedStatus : public lyrabook::TStatusLine {
 public:
  explicit TClockedStatus(std::size_t slice) : slice_(slice) {}
  void Start() {
    start_ = Clock::now();
    shown_ = 0;
    marks.clear();
  }
  void ShowStatus(std::string_view) override {
    if (shown_++ % slice_ == 0) Mark();
  }
  void Mark() { marks.push_back(Seconds(Clock::now() - start_)); }
  std::vector<double> marks;

 private:
  std::size_t slice_;
  std::size_t shown_ = 0;
  Clock::time_point start_;
};

class TNamedFiles : public lyrabook::TFileList {
 public:
  TNamedFiles(const std::vector<std::string>& names, std::size_t count)
      : names_(names), count_(count) {}
  int Count() override { return static_cast<int>(count_); }
  std::string NameAt(int index) override { return names_.at(static_cast<std::size_t>(index)); }
  std::string SelectedFileName() override { return {}; }

 private:
  const std::vector<std::string>& names_;
  std::size_t count_;
};

// --- Quire ----------------------------------------------------------------------

TImportTimes RunQuire(const std::vector<std::string>& names, const std::string& data,
                      std::size_t slice, std::size_t again) {
  quire::StartEngine();
  lyrabook::CreateCatalogueTables(data);
  TImportTimes times;
  {
    lyrabook::TSongCatalogue catalogue;
    catalogue.AssignTablePasswords();
    TClockedStatus status(slice);
    TNamedFiles all(names, names.size());
    status.Start();
    const int imported = lyrabook::ImportSongFiles(catalogue, data, all, status);
    status.Mark();
    times.marks = status.marks;
    if (static_cast<std::size_t>(imported) != names.size())
      std::fprintf(stderr, "quire: %d of %zu files imported\n", imported, names.size());

    TNamedFiles first(names, again);
    const auto start = Clock::now();
    lyrabook::ImportSongFiles(catalogue, data, first, status);
    times.reimport = Seconds(Clock::now() - start);
    times.songs = catalogue.tbSong.RecordCount();
    times.listRows = catalogue.tbList.RecordCount();
  }
  quire::StopEngine();
  return times;
}

// --- SQLite -----------------------------------------------------------------------

class TSqliteCatalogue {
 public:
  explicit TSqliteCatalogue(const std::string& path) : db_(path) {
    db_.Exec(
        "CREATE TABLE Song(Code TEXT PRIMARY KEY, Name TEXT, Singer TEXT, "
        "Authur TEXT, Sex TEXT, \"Group\" TEXT, Comfile TEXT, CreateBy TEXT, "
        "Lyric BLOB, SongData BLOB);"
        "CREATE INDEX ByName ON Song(Name COLLATE NOCASE);"
        "CREATE INDEX BySinger ON Song(Singer COLLATE NOCASE);"
        "CREATE TABLE List(ID INTEGER PRIMARY KEY AUTOINCREMENT, Detail TEXT, "
        "Code TEXT, SongName TEXT, Singer TEXT, SearchBy INTEGER, Key TEXT);"
        "CREATE INDEX ByCode ON List(Code);"
        "CREATE INDEX BySearch ON List(SearchBy, Detail COLLATE NOCASE);");
    deleteSong_ = db_.Prepare("DELETE FROM Song WHERE Code = ?");
    deleteList_ = db_.Prepare("DELETE FROM List WHERE Code = ?");
    insertSong_ = db_.Prepare(
        "INSERT INTO Song(Code, Name, Singer, Authur, Sex, \"Group\", CreateBy, Lyric, SongData) "
        "VALUES(?,?,?,?,?,?,?,NULL,NULL)");
    insertList_ = db_.Prepare(
        "INSERT INTO List(Detail, Code, SongName, Singer, SearchBy, Key) VALUES(?,?,?,?,?,?)");
  }
  ~TSqliteCatalogue() {
    for (sqlite3_stmt* statement : {deleteSong_, deleteList_, insertSong_, insertList_})
      sqlite3_finalize(statement);
  }

  // The same steps as the import takes for one file.
  void Import(const std::string& fileName) {
    const std::string code = lyrabook::StoredCode(lyrabook::SongCode(fileName));
    lyrabook::TLyricHeaderReader file(fileName);
    const std::string createBy = file.ReadLine();
    const std::string group = file.ReadLine().substr(0, 4);
    file.ReadLine();
    const std::string sex = file.ReadLine();
    const std::string name = file.ReadLine();
    const std::string singer = file.ReadLine();
    std::string author;
    const bool hasAuthor = !singer.empty() && singer.front() != '(';
    if (hasAuthor) author = file.ReadLine();
    file.Close();
    const std::string key = sex.size() > 3 ? sex.substr(3) : std::string();

    for (sqlite3_stmt* remove : {deleteSong_, deleteList_}) {
      bench::BindText(remove, 1, code);
      db_.Step(remove);
    }
    bench::BindText(insertSong_, 1, code);
    bench::BindText(insertSong_, 2, name);
    bench::BindText(insertSong_, 3, singer);
    if (hasAuthor) {
      bench::BindText(insertSong_, 4, author);
    } else {
      sqlite3_bind_null(insertSong_, 4);
    }
    bench::BindText(insertSong_, 5, sex);
    bench::BindText(insertSong_, 6, group);
    bench::BindText(insertSong_, 7, createBy);
    db_.Step(insertSong_);
    for (int by = lyrabook::kSearchByName; by <= lyrabook::kSearchByCode; ++by) {
      const std::string& detail = by == lyrabook::kSearchByName     ? name
                                  : by == lyrabook::kSearchBySinger ? singer
                                                                    : code;
      bench::BindText(insertList_, 1, detail);
      bench::BindText(insertList_, 2, code);
      bench::BindText(insertList_, 3, name);
      bench::BindText(insertList_, 4, singer);
      sqlite3_bind_int(insertList_, 5, by);
      bench::BindText(insertList_, 6, key);
      db_.Step(insertList_);
    }
  }

  long Count(const char* table) {
    sqlite3_stmt* count = db_.Prepare((std::string("SELECT COUNT(*) FROM ") + table).c_str());
    db_.Check(sqlite3_step(count));
    const long rows = static_cast<long>(sqlite3_column_int64(count, 0));
    sqlite3_finalize(count);
    return rows;
  }

 private:
  bench::TSqliteConnection db_;
  sqlite3_stmt* deleteSong_ = nullptr;
  sqlite3_stmt* deleteList_ = nullptr;
  sqlite3_stmt* insertSong_ = nullptr;
  sqlite3_stmt* insertList_ = nullptr;
};

TImportTimes RunSqlite(const std::vector<std::string>& names, const std::string& data,
                       std::size_t slice, std::size_t again) {
  TSqliteCatalogue catalogue(data + "/catalogue.sqlite");
  TImportTimes times;
  const auto start = Clock::now();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i % slice == 0) times.marks.push_back(Seconds(Clock::now() - start));
    catalogue.Import(names[i]);
  }
  times.marks.push_back(Seconds(Clock::now() - start));
  const auto second = Clock::now();
  for (std::size_t i = 0; i < again; ++i) catalogue.Import(names[i]);
  times.reimport = Seconds(Clock::now() - second);
  times.songs = catalogue.Count("Song");
  times.listRows = catalogue.Count("List");
  return times;
}

// --- One side per child process -------------------------------------------------------

// Runs `side` in a child process and brings its times back through a pipe,
// with the child's peak resident set.
TImportTimes InChild(const std::function<TImportTimes()>& side) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) std::exit(1);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    const TImportTimes times = side();
    std::vector<double> message = {static_cast<double>(times.marks.size()), times.reimport,
                                   static_cast<double>(times.songs),
                                   static_cast<double>(times.listRows)};
    message.insert(message.end(), times.marks.begin(), times.marks.end());
    const char* bytes = reinterpret_cast<const char*>(message.data());
    std::size_t left = message.size() * sizeof(double);
    while (left > 0) {
      const ssize_t written = ::write(pipeEnds[1], bytes, left);
      if (written <= 0) ::_exit(1);
      bytes += written;
      left -= static_cast<std::size_t>(written);
    }
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::vector<char> bytes;
  char chunk[4096];
  ssize_t got = 0;
  while ((got = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  ::close(pipeEnds[0]);
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || bytes.size() < 4 * sizeof(double)) {
    std::fprintf(stderr, "a benchmark child failed\n");
    std::exit(1);
  }
  std::vector<double> message(bytes.size() / sizeof(double));
  std::memcpy(message.data(), bytes.data(), message.size() * sizeof(double));
  TImportTimes times;
  times.reimport = message[1];
  times.songs = static_cast<long>(message[2]);
  times.listRows = static_cast<long>(message[3]);
  times.marks.assign(message.begin() + 4, message.begin() + 4 + static_cast<long>(message[0]));
  times.peakKb = usage.ru_maxrss;
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count =
      argc > 1 ? std::strtoul(argv[1], nullptr, 10) : bench::Size<std::size_t>(10000, 300);
  const std::size_t slice =
      std::max<std::size_t>(1, std::min(bench::Size<std::size_t>(1000, 100), count));
  const std::size_t again = std::min(bench::Size<std::size_t>(500, 50), count);
  char pattern[] = "/tmp/import-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = pattern;
  const std::string data = folder + "/Data", songs = folder + "/songs";
  std::filesystem::create_directories(data);
  std::filesystem::create_directories(songs);
  const std::vector<std::string> names = WriteLyricFiles(songs, count);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(songs);  // the import opens files by bare name

  const TImportTimes quire = InChild([&] { return RunQuire(names, data, slice, again); });
  const TImportTimes sqlite = InChild([&] { return RunSqlite(names, data, slice, again); });
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  for (const TImportTimes* side : {&quire, &sqlite})
    if (side->songs != static_cast<long>(count) || side->listRows != 3 * static_cast<long>(count))
      std::fprintf(stderr, "%s: %ld songs and %ld List rows, expected %zu and %zu\n",
                   side == &quire ? "quire" : "sqlite", side->songs, side->listRows, count,
                   3 * count);

  std::printf(
      "import of %zu lyric files into an empty catalogue; Quire shared and encrypted, "
      "SQLite WAL synchronous=OFF\n",
      count);
  std::printf("%-10s %15s %15s %8s\n", "files", "quire files/s", "sqlite files/s", "ratio");
  for (const std::size_t n : bench::Sizes<std::size_t>({1000, 10000, 100000}, {100, 300})) {
    if (n > count || n % slice != 0) continue;
    const double ours = static_cast<double>(n) / quire.marks[n / slice];
    const double theirs = static_cast<double>(n) / sqlite.marks[n / slice];
    std::printf("%-10zu %15.0f %15.0f %8.2f\n", n, ours, theirs, ours / theirs);
  }

  std::printf("\ncost per file of a %zu-file slice against the songs already in the catalogue\n",
              slice);
  std::printf("%-10s %15s %15s %8s\n", "songs", "quire us/file", "sqlite us/file", "ratio");
  const std::size_t slices = quire.marks.size() - 1;
  const std::size_t step = std::max<std::size_t>(1, slices / 10);
  for (std::size_t s = 0; s < slices; ++s) {
    if (s % step != 0 && s + 1 != slices) continue;
    const std::size_t files = std::min(slice, count - s * slice);
    const double ours = (quire.marks[s + 1] - quire.marks[s]) / static_cast<double>(files) * 1e6;
    const double theirs =
        (sqlite.marks[s + 1] - sqlite.marks[s]) / static_cast<double>(files) * 1e6;
    std::printf("%-10zu %15.1f %15.1f %8.2f\n", s * slice, ours, theirs, theirs / ours);
  }

  std::printf("\nimport of the first %zu files again (every delete finds its rows)\n", again);
  const double oursAgain = static_cast<double>(again) / quire.reimport;
  const double theirsAgain = static_cast<double>(again) / sqlite.reimport;
  std::printf("%-10s %15.0f %15.0f %8.2f\n", "files/s", oursAgain, theirsAgain,
              oursAgain / theirsAgain);
  std::printf("\npeak RSS: quire %.1f MB, sqlite %.1f MB (each in its own process)\n",
              static_cast<double>(quire.peakKb) / 1024.0,
              static_cast<double>(sqlite.peakKb) / 1024.0);
  return 0;
}
