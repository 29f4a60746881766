#include "engine/FileSession.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "engine/Engine.h"
#include "engine/ShortString.h"
#include "platform/FileNames.h"

namespace quire {
namespace {

// The first five digits of the thread id keep names from two threads apart
// while the name stays short.
std::string ThreadPrefix() {
  const long long id = std::llabs(static_cast<long long>(::gettid()));
  return std::to_string(id).substr(0, 5);
}

std::string WithSeparator(std::string directory) {
  if (!directory.empty() && directory.back() != '/') directory += '/';
  return directory;
}

// Tables copied from other systems may be spelled in any letter case, and
// the engine opens them ignoring case; so a name is taken when any file of
// the folder matches it ignoring case.
bool DiskNameTaken(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(lyrabook::ResolveExistingName(path), error);
}

std::string CurrentDirectory() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::current_path(error);
  return error ? std::string() : path.string();
}

}  // namespace

TFileSession::~TFileSession() {
  ForgetSession(*this);
}

void TFileSession::AddPassword(std::string_view password) {
  const std::lock_guard lock(guard_);
  if (!passwords_.Contains(password)) passwords_.Add(password);
}

void TFileSession::RemovePassword(std::string_view password) {
  const std::lock_guard lock(guard_);
  passwords_.Remove(password);
}

void TFileSession::RemoveAllPasswords() {
  const std::lock_guard lock(guard_);
  passwords_.RemoveAll();
}

bool TFileSession::TestPassword(std::string_view password) const {
  const std::lock_guard lock(guard_);
  return passwords_.Contains(password);
}

std::size_t TFileSession::PasswordCount() const {
  const std::lock_guard lock(guard_);
  return passwords_.Count();
}

void TFileSession::RecordError(const TErrorContext& context) {
  const std::lock_guard lock(guard_);
  errorContext_ = context;
}

TErrorContext TFileSession::LastError() const {
  const std::lock_guard lock(guard_);
  return errorContext_;
}

void TFileSession::SetPrivateDir(std::string_view directory) {
  if (directory.size() > kShortStringCapacity) RaiseEngineError(err::InvalidPath, directory);
  privateDir_ = std::string(directory);
}

std::string TFileSession::MakeTempTableName(bool inMemory) {
  const std::string prefix = ThreadPrefix();
  auto candidate = [&](unsigned counter) { return prefix + std::to_string(counter) + ".DAT"; };

  if (inMemory) {
    // An in-memory name is a logical name; with no private directory it has
    // no folder part at all.
    const std::string directory = WithSeparator(privateDir_);
    std::lock_guard lock(MemoryFileSection());
    unsigned counter = 0;
    while (memoryFiles_.Exists(directory + candidate(counter))) ++counter;
    return directory + candidate(counter);
  }

  const std::string directory =
      WithSeparator(privateDir_.empty() ? CurrentDirectory() : privateDir_);
  unsigned counter = 0;
  while (DiskNameTaken(directory + candidate(counter))) ++counter;
  return directory + candidate(counter);
}

}  // namespace quire
