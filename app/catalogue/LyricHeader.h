#pragma once
// The header lines of a lyric file. A line is the bytes up to a carriage
// return, the end of the file or a byte 26 (which ends the file); a CR, or
// CR LF, ends the line and is not part of it; an LF alone does not end a
// line. Lines may be of any length; past the end come empty lines.

#include <cstdio>
#include <memory>
#include <string>

namespace lyrabook {

class TLyricHeaderReader {
 public:
  // Opens `name` for reading (a bare name is in the current directory);
  // an input/output error when it cannot be opened.
  explicit TLyricHeaderReader(const std::string& name);

  // The next line's bytes; an input/output error when reading fails.
  std::string ReadLine();
  // Closes the file; an input/output error when closing fails.
  void Close();

 private:
  int Next();

  std::string name_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
  bool ended_ = false;
};

}  // namespace lyrabook
