#pragma once
// The engine session: what the engine keeps per database session. It holds
// the passwords for encrypted tables, the private directory for temporary
// tables, the context of the last engine error, and the in-memory files.
//
// One default session exists while the engine is started (Engine.h); other
// sessions belong to their session component. A session is worked with by
// one thread at a time; its password list and the error context it records
// are guarded all the same, since the password dialog registers into a
// session from the window's thread while the thread that opens the table
// waits. Its in-memory files are guarded by the engine's memory-file section.

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/EngineError.h"
#include "engine/MemoryFile.h"
#include "engine/PasswordList.h"

namespace quire {

class TFileSession {
 public:
  TFileSession() = default;
  // A session destroyed while current hands back to the default session.
  ~TFileSession();

  TFileSession(const TFileSession&) = delete;
  TFileSession& operator=(const TFileSession&) = delete;

  // Adds `password` (cut to 255 characters) unless it is empty or already in
  // the list.
  void AddPassword(std::string_view password);
  // Removes the entry equal to `password`, if any (exact, case-sensitive).
  void RemovePassword(std::string_view password);
  void RemoveAllPasswords();
  // True when the list holds `password` exactly.
  bool TestPassword(std::string_view password) const;
  std::size_t PasswordCount() const;
  // The list itself, unguarded: for the thread working with the session.
  const TPasswordList& Passwords() const { return passwords_; }

  // The folder for temporary tables; empty means the current directory.
  const std::string& PrivateDir() const { return privateDir_; }
  // Raises 11010 with `directory` as file name when it does not fit the
  // 255-character slot: a cut path would send temporaries somewhere else.
  void SetPrivateDir(std::string_view directory);

  // The context of the last engine error raised in this session: replaced
  // and copied under the session's guard.
  void RecordError(const TErrorContext& context);
  TErrorContext LastError() const;
  // The context itself, unguarded: for the thread working with the session.
  TErrorContext& ErrorContext() { return errorContext_; }
  const TErrorContext& ErrorContext() const { return errorContext_; }

  // The session's in-memory files. Hold MemoryFileSection() while using it.
  TMemoryFileList& MemoryFiles() { return memoryFiles_; }

  // A data file name for a temporary table that no file has yet:
  //   folder + first five digits of the thread id + counter + ".DAT"
  // with the counter counting up from 0 past every name in use. The folder is
  // the private directory, or for a disk table with no private directory the
  // current directory; a separator is added when missing. A disk name is in
  // use when a file of that name exists, in any letter case; an in-memory name
  // when the session's memory-file list has it.
  std::string MakeTempTableName(bool inMemory);

 private:
  mutable std::mutex guard_;  // passwords_ and errorContext_
  TPasswordList passwords_;
  std::string privateDir_;
  TErrorContext errorContext_;
  TMemoryFileList memoryFiles_;
};

}  // namespace quire
