// A second process for the lock tests.
//
//   lock_holder range FILE OFFSET LENGTH SECONDS
//       takes a write lock on the range of FILE and holds it for SECONDS
//   lock_holder share FILE exclusive|shared SECONDS
//       opens FILE in that share mode (lock byte 2^31 + 1) and holds it
//   lock_holder probe FILE OFFSET LENGTH
//       reports whether a write lock on the range would be granted now
//
// Prints one line: "locked" or "refused" (range, share), "free" or "held"
// (probe). It uses open-file-description locks directly, independently of
// the engine, so that the engine's byte offsets are checked from outside.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr long long kShareByte = (1LL << 31) + 1;

bool SetLock(int fd, short type, long long offset, long long length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = length;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: lock_holder range FILE OFFSET LENGTH SECONDS\n"
               "       lock_holder share FILE exclusive|shared SECONDS\n"
               "       lock_holder probe FILE OFFSET LENGTH\n");
  return 64;
}

int Report(const char* word, int code) {
  std::printf("%s\n", word);
  std::fflush(stdout);
  return code;
}

void Hold(const char* seconds) {
  sleep(static_cast<unsigned>(std::atoi(seconds)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  const int fd = open(argv[2], O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "lock_holder: %s: %s\n", argv[2], std::strerror(errno));
    return 66;
  }
  if (mode == "range" && argc == 6) {
    if (!SetLock(fd, F_WRLCK, std::atoll(argv[3]), std::atoll(argv[4]))) {
      return Report("refused", 1);
    }
    Report("locked", 0);
    Hold(argv[5]);
    return 0;
  }
  if (mode == "share" && argc == 5) {
    const bool exclusive = std::string(argv[3]) == "exclusive";
    if (!SetLock(fd, exclusive ? F_WRLCK : F_RDLCK, kShareByte, 1)) return Report("refused", 1);
    Report("locked", 0);
    Hold(argv[4]);
    return 0;
  }
  if (mode == "probe" && argc == 5) {
    const long long offset = std::atoll(argv[3]);
    const long long length = std::atoll(argv[4]);
    const bool free = SetLock(fd, F_WRLCK, offset, length);
    // Give the range back before answering: the caller locks it next.
    if (free) SetLock(fd, F_UNLCK, offset, length);
    close(fd);
    return Report(free ? "free" : "held", 0);
  }
  return Usage();
}
