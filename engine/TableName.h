#pragma once
// File names of a table. A table named "songs", "songs.dat" or " songs.DAT "
// is the file songs.DAT, with songs.IDX and songs.BLB beside it.

#include <string>
#include <string_view>

namespace quire {

inline constexpr std::string_view kDataFileExtension = ".DAT";
inline constexpr std::string_view kIndexFileExtension = ".IDX";
inline constexpr std::string_view kBlobFileExtension = ".BLB";

// Trims surrounding blanks, removes the extension (the text from the last
// '.' that follows the last '/') and appends `extension`.
std::string NormaliseTableFileName(std::string_view name, std::string_view extension);

}  // namespace quire
