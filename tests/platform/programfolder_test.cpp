#include "platform/ProgramFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace lyrabook {
namespace {

TEST(FolderPart, KeepsEverythingUpToTheLastSeparator) {
  EXPECT_EQ(FolderPart("/usr/local/bin/lyrabook"), "/usr/local/bin/");
  EXPECT_EQ(FolderPart("/lyrabook"), "/");
  EXPECT_EQ(FolderPart("/opt/lyrabook/"), "/opt/lyrabook/");
  EXPECT_EQ(FolderPart("relative/dir/prog"), "relative/dir/");
  EXPECT_EQ(FolderPart("/a b/ไทย/prog (deleted)"), "/a b/ไทย/");
}

TEST(FolderPart, IsEmptyWithoutASeparator) {
  EXPECT_EQ(FolderPart("lyrabook"), "");
  EXPECT_EQ(FolderPart(""), "");
}

TEST(ProgramFolder, IsTheAbsoluteFolderOfTheRunningExecutable) {
  const std::string folder = ProgramFolder();
  ASSERT_GE(folder.size(), 1u);
  EXPECT_EQ(folder.front(), '/');
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(folder.find("//"), std::string::npos) << folder;

  // The folder must hold the very file the process runs: same device and inode.
  char target[4096];
  const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target - 1);
  ASSERT_GT(length, 0);
  const std::string exe(target, static_cast<size_t>(length));
  const std::string name = exe.substr(exe.rfind('/') + 1);
  struct stat inFolder {};
  struct stat running {};
  ASSERT_EQ(::stat((folder + name).c_str(), &inFolder), 0) << folder + name;
  ASSERT_EQ(::stat("/proc/self/exe", &running), 0);
  EXPECT_EQ(inFolder.st_dev, running.st_dev);
  EXPECT_EQ(inFolder.st_ino, running.st_ino);
}

TEST(ProgramFolder, IsTheSameFromAnyWorkingDirectory) {
  const std::string before = ProgramFolder();
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir("/"), 0);
  const std::string fromRoot = ProgramFolder();
  ASSERT_EQ(::chdir(cwd), 0);
  EXPECT_EQ(fromRoot, before);
}

}  // namespace
}  // namespace lyrabook
