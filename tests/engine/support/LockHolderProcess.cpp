#include "support/LockHolderProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace quire::testing {

std::string LockHolderProcess::ProgramPath() {
  // Test programs live in <build>/tests/<folder>/, the helper in <build>/bin/.
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  const auto path = self.parent_path().parent_path().parent_path() / "bin" / "lock_holder";
  if (!std::filesystem::exists(path)) {
    throw std::runtime_error("lock_holder not built: " + path.string());
  }
  return path.string();
}

LockHolderProcess::LockHolderProcess(const std::vector<std::string>& args) {
  const std::string program = ProgramPath();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    pid_ = -1;
    throw std::runtime_error("cannot start lock_holder");
  }
  char c = 0;
  while (true) {
    const ssize_t n = read(out[0], &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line_.push_back(c);
  }
  close(out[0]);
}

LockHolderProcess::~LockHolderProcess() {
  Stop();
}

void LockHolderProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

std::string LockHolderProcess::Probe(const std::string& path, long long offset, long long length) {
  LockHolderProcess probe({"probe", path, std::to_string(offset), std::to_string(length)});
  return probe.Line();
}

}  // namespace quire::testing
