// Handlers with a write batch attached: positioned writes wait in the batch
// until it is submitted or the handler touches the file otherwise, a later
// write to the same bytes still wins, a failed write raises 9218 with its
// file's name, and a detached handler writes at once again.
#include "engine/WriteBatch.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/EngineError.h"
#include "engine/FileHandler.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"

namespace quire {
namespace {

using testing::ScratchDir;

class WriteBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [file, name] : {std::pair{&data_, "T.DAT"}, {&index_, "T.IDX"}}) {
      file->SetFileName(dir_.WriteFile(name, "----------"));
      file->Open();
      file->AttachWriteBatch(&batch_);
    }
  }
  void TearDown() override {
    data_.AttachWriteBatch(nullptr);
    index_.AttachWriteBatch(nullptr);
  }
  // The file as another program reads it.
  std::string OnDisk(const TFileHandler& file) const {
    return ScratchDir::ReadFile(file.FileName());
  }

  testing::EngineScope engine_;
  ScratchDir dir_;
  TWriteBatch batch_;
  TFileHandler data_, index_;
};

TEST_F(WriteBatchTest, WritesWaitForTheSubmission) {
  data_.WriteAt(0, "ab", 2);
  index_.WriteAt(8, "yz", 2);
  data_.WriteAt(5, "cd", 2);
  EXPECT_FALSE(batch_.Empty());
  EXPECT_EQ(OnDisk(data_), "----------");
  EXPECT_EQ(OnDisk(index_), "----------");
  batch_.Submit();
  EXPECT_TRUE(batch_.Empty());
  EXPECT_EQ(OnDisk(data_), "ab---cd---");
  EXPECT_EQ(OnDisk(index_), "--------yz");
}

TEST_F(WriteBatchTest, OtherAccessSubmitsFirst) {
  data_.WriteAt(2, "xx", 2);
  char read[4] = {};
  data_.ReadAt(1, read, 4);
  EXPECT_EQ(std::string(read, 4), "-xx-") << "a read sees the queued write";
  EXPECT_TRUE(batch_.Empty());

  data_.WriteAt(12, "end", 3);
  EXPECT_EQ(data_.Size(), 15) << "a seek to the end sees the file grown";
  index_.WriteAt(0, "i", 1);
  data_.WriteAt(4, "", 0);  // truncation
  EXPECT_EQ(OnDisk(data_), "--xx");
  EXPECT_EQ(OnDisk(index_), "i---------") << "the whole batch went, other files too";
}

TEST_F(WriteBatchTest, ALaterWriteToTheSameBytesWins) {
  data_.WriteAt(0, "first", 5);
  data_.WriteAt(3, "LATER", 5);
  data_.WriteAt(0, "A", 1);
  batch_.Submit();
  EXPECT_EQ(OnDisk(data_), "AirLATER--");
}

TEST_F(WriteBatchTest, AFailedWriteRaisesWithItsFileName) {
  data_.WriteAt(0, "ok", 2);
  // Far beyond the largest file the file system allows.
  index_.WriteAt(std::int64_t{1} << 62, "x", 1);
  try {
    batch_.Submit();
    FAIL() << "no error";
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Code(), 9218);
    EXPECT_NE(e.Message().find(index_.FileName()), std::string::npos) << e.Message();
  }
  EXPECT_TRUE(batch_.Empty());
  EXPECT_EQ(OnDisk(data_), "ok--------") << "the other writes were made";
}

TEST_F(WriteBatchTest, DiscardedWritesNeverLandAndDetachedHandlersWriteAtOnce) {
  data_.WriteAt(0, "lost", 4);
  batch_.Discard();
  data_.AttachWriteBatch(nullptr);
  data_.WriteAt(6, "now", 3);
  EXPECT_EQ(OnDisk(data_), "------now-");
  batch_.Submit();
  EXPECT_EQ(OnDisk(data_), "------now-");
}

}  // namespace
}  // namespace quire
