// Record bitmaps: the bit operations, range bitmaps built directly and
// through the complement (which must agree with each other and with the
// records), and the live-records bitmap read off "Sys Deleted" from either
// side.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "index/BitmapSet.h"
#include "index/IndexCursor.h"
#include "index/KeyRange.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/SongTable.h"

namespace quire {
namespace {

using testing::SongRow;

std::vector<std::uint32_t> SetRecords(const TRecordBitmap& bitmap) {
  std::vector<std::uint32_t> records;
  for (std::uint32_t r = bitmap.NextSet(0); r != 0; r = bitmap.NextSet(r)) records.push_back(r);
  return records;
}

TEST(RecordBitmap, WholeWordOperationsStopAtTheLastSlot) {
  TRecordBitmap bitmap;
  bitmap.Resize(70);  // a word and 6 bits
  bitmap.SetAll();
  EXPECT_EQ(bitmap.Count(), 70);
  EXPECT_EQ(bitmap.PriorSet(0), 70u);
  bitmap.Set(3, false);
  bitmap.Set(70, false);
  bitmap.Invert();
  EXPECT_EQ(bitmap.Count(), 2);
  EXPECT_EQ(SetRecords(bitmap), (std::vector<std::uint32_t>{3, 70}));

  TRecordBitmap other;
  other.Resize(64);  // shorter: record 70 reads as clear
  other.SetAll();
  bitmap.And(other);
  EXPECT_EQ(SetRecords(bitmap), (std::vector<std::uint32_t>{3}));
  EXPECT_EQ(bitmap.Count(), 1);
  // Growing adds clear bits; shrinking drops bits and their count.
  bitmap.Resize(200);
  bitmap.Set(130, true);
  bitmap.Set(201, true);  // outside: ignored
  EXPECT_EQ(bitmap.Count(), 2);
  bitmap.Resize(100);
  EXPECT_EQ(bitmap.Count(), 1);
  EXPECT_FALSE(bitmap.Test(130));
}

TEST(RecordBitmap, RanksAndNthRecordsAgree) {
  std::mt19937 random(7);
  TRecordBitmap bitmap;
  bitmap.Resize(1000);
  std::vector<std::uint32_t> model;
  for (std::uint32_t r = 1; r <= 1000; ++r) {
    if (random() % 3 == 0) {
      bitmap.Set(r, true);
      model.push_back(r);
    }
  }
  ASSERT_EQ(bitmap.Count(), static_cast<std::int32_t>(model.size()));
  for (std::size_t i = 0; i < model.size(); ++i) {
    EXPECT_EQ(bitmap.NthSet(static_cast<std::int32_t>(i + 1)), model[i]);
    EXPECT_EQ(bitmap.RankOf(model[i]), static_cast<std::int32_t>(i + 1));
  }
  EXPECT_EQ(bitmap.NthSet(0), 0u);
  EXPECT_EQ(bitmap.NthSet(bitmap.Count() + 1), 0u);
  EXPECT_EQ(bitmap.PriorSet(model.front()), 0u);
  EXPECT_EQ(bitmap.NextSet(model.back()), 0u);
}

class RangeBitmaps : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateSongTable(dir_.Path("t"), true);
    table_.SetFileName(dir_.Path("t"));
    table_.SetExclusive(true);
    table_.Open();
  }

  // Inserts `count` records, then deletes each record with the chance of
  // `deletePercent` in 100.
  void Fill(int count, int deletePercent) {
    static const char* names[] = {"ANNA", "BEN", "CARL", "DORA", "EVE", ""};
    for (int i = 0; i < count; ++i) {
      const SongRow row = testing::InsertSong(table_, nextCode_, names[random_() % 6]);
      nextCode_ += 3;
      rows_[row.slot] = row;
    }
    for (auto it = rows_.begin(); it != rows_.end();) {
      if (static_cast<int>(random_() % 100) < deletePercent) {
        EXPECT_TRUE(table_.GoToRecord(it->first));
        table_.DeleteRecord();
        it = rows_.erase(it);
      } else {
        ++it;
      }
    }
    // The scanner reads the file: write what the exclusive table deferred.
    table_.Close();
    table_.SetExclusive(false);
    table_.Open();
  }

  // The bound key of `row` over the index's first field, padded.
  std::vector<std::uint8_t> Bound(const TKeyOrder& order, const SongRow& row, bool high) {
    std::vector<std::uint8_t> key = order.KeyOf(testing::SongBuffer(table_, row.code, row.name));
    const std::size_t width = order.Layout().Part(0).dataSize + 1u;
    PadKey(key, width, order, table_.CollationTable(), high);
    return key;
  }

  TRecordBitmap Live() const {
    TRecordBitmap live;
    live.Resize(static_cast<std::uint32_t>(table_.SlotCount()));
    for (const auto& [slot, row] : rows_) live.Set(slot, true);
    return live;
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
  TDataFile table_;
  std::mt19937 random_{99};
  std::map<std::uint32_t, SongRow> rows_;
  std::int32_t nextCode_ = -500;
};

TEST_F(RangeBitmaps, ComplementAndDirectBuildsAgreeWithTheRecords) {
  Fill(900, 25);
  const TRecordBitmap live = Live();
  const auto slots = static_cast<std::uint32_t>(table_.SlotCount());
  for (const std::uint8_t index : {std::uint8_t{0}, testing::kByName, testing::kByCodeDown}) {
    const TKeyOrder order(table_.IndexFile(), index);
    TIndexCursor scanner(table_.IndexFile(), nullptr);
    scanner.BindIndex(index);
    for (int round = 0; round < 12; ++round) {
      SongRow from;
      SongRow to;
      from.code = static_cast<std::int32_t>(random_() % 3000) - 600;
      to.code = static_cast<std::int32_t>(random_() % 3000) - 600;
      from.name = std::string(1, static_cast<char>('A' + random_() % 6));
      to.name = std::string(1, static_cast<char>('A' + random_() % 6));
      if (round == 0) {
        from.code = -1000;  // nearly everything: the complement side is small
        to.code = 5000;
        from.name = "";
        to.name = "Z";
      }
      if (index == testing::kByCodeDown && round == 0) std::swap(from, to);
      const auto start = Bound(order, from, false);
      const auto end = Bound(order, to, true);
      SCOPED_TRACE("index " + std::to_string(index) + " round " + std::to_string(round));

      TRecordBitmap expected;
      expected.Resize(slots);
      for (const auto& [slot, row] : rows_) {
        const bool inside = testing::CompareSongs(index, from, row, true) <= 0 &&
                            testing::CompareSongs(index, row, to, true) <= 0;
        expected.Set(slot, inside);
      }
      TRecordBitmap direct;
      TRecordBitmap complement;
      TRecordBitmap automatic;
      for (TRecordBitmap* bitmap : {&direct, &complement, &automatic}) bitmap->Resize(slots);
      ASSERT_EQ(BuildRangeBitmap(scanner, order, start, end, live, TRangeBuild::Direct, direct),
                TMoveResult::Ok);
      ASSERT_EQ(
          BuildRangeBitmap(scanner, order, start, end, live, TRangeBuild::Complement, complement),
          TMoveResult::Ok);
      ASSERT_EQ(BuildRangeBitmap(scanner, order, start, end, live, TRangeBuild::Auto, automatic),
                TMoveResult::Ok);
      EXPECT_EQ(SetRecords(direct), SetRecords(expected));
      EXPECT_EQ(SetRecords(complement), SetRecords(expected));
      EXPECT_EQ(SetRecords(automatic), SetRecords(expected));
      EXPECT_EQ(complement.Count(), expected.Count());
      if (round == 0) {
        EXPECT_GT(expected.Count(), static_cast<std::int32_t>(rows_.size()) / 2);
      }
    }
  }
}

TEST_F(RangeBitmaps, EdgeKeysAtTheEndsOfTheKeySpace) {
  Fill(50, 20);
  const TKeyOrder order(table_.IndexFile(), 0);
  TIndexCursor scanner(table_.IndexFile(), nullptr);
  scanner.BindIndex(0);
  const auto slots = static_cast<std::uint32_t>(table_.SlotCount());
  // From the lowest possible key to the highest: nothing lies outside, so
  // the complement marks nothing before inverting.
  const std::vector<std::uint8_t> low(order.KeySize(), 0x00);
  const std::vector<std::uint8_t> high(order.KeySize(), 0xFF);
  TRecordBitmap bitmap;
  bitmap.Resize(slots);
  ASSERT_EQ(BuildRangeBitmap(scanner, order, low, high, Live(), TRangeBuild::Complement, bitmap),
            TMoveResult::Ok);
  EXPECT_EQ(SetRecords(bitmap), SetRecords(Live()));
  // A start after the end: empty either way.
  ASSERT_EQ(BuildRangeBitmap(scanner, order, high, low, Live(), TRangeBuild::Complement, bitmap),
            TMoveResult::Ok);
  EXPECT_EQ(bitmap.Count(), 0);
  ASSERT_EQ(BuildRangeBitmap(scanner, order, high, low, Live(), TRangeBuild::Direct, bitmap),
            TMoveResult::Ok);
  EXPECT_EQ(bitmap.Count(), 0);
}

TEST_F(RangeBitmaps, LiveRecordsFromSysDeletedFromEitherSide) {
  for (const int deletePercent : {15, 90}) {
    SCOPED_TRACE(std::to_string(deletePercent) + "% deleted");
    Fill(300, deletePercent);  // few deleted slots, then most
    TIndexCursor scanner(table_.IndexFile(), nullptr);
    scanner.BindIndex(kSysDeletedIndex);
    TRecordBitmap live;
    live.Resize(static_cast<std::uint32_t>(table_.SlotCount()));
    ASSERT_EQ(BuildLiveBitmap(scanner, live), TMoveResult::Ok);
    EXPECT_EQ(SetRecords(live), SetRecords(Live()));
  }
}

}  // namespace
}  // namespace quire
