#include "platform/DataFolder.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace lyrabook {

namespace fs = std::filesystem;

namespace {

// The folders a data folder holds, each copied on its own.
constexpr const char* kSeededFolders[] = {"usersong", "Data"};

std::string WithTrailingSeparator(const fs::path& folder) {
  std::string text = folder.string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

// Copies the folder `source` to `target`, which must not exist. Made here
// rather than with std::filesystem::copy: that gives each folder the
// permissions of its source before it fills it, and an installed folder may
// not be writable. Every file is made writable by its owner, since the
// catalogue's tables are written in place.
void CopyTree(const fs::path& source, const fs::path& target) {
  fs::create_directory(target);
  for (const fs::directory_entry& entry : fs::directory_iterator(source)) {
    const fs::path to = target / entry.path().filename();
    if (entry.is_directory()) {
      CopyTree(entry.path(), to);
    } else {
      fs::copy_file(entry.path(), to);
      fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    }
  }
}

// Copies `source` to `target` through a folder beside `target`, then renames
// the copy into place. When another program has put `target` there first,
// its copy stays and this one goes.
void CopyWhole(const fs::path& source, const fs::path& target) {
  std::string pattern = (target.parent_path() / ".seeding-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    const int error = errno;
    throw fs::filesystem_error("cannot make a folder for copying", fs::path(pattern),
                               std::error_code(error, std::generic_category()));
  }
  const fs::path aside(pattern);
  const fs::path copy = aside / target.filename();
  try {
    CopyTree(source, copy);
    std::error_code renamed;
    fs::rename(copy, target, renamed);
    // rename() replaces an empty folder but not a full one: a folder that
    // appeared meanwhile with files in it is another program's whole copy.
    if (renamed && !fs::is_directory(target)) {
      throw fs::filesystem_error("cannot rename the copy", copy, target, renamed);
    }
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(aside, ignored);
    throw;
  }
  fs::remove_all(aside);
}

}  // namespace

TDataFolder FindDataFolder(const std::string& programFolder, const std::string& userDataHome) {
  const fs::path program(programFolder);
  for (const char* name : kSeededFolders) {
    if (fs::exists(program / name)) return {WithTrailingSeparator(program), {}};
  }
  // The folder is the resolved path of the executable, so ".." here is the
  // prefix the program was installed into.
  const fs::path demo = (program / ".." / "share" / "lyrabook").lexically_normal();
  if (!fs::is_directory(demo)) return {WithTrailingSeparator(program), {}};
  return {WithTrailingSeparator(fs::path(userDataHome) / "lyrabook"), WithTrailingSeparator(demo)};
}

void SeedDataFolder(const TDataFolder& data) {
  if (data.demoFolder.empty()) return;
  const fs::path folder(data.folder);
  fs::create_directories(folder);
  for (const char* name : kSeededFolders) {
    const fs::path source = fs::path(data.demoFolder) / name;
    const fs::path target = folder / name;
    if (fs::exists(source) && !fs::exists(target)) CopyWhole(source, target);
  }
}

std::string UserDataHome() {
  const char* xdg = ::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = ::getenv("HOME");
  std::string homeFolder = home != nullptr ? home : "";
  if (homeFolder.empty()) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
      homeFolder = found->pw_dir;
    }
  }
  if (homeFolder.empty()) throw std::runtime_error("cannot find the home folder of the user");
  return (fs::path(homeFolder) / ".local" / "share").string();
}

}  // namespace lyrabook
