#pragma once
// How the bytes of table texts map to the JSON text the tool reads and
// writes: code page 874 (the catalogue's) or byte for byte (latin1).

#include <iosfwd>
#include <string>
#include <string_view>

namespace quire::cli {

enum class TCodePage { Cp874, Latin1 };

class TTextCodec {
 public:
  TTextCodec(TCodePage codePage, std::ostream& warnings)
      : codePage_(codePage), warnings_(&warnings) {}

  // Table bytes as UTF-8. Under code page 874 an undefined byte becomes
  // U+FFFD, with a warning naming `what`.
  std::string ToText(std::string_view bytes, std::string_view what) const;

  // UTF-8 input as table bytes; a usage error naming `what` when the code
  // page cannot hold it.
  std::string ToBytes(std::string_view text, std::string_view what) const;

 private:
  TCodePage codePage_;
  std::ostream* warnings_;
};

}  // namespace quire::cli
