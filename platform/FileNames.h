#pragma once
// File names that Windows would match ignoring case.
//
// Tables copied from Windows may be spelled SONG.DAT or song.idx, and
// statements name tables in any case. Linux names are case-sensitive, so a
// file that does not exist under its exact name is looked for among the
// folder's entries ignoring ASCII case.

#include <string>
#include <string_view>

namespace lyrabook {

// `path` itself when it exists or when no entry of its folder matches its
// file part ignoring ASCII case; otherwise the folder joined with the
// matching entry (the first in byte order when several match).
std::string ResolveExistingName(std::string_view path);

// Whether `a` and `b` are equal ignoring ASCII case.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace lyrabook
