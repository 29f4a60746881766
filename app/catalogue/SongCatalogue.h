#pragma once
// TSongCatalogue: the catalogue's components as the main window holds them
// — the database "Song", the tables Song.DAT and list.DAT with their declared
// field objects, the query that deletes, and the four table password slots.
//
// The database's stored folder is never used: each operation first runs
// the connection sequence, which points it at the Data folder beside the
// program (or the one given) and connects it; connecting registers the
// password slots with the default session.

#include <array>
#include <string>
#include <string_view>

#include "access/Database.h"
#include "access/Query.h"
#include "access/Table.h"

namespace lyrabook {

// The catalogue's passwords: Song.DAT is encrypted with the first, list.DAT
// with the second.
inline constexpr std::string_view kPassword1 = "q4]h7>nZp2;c6";
inline constexpr std::string_view kPassword2 = "w3k[?mabz8;5t1y";
inline constexpr std::string_view kPassword3 = "Rj];f2Lm47V?";

// SearchBy values of the List rows.
inline constexpr int kSearchByName = 1;
inline constexpr int kSearchBySinger = 2;
inline constexpr int kSearchByCode = 3;

class TSongCatalogue {
 public:
  TSongCatalogue();
  ~TSongCatalogue();

  quire::TQuireDatabase dbSong;
  quire::TQuireTable tbSong;
  quire::TQuireTable tbList;
  quire::TQuireQuery Query1;

  // Fills Password1 to Password3 and sets dbSong connected (which, already
  // connected, registers nothing).
  void AssignTablePasswords();
  const std::array<std::string, 4>& TablePasswords() const { return passwords_; }

  // Disconnects dbSong, points it at `dataFolder` and connects it again.
  void Connect(const std::string& dataFolder);
  // Opens tbSong, then tbList; opening binds the field objects declared on
  // them (the catalogue's definition) and fails on a field that is missing
  // or differs in type or size.
  void OpenTables();
  // Runs `statement` (with one parameter :Code) through Query1 as the
  // operations do: close, clear the text, add the statement, RunSQL.
  void RunStatement(std::string_view statement, std::string_view code);

 private:
  void DbSongBeforeConnect();

  std::array<std::string, 4> passwords_;  // Password1..Password4
};

// The catalogue's folder beside a program in `programFolder` (ending in
// '/'): the doubled separator is harmless.
std::string CatalogueFolder(const std::string& programFolder);

}  // namespace lyrabook
