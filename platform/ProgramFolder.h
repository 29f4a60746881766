#pragma once
// Where the running program lives. The program finds its demo folder
// ("usersong") and its catalogue folder ("Data") beside its own executable, so
// these paths do not depend on the directory it was started from.

#include <string>
#include <string_view>

namespace lyrabook {

// The folder of the running executable (read from /proc/self/exe), with a
// trailing '/'. Throws std::system_error when the link cannot be read.
std::string ProgramFolder();

// The part of `path` up to and including its last '/'; empty when `path` has
// no '/'. "/usr/bin/lyrabook" gives "/usr/bin/", "/lyrabook" gives "/".
std::string FolderPart(std::string_view path);

}  // namespace lyrabook
