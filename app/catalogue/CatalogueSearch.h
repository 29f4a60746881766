#pragma once
// TCatalogueSearch: songs whose name, singer or code starts with a text,
// found through List's "BySearch" index (SearchBy + Detail, folding a to z
// to upper case) with a key range, so that a search reads only the index
// entries it returns; each found code is then looked up in Song by its
// primary index.
//
// A search has a session and a database of its own, so that it may read
// while an import writes the same tables through the default session in a
// worker thread; its tables check for others' changes on every read, so a
// search made after an import sees the new songs. One thread at a time
// uses one TCatalogueSearch.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "access/Database.h"
#include "access/Session.h"
#include "access/Table.h"

namespace lyrabook {

// Which search rows are looked at: every kind, or one SearchBy value.
enum class TSearchKind { Any = 0, Name = 1, Singer = 2, Code = 3 };

// "name", "singer", "code" (or "" for every kind); nothing for another word.
std::optional<TSearchKind> SearchKindNamed(std::string_view word);

// A song as Song holds it; texts are code page 874 bytes, blank fields empty.
struct TFoundSong {
  std::string Code, Name, Singer, Authur, Sex, Group, CreateBy;
  friend bool operator==(const TFoundSong&, const TFoundSong&) = default;
};

struct TSearchResult {
  // Each song once, in the order of the first search row that found it:
  // by name, then by singer, then by code; within a kind in index order.
  std::vector<TFoundSong> Songs;
  // The List rows in the searched ranges (a song counts once per kind it
  // matched); more than Songs.size() when the limit cut the list short.
  std::size_t Rows = 0;
  bool Truncated = false;
};

class TCatalogueSearch {
 public:
  // Searches the catalogue in `dataFolder`; the tables are opened on the
  // first search (an engine error then when they are missing).
  explicit TCatalogueSearch(std::string dataFolder);
  ~TCatalogueSearch();
  TCatalogueSearch(const TCatalogueSearch&) = delete;
  TCatalogueSearch& operator=(const TCatalogueSearch&) = delete;

  // The songs with a search row of `kind` whose Detail starts with
  // `prefix` (code page 874 bytes; a to z match A to Z). A prefix longer
  // than Detail is cut to its size, since the catalogue holds longer texts
  // cut so; an empty prefix finds every song. At most `limit` songs (0: no
  // limit). A List row whose code has no Song row is passed over.
  TSearchResult Find(std::string_view prefix, TSearchKind kind = TSearchKind::Any,
                     std::size_t limit = 0);

  // Every Song row, in code order (the song book's input).
  std::vector<TFoundSong> AllSongs();

 private:
  void Open();
  // Adds the songs of the rows of SearchBy `searchBy` that start with
  // `prefix`; false once `limit` songs are held.
  bool FindKind(std::string_view prefix, int searchBy, std::size_t limit, TSearchResult& result,
                std::unordered_set<std::string>& seen);
  std::optional<TFoundSong> SongOf(const std::string& code);
  TFoundSong CurrentSong() const;

  quire::TQuireSession session_;
  quire::TQuireDatabase database_;
  quire::TQuireTable song_;
  quire::TQuireTable list_;
};

}  // namespace lyrabook
