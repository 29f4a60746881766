#include "support/QuireProcess.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

namespace quire::testing {
namespace {

namespace fs = std::filesystem;

// The tool in bin/ of this test program's build folder (test programs live in
// <build>/tests/<folder>/).
std::string QuireBinary() {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  return (self.parent_path() / ".." / ".." / "bin" / "quire").lexically_normal();
}

}  // namespace

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TQuireFolder::TQuireFolder() {
  char pattern[] = "/tmp/quire-tool-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a test folder");
  dir_ = pattern;
}

TQuireFolder::~TQuireFolder() {
  fs::remove_all(dir_);
}

void TQuireFolder::Write(const std::string& name, const std::string& text) const {
  std::ofstream(dir_ / name, std::ios::binary) << text;
}

TQuireResult TQuireFolder::Run(const std::string& args) const {
  const std::string command = "cd '" + dir_.string() + "' && '" + QuireBinary() + "' " + args +
                              " >out.txt 2>err.txt </dev/null";
  TQuireResult result;
  const int raw = std::system(command.c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadAll(dir_ / "out.txt");
  result.err = ReadAll(dir_ / "err.txt");
  return result;
}

}  // namespace quire::testing
