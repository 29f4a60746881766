#pragma once
// What the fuzz targets share: one scratch folder per fuzzing process, and
// writing an input's bytes as a file there.

#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace fuzzing {

// A folder under /tmp made once per process; the files of each input replace
// those of the last.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/quire-fuzz-XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    return std::string(pattern);
  }();
  return folder;
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace fuzzing
