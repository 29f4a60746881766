#include "app/catalogue/CatalogueSearch.h"

#include <algorithm>

#include "app/catalogue/SongCatalogue.h"
#include "engine/FieldTypes.h"
#include "engine/Value.h"

namespace lyrabook {
namespace {

constexpr char kDatabaseName[] = "CatalogueSearch";

char FoldLatin(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether `text` starts with `prefix` as the search index compares them.
bool StartsWithFolded(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (FoldLatin(text[i]) != FoldLatin(prefix[i])) return false;
  return true;
}

std::string Text(const quire::TQuireTable& table, const char* field) {
  const quire::TValue value = table.FieldByName(field).Value();
  return value.Null ? std::string() : value.Text;
}

}  // namespace

std::optional<TSearchKind> SearchKindNamed(std::string_view word) {
  if (word.empty()) return TSearchKind::Any;
  if (word == "name") return TSearchKind::Name;
  if (word == "singer") return TSearchKind::Singer;
  if (word == "code") return TSearchKind::Code;
  return std::nullopt;
}

TCatalogueSearch::TCatalogueSearch(std::string dataFolder)
    : session_(kDatabaseName, this), database_(&session_, this) {
  // An automatic name: several searches (two windows, a test's) may live
  // side by side, each with its own session.
  session_.SetAutoSessionName(true);
  database_.SetSessionName(session_.SessionName());
  database_.SetDatabaseName(kDatabaseName);
  database_.SetDirectory(dataFolder);
  for (quire::TQuireTable* table : {&song_, &list_}) {
    table->SetSessionName(session_.SessionName());
    table->SetDatabaseName(kDatabaseName);
    table->SetReadOnly(true);
    // An import in another thread writes through other table objects; each
    // read looks for its changes, so the next search shows its songs.
    table->SetStrictChangeDetection(true);
    table->SetLockRetryCount(15);
    table->SetLockWaitTime(100);
  }
  song_.SetTableName("Song.DAT");
  list_.SetTableName("list.DAT");
  list_.SetIndexName("BySearch");
}

TCatalogueSearch::~TCatalogueSearch() {
  list_.Close();
  song_.Close();
}

void TCatalogueSearch::Open() {
  if (song_.Active() && list_.Active()) return;
  session_.RegisterPassword(kPassword1);
  session_.RegisterPassword(kPassword2);
  // After a failed first search one of them may be open already.
  if (!song_.Active()) song_.Open();
  if (!list_.Active()) list_.Open();
}

TSearchResult TCatalogueSearch::Find(std::string_view prefix, TSearchKind kind, std::size_t limit) {
  Open();
  const std::size_t detailSize = static_cast<std::size_t>(list_.FieldByName("Detail").Size());
  prefix = prefix.substr(0, std::min(prefix.size(), detailSize));
  TSearchResult result;
  std::unordered_set<std::string> seen;
  if (kind == TSearchKind::Any) {
    for (const int searchBy : {kSearchByName, kSearchBySinger, kSearchByCode})
      if (!FindKind(prefix, searchBy, limit, result, seen)) break;
  } else {
    FindKind(prefix, static_cast<int>(kind), limit, result, seen);
  }
  return result;
}

bool TCatalogueSearch::FindKind(std::string_view prefix, int searchBy, std::size_t limit,
                                TSearchResult& result, std::unordered_set<std::string>& seen) {
  const std::size_t detailSize = static_cast<std::size_t>(list_.FieldByName("Detail").Size());
  // The range runs from the prefix itself to the prefix followed by the
  // highest byte in every remaining place: exactly the keys that begin with
  // it, since the index compares bytes once a to z are folded.
  std::vector<quire::TValue> start{quire::TValue::Int(searchBy)};
  std::vector<quire::TValue> end{quire::TValue::Int(searchBy)};
  if (!prefix.empty()) {
    std::string high(prefix);
    high.resize(detailSize, '\xFF');
    start.push_back(quire::TValue::String(prefix));
    end.push_back(quire::TValue::String(high));
  }
  list_.SetRange(start, end);
  result.Rows += static_cast<std::size_t>(list_.RecordCount());
  for (list_.First(); !list_.Eof(); list_.Next()) {
    // Stored texts lose their trailing blanks, so "AB" lies in the range
    // of "AB "; the test against the prefix keeps such rows out.
    if (!StartsWithFolded(Text(list_, "Detail"), prefix)) continue;
    const std::string code = Text(list_, "Code");
    if (seen.contains(code)) continue;
    std::optional<TFoundSong> song = SongOf(code);
    if (!song) continue;
    if (limit != 0 && result.Songs.size() == limit) {
      result.Truncated = true;
      return false;
    }
    seen.insert(code);
    result.Songs.push_back(std::move(*song));
  }
  return true;
}

std::optional<TFoundSong> TCatalogueSearch::SongOf(const std::string& code) {
  if (!song_.FindKey({code.empty() ? quire::TValue::NullOf(quire::ftype::String)
                                   : quire::TValue::String(code)}))
    return std::nullopt;
  return CurrentSong();
}

TFoundSong TCatalogueSearch::CurrentSong() const {
  return TFoundSong{Text(song_, "Code"),    Text(song_, "Name"), Text(song_, "Singer"),
                    Text(song_, "Authur"),  Text(song_, "Sex"),  Text(song_, "Group"),
                    Text(song_, "CreateBy")};
}

std::vector<TFoundSong> TCatalogueSearch::AllSongs() {
  Open();
  std::vector<TFoundSong> songs;
  for (song_.First(); !song_.Eof(); song_.Next()) songs.push_back(CurrentSong());
  return songs;
}

}  // namespace lyrabook
