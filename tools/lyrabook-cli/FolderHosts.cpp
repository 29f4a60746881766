#include "FolderHosts.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/InOutError.h"

namespace lyrabook::cli {
namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

std::vector<std::string> ListFolder(const std::string& folder, const std::string& mask) {
  const std::string suffix = Lower(mask.substr(mask.find('*') + 1));
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    const std::string lower = Lower(name);
    if (lower.size() >= suffix.size() && lower.ends_with(suffix)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return Lower(a) < Lower(b) || (Lower(a) == Lower(b) && a < b);
  });
  return names;
}

void EnterFolder(const std::string& folder) {
  if (chdir(folder.c_str()) != 0)
    throw EInOutError(errno, std::string(std::strerror(errno)) + ": " + folder);
}

TFolderWalk::TFolderWalk(std::string folder) : folder_(std::move(folder)) {
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
  EnterFolder(folder_);
}

void TFolderWalk::SetFolder(const std::string& folder) {
  EnterFolder(folder);
  folder_ = folder;
}

}  // namespace lyrabook::cli
