#include "app/catalogue/LyricHeader.h"

#include <cerrno>
#include <cstring>

#include "app/InOutError.h"

namespace lyrabook {
namespace {

constexpr int kEndOfFileByte = 26;

[[noreturn]] void Fail(int error, const std::string& name) {
  throw EInOutError(error, std::string(std::strerror(error)) + ": " + name);
}

}  // namespace

TLyricHeaderReader::TLyricHeaderReader(const std::string& name)
    : name_(name), file_(std::fopen(name.c_str(), "rb"), &std::fclose) {
  if (!file_) Fail(errno, name_);
}

int TLyricHeaderReader::Next() {
  if (ended_) return EOF;
  const int c = std::fgetc(file_.get());
  if (c == EOF) {
    if (std::ferror(file_.get())) Fail(EIO, name_);
    ended_ = true;
  }
  if (c == kEndOfFileByte) {
    ended_ = true;
    return EOF;
  }
  return c;
}

std::string TLyricHeaderReader::ReadLine() {
  std::string line;
  for (int c = Next(); c != EOF; c = Next()) {
    if (c == '\r') {
      const int after = Next();
      // Only an LF right after the CR belongs to the line end.
      if (after != '\n' && after != EOF) std::ungetc(after, file_.get());
      break;
    }
    line += static_cast<char>(c);
  }
  return line;
}

void TLyricHeaderReader::Close() {
  std::FILE* file = file_.release();
  if (file == nullptr) Fail(EBADF, name_);
  if (std::fclose(file) != 0) Fail(errno, name_);
}

}  // namespace lyrabook
