// Gathered positioned writes: every write lands at its offset in its file,
// in batches larger than one submission too; a failed write is reported with
// its tag while the others still land; queued writes can be dropped.
#include "platform/WriteBatch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace lyrabook {
namespace {

class WriteBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (std::string& path : paths_) {
      char pattern[] = "/tmp/lyrabook-batch-XXXXXX";
      UniqueFd fd(mkstemp(pattern));
      ASSERT_TRUE(fd.Valid());
      path = pattern;
    }
  }
  void TearDown() override {
    for (const std::string& path : paths_) unlink(path.c_str());
  }
  UniqueFd OpenFile(int which, int flags = O_RDWR) const {
    return UniqueFd(open(paths_[which].c_str(), flags));
  }
  // What another open of the file reads at `offset`.
  std::string ReadBack(int which, std::int64_t offset, std::size_t size) const {
    UniqueFd fd = OpenFile(which, O_RDONLY);
    std::string bytes(size, '\0');
    const ssize_t n = pread(fd.Get(), bytes.data(), size, offset);
    bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return bytes;
  }
  static void Fill(WriteBatch& batch, int fd, std::int64_t offset, const std::string& text,
                   const void* tag = nullptr) {
    const auto buffer = batch.Add(fd, offset, text.size(), tag);
    std::memcpy(buffer.data(), text.data(), text.size());
  }

  std::string paths_[2];
};

TEST_F(WriteBatchTest, WritesToSeveralFilesLandWhenSubmitted) {
  UniqueFd a = OpenFile(0);
  UniqueFd b = OpenFile(1);
  WriteBatch batch;
  Fill(batch, a.Get(), 8192, "page two");
  Fill(batch, b.Get(), 0, "header");
  Fill(batch, a.Get(), 0, "first");
  EXPECT_EQ(batch.Size(), 3u);
  EXPECT_EQ(ReadBack(0, 0, 5), "") << "nothing is written before Submit";
  WriteBatch::Failure failure;
  ASSERT_TRUE(batch.Submit(failure));
  EXPECT_TRUE(batch.Empty());
  EXPECT_EQ(ReadBack(0, 0, 5), "first");
  EXPECT_EQ(ReadBack(0, 8192, 8), "page two");
  EXPECT_EQ(ReadBack(0, 5, 1), std::string(1, '\0')) << "the gap is a hole";
  EXPECT_EQ(ReadBack(1, 0, 6), "header");
}

TEST_F(WriteBatchTest, OneWriteAndMoreThanOneSubmissionHold) {
  UniqueFd a = OpenFile(0);
  WriteBatch batch;
  WriteBatch::Failure failure;
  Fill(batch, a.Get(), 3, "alone");
  ASSERT_TRUE(batch.Submit(failure));
  EXPECT_EQ(ReadBack(0, 3, 5), "alone");

  // 150 writes: more than one submission takes.
  for (int i = 0; i < 150; ++i) Fill(batch, a.Get(), i * 4096, "w" + std::to_string(i));
  ASSERT_TRUE(batch.Submit(failure));
  for (int i : {0, 63, 64, 127, 128, 149}) {
    const std::string expected = "w" + std::to_string(i);
    EXPECT_EQ(ReadBack(0, i * 4096, expected.size()), expected) << i;
  }
  // The buffers are reused by the next batch without leftovers.
  Fill(batch, a.Get(), 4096 + 2, "x");
  ASSERT_TRUE(batch.Submit(failure));
  EXPECT_EQ(ReadBack(0, 4096, 4), std::string("w1x") + '\0');
}

TEST_F(WriteBatchTest, AFailedWriteIsReportedAndTheOthersStillLand) {
  UniqueFd a = OpenFile(0);
  UniqueFd readOnly = OpenFile(1, O_RDONLY);
  WriteBatch batch;
  const int firstTag = 1, secondTag = 2;
  Fill(batch, a.Get(), 0, "before");
  Fill(batch, readOnly.Get(), 0, "refused", &firstTag);
  Fill(batch, a.Get(), 100, "after", &secondTag);
  WriteBatch::Failure failure;
  EXPECT_FALSE(batch.Submit(failure));
  EXPECT_EQ(failure.tag, &firstTag);
  EXPECT_EQ(failure.error, EBADF);
  EXPECT_TRUE(batch.Empty());
  EXPECT_EQ(ReadBack(0, 0, 6), "before");
  EXPECT_EQ(ReadBack(0, 100, 5), "after");
  EXPECT_EQ(ReadBack(1, 0, 7), "");
}

TEST_F(WriteBatchTest, OverlapsAndClear) {
  UniqueFd a = OpenFile(0);
  UniqueFd b = OpenFile(1);
  WriteBatch batch;
  Fill(batch, a.Get(), 100, "0123456789");  // bytes 100..109
  EXPECT_TRUE(batch.Overlaps(a.Get(), 109, 1));
  EXPECT_TRUE(batch.Overlaps(a.Get(), 90, 11));
  EXPECT_FALSE(batch.Overlaps(a.Get(), 110, 5));
  EXPECT_FALSE(batch.Overlaps(a.Get(), 90, 10));
  EXPECT_FALSE(batch.Overlaps(b.Get(), 100, 10)) << "another file";
  batch.Clear();
  EXPECT_TRUE(batch.Empty());
  EXPECT_FALSE(batch.Overlaps(a.Get(), 100, 10));
  WriteBatch::Failure failure;
  EXPECT_TRUE(batch.Submit(failure));
  EXPECT_EQ(ReadBack(0, 100, 10), "") << "cleared writes never land";
}

}  // namespace
}  // namespace lyrabook
