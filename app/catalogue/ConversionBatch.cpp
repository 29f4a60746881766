#include "app/catalogue/ConversionBatch.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "app/InOutError.h"

namespace lyrabook {

int WriteConversionBatch(TLyricFolders& folders, TBatchLauncher& launcher,
                         TMessageBoxes& messages) {
  const std::string base = folders.CurrentFolder();
  std::remove("convert.bat");  // the current directory is the base folder; a failure is ignored
  const std::string batchFile = base + "/convert.bat";
  std::ofstream batch(batchFile, std::ios::binary | std::ios::trunc);
  if (!batch) throw EInOutError(errno, std::string(std::strerror(errno)) + ": " + batchFile);
  folders.SetMask("*.lyr");
  int lines = 0;
  for (int n = 0; n <= 9; ++n) {
    folders.SetFolder(base + "/lyr/" + std::to_string(n));
    for (const std::string& name : folders.Names()) {
      batch << "LYR2TXT " << name.substr(0, name.size() >= 4 ? name.size() - 4 : 0) << "\r\n";
      ++lines;
    }
  }
  batch.close();
  if (!batch) throw EInOutError(EIO, std::string(std::strerror(EIO)) + ": " + batchFile);
  folders.SetFolder(base);
  if (launcher.Start(batchFile, base)) messages.ShowMessage(kBatchStartedMessage);
  folders.SetMask("*.txt");
  return lines;
}

bool TShellBatchLauncher::Start(const std::string& batchFile, const std::string& folder) {
  // Each line is a command; the CR before the LF is not part of it.
  static const char kScript[] =
      "cr=$(printf '\\r'); while IFS= read -r line || [ -n \"$line\" ]; do "
      "sh -c \"${line%\"$cr\"}\"; done < \"$1\"";
  // A pipe closed on exec tells whether the shell started: its write end
  // only ever carries an errno from a failed exec.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    // The first child leaves at once; its child, adopted by init, runs the
    // batch on its own, so that nobody has to wait for it.
    if (fork() != 0) _exit(0);
    setsid();
    if (chdir(folder.c_str()) != 0) {
      const int error = errno;
      [[maybe_unused]] const auto written = write(report[1], &error, sizeof error);
      _exit(127);
    }
    execl("/bin/sh", "sh", "-c", kScript, "sh", batchFile.c_str(), static_cast<char*>(nullptr));
    const int error = errno;
    [[maybe_unused]] const auto written = write(report[1], &error, sizeof error);
    _exit(127);
  }
  close(report[1]);
  int status = 0;
  waitpid(child, &status, 0);
  int error = 0;
  const ssize_t got = read(report[0], &error, sizeof error);
  close(report[0]);
  return got == 0;
}

}  // namespace lyrabook
