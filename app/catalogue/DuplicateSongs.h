#pragma once
// Songs recorded more than once: the same name and singer under different
// codes, as happens when one song's lyric file is copied under a new code.

#include <string>
#include <vector>

#include "app/catalogue/SongCatalogue.h"

namespace lyrabook {

// One name and singer (as the first of its songs stores them) and the codes
// of every song that has them, in code order.
struct TDuplicateSongs {
  std::string Name;
  std::string Singer;
  std::vector<std::string> Codes;
};

// The groups of two or more songs of the catalogue in `dataFolder` whose
// name and singer are equal, Latin letters in either case and blanks at
// either end aside; in the order of their names. A song without a name is
// in no group.
std::vector<TDuplicateSongs> FindDuplicateSongs(TSongCatalogue& catalogue,
                                                const std::string& dataFolder);

}  // namespace lyrabook
