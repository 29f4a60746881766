// In-memory files: the list's results, handles and positions, growth in
// 65535-byte steps, ownerless range locks, and the file handler on top.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FileHandler.h"
#include "engine/FileSession.h"
#include "engine/MemoryFile.h"
#include "support/EngineErrors.h"
#include "support/EngineScope.h"

namespace quire {
namespace {

TEST(MemoryFileListTest, CreateOpenAndTheExclusiveMark) {
  TMemoryFileList list;
  std::shared_ptr<TMemoryFile> file, again;
  EXPECT_EQ(list.Create("Temp.DAT", file), 1);
  EXPECT_TRUE(file->Exclusive());
  EXPECT_EQ(list.Open("temp.dat", false, again), -11013) << "created files are exclusive";
  EXPECT_EQ(list.Create("TEMP.DAT", again), -11013) << "an open file is not replaced";
  file->CloseHandle(1);
  EXPECT_EQ(list.Open("  TEMP.dat ", false, again), 1) << "names are trimmed, case ignored";
  EXPECT_EQ(again, file);
  EXPECT_FALSE(file->Exclusive());
  std::shared_ptr<TMemoryFile> third;
  EXPECT_EQ(list.Open("Temp.DAT", false, third), 2);
  EXPECT_EQ(list.Open("Temp.DAT", true, third), -11013) << "exclusive asked of an open file";
  EXPECT_EQ(list.Open("Other.DAT", false, third), -11010);
  EXPECT_EQ(list.Count(), 1u);
}

TEST(MemoryFileListTest, CreateOfABlankNameFails) {
  TMemoryFileList list;
  std::shared_ptr<TMemoryFile> file;
  EXPECT_EQ(list.Create("", file), -11010);
  EXPECT_EQ(list.Create("   .DAT", file), -11010);
  EXPECT_EQ(list.Create("folder/ .DAT", file), -11010);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.Create("folder/x.DAT", file), 1);
}

TEST(MemoryFileListTest, CreateOfAClosedFileEmptiesIt) {
  TMemoryFileList list;
  std::shared_ptr<TMemoryFile> file, again;
  int h = list.Create("t.DAT", file);
  ASSERT_EQ(file->Write(h, "hello", 5), 5);
  file->CloseHandle(h);
  EXPECT_EQ(list.Create("T.dat", again), 1);
  EXPECT_EQ(again, file);
  EXPECT_EQ(file->Length(), 0);
  EXPECT_EQ(file->Capacity(), 0u);
  EXPECT_EQ(list.Count(), 1u);
}

TEST(MemoryFileListTest, RenameCopyDeleteAndExists) {
  TMemoryFileList list;
  std::shared_ptr<TMemoryFile> file, copy;
  const int h = list.Create("a.DAT", file);
  file->Write(h, "abc", 3);
  EXPECT_EQ(list.Rename("A.DAT", "b.DAT"), -11013) << "open";
  EXPECT_EQ(list.Delete("a.DAT"), -11013) << "open";
  EXPECT_EQ(list.Copy("a.DAT", "c.DAT"), 0);
  file->CloseHandle(h);
  EXPECT_EQ(list.Rename("a.DAT", "b.DAT"), 0);
  EXPECT_FALSE(list.Exists("a.DAT"));
  EXPECT_TRUE(list.Exists(" B.dat"));
  EXPECT_EQ(list.Rename("b.DAT", "C.DAT"), -11013) << "the new name is taken";
  EXPECT_EQ(list.Rename("zz.DAT", "y.DAT"), -11010);
  ASSERT_EQ(list.Open("c.DAT", false, copy), 1);
  char buffer[3];
  EXPECT_EQ(copy->Read(1, buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(list.Copy("b.DAT", "c.DAT"), -11013) << "the target is open";
  copy->CloseHandle(1);
  EXPECT_EQ(list.Delete("C.DAT"), 0);
  EXPECT_EQ(list.Delete("C.DAT"), -11010);
  EXPECT_EQ(list.Count(), 1u);
}

TEST(MemoryFileTest, CapacityGrowsAndShrinksInSteps) {
  TMemoryFile file("m.DAT");
  const int h = file.OpenHandle(true);
  std::vector<char> bytes(70000, 'x');
  ASSERT_EQ(file.Write(h, bytes.data(), bytes.size()), 70000);
  EXPECT_EQ(file.Length(), 70000);
  EXPECT_EQ(file.Capacity(), 131070u);
  EXPECT_EQ(file.Seek(h, 65535, 0), 65535);
  EXPECT_EQ(file.Write(h, nullptr, 0), 0);
  EXPECT_EQ(file.Length(), 65535);
  EXPECT_EQ(file.Capacity(), 65535u);
  file.Seek(h, 1, 0);
  file.Write(h, nullptr, 0);
  EXPECT_EQ(file.Capacity(), 65535u);
  file.Seek(h, 0, 0);
  file.Write(h, nullptr, 0);
  EXPECT_EQ(file.Capacity(), 0u);
}

TEST(MemoryFileTest, PositionsReadsAndWrites) {
  TMemoryFile file("m.DAT");
  const int h = file.OpenHandle(false);
  const int other = file.OpenHandle(false);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(other, 2);
  file.Write(h, "0123456789", 10);
  char buffer[10] = {};
  EXPECT_EQ(file.Read(other, buffer, 4), 4) << "each handle has its own position";
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(file.Seek(h, 3, 2), 7) << "origin 2 is length minus offset";
  EXPECT_EQ(file.Read(h, buffer, 10), 3);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(file.Read(h, buffer, 10), 0);
  EXPECT_EQ(file.Seek(h, -2, 1), 8);
  EXPECT_EQ(file.Seek(h, 11, 2), -11017) << "before the start";
  EXPECT_EQ(file.Seek(h, 0, 1), 8) << "a refused seek leaves the position";
  // Writing past the end fills the gap with zeros, also after a truncation.
  file.Seek(h, 2, 0);
  file.Write(h, nullptr, 0);
  file.Seek(h, 5, 0);
  file.Write(h, "Z", 1);
  file.Seek(h, 0, 0);
  EXPECT_EQ(file.Read(h, buffer, 10), 6);
  EXPECT_EQ(std::string(buffer, 6), std::string("01\0\0\0Z", 6));
}

TEST(MemoryFileTest, HandleNumbersStayUnique) {
  TMemoryFile file("m.DAT");
  EXPECT_EQ(file.OpenHandle(false), 1);
  EXPECT_EQ(file.OpenHandle(false), 2);
  EXPECT_TRUE(file.CloseHandle(1));
  EXPECT_FALSE(file.CloseHandle(1));
  const int next = file.OpenHandle(false);
  EXPECT_NE(next, 2);
  EXPECT_EQ(file.OpenCount(), 2u);
}

TEST(MemoryFileTest, RangeLocksHaveNoOwnerButCloseWithTheirHandle) {
  TMemoryFile file("m.DAT");
  const int a = file.OpenHandle(false);
  const int b = file.OpenHandle(false);
  EXPECT_TRUE(file.LockRange(a, 100, 10));
  EXPECT_FALSE(file.LockRange(b, 109, 1)) << "the last byte overlaps";
  EXPECT_FALSE(file.LockRange(a, 95, 6)) << "also through the same handle";
  EXPECT_TRUE(file.LockRange(b, 110, 1));
  EXPECT_TRUE(file.LockRange(b, 90, 10));
  EXPECT_FALSE(file.LockRange(b, 0, 0));
  EXPECT_FALSE(file.UnlockRange(100, 5)) << "same first byte, other length";
  EXPECT_TRUE(file.UnlockRange(100, 10)) << "any handle may unlock";
  EXPECT_FALSE(file.UnlockRange(100, 10));
  EXPECT_TRUE(file.LockRange(a, 100, 10));
  file.CloseHandle(b);
  EXPECT_TRUE(file.LockRange(a, 110, 1)) << "b's ranges went with b";
  EXPECT_FALSE(file.LockRange(a, 105, 1)) << "a's stay";
}

using testing::CodeOf;

class MemoryHandlerTest : public ::testing::Test {
 protected:
  testing::EngineScope engine_;

  void SetUp() override { CurrentSession().MemoryFiles() = TMemoryFileList(); }
  void Prepare(TFileHandler& file, const std::string& name, bool exclusive) {
    file.SetInMemory(true);
    file.SetFileName(name);
    file.SetExclusive(exclusive);
  }
};

TEST_F(MemoryHandlerTest, CreateWriteReopenRead) {
  TFileHandler writer, reader, second;
  Prepare(writer, "Mem.DAT", false);
  EXPECT_EQ(CodeOf([&] { writer.Create(); }), 10253);
  writer.SetExclusive(true);
  writer.Create();
  writer.Write("in memory", 9);
  EXPECT_EQ(writer.Size(), 9);
  EXPECT_TRUE(writer.Exists());
  Prepare(reader, " mem.dat", false);
  EXPECT_EQ(CodeOf([&] { reader.Open(); }), 11013) << "created for exclusive use";
  writer.Close();
  reader.Open();
  Prepare(second, "MEM.DAT", false);
  second.Open();
  char buffer[9];
  EXPECT_EQ(reader.Read(buffer, 9), 9u);
  EXPECT_EQ(std::string(buffer, 9), "in memory");
  EXPECT_EQ(reader.Seek(2, 2), 7) << "in memory, origin 2 counts back from the end";
  EXPECT_EQ(CodeOf([&] { reader.Read(buffer, 3); }), 9217);
  EXPECT_EQ(second.ReadAt(3, buffer, 6), 6u);
  EXPECT_EQ(std::string(buffer, 6), "memory");
  EXPECT_EQ(second.Seek(0, 1), 0) << "a positioned read leaves the position";
  // Range locks exclude across handlers of one file.
  EXPECT_TRUE(reader.LockRange(2147483645, 1));
  EXPECT_FALSE(second.LockRange(2147483645, 1));
  reader.Close();
  EXPECT_TRUE(second.LockRange(2147483645, 1));
  EXPECT_EQ(CodeOf([&] { second.Seek(10, 2); }), 11017);
}

TEST_F(MemoryHandlerTest, AnExclusiveOpenRefusesAnySecondOpen) {
  TFileHandler creator, a, b;
  Prepare(creator, "X.DAT", true);
  creator.Create();
  creator.Close();
  Prepare(a, "x.DAT", true);
  a.Open();
  Prepare(b, "X.dat", false);
  try {
    b.Open();
    FAIL() << "opened";
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Message(), "Quire Engine Error # 11013 Access denied to data file X.dat");
  }
  EXPECT_FALSE(b.IsOpen());
  a.Close();
  b.Open();
  EXPECT_EQ(CodeOf([&] { a.Open(); }), 11013) << "exclusive asked while open";
}

TEST_F(MemoryHandlerTest, DeleteRenameCopyAndMissingFiles) {
  TFileHandler file, copy;
  Prepare(file, "Src.DAT", true);
  EXPECT_EQ(CodeOf([&] { file.Open(); }), 11010);
  EXPECT_FALSE(file.Exists());
  file.Create();
  file.Write("payload", 7);
  file.CopyTo("Dst.DAT");
  file.Close();
  file.CopyTo("Other.DAT");  // closed: nothing
  EXPECT_EQ(CurrentSession().MemoryFiles().Count(), 2u);
  Prepare(copy, "dst.dat", false);
  copy.Open();
  EXPECT_EQ(copy.Size(), 7);
  EXPECT_EQ(CodeOf([&] { copy.Delete(); }), 10031);
  copy.Close();
  file.Rename("Moved.DAT");
  EXPECT_EQ(file.FileName(), "Moved.DAT");
  EXPECT_EQ(CodeOf([&] { file.Rename("DST.DAT"); }), 11047);
  file.Delete();
  EXPECT_FALSE(file.Exists());
  EXPECT_EQ(CodeOf([&] { file.Delete(); }), 9220);
}

TEST_F(MemoryHandlerTest, ThreadsShareFilesUnderTheEngineSection) {
  TFileHandler creator;
  Prepare(creator, "Shared.DAT", true);
  creator.Create();
  creator.Close();
  constexpr int kThreads = 4;
  constexpr int kWrites = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      TFileHandler file;
      Prepare(file, "Shared.DAT", false);
      file.Open();
      for (int i = 0; i < kWrites; ++i) {
        const char byte = static_cast<char>('a' + t);
        file.WriteAt((static_cast<std::int64_t>(i) * kThreads + t) * 1000, &byte, 1);
      }
      file.Close();
    });
  }
  for (auto& th : threads) th.join();
  TFileHandler check;
  Prepare(check, "Shared.DAT", false);
  check.Open();
  EXPECT_EQ(check.Size(), (kWrites - 1) * kThreads * 1000 + (kThreads - 1) * 1000 + 1);
  for (int i = 0; i < kWrites * kThreads; ++i) {
    char byte = 0;
    check.ReadAt(static_cast<std::int64_t>(i) * 1000, &byte, 1);
    ASSERT_EQ(byte, 'a' + i % kThreads) << i;
  }
}

}  // namespace
}  // namespace quire
