#pragma once
// File list masks such as "*.txt". Masks match ignoring ASCII letter case,
// because the lyric folders come from systems whose file names ignore case:
// "10001.TXT" belongs to the list as much as "10001.txt".

#include <QString>

namespace lyrabook {

// True when `name` matches `mask`: '*' stands for any run of characters
// (none included), '?' for exactly one, and every other character for itself,
// with the letters A-Z and a-z matching either case. A mask may list several
// patterns separated by ';' ("*.txt;*.lyr"); the name must match one of them.
bool MatchesFileMask(const QString& name, const QString& mask);

}  // namespace lyrabook
