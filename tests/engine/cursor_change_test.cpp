// Another user's changes under a range, a filter and a walk: the table
// that notices them starts its counts, bitmaps and moves again from the
// root and sees the table as the other user left it.

#include <gtest/gtest.h>

#include <vector>

#include "engine/DataFile.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/SongTable.h"

namespace quire {
namespace {

using testing::InsertSong;
using testing::SongCode;

class CursorChanges : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateSongTable(dir_.Path("t"), true);
    for (TDataFile* table : {&mine_, &theirs_}) {
      table->SetFileName(dir_.Path("t"));
      // Every read checks for the other user's changes.
      table->SetStrictChangeDetection(true);
      table->Open();
    }
    for (int code = 10; code <= 600; code += 10) InsertSong(theirs_, code, "N");
  }

  std::vector<std::int32_t> Codes(TDataFile& table) {
    std::vector<std::int32_t> codes;
    auto buffer = table.NewRecordBuffer();
    table.First();
    while (table.GetNextRecord(buffer) == 0) codes.push_back(SongCode(table, buffer));
    return codes;
  }

  void Delete(TDataFile& table, std::int32_t code) {
    auto search = testing::SongBuffer(table, code, "");
    ASSERT_TRUE(table.FindKey(search, {}));
    table.DeleteRecord();
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
  TDataFile mine_;
  TDataFile theirs_;
};

TEST_F(CursorChanges, RangeCountsFollowTheOtherUsersChanges) {
  mine_.SetRange(testing::SongBuffer(mine_, 200, ""), 1, testing::SongBuffer(mine_, 300, ""), 1);
  EXPECT_EQ(mine_.RecordCount(), 11);
  InsertSong(theirs_, 255, "N");
  Delete(theirs_, 200);
  Delete(theirs_, 210);
  EXPECT_EQ(mine_.RecordCount(), 10);
  EXPECT_EQ(Codes(mine_),
            (std::vector<std::int32_t>{220, 230, 240, 250, 255, 260, 270, 280, 290, 300}));
  mine_.GoToPosition(5);
  EXPECT_EQ(SongCode(mine_,
                     [&] {
                       auto b = mine_.NewRecordBuffer();
                       mine_.GetCurrentRecord(b);
                       return b;
                     }()),
            255);
}

TEST_F(CursorChanges, FilterBitmapsAreBuiltAgainAfterTheOtherUsersChanges) {
  const TFilterHandle big =
      mine_.InstallFilter([this](std::span<const std::uint8_t> record, std::uint32_t) {
        return SongCode(mine_, record) > 550;
      });
  mine_.ActivateFilter(big);
  EXPECT_EQ(Codes(mine_), (std::vector<std::int32_t>{560, 570, 580, 590, 600}));
  InsertSong(theirs_, 700, "N");
  InsertSong(theirs_, 5, "N");
  Delete(theirs_, 570);
  EXPECT_EQ(Codes(mine_), (std::vector<std::int32_t>{560, 580, 590, 600, 700}));
  EXPECT_EQ(mine_.RecordCount(), 5);
  mine_.SelectIndex(kPhysicalOrder);
  InsertSong(theirs_, 800, "N");
  std::vector<std::int32_t> physical = Codes(mine_);
  // By slot: 800 took the slot 570 left, between 560 and 580.
  EXPECT_EQ(physical, (std::vector<std::int32_t>{560, 800, 580, 590, 600, 700}));
}

TEST_F(CursorChanges, AWalkGoesOnFromItsKeyAfterTheTreeWasReshaped) {
  auto buffer = mine_.NewRecordBuffer();
  mine_.First();
  for (int i = 0; i < 30; ++i) ASSERT_EQ(mine_.GetNextRecord(buffer), 0);
  ASSERT_EQ(SongCode(mine_, buffer), 300);
  // The other user deletes the records around ours and adds many more, so
  // that pages split and merge under our cursor.
  for (int code = 100; code <= 500; code += 10) {
    if (code != 300) Delete(theirs_, code);
  }
  for (int code = 301; code < 700; code += 2) InsertSong(theirs_, code, "N");
  ASSERT_EQ(mine_.GetNextRecord(buffer), 0);
  EXPECT_EQ(SongCode(mine_, buffer), 301);
  ASSERT_EQ(mine_.GetPriorRecord(buffer), 0);
  EXPECT_EQ(SongCode(mine_, buffer), 300);
  ASSERT_EQ(mine_.GetPriorRecord(buffer), 0);
  EXPECT_EQ(SongCode(mine_, buffer), 90);
  EXPECT_EQ(mine_.CurrentPosition(), 9);
}

TEST_F(CursorChanges, KeyCountsSeeTheOtherUsersKeys) {
  std::int32_t code = 300;
  EXPECT_EQ(mine_.CountKeysForComparison(TKeyComparison::Greater, &code, 4), 30);
  for (int c = 1000; c < 1100; ++c) InsertSong(theirs_, c, "N");
  EXPECT_EQ(mine_.CountKeysForComparison(TKeyComparison::Greater, &code, 4), 130);
}

}  // namespace
}  // namespace quire
