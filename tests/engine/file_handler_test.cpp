// The disk side of the file handler: settings, reads and writes, error codes
// with the file's name, the read-only attribute, share modes against this
// process and another one, and the guarded delete, rename and copy.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "engine/FileHandler.h"
#include "support/EngineScope.h"
#include "support/LockHolderProcess.h"
#include "support/ScratchDir.h"

namespace quire {
namespace {

using testing::LockHolderProcess;
using testing::ScratchDir;

// The engine code and message of what `action` raises; 0 when nothing.
template <typename Action>
std::pair<int, std::string> Raised(Action action) {
  try {
    action();
  } catch (const EQuireEngineError& e) {
    return {e.Code(), e.Message()};
  }
  return {0, ""};
}

class FileHandlerTest : public ::testing::Test {
 protected:
  testing::EngineScope engine_;
  ScratchDir dir_;

  std::string Bytes(std::size_t n, char first = 'a') {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + i % 26);
    return s;
  }
};

TEST_F(FileHandlerTest, SettingsChangeOnlyWhileClosed) {
  const std::string path = dir_.WriteFile("T.DAT", "x");
  TFileHandler file;
  file.SetFileName(path);
  file.Open();
  EXPECT_EQ(
      Raised([&] { file.SetFileName(dir_.Path("U.DAT")); }),
      std::make_pair(10031, "Quire Engine Error # 10031 Data file " + path + " is already in use"));
  EXPECT_EQ(Raised([&] { file.SetExclusive(true); }).first, 10031);
  EXPECT_EQ(Raised([&] { file.SetReadOnly(true); }).first, 10031);
  EXPECT_EQ(Raised([&] { file.SetInMemory(true); }).first, 10031);
  EXPECT_EQ(Raised([&] { file.Open(); }).first, 10031);
  EXPECT_EQ(Raised([&] { file.Delete(); }).first, 10031);
  EXPECT_EQ(Raised([&] { file.Rename(dir_.Path("U.DAT")); }).first, 10031);
  EXPECT_EQ(file.FileName(), path);
  EXPECT_FALSE(file.Exclusive());
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  file.SetExclusive(true);
  EXPECT_TRUE(file.Exclusive());
}

TEST_F(FileHandlerTest, CreateNeedsExclusiveAndAClosedFile) {
  TFileHandler file;
  file.SetFileName(dir_.Path("New.DAT"));
  EXPECT_EQ(Raised([&] { file.Create(); }).first, 10253);
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("New.DAT")));
  file.SetExclusive(true);
  file.Create();
  EXPECT_EQ(Raised([&] { file.Create(); }).first, 10031);
  file.Write("abc", 3);
  file.Close();
  EXPECT_EQ(ScratchDir::ReadFile(dir_.Path("New.DAT")), "abc");
}

TEST_F(FileHandlerTest, OpenOfAMissingFileNamesIt) {
  TFileHandler file;
  const std::string path = dir_.Path("missing.DAT");
  file.SetFileName(path);
  EXPECT_FALSE(file.Exists());
  EXPECT_EQ(Raised([&] { file.Open(); }),
            std::make_pair(11010,
                           "Quire Engine Error # 11010 Invalid path or file name for data "
                           "file " +
                               path));
  EXPECT_FALSE(file.IsOpen());
  file.SetFileName(dir_.Path("no-such-folder/x.DAT"));
  EXPECT_EQ(Raised([&] { file.Open(); }).first, 11010);
}

TEST_F(FileHandlerTest, ReadsWritesSeeksAndTruncates) {
  TFileHandler file;
  file.SetFileName(dir_.Path("rw.DAT"));
  file.SetExclusive(true);
  file.Create();
  const std::string data = Bytes(100);
  file.Write(data.data(), data.size());
  EXPECT_EQ(file.Size(), 100);
  EXPECT_EQ(file.Seek(10, 0), 10);
  EXPECT_EQ(file.Seek(5, 1), 15);
  EXPECT_EQ(file.Seek(-20, 2), 80);  // disk: from the end, plus the offset
  char buffer[40] = {};
  EXPECT_EQ(file.Read(buffer, 20), 20u);
  EXPECT_EQ(std::string(buffer, 20), data.substr(80, 20));

  // At the end: a short read raises unless allowed.
  file.Seek(90, 0);
  EXPECT_EQ(Raised([&] { file.Read(buffer, 20); }),
            std::make_pair(
                9217, "Quire Engine Error # 9217 Error reading from data file " + file.FileName()));
  file.Seek(90, 0);
  EXPECT_EQ(file.Read(buffer, 20, true), 10u);
  EXPECT_EQ(std::string(buffer, 10), data.substr(90, 10));

  // A write of 0 bytes cuts the file at the position.
  file.Seek(30, 0);
  file.Write(nullptr, 0);
  EXPECT_EQ(file.Size(), 30);
  file.Close();
  EXPECT_EQ(ScratchDir::ReadFile(file.FileName()), data.substr(0, 30));
}

TEST_F(FileHandlerTest, PositionedAccessLeavesThePositionAlone) {
  TFileHandler file;
  file.SetFileName(dir_.Path("pos.DAT"));
  file.SetExclusive(true);
  file.Create();
  file.WriteAt(0, "0123456789", 10);
  file.Seek(2, 0);
  file.WriteAt(20, "XY", 2);  // past the end: the gap reads as zeros
  char buffer[22] = {};
  EXPECT_EQ(file.ReadAt(0, buffer, 22), 22u);
  EXPECT_EQ(std::string(buffer, 22), std::string("0123456789") + std::string(10, '\0') + "XY");
  EXPECT_EQ(file.Read(buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "234");
  EXPECT_EQ(file.ReadAt(21, buffer, 5, true), 1u);
  EXPECT_EQ(Raised([&] { file.ReadAt(21, buffer, 5); }).first, 9217);
  file.WriteAt(4, nullptr, 0);
  EXPECT_EQ(file.Size(), 4);
}

TEST_F(FileHandlerTest, ANameIsMatchedIgnoringCaseWhenNotFoundAsSpelled) {
  dir_.WriteFile("SONG.DAT", "upper");
  TFileHandler file;
  file.SetFileName(dir_.Path("Song.dat"));
  EXPECT_TRUE(file.Exists());
  file.Open();
  char buffer[5];
  file.Read(buffer, 5);
  EXPECT_EQ(std::string(buffer, 5), "upper");
  file.Close();
  // An exact spelling wins over a case variant.
  dir_.WriteFile("Song.dat", "exact");
  file.Open();
  file.Read(buffer, 5);
  EXPECT_EQ(std::string(buffer, 5), "exact");
  file.Close();
  file.Delete();
  EXPECT_TRUE(std::filesystem::exists(dir_.Path("SONG.DAT")));
  file.Delete();  // now reaches the variant
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("SONG.DAT")));
  EXPECT_EQ(Raised([&] { file.Delete(); }).first, 9220);
}

TEST_F(FileHandlerTest, AFileWithoutWriteBitsOpensReadOnlyWithoutLocking) {
  const std::string path = dir_.WriteFile("ro.DAT", "locked away");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  TFileHandler file;
  file.SetFileName(path);
  file.Open();
  EXPECT_TRUE(file.ReadOnly());
  EXPECT_TRUE(file.NoLocking());
  EXPECT_EQ(Raised([&] { file.Write("x", 1); }),
            std::make_pair(11013, "Quire Engine Error # 11013 Access denied to data file " + path));
  EXPECT_EQ(Raised([&] { file.WriteAt(0, nullptr, 0); }).first, 11013);
  file.Close();
  EXPECT_EQ(ScratchDir::ReadFile(path), "locked away");
  // The attribute is the file's, not a setting: gone with the write bit.
  EXPECT_FALSE(file.ReadOnly());
  EXPECT_FALSE(file.NoLocking());
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  file.Open();
  EXPECT_FALSE(file.ReadOnly());
  file.Write("L", 1);
}

TEST_F(FileHandlerTest, AReadOnlyTableStillLocksLikeEveryoneElse) {
  const std::string path = dir_.WriteFile("shared.DAT", "data");
  TFileHandler file;
  file.SetFileName(path);
  file.SetReadOnly(true);
  file.Open();
  EXPECT_TRUE(file.ReadOnly());
  EXPECT_FALSE(file.NoLocking());
  ASSERT_TRUE(file.LockRange(2147483645, 1));
  EXPECT_EQ(LockHolderProcess::Probe(path, 2147483645, 1), "held");
  EXPECT_EQ(Raised([&] { file.Write("x", 1); }).first, 11013);
  EXPECT_TRUE(file.UnlockRange(2147483645, 1));
  EXPECT_EQ(LockHolderProcess::Probe(path, 2147483645, 1), "free");
}

TEST_F(FileHandlerTest, TwoOpensInOneProcessExcludeEachOther) {
  const std::string path = dir_.WriteFile("two.DAT", "");
  TFileHandler a, b, c;
  for (TFileHandler* f : {&a, &b, &c}) {
    f->SetFileName(path);
    f->Open();
  }
  EXPECT_TRUE(a.LockRange(100, 10));
  EXPECT_FALSE(b.LockRange(105, 1));
  EXPECT_FALSE(a.LockRange(109, 5)) << "an overlap through the same open file is refused too";
  EXPECT_FALSE(a.UnlockRange(100, 5)) << "only the range as locked can be unlocked";
  EXPECT_FALSE(b.UnlockRange(100, 10)) << "b does not hold it";
  EXPECT_TRUE(b.LockRange(110, 1));
  // Closing one open keeps the other's locks.
  b.Close();
  EXPECT_FALSE(c.LockRange(100, 1));
  EXPECT_TRUE(c.LockRange(110, 1));
  a.Close();
  EXPECT_TRUE(c.LockRange(100, 1));
}

TEST_F(FileHandlerTest, ExclusiveOpenRefusesEveryOtherOpen) {
  const std::string path = dir_.WriteFile("ex.DAT", "");
  TFileHandler exclusive, shared;
  exclusive.SetFileName(path);
  exclusive.SetExclusive(true);
  shared.SetFileName(path);
  exclusive.Open();
  EXPECT_TRUE(exclusive.LockRange(1, 1));  // always granted, nothing taken
  EXPECT_EQ(LockHolderProcess::Probe(path, 1, 1), "free");
  EXPECT_EQ(Raised([&] { shared.Open(); }),
            std::make_pair(11013, "Quire Engine Error # 11013 Access denied to data file " + path));
  {
    LockHolderProcess other({"share", path, "shared", "30"});
    EXPECT_EQ(other.Line(), "refused");
  }
  exclusive.Close();
  shared.Open();
  EXPECT_EQ(Raised([&] { exclusive.Open(); }).first, 11013);
  LockHolderProcess other({"share", path, "shared", "30"});
  EXPECT_EQ(other.Line(), "locked") << "shared opens go together";
}

TEST_F(FileHandlerTest, ExclusiveOpenIsRefusedWhileAnotherProgramHasTheFile) {
  const std::string path = dir_.WriteFile("busy.DAT", "");
  LockHolderProcess other({"share", path, "shared", "30"});
  ASSERT_EQ(other.Line(), "locked");
  TFileHandler file;
  file.SetFileName(path);
  file.SetExclusive(true);
  EXPECT_EQ(Raised([&] { file.Open(); }).first, 11013);
  other.Stop();
  file.Open();
  EXPECT_TRUE(file.IsOpen());
}

TEST_F(FileHandlerTest, CreateLeavesAFileInUseUntouched) {
  const std::string path = dir_.WriteFile("inuse.DAT", "precious");
  LockHolderProcess other({"share", path, "shared", "30"});
  ASSERT_EQ(other.Line(), "locked");
  TFileHandler file;
  file.SetFileName(path);
  file.SetExclusive(true);
  EXPECT_EQ(Raised([&] { file.Create(); }).first, 11013);
  EXPECT_EQ(ScratchDir::ReadFile(path), "precious");
  other.Stop();
  file.Create();
  EXPECT_EQ(file.Size(), 0);
}

TEST_F(FileHandlerTest, DeleteRenameAndCopyTargetWaitForNobodyToHaveTheFile) {
  const std::string path = dir_.WriteFile("held.DAT", "keep");
  const std::string copy = dir_.WriteFile("copy.DAT", "old copy");
  LockHolderProcess holder({"share", path, "shared", "30"});
  LockHolderProcess copyHolder({"share", copy, "shared", "30"});
  ASSERT_EQ(holder.Line(), "locked");
  ASSERT_EQ(copyHolder.Line(), "locked");

  TFileHandler file;
  file.SetFileName(path);
  EXPECT_EQ(Raised([&] { file.Delete(); }),
            std::make_pair(9220, "Quire Engine Error # 9220 Cannot delete data file " + path));
  EXPECT_EQ(Raised([&] { file.Rename(dir_.Path("moved.DAT")); }).first, 11047);
  EXPECT_EQ(file.FileName(), path);
  EXPECT_TRUE(std::filesystem::exists(path));

  file.Open();
  EXPECT_EQ(Raised([&] { file.CopyTo(copy); }).first, 11013);
  EXPECT_EQ(ScratchDir::ReadFile(copy), "old copy");
  EXPECT_EQ(Raised([&] { file.CopyTo(path); }).first, 11013) << "a copy onto itself";
  EXPECT_EQ(ScratchDir::ReadFile(path), "keep");
  file.Close();

  holder.Stop();
  file.Rename(dir_.Path("moved.DAT"));
  EXPECT_EQ(file.FileName(), dir_.Path("moved.DAT"));
  EXPECT_FALSE(std::filesystem::exists(path));
  file.Delete();
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("moved.DAT")));
}

TEST_F(FileHandlerTest, RenameNeverReplacesAnotherFile) {
  const std::string from = dir_.WriteFile("a.DAT", "A");
  dir_.WriteFile("B.DAT", "B");
  TFileHandler file;
  file.SetFileName(from);
  auto [code, message] = Raised([&] { file.Rename(dir_.Path("b.DAT")); });
  EXPECT_EQ(code, 11047);
  EXPECT_EQ(message, "Quire Engine Error # 11047 An unknown operating system error #" +
                         std::to_string(EEXIST) + " occurred with data file " + from);
  EXPECT_EQ(ScratchDir::ReadFile(dir_.Path("B.DAT")), "B");
  EXPECT_EQ(ScratchDir::ReadFile(from), "A");
  // A change of letter case of the same file is a rename like any other.
  file.Rename(dir_.Path("A.DAT"));
  EXPECT_EQ(ScratchDir::ReadFile(dir_.Path("A.DAT")), "A");
  EXPECT_FALSE(std::filesystem::exists(from));
}

TEST_F(FileHandlerTest, CopyWritesEveryChunkAndReplacesTheTarget) {
  // Exactly two chunks: the last full read is followed by an empty one.
  for (std::size_t size : {std::size_t{131070}, std::size_t{70000}, std::size_t{0}}) {
    const std::string data = Bytes(size);
    const std::string path = dir_.WriteFile("src.DAT", data);
    const std::string target = dir_.WriteFile("dst.DAT", Bytes(200000, 'A'));
    TFileHandler file;
    file.SetFileName(path);
    file.CopyTo(target);  // closed: nothing happens
    EXPECT_EQ(ScratchDir::ReadFile(target).size(), 200000u);
    file.Open();
    file.Seek(17, 0);
    file.CopyTo(target);
    EXPECT_EQ(ScratchDir::ReadFile(target), data) << size;
    file.Close();
  }
}

TEST_F(FileHandlerTest, WriteThroughIsSetWhileClosedAndSticks) {
  const std::string path = dir_.WriteFile("wt.DAT", "");
  TFileHandler file;
  file.SetFileName(path);
  file.SetWriteThrough(true);
  file.SetWriteThrough(false);
  EXPECT_TRUE(file.WriteThrough());
  // The descriptor carries O_DSYNC: look it up among this process's files.
  file.Open();
  bool found = false;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(fd.path(), ec) != path) continue;
    std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
    std::string key, flags;
    while (info >> key >> flags && key != "flags:") {
    }
    EXPECT_NE(std::stoi(flags, nullptr, 8) & O_DSYNC, 0);
    found = true;
  }
  EXPECT_TRUE(found);
  file.Write("x", 1);
  file.Flush();
  TFileHandler plain;
  plain.SetFileName(path);
  plain.Open();
  plain.SetWriteThrough(true);  // ignored while open
  EXPECT_FALSE(plain.WriteThrough());
  plain.Flush();
}

}  // namespace
}  // namespace quire
