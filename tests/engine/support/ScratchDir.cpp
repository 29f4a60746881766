#include "support/ScratchDir.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace quire::testing {

ScratchDir::ScratchDir() {
  std::string pattern = "/tmp/quire-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Files a test made read-only must not keep the folder alive.
  for (const auto& entry : std::filesystem::directory_iterator(dir_, ignored)) {
    ::chmod(entry.path().c_str(), 0644);
  }
  std::filesystem::remove_all(dir_, ignored);
}

std::string ScratchDir::Path(std::string_view name) const {
  return (dir_ / name).string();
}

std::string ScratchDir::WriteFile(std::string_view name, std::string_view bytes) const {
  const std::string path = Path(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string ScratchDir::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quire::testing
