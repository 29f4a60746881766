// The first bytes of a shared file read without a read call: they follow
// every later write by another open of the file (another program), from the
// first read on; a file shorter than the bytes asked for fails as a read
// would; queued batch writes are there first.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>

#include "engine/EngineError.h"
#include "engine/FileHandler.h"
#include "engine/WriteBatch.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"

namespace quire {
namespace {

using testing::ScratchDir;

class FileHeadTest : public ::testing::Test {
 protected:
  std::string Head(TFileHandler& file, std::size_t count = 4) {
    std::string bytes(count, '\0');
    file.ReadHead(bytes.data(), count);
    return bytes;
  }
  // Another program's write: a separate open of the file.
  void WriteBehind(const std::string& path, std::streamoff offset, const std::string& bytes) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  testing::EngineScope engine_;
  ScratchDir dir_;
};

TEST_F(FileHeadTest, FollowsOtherWritersAndOwnWrites) {
  const std::string path = dir_.WriteFile("T.DAT", std::string(5000, 'a'));
  TFileHandler file;
  file.SetFileName(path);
  file.Open();
  EXPECT_EQ(Head(file), "aaaa");
  WriteBehind(path, 0, "1234");
  EXPECT_EQ(Head(file), "1234");
  WriteBehind(path, 2, "xy");
  EXPECT_EQ(Head(file), "12xy");
  file.WriteAt(0, "Z", 1);
  EXPECT_EQ(Head(file), "Z2xy");
  EXPECT_EQ(Head(file, 4096), "Z2xy" + std::string(4092, 'a'));

  TWriteBatch batch;
  file.AttachWriteBatch(&batch);
  file.WriteAt(1, "Q", 1);
  EXPECT_EQ(Head(file), "ZQxy") << "the queued write first";
  file.AttachWriteBatch(nullptr);

  // Closed and opened again: a fresh view of the file.
  file.Close();
  WriteBehind(path, 0, "9");
  file.Open();
  EXPECT_EQ(Head(file), "9Qxy");
}

TEST_F(FileHeadTest, ShortFilesAndExclusiveOpensReadAsReadAtDoes) {
  const std::string path = dir_.WriteFile("S.DAT", "abc");
  TFileHandler file;
  file.SetFileName(path);
  file.Open();
  std::array<char, 4> bytes{};
  try {
    file.ReadHead(bytes.data(), bytes.size());
    FAIL() << "no error";
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Code(), 9217);
  }
  EXPECT_EQ(Head(file, 3), "abc");
  WriteBehind(path, 0, "XYZW");
  EXPECT_EQ(Head(file, 4), "XYZW") << "grown since: now it has the bytes";
  file.Close();

  file.SetExclusive(true);
  file.Open();
  EXPECT_EQ(Head(file), "XYZW");
  file.WriteAt(0, "e", 1);
  EXPECT_EQ(Head(file), "eYZW");
}

}  // namespace
}  // namespace quire
