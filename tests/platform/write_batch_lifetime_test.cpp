// What a write batch holds between submissions: nothing of the kernel's.
// Tables make one and destroy it on every open and close, so neither may
// wait on the kernel, and a batch made in one thread or before a fork must
// work in another thread or in the child. A kernel context for native
// asynchronous I/O would map an "[aio]" ring into the process, which is how
// the first test looks for one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"
#include "platform/WriteBatch.h"

namespace lyrabook {
namespace {

int KernelContexts() {
  std::ifstream maps("/proc/self/maps");
  int count = 0;
  for (std::string line; std::getline(maps, line);)
    if (line.find("[aio]") != std::string::npos) ++count;
  return count;
}

class WriteBatchLifetimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lyrabook-lifetime-XXXXXX";
    UniqueFd fd(mkstemp(pattern));
    ASSERT_TRUE(fd.Valid());
    path_ = pattern;
    fd_ = UniqueFd(open(path_.c_str(), O_RDWR));
    ASSERT_TRUE(fd_.Valid());
  }
  void TearDown() override { unlink(path_.c_str()); }

  // Queues `text` at 0, 4096 and 8192 (scattered, as a change writes its
  // pages) and submits the three writes.
  bool WriteThree(WriteBatch& batch, const std::string& text) const {
    for (std::int64_t offset : {0, 4096, 8192}) {
      const auto buffer = batch.Add(fd_.Get(), offset, text.size(), nullptr);
      std::memcpy(buffer.data(), text.data(), text.size());
    }
    WriteBatch::Failure failure;
    return batch.Submit(failure);
  }
  // What another open of the file reads at the three offsets, joined by '|'.
  std::string ReadThree(std::size_t size) const {
    UniqueFd fd(open(path_.c_str(), O_RDONLY));
    std::string joined;
    for (off_t offset : {0, 4096, 8192}) {
      std::string bytes(size, '\0');
      const ssize_t n = pread(fd.Get(), bytes.data(), size, offset);
      bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
      joined += (joined.empty() ? "" : "|") + bytes;
    }
    return joined;
  }

  std::string path_;
  UniqueFd fd_;
};

TEST_F(WriteBatchLifetimeTest, BatchesHoldNoKernelContext) {
  const int before = KernelContexts();
  std::vector<std::unique_ptr<WriteBatch>> alive;
  std::vector<bool> submitted;
  for (int i = 0; i < 5; ++i) {
    alive.push_back(std::make_unique<WriteBatch>());
    submitted.push_back(WriteThree(*alive.back(), "batch" + std::to_string(i)));
  }
  EXPECT_EQ(KernelContexts(), before) << "five batches alive, each having submitted";
  for (int i = 5; i < 10; ++i) {
    WriteBatch batch;  // made, used and destroyed, as a statement's tables are
    submitted.push_back(WriteThree(batch, "batch" + std::to_string(i)));
  }
  EXPECT_EQ(submitted, std::vector<bool>(10, true));
  EXPECT_EQ(ReadThree(6), "batch9|batch9|batch9");
  EXPECT_EQ(KernelContexts(), before);
}

TEST_F(WriteBatchLifetimeTest, ABatchWorksInAnotherThreadAndInAChildOfFork) {
  WriteBatch batch;
  ASSERT_TRUE(WriteThree(batch, "main"));
  bool ok = false;
  std::thread([&] { ok = WriteThree(batch, "other"); }).join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadThree(5), "other|other|other");

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(WriteThree(batch, "child!") ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadThree(6), "child!|child!|child!");
  EXPECT_TRUE(WriteThree(batch, "parent"));
  EXPECT_EQ(ReadThree(6), "parent|parent|parent");
}

}  // namespace
}  // namespace lyrabook
