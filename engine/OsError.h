#pragma once
// Operating-system failures of the file layer as engine errors.
//
// The engine code depends on what went wrong, and the errno itself is kept in
// the error context so that 11047 ("An unknown operating system error #N …")
// can name it.

#include <string_view>

#include "engine/ErrorCodes.h"

namespace quire {

// The engine code for errno `e`: ENOENT, ENOTDIR → 11010; EMFILE, ENFILE →
// 11012; EACCES, EPERM, EROFS, EAGAIN (a share-mode conflict) → 11013; EBADF →
// 11014; ENOMEM → 11016; ENXIO, ENODEV → 11023; EXDEV → 11025; else 11047.
TErrorCode OsErrorCode(int e);

// Raises OsErrorCode(e) for `fileName`, keeping `e` in the context.
[[noreturn]] void RaiseErrno(int e, std::string_view fileName);

}  // namespace quire
