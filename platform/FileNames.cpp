#include "platform/FileNames.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace lyrabook {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string ResolveExistingName(std::string_view path) {
  std::string exact(path);
  struct stat st {};
  if (exact.empty() || lstat(exact.c_str(), &st) == 0) return exact;

  const auto slash = path.find_last_of('/');
  const std::string folder =
      slash == std::string_view::npos ? std::string(".") : std::string(path.substr(0, slash + 1));
  const std::string_view leaf = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (leaf.empty()) return exact;

  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return exact;
  std::string best;
  while (const dirent* entry = readdir(dir.get())) {
    std::string_view name(entry->d_name);
    if (EqualsIgnoringAsciiCase(name, leaf) && (best.empty() || name < best)) best = name;
  }
  if (best.empty()) return exact;
  return slash == std::string_view::npos ? best : folder + best;
}

}  // namespace lyrabook
