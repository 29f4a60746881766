#pragma once
// A fresh folder under /tmp for one test, removed with everything in it when
// the test ends. Tests run in parallel, so every test gets its own.

#include <filesystem>
#include <string>
#include <string_view>

namespace quire::testing {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The folder joined with `name`.
  std::string Path(std::string_view name) const;
  // Writes `bytes` to the file `name` and returns its path.
  std::string WriteFile(std::string_view name, std::string_view bytes) const;
  // The whole contents of the file at `path`.
  static std::string ReadFile(const std::string& path);

 private:
  std::filesystem::path dir_;
};

}  // namespace quire::testing
