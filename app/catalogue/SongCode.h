#pragma once
// The song code of a lyric file: its name without the last four characters
// (the extension with its dot), in code page 874 as the catalogue holds it.

#include <string>
#include <string_view>

namespace lyrabook {

// The Code field's size: a longer code is stored cut to this.
inline constexpr std::size_t kCodeSize = 10;

// The code of file `name` (UTF-8, no folder part), as code page 874 bytes.
// An input/output error when the name does not convert to code page 874.
std::string SongCode(std::string_view name);

// The code as the catalogue stores it: cut to the field's size, trailing
// blanks dropped. Deleting by the stored form finds a long code's rows
// again, where comparing the whole code never would.
std::string StoredCode(std::string_view code);

}  // namespace lyrabook
