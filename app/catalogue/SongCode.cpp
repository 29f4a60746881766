#include "app/catalogue/SongCode.h"

#include <cerrno>

#include "app/InOutError.h"
#include "platform/Cp874.h"

namespace lyrabook {

std::string SongCode(std::string_view name) {
  const auto bytes = Utf8ToCp874(name);
  if (!bytes)
    throw EInOutError(EILSEQ, "The file name " + std::string(name) +
                                  " cannot be written in the catalogue's code page 874");
  return bytes->substr(0, bytes->size() >= 4 ? bytes->size() - 4 : 0);
}

std::string StoredCode(std::string_view code) {
  std::string stored(code.substr(0, kCodeSize));
  while (!stored.empty() && stored.back() == ' ') stored.pop_back();
  return stored;
}

}  // namespace lyrabook
