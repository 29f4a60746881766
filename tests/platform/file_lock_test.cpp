// Range locks and share modes on open file descriptions: two opens of one
// file in this process behave as two programs would.
#include "platform/FileLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/UniqueFd.h"

namespace lyrabook {
namespace {

class FileLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lyrabook-lock-XXXXXX";
    UniqueFd fd(mkstemp(pattern));
    ASSERT_TRUE(fd.Valid());
    path_ = pattern;
  }
  void TearDown() override { unlink(path_.c_str()); }
  UniqueFd OpenFile(int flags = O_RDWR) const { return UniqueFd(open(path_.c_str(), flags)); }

  std::string path_;
};

TEST_F(FileLockTest, OpensOfOneFileExcludeEachOther) {
  UniqueFd a = OpenFile(), b = OpenFile();
  FileRangeLocks la(a.Get(), true), lb(b.Get(), true);
  EXPECT_TRUE(la.Lock(2147483645, 1));
  EXPECT_FALSE(lb.Lock(2147483645, 1));
  EXPECT_FALSE(lb.Lock(2147483600, 100));
  EXPECT_TRUE(lb.Lock(2147483646, 1));
  EXPECT_EQ(lb.Count(), 1u) << "a refused lock is not listed";
  EXPECT_TRUE(la.Unlock(2147483645, 1));
  EXPECT_TRUE(lb.Lock(2147483645, 1));
}

TEST_F(FileLockTest, OneOpenRefusesOverlapsAndUnknownUnlocks) {
  UniqueFd a = OpenFile(), b = OpenFile();
  FileRangeLocks la(a.Get(), true), lb(b.Get(), true);
  ASSERT_TRUE(la.Lock(100, 10));
  EXPECT_FALSE(la.Lock(109, 1)) << "Linux would merge this";
  EXPECT_FALSE(la.Lock(90, 11));
  EXPECT_TRUE(la.Lock(110, 5)) << "adjacent is no overlap";
  EXPECT_FALSE(la.Unlock(100, 5)) << "part of a range";
  EXPECT_FALSE(la.Unlock(100, 15)) << "two ranges at once";
  EXPECT_FALSE(la.Unlock(200, 1)) << "never locked";
  // The partial unlocks above must not have released anything.
  EXPECT_FALSE(lb.Lock(100, 1));
  EXPECT_FALSE(lb.Lock(114, 1));
  EXPECT_TRUE(la.Holds(110, 5));
  EXPECT_TRUE(la.Unlock(110, 5));
  EXPECT_FALSE(la.Holds(110, 5));
  EXPECT_TRUE(lb.Lock(114, 1));
}

TEST_F(FileLockTest, EmptyRangesAndTheShareByteAreRefused) {
  UniqueFd a = OpenFile(), b = OpenFile();
  FileRangeLocks la(a.Get(), true), lb(b.Get(), true);
  EXPECT_FALSE(la.Lock(10, 0)) << "Linux would lock to the end of the file";
  EXPECT_TRUE(lb.Lock(5000, 1)) << "so nothing was locked";
  EXPECT_FALSE(la.Lock(-1, 2));
  EXPECT_FALSE(la.Lock(kShareLockOffset, 1));
  EXPECT_FALSE(la.Lock(kShareLockOffset - 1, 2));
  EXPECT_TRUE(la.Lock(kShareLockOffset - 1, 1));
  EXPECT_TRUE(la.Lock(kShareLockOffset + 1, 1));
}

TEST_F(FileLockTest, ClosingOneOpenKeepsTheOthersLocks) {
  UniqueFd a = OpenFile(), b = OpenFile(), c = OpenFile();
  FileRangeLocks la(a.Get(), true), lb(b.Get(), true), lc(c.Get(), true);
  ASSERT_TRUE(la.Lock(1, 1));
  ASSERT_TRUE(lb.Lock(2, 1));
  lb.Forget();
  b.Reset();
  EXPECT_FALSE(lc.Lock(1, 1)) << "a's lock survives b's close";
  EXPECT_TRUE(lc.Lock(2, 1)) << "b's went with it";
}

TEST_F(FileLockTest, ReadOnlyDescriptorsTakeReadLocks) {
  UniqueFd ro = OpenFile(O_RDONLY), ro2 = OpenFile(O_RDONLY), rw = OpenFile();
  FileRangeLocks lro(ro.Get(), false), lro2(ro2.Get(), false), lrw(rw.Get(), true);
  EXPECT_TRUE(lro.Lock(50, 1));
  EXPECT_TRUE(lro2.Lock(50, 1)) << "read locks go together";
  EXPECT_FALSE(lrw.Lock(0, 65535)) << "but keep writers out";
  ASSERT_TRUE(lro.Unlock(50, 1));
  ASSERT_TRUE(lro2.Unlock(50, 1));
  EXPECT_TRUE(lrw.Lock(0, 65535));
  EXPECT_FALSE(lro.Lock(60, 1));
}

TEST_F(FileLockTest, ShareModes) {
  UniqueFd a = OpenFile(), b = OpenFile(), c = OpenFile();
  EXPECT_EQ(TakeShareLock(a.Get(), false, true), 0);
  EXPECT_EQ(TakeShareLock(b.Get(), false, true), 0);
  const int refused = TakeShareLock(c.Get(), true, true);
  EXPECT_TRUE(IsLockConflict(refused)) << refused;
  a.Reset();
  b.Reset();
  EXPECT_EQ(TakeShareLock(c.Get(), true, true), 0);
  UniqueFd d = OpenFile();
  EXPECT_TRUE(IsLockConflict(TakeShareLock(d.Get(), false, true)));
  // The share byte does not disturb range locks of the same open file.
  FileRangeLocks lc(c.Get(), true);
  EXPECT_TRUE(lc.Lock(kShareLockOffset - 2, 1));
}

TEST_F(FileLockTest, ExclusiveOnAReadOnlyDescriptor) {
  UniqueFd shared = OpenFile(), ro = OpenFile(O_RDONLY), later = OpenFile();
  ASSERT_EQ(TakeShareLock(shared.Get(), false, true), 0);
  EXPECT_TRUE(IsLockConflict(TakeShareLock(ro.Get(), true, false)));
  shared.Reset();
  EXPECT_EQ(TakeShareLock(ro.Get(), true, false), 0);
  EXPECT_TRUE(IsLockConflict(TakeShareLock(later.Get(), true, true)));
}

}  // namespace
}  // namespace lyrabook
