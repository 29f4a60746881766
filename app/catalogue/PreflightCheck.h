#pragma once
// The pre-flight check of a lyric folder: without importing anything, the
// files whose header lines or names would give wrong catalogue rows. The
// header is read as the import reads it (lines 1 to 6, line 7 when the
// import would read it).
//
// Findings, at most one of each kind a file:
// - a header line that is UTF-8 text (the common mistake of an editor
//   saving Thai in UTF-8), or starts with a UTF-8 byte order mark;
// - else, a byte that code page 874 leaves undefined (shown as U+FFFD);
// - an empty name line (5) or singer line (6);
// - a code longer than the 10 characters the catalogue keeps, or a name
//   that code page 874 cannot hold;
// - codes that differ only in letter case (the search, which ignores case,
//   shows both), or that are the same once cut to 10 characters (the later
//   file's import replaces the earlier song).

#include <string>
#include <vector>

namespace lyrabook {

struct TPreflightFinding {
  std::string File;  // the file's name, UTF-8
  std::string Text;  // what is wrong, UTF-8
  friend bool operator==(const TPreflightFinding&, const TPreflightFinding&) = default;
};

// The findings for the files `names` (no folder part, in list order) of
// `folder`, in that order, each file's in the order of the list above. A
// file that cannot be read is a finding of its own.
std::vector<TPreflightFinding> CheckLyricFiles(const std::string& folder,
                                               const std::vector<std::string>& names);

}  // namespace lyrabook
