// The optimiser's key counts: every comparison kind on the first field of
// an ascending, a descending and a descending-field index, null keys kept
// out of value comparisons, equal comparisons over a string prefix, and the
// padding of partial keys.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "index/ComparisonBounds.h"
#include "index/KeyRange.h"
#include "support/EngineScope.h"
#include "support/ScratchDir.h"
#include "support/TableRequests.h"

namespace quire {
namespace {

using testing::Field;
using testing::Index;
using testing::Request;

struct Row {
  std::int32_t code;
  std::string name;  // "" is null
};

// Code integer (primary), Name string(8); "ByName" (not unique), "Down"
// (Code, unique, descending as a whole), "DownField" (Code, unique, its
// field descending in an ascending index).
class KeyCounts : public ::testing::Test {
 protected:
  void SetUp() override {
    auto request = Request({Field("Code", ftype::Integer), Field("Name", ftype::String, 8),
                            Field("ID", ftype::Integer, 0, fsubtype::AutoInc)});
    request.Primary = Index("", {1});
    request.Secondary.push_back(Index("ByName", {2}));
    TIndexDefinition down = Index("Down", {1}, true);
    down.Descending = 1;
    request.Secondary.push_back(down);
    TIndexDefinition downField = Index("DownField", {1}, true);
    downField.FieldDescending[0] = 1;
    request.Secondary.push_back(downField);
    testing::CreateTable(dir_.Path("t"), request);
    table_.SetFileName(dir_.Path("t"));
    table_.Open();
    std::mt19937 random(5);
    static const char* names[] = {"", "AB", "ABBA", "B", "BEN", "BENNY", "CARL", "ZED"};
    for (std::int32_t code = -40; code <= 40; code += 2) {
      Row row{code, names[random() % 8]};
      auto buffer = table_.NewRecordBuffer();
      table_.InitRecord(buffer);
      table_.SetField(true, 1, buffer, &row.code, 4);
      table_.SetField(true, 2, buffer, row.name.data(), row.name.size());
      table_.InsertRecord(buffer);
      rows_.push_back(row);
    }
  }

  std::int32_t Expected(const std::function<bool(const Row&)>& selects) const {
    return static_cast<std::int32_t>(std::count_if(rows_.begin(), rows_.end(), selects));
  }

  std::int32_t Count(TKeyComparison kind, std::int32_t code) {
    return table_.CountKeysForComparison(kind, &code, 4);
  }

  std::int32_t Count(TKeyComparison kind, const std::string& name, std::size_t prefix = 0) {
    return table_.CountKeysForComparison(kind, name.data(), name.size(), prefix);
  }

  testing::EngineScope engine_;
  testing::ScratchDir dir_;
  TDataFile table_;
  std::vector<Row> rows_;
};

TEST_F(KeyCounts, IntegerComparisonsInEveryIndexOrder) {
  for (const std::string index : {"", "Down", "DownField"}) {
    SCOPED_TRACE("index '" + index + "'");
    table_.SelectIndex(index);
    for (const std::int32_t c : {-41, -40, -7, 0, 1, 22, 40, 41}) {
      SCOPED_TRACE("constant " + std::to_string(c));
      EXPECT_EQ(Count(TKeyComparison::Equal, c),
                Expected([c](const Row& r) { return r.code == c; }));
      // Not equal counts the keys equal to the constant: the optimiser
      // weighs the index by what it must skip.
      EXPECT_EQ(Count(TKeyComparison::NotEqual, c),
                Expected([c](const Row& r) { return r.code == c; }));
      EXPECT_EQ(Count(TKeyComparison::Greater, c),
                Expected([c](const Row& r) { return r.code > c; }));
      EXPECT_EQ(Count(TKeyComparison::GreaterOrEqual, c),
                Expected([c](const Row& r) { return r.code >= c; }));
      EXPECT_EQ(Count(TKeyComparison::Less, c), Expected([c](const Row& r) { return r.code < c; }));
      EXPECT_EQ(Count(TKeyComparison::LessOrEqual, c),
                Expected([c](const Row& r) { return r.code <= c; }));
    }
    EXPECT_EQ(table_.CountKeysForComparison(TKeyComparison::IsNull, nullptr, 0), 0);
    EXPECT_EQ(table_.CountKeysForComparison(TKeyComparison::IsNotNull, nullptr, 0), 41);
  }
}

TEST_F(KeyCounts, IntegerLimitsHaveNothingBeyond) {
  EXPECT_EQ(Count(TKeyComparison::Greater, 2147483647), 0);
  EXPECT_EQ(Count(TKeyComparison::Less, -2147483647 - 1), 0);
  EXPECT_EQ(Count(TKeyComparison::LessOrEqual, 2147483647), 41);
  table_.SelectIndex("Down");
  EXPECT_EQ(Count(TKeyComparison::Greater, 2147483647), 0);
  EXPECT_EQ(Count(TKeyComparison::GreaterOrEqual, -2147483647 - 1), 41);
}

TEST_F(KeyCounts, StringComparisonsLeaveNullKeysOut) {
  table_.SelectIndex("ByName");
  const auto null = [](const Row& r) { return r.name.empty(); };
  ASSERT_GT(Expected(null), 0);
  EXPECT_EQ(table_.CountKeysForComparison(TKeyComparison::IsNull, nullptr, 0), Expected(null));
  EXPECT_EQ(table_.CountKeysForComparison(TKeyComparison::IsNotNull, nullptr, 0),
            Expected([](const Row& r) { return !r.name.empty(); }));
  // An equal comparison with no value, or a blank one, is a null test.
  EXPECT_EQ(table_.CountKeysForComparison(TKeyComparison::Equal, nullptr, 0), Expected(null));
  EXPECT_EQ(Count(TKeyComparison::Equal, std::string("  ")), Expected(null));
  EXPECT_EQ(table_.CountKeysForComparison(TKeyComparison::NotEqual, nullptr, 0),
            Expected([](const Row& r) { return !r.name.empty(); }));
  for (const std::string c : {"A", "AB", "B", "BEN", "BZ", "ZED", "ZZ"}) {
    SCOPED_TRACE(c);
    const auto present = [](const Row& r) { return !r.name.empty(); };
    EXPECT_EQ(Count(TKeyComparison::Equal, c), Expected([&](const Row& r) { return r.name == c; }));
    EXPECT_EQ(Count(TKeyComparison::Less, c),
              Expected([&](const Row& r) { return present(r) && r.name < c; }));
    EXPECT_EQ(Count(TKeyComparison::LessOrEqual, c),
              Expected([&](const Row& r) { return present(r) && r.name <= c; }));
    EXPECT_EQ(Count(TKeyComparison::Greater, c),
              Expected([&](const Row& r) { return r.name > c; }));
    EXPECT_EQ(Count(TKeyComparison::GreaterOrEqual, c),
              Expected([&](const Row& r) { return r.name >= c; }));
  }
}

TEST_F(KeyCounts, EqualOverAPrefixOfAString) {
  table_.SelectIndex("ByName");
  for (const std::size_t m : {1u, 2u, 3u}) {
    SCOPED_TRACE(m);
    const std::string c = "BENNY";
    EXPECT_EQ(Count(TKeyComparison::Equal, c, m), Expected([&](const Row& r) {
                return !r.name.empty() && r.name.substr(0, m) == c.substr(0, m);
              }));
  }
}

TEST_F(KeyCounts, PaddingFillsEachPartWithItsLowestOrHighest) {
  table_.SelectIndex("ByName");
  const TKeyOrder order(table_.IndexFile(), 1);
  // The name part (indicator and DataSize 9), then the 4-byte suffix.
  ASSERT_EQ(order.KeySize(), 10 + 4);
  std::vector<std::uint8_t> key(order.KeySize(), 0x55);
  PadKey(key, 3, order, table_.CollationTable(), false);
  std::vector<std::uint8_t> expected(order.KeySize(), 0x00);
  std::fill_n(expected.begin(), 3, 0x55);
  EXPECT_EQ(key, expected);
  PadKey(key, 10, order, table_.CollationTable(), true);
  std::fill(expected.begin() + 10, expected.end(), 0xFF);
  EXPECT_EQ(key, expected);
  // A descending index pads the other way round.
  const TKeyOrder down(table_.IndexFile(), 2);
  std::vector<std::uint8_t> low(down.KeySize(), 0x55);
  PadKey(low, 0, down, table_.CollationTable(), false);
  EXPECT_EQ(low, std::vector<std::uint8_t>(down.KeySize(), 0xFF));
}

TEST(KeyArithmetic, OneStepsCarryAndStopAtTheEnds) {
  std::vector<std::uint8_t> key{0x01, 0xFF, 0xFF};
  EXPECT_TRUE(IncrementKey(key));
  EXPECT_EQ(key, (std::vector<std::uint8_t>{0x02, 0x00, 0x00}));
  EXPECT_TRUE(DecrementKey(key));
  EXPECT_EQ(key, (std::vector<std::uint8_t>{0x01, 0xFF, 0xFF}));
  std::vector<std::uint8_t> top{0xFF, 0xFF};
  EXPECT_FALSE(IncrementKey(top));
  std::vector<std::uint8_t> bottom{0x00, 0x00};
  EXPECT_FALSE(DecrementKey(bottom));
}

}  // namespace
}  // namespace quire
