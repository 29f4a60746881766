#pragma once
// The data folder: the folder whose "usersong" (the demo lyric folder) and
// "Data" (the catalogue) a program uses.
//
// A program in a folder of its own (bin/ of a build folder, or an unpacked
// copy) uses the folder it runs from: the files sit beside the program. An
// installed program runs from <prefix>/bin, which its user usually cannot
// write and which every user of the machine shares, so it uses a folder of
// the user's, <data home>/lyrabook/, and fills it from the demo folders the
// installation put in <prefix>/share/lyrabook/.

#include <string>

namespace lyrabook {

struct TDataFolder {
  std::string folder;      // the data folder, with a trailing '/'
  std::string demoFolder;  // where SeedDataFolder copies from; empty when nothing is copied
};

// The data folder of a program in `programFolder` (ending in '/'):
// - `programFolder` itself when it holds "usersong" or "Data", or when there
//   is no "<programFolder>../share/lyrabook/" (the window then reports the
//   missing "usersong" beside the program);
// - otherwise `userDataHome`/lyrabook/, with <prefix>/share/lyrabook/ as the
//   demo folder.
// Only looks at the disk.
TDataFolder FindDataFolder(const std::string& programFolder, const std::string& userDataHome);

// Makes the data folder if it is missing and copies into it each of
// "usersong" and "Data" of the demo folder that it does not hold yet; what
// the user already has is left as it is. Each copy appears whole or not at
// all (it is made aside and renamed into place), so a program that starts
// while another seeds the same folder sees no half-made copy. Copies are
// writable by their owner. Throws std::filesystem::filesystem_error when a
// copy cannot be made.
void SeedDataFolder(const TDataFolder& data);

// The user's data home: $XDG_DATA_HOME when it is an absolute path (the
// rule of the XDG base directories), otherwise $HOME/.local/share, with the
// home folder from the password database when HOME is not set. Throws
// std::runtime_error when there is no home folder either.
std::string UserDataHome();

}  // namespace lyrabook
