#include "platform/ProgramFolder.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace lyrabook {

namespace {

// readlink does not say how long the target is, so grow the buffer until the
// answer no longer fills it completely.
std::string ReadLink(const char* link) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink(link, buffer.data(), buffer.size());
    if (length < 0) {
      throw std::system_error(errno, std::generic_category(), std::string("cannot read ") + link);
    }
    if (static_cast<size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string ProgramFolder() {
  // When the executable has been replaced while running, the kernel appends
  // " (deleted)" to the link; that suffix holds no '/', so the folder is intact.
  return FolderPart(ReadLink("/proc/self/exe"));
}

std::string FolderPart(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(path.substr(0, slash + 1));
}

}  // namespace lyrabook
