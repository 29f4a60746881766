#include "engine/OsError.h"

#include <cerrno>
#include <cstdint>

#include "engine/EngineError.h"

namespace quire {

TErrorCode OsErrorCode(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return err::InvalidPath;
    case EMFILE:
    case ENFILE:
      return err::TooManyFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EAGAIN:  // a refused share-mode lock: the sharing violation
      return err::AccessDenied;
    case EBADF:
      return err::InvalidHandle;
    case ENOMEM:
      return err::OutOfMemory;
    case ENXIO:
    case ENODEV:
      return err::InvalidDevice;
    case EXDEV:
      return err::FileMoved;
    default:
      return err::UnknownOsError;
  }
}

void RaiseErrno(int e, std::string_view fileName) {
  RaiseOsError(OsErrorCode(e), static_cast<std::uint16_t>(e), fileName);
}

}  // namespace quire
