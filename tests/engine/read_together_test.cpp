// Several reads of a shared table as one operation: the transient read lock
// the first read takes stays until the last has run (so a writer waits for
// all of them together, and no read in between repeats the change check),
// and is given back afterwards, also when a read fails.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "support/EngineScope.h"
#include "support/LockHolderProcess.h"
#include "support/ScratchDir.h"
#include "support/SongTable.h"

namespace quire {
namespace {

using testing::LockHolderProcess;

constexpr long long kRangeFirst = 2147418112;  // the writers' index range

class ReadTogetherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateSongTable(dir_.Path("SONG"), true);
    table_.SetFileName(dir_.Path("SONG"));
    table_.Open();
    for (int code = 1; code <= 30; ++code) testing::InsertSong(table_, code, "n");
    // Another table object's change drops what this one cached, so that
    // the reads below go to the files.
    TDataFile other;
    other.SetFileName(dir_.Path("SONG"));
    other.Open();
    testing::InsertSong(other, 99, "x");
    other.Close();
  }
  void TearDown() override { table_.Close(); }
  std::string Index() const { return dir_.Path("SONG.IDX"); }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
  TDataFile table_;
};

TEST_F(ReadTogetherTest, TheLockOfTheFirstReadLastsUntilTheLast) {
  std::vector<std::string> probes;
  std::int32_t count = 0;
  table_.ReadTogether([&] {
    count = table_.RecordCount();
    probes.push_back(LockHolderProcess::Probe(Index(), kRangeFirst, 65535));
    std::vector<std::uint8_t> record = table_.NewRecordBuffer();
    table_.First();
    EXPECT_EQ(table_.GetNextRecord(record), 0);
    probes.push_back(LockHolderProcess::Probe(Index(), kRangeFirst, 65535));
  });
  EXPECT_EQ(count, 31) << "the other table's row is seen";
  EXPECT_EQ(probes, (std::vector<std::string>{"held", "held"}));
  EXPECT_EQ(LockHolderProcess::Probe(Index(), kRangeFirst, 65535), "free");
  EXPECT_FALSE(table_.Locks().TransientReadLocked());
}

TEST_F(ReadTogetherTest, AFailingReadGivesTheLockBack) {
  EXPECT_THROW(table_.ReadTogether([&] {
    table_.RecordCount();
    throw std::runtime_error("stop");
  }),
               std::runtime_error);
  EXPECT_FALSE(table_.Locks().TransientReadLocked());
  EXPECT_EQ(LockHolderProcess::Probe(Index(), kRangeFirst, 65535), "free");
}

}  // namespace
}  // namespace quire
