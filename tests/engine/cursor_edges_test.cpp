// The cursor at the edges: empty ranges, jumps outside the range, moves past
// the last visible record, ranges from partial keys on a non-unique index
// and on a descending index, and the cursor's own moves and finds over the
// index file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "index/IndexCursor.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/SongTable.h"

namespace quire {
namespace {

using testing::InsertSong;
using testing::SongBuffer;
using testing::WalkSlots;

// A key of index 0: indicator 1, then the code big-endian, sign flipped.
std::vector<std::uint8_t> CodeKey(std::int32_t code) {
  const auto u = static_cast<std::uint32_t>(code) ^ 0x80000000u;
  return {1, std::uint8_t(u >> 24), std::uint8_t(u >> 16), std::uint8_t(u >> 8), std::uint8_t(u)};
}

class CursorEdges : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateSongTable(dir_.Path("t"), true);
    table_.SetFileName(dir_.Path("t"));
    table_.Open();
    // Codes 10, 20, ..., 100 in slots 1..10; names by code.
    const char* names[] = {"BEN",  "ANNA", "BEN",  "CARL", "BEN",
                           "ANNA", "DORA", "CARL", "BEN",  "EVE"};
    for (int i = 0; i < 10; ++i) InsertSong(table_, (i + 1) * 10, names[i]);
  }

  void Range(std::int32_t from, std::int32_t to) {
    table_.SetRange(SongBuffer(table_, from, ""), 1, SongBuffer(table_, to, ""), 1);
  }

  std::vector<std::int32_t> Codes(bool forward = true) {
    std::vector<std::int32_t> codes;
    auto buffer = table_.NewRecordBuffer();
    if (forward) {
      table_.First();
      while (table_.GetNextRecord(buffer) == 0) codes.push_back(testing::SongCode(table_, buffer));
    } else {
      table_.Last();
      while (table_.GetPriorRecord(buffer) == 0) codes.push_back(testing::SongCode(table_, buffer));
    }
    return codes;
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
  TDataFile table_;
};

TEST_F(CursorEdges, RangeWithStartAfterEndIsEmpty) {
  Range(70, 30);
  EXPECT_EQ(table_.RecordCount(), 0);
  EXPECT_TRUE(Codes().empty());
  EXPECT_TRUE(Codes(false).empty());
  table_.GoToPosition(1);
  EXPECT_EQ(table_.CurrentRecordNumber(), 0u);
  auto buffer = table_.NewRecordBuffer();
  table_.First();
  EXPECT_EQ(table_.GetNextRecord(buffer), err::EndOfFile);
  table_.Last();
  EXPECT_EQ(table_.GetPriorRecord(buffer), err::BeginningOfFile);
}

TEST_F(CursorEdges, RangeBetweenTwoKeysHoldsNone) {
  Range(31, 39);
  EXPECT_EQ(table_.RecordCount(), 0);
  EXPECT_TRUE(Codes().empty());
  // Beyond every key at either end.
  Range(101, 200);
  EXPECT_EQ(table_.RecordCount(), 0);
  Range(-50, 9);
  EXPECT_TRUE(Codes(false).empty());
}

TEST_F(CursorEdges, PositionsAndJumpsCountFromTheRangeStart) {
  Range(30, 70);
  EXPECT_EQ(table_.RecordCount(), 5);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{30, 40, 50, 60, 70}));
  EXPECT_EQ(Codes(false), (std::vector<std::int32_t>{70, 60, 50, 40, 30}));
  table_.GoToPosition(2);
  EXPECT_EQ(table_.CurrentRecordNumber(), 4u);
  EXPECT_EQ(table_.CurrentPosition(), 2);
  // Below the range: before the first record; above: after the last.
  auto buffer = table_.NewRecordBuffer();
  table_.GoToPosition(0);
  EXPECT_EQ(table_.CurrentRecordNumber(), 0u);
  EXPECT_EQ(table_.GetNextRecord(buffer), 0);
  EXPECT_EQ(testing::SongCode(table_, buffer), 30);
  table_.GoToPosition(6);
  EXPECT_EQ(table_.CurrentRecordNumber(), 0u);
  EXPECT_EQ(table_.GetPriorRecord(buffer), 0);
  EXPECT_EQ(testing::SongCode(table_, buffer), 70);
  // Cancelled, the whole index counts again.
  table_.CancelRange();
  EXPECT_EQ(table_.RecordCount(), 10);
  table_.GoToPosition(6);
  EXPECT_EQ(table_.CurrentRecordNumber(), 6u);
}

TEST_F(CursorEdges, SettingARangeKeepsTheCurrentRecordInsideOrMovesOn) {
  ASSERT_TRUE(table_.GoToRecord(5));  // code 50
  Range(40, 80);
  EXPECT_EQ(table_.CurrentRecordNumber(), 5u);
  EXPECT_EQ(table_.CurrentPosition(), 2);
  Range(55, 80);  // 50 is outside: the next record of the range
  EXPECT_EQ(table_.CurrentRecordNumber(), 6u);
}

TEST_F(CursorEdges, PartialKeysOfANonUniqueIndexCoverEverySuffix) {
  table_.SelectIndex(testing::kByName);
  // Start and end on one name over the name field: every BEN, whatever its
  // auto-increment suffix, in suffix order.
  table_.SetRange(SongBuffer(table_, 0, "BEN"), 1, SongBuffer(table_, 0, "BEN"), 1);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{10, 30, 50, 90}));
  // "B" to "C": BEN only; CARL sorts after "C" padded low... and before
  // "C" padded high, so it is inside.
  table_.SetRange(SongBuffer(table_, 0, "B"), 1, SongBuffer(table_, 0, "C"), 1);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{10, 30, 50, 90}));
  table_.SetRange(SongBuffer(table_, 0, "B"), 1, SongBuffer(table_, 0, "CARL"), 1);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{10, 30, 50, 90, 40, 80}));
  // An open end runs to the end of the index.
  table_.SetRange(SongBuffer(table_, 0, "DORA"), 1, {}, 0);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{70, 100}));
  table_.SetRange({}, 0, SongBuffer(table_, 0, "ANNA"), 1);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{20, 60}));
}

TEST_F(CursorEdges, DescendingIndexRangesRunFromTheHighValue) {
  table_.SelectIndex(testing::kByCodeDown);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{100, 90, 80, 70, 60, 50, 40, 30, 20, 10}));
  Range(75, 35);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{70, 60, 50, 40}));
  EXPECT_EQ(table_.RecordCount(), 4);
  table_.GoToPosition(1);
  EXPECT_EQ(table_.CurrentRecordNumber(), 7u);
  // In this order 35 comes after 75: a start of 35 and end of 75 is empty.
  Range(35, 75);
  EXPECT_EQ(table_.RecordCount(), 0);
  EXPECT_TRUE(Codes().empty());
}

TEST_F(CursorEdges, MovingPastTheLastVisibleRecordStaysAfterIt) {
  const TFilterHandle odd =
      table_.InstallFilter([this](std::span<const std::uint8_t> record, std::uint32_t) {
        return testing::SongCode(table_, record) % 20 != 0;  // 10, 30, 50, 70, 90
      });
  table_.ActivateFilter(odd);
  Range(20, 80);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{30, 50, 70}));
  EXPECT_EQ(table_.RecordCount(), 3);
  auto buffer = table_.NewRecordBuffer();
  table_.First();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(table_.GetNextRecord(buffer), 0);
  EXPECT_EQ(table_.GetNextRecord(buffer), err::EndOfFile);
  EXPECT_EQ(table_.GetNextRecord(buffer), err::EndOfFile);
  ASSERT_EQ(table_.GetPriorRecord(buffer), 0);
  EXPECT_EQ(testing::SongCode(table_, buffer), 70);
  // A jump onto a filtered-out record lands on the next visible one, and at
  // the end of the range on the previous one.
  table_.GoToPosition(1);  // 20 is hidden
  EXPECT_EQ(table_.CurrentRecordNumber(), 3u);
  table_.GoToPosition(7);  // 80 is hidden and nothing follows in the range
  EXPECT_EQ(table_.CurrentRecordNumber(), 7u);
}

TEST_F(CursorEdges, NoVisibleRecordLeavesTheCursorEmpty) {
  const TFilterHandle none =
      table_.InstallFilter([](std::span<const std::uint8_t>, std::uint32_t) { return false; });
  table_.ActivateFilter(none);
  EXPECT_EQ(table_.RecordCount(), 0);
  EXPECT_TRUE(Codes().empty());
  EXPECT_TRUE(Codes(false).empty());
  table_.GoToPosition(3);
  EXPECT_EQ(table_.CurrentRecordNumber(), 0u);
  table_.SelectIndex(kPhysicalOrder);
  EXPECT_TRUE(Codes().empty());
  EXPECT_EQ(table_.RecordCount(), 0);
}

TEST_F(CursorEdges, CursorMovesByAndFindsWithKeepEdges) {
  TIndexFile& index = table_.IndexFile();
  TIndexCursor cursor(index, nullptr);  // the table writes through: pages are on disk
  ASSERT_EQ(cursor.First(), TMoveResult::Ok);
  EXPECT_EQ(cursor.Record(), 1u);
  ASSERT_EQ(cursor.MoveBy(4), TMoveResult::Ok);
  EXPECT_EQ(cursor.Record(), 5u);
  EXPECT_EQ(cursor.Position(), 5);
  ASSERT_EQ(cursor.MoveBy(-10), TMoveResult::Ok);
  EXPECT_EQ(cursor.State(), TCursorState::BeforeFirst);
  ASSERT_EQ(cursor.MoveBy(20), TMoveResult::Ok);
  EXPECT_EQ(cursor.State(), TCursorState::AfterLast);

  bool found = false;
  // Without `nearest` a missing key leaves the cursor where it was.
  cursor.SetBeforeFirst();
  ASSERT_EQ(cursor.Find(CodeKey(35), 5, false, false, found), TMoveResult::Ok);
  EXPECT_FALSE(found);
  EXPECT_EQ(cursor.State(), TCursorState::BeforeFirst);
  // With keep-edges, a before-first cursor that finds the first key stays
  // before it; one that finds another key is on it.
  ASSERT_EQ(cursor.Find(CodeKey(10), 5, true, true, found), TMoveResult::Ok);
  EXPECT_TRUE(found);
  EXPECT_EQ(cursor.State(), TCursorState::BeforeFirst);
  ASSERT_EQ(cursor.Find(CodeKey(35), 5, true, true, found), TMoveResult::Ok);
  EXPECT_FALSE(found);
  EXPECT_EQ(cursor.Record(), 4u);
  cursor.SetAfterLast();
  ASSERT_EQ(cursor.Find(CodeKey(100), 5, true, true, found), TMoveResult::Ok);
  EXPECT_EQ(cursor.State(), TCursorState::AfterLast);
  ASSERT_EQ(cursor.Find(CodeKey(90), 5, true, true, found), TMoveResult::Ok);
  EXPECT_EQ(cursor.Record(), 9u);
  // Every key before the one sought: after the last.
  ASSERT_EQ(cursor.Find(CodeKey(500), 5, true, false, found), TMoveResult::Ok);
  EXPECT_EQ(cursor.State(), TCursorState::AfterLast);
}

TEST_F(CursorEdges, ContiguousRunStopsAtTheRangeAndAtHiddenRecords) {
  TIndexCursor cursor(table_.IndexFile(), nullptr);
  ASSERT_EQ(cursor.First(), TMoveResult::Ok);
  EXPECT_EQ(cursor.ContiguousRun(true, 100), 10u);
  EXPECT_EQ(cursor.ContiguousRun(true, 4), 4u);
  EXPECT_EQ(cursor.ContiguousRun(false, 4), 1u);
  cursor.SetRange(CodeKey(20), CodeKey(60));
  ASSERT_EQ(cursor.First(), TMoveResult::Ok);
  EXPECT_EQ(cursor.Record(), 2u);
  EXPECT_EQ(cursor.ContiguousRun(true, 100), 5u);
  TRecordBitmap visible;
  visible.Resize(10);
  for (std::uint32_t r : {2u, 3u, 5u}) visible.Set(r, true);
  cursor.SetVisibleRecords([&visible] { return &visible; });
  ASSERT_EQ(cursor.First(), TMoveResult::Ok);
  EXPECT_EQ(cursor.ContiguousRun(true, 100), 2u);
  std::int32_t count = 0;
  ASSERT_EQ(cursor.VisibleCount(count), TMoveResult::Ok);
  EXPECT_EQ(count, 3);
}

}  // namespace
}  // namespace quire
