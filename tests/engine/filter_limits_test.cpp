// Filters on a table: the 128-filter limit, refused handles and tests, one
// or all filters switched at once, refreshing a filter whose condition
// changed, bitmap mode ending with the last active filter, physical order,
// scan-and-test, and the visible records following inserts, changes and
// deletes.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/SongTable.h"
#include "support/TableRequests.h"

namespace quire {
namespace {

using testing::ErrorCodeOf;
using testing::ErrorMessageOf;
using testing::InsertSong;
using testing::SongCode;

class Filters : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateSongTable(dir_.Path("t"), true);
    table_.SetFileName(dir_.Path("t"));
    table_.Open();
    for (int code = 1; code <= 10; ++code) InsertSong(table_, code, "N");
  }

  // A filter passing the codes `keep` accepts.
  TFilterHandle Filter(std::function<bool(std::int32_t)> keep) {
    return table_.InstallFilter([this, keep](std::span<const std::uint8_t> record, std::uint32_t) {
      return keep(SongCode(table_, record));
    });
  }

  std::vector<std::int32_t> Codes() {
    std::vector<std::int32_t> codes;
    auto buffer = table_.NewRecordBuffer();
    table_.First();
    while (table_.GetNextRecord(buffer) == 0) codes.push_back(SongCode(table_, buffer));
    return codes;
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
  TDataFile table_;
};

TEST_F(Filters, TheHundredAndTwentyNinthFilterIsRefused) {
  std::vector<TFilterHandle> handles;
  for (int i = 0; i < 128; ++i) handles.push_back(Filter([i](std::int32_t c) { return c != i; }));
  EXPECT_EQ(table_.FilterCount(), 128u);
  EXPECT_EQ(ErrorCodeOf([&] { Filter([](std::int32_t) { return true; }); }), err::TooManyFilters);
  EXPECT_EQ(
      ErrorMessageOf([&] { Filter([](std::int32_t) { return true; }); }),
      "Quire Engine Error # 9482 Too many filters defined for data file " + table_.FileName());
  EXPECT_EQ(table_.FilterCount(), 128u);
  // The limit is checked before the filter itself.
  EXPECT_EQ(ErrorCodeOf([&] { table_.InstallFilter(TRecordTest()); }), err::TooManyFilters);
  // The installed ones work as before: filter i hides code i.
  table_.ActivateFilter(handles[3]);
  table_.ActivateFilter(handles[7]);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{1, 2, 4, 5, 6, 8, 9, 10}));
  // Room again once they are gone.
  table_.RemoveAllFilters();
  EXPECT_EQ(table_.FilterCount(), 0u);
  EXPECT_EQ(Codes().size(), 10u);
  Filter([](std::int32_t) { return true; });
  EXPECT_EQ(table_.FilterCount(), 1u);
}

TEST_F(Filters, AFilterWithoutATestIsRefused) {
  EXPECT_EQ(ErrorCodeOf([&] { table_.InstallFilter(TRecordTest()); }),
            err::InvalidFilterExpression);
  EXPECT_EQ(ErrorMessageOf([&] { table_.InstallFilter(TRecordTest()); }),
            "Quire Engine Error # 10051 Invalid filter expression specified for data file " +
                table_.FileName());
  EXPECT_EQ(table_.FilterCount(), 0u);
}

TEST_F(Filters, HandlesNotInstalledAreRefused) {
  const TFilterHandle handle = Filter([](std::int32_t) { return true; });
  EXPECT_EQ(ErrorCodeOf([&] { table_.ActivateFilter(handle + 1); }), err::InvalidFilterHandle);
  EXPECT_EQ(ErrorCodeOf([&] { table_.DeactivateFilter(handle + 1); }), err::InvalidFilterHandle);
  EXPECT_EQ(ErrorCodeOf([&] { table_.RefreshFilter(handle + 1); }), err::InvalidFilterHandle);
  EXPECT_EQ(ErrorMessageOf([&] { table_.ActivateFilter(handle + 1); }),
            "Quire Engine Error # 10050 Invalid filter handle specified for data file " +
                table_.FileName());
  // A removed filter's handle is not given to the next one.
  table_.RemoveAllFilters();
  const TFilterHandle next = Filter([](std::int32_t) { return true; });
  EXPECT_NE(next, handle);
  EXPECT_EQ(ErrorCodeOf([&] { table_.ActivateFilter(handle); }), err::InvalidFilterHandle);
}

TEST_F(Filters, AllFiltersSwitchTogetherAndBitmapModeEndsWithTheLast) {
  const TFilterHandle even = Filter([](std::int32_t c) { return c % 2 == 0; });
  const TFilterHandle small = Filter([](std::int32_t c) { return c <= 6; });
  EXPECT_FALSE(table_.BitmapMode());
  table_.ActivateFilter();
  EXPECT_TRUE(table_.BitmapMode());
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{2, 4, 6}));
  EXPECT_EQ(table_.RecordCount(), 3);
  table_.DeactivateFilter(even);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));
  table_.DeactivateFilter(small);
  EXPECT_FALSE(table_.BitmapMode());
  EXPECT_EQ(table_.RecordCount(), 10);
  table_.ActivateFilter();
  table_.DeactivateFilter();
  EXPECT_FALSE(table_.BitmapMode());
  EXPECT_EQ(Codes().size(), 10u);
  // Physical order is bitmap mode of its own.
  table_.SelectIndex(kPhysicalOrder);
  EXPECT_TRUE(table_.BitmapMode());
}

TEST_F(Filters, RefreshTestsEveryRecordAgain) {
  std::int32_t limit = 3;
  const TFilterHandle below = Filter([&limit](std::int32_t c) { return c <= limit; });
  table_.ActivateFilter(below);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{1, 2, 3}));
  limit = 5;
  // Until refreshed, the bitmap holds what the filter said when it was built.
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{1, 2, 3}));
  table_.RefreshFilter(below);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(table_.RecordCount(), 5);
}

TEST_F(Filters, RebuildingTheBitmapsTestsEveryActiveFilterAgain) {
  std::int32_t low = 3;
  std::int32_t high = 8;
  table_.ActivateFilter(Filter([&low](std::int32_t c) { return c >= low; }));
  table_.ActivateFilter(Filter([&high](std::int32_t c) { return c <= high; }));
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{3, 4, 5, 6, 7, 8}));
  low = 5;
  high = 9;
  table_.RebuildBitmaps();
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{5, 6, 7, 8, 9}));
}

TEST_F(Filters, VisibleRecordsFollowInsertsChangesAndDeletes) {
  const TFilterHandle even = Filter([](std::int32_t c) { return c % 2 == 0; });
  table_.ActivateFilter(even);
  EXPECT_EQ(table_.RecordCount(), 5);
  InsertSong(table_, 12, "N");
  InsertSong(table_, 13, "N");
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{2, 4, 6, 8, 10, 12}));
  // 4 becomes 15 and leaves; 5 becomes 14 and comes in.
  ASSERT_TRUE(table_.GoToRecord(4));
  auto buffer = testing::SongBuffer(table_, 15, "N");
  table_.ModifyRecord(buffer);
  ASSERT_TRUE(table_.GoToRecord(5));
  buffer = testing::SongBuffer(table_, 14, "N");
  table_.ModifyRecord(buffer);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{2, 6, 8, 10, 12, 14}));
  ASSERT_TRUE(table_.GoToRecord(6));
  table_.DeleteRecord();
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{2, 8, 10, 12, 14}));
  EXPECT_EQ(table_.RecordCount(), 5);
  // The slot freed by the delete is reused by the next insert.
  InsertSong(table_, 16, "N");
  EXPECT_EQ(table_.CurrentRecordNumber(), 6u);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{2, 8, 10, 12, 14, 16}));
  // In physical order too, by slot.
  table_.SelectIndex(kPhysicalOrder);
  EXPECT_EQ(testing::WalkSlots(table_, true), (std::vector<std::uint32_t>{2, 5, 6, 8, 10, 11}));
  EXPECT_EQ(testing::WalkSlots(table_, false), (std::vector<std::uint32_t>{11, 10, 8, 6, 5, 2}));
  table_.GoToPosition(3);
  EXPECT_EQ(table_.CurrentRecordNumber(), 6u);
  EXPECT_EQ(table_.CurrentPosition(), 3);
}

TEST_F(Filters, FiltersAndRangesCombine) {
  const TFilterHandle odd = Filter([](std::int32_t c) { return c % 2 != 0; });
  table_.ActivateFilter(odd);
  table_.SetRange(testing::SongBuffer(table_, 4, ""), 1, testing::SongBuffer(table_, 8, ""), 1);
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{5, 7}));
  EXPECT_EQ(table_.RecordCount(), 2);
  InsertSong(table_, 0, "N");   // outside the range
  InsertSong(table_, -3, "N");  // outside, odd
  EXPECT_EQ(table_.RecordCount(), 2);
  table_.CancelRange();
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{-3, 1, 3, 5, 7, 9}));
}

TEST_F(Filters, ScanAndTestNarrowsOrFillsABitmap) {
  ASSERT_TRUE(table_.GoToRecord(2));
  table_.DeleteRecord();
  const TRecordTest big = [this](std::span<const std::uint8_t> record, std::uint32_t) {
    return SongCode(table_, record) >= 5;
  };
  TRecordBitmap all;
  table_.ScanAndTest(all, false, big);
  EXPECT_EQ(all.Count(), 6);  // 5..10; the deleted slot stays clear
  for (std::uint32_t r = 5; r <= 10; ++r) EXPECT_TRUE(all.Test(r)) << r;

  TRecordBitmap some;
  some.Resize(10);
  for (std::uint32_t r : {1u, 2u, 6u, 7u}) some.Set(r, true);
  table_.ScanAndTest(some, true, big);
  EXPECT_EQ(some.Count(), 2);
  EXPECT_TRUE(some.Test(6));
  EXPECT_TRUE(some.Test(7));
}

}  // namespace
}  // namespace quire
