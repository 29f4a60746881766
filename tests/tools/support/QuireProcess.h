#pragma once
// Runs the built quire program in a test's own folder, as a user would.

#include <filesystem>
#include <string>

namespace quire::testing {

// The whole content of a file (empty when it cannot be read).
std::string ReadAll(const std::filesystem::path& path);

struct TQuireResult {
  int status = -1;
  std::string out;
  std::string err;
};

class TQuireFolder {
 public:
  TQuireFolder();
  ~TQuireFolder();
  TQuireFolder(const TQuireFolder&) = delete;
  TQuireFolder& operator=(const TQuireFolder&) = delete;

  const std::filesystem::path& Dir() const { return dir_; }
  // The folder joined with `name`.
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& text) const;
  // Runs quire with `args` (already quoted for the shell) in the folder.
  TQuireResult Run(const std::string& args) const;

 private:
  std::filesystem::path dir_;
};

}  // namespace quire::testing
