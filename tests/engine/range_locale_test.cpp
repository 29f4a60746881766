// Range bounds under a table locale: string parts pad with the ends of the
// collation table, descending fields pad the other way round because the
// locale order compares them negated, and the other parts keep 0x00 / 0xFF.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "index/IndexFile.h"
#include "index/KeyRange.h"
#include "support/ScratchDir.h"

namespace quire {
namespace {

// A locale order that is plain byte order; only its presence matters here.
class ByteCollation : public TKeyCollation {
 public:
  int Compare(const std::uint8_t* a, std::size_t aLength, const std::uint8_t* b,
              std::size_t bLength) const override {
    const int r = std::memcmp(a, b, std::min(aLength, bLength));
    if (r != 0) return r < 0 ? -1 : 1;
    return aLength == bLength ? 0 : (aLength < bLength ? -1 : 1);
  }
};

class LocaleBounds : public ::testing::Test {
 protected:
  // Index 0 over Name string (DataSize 5) then Code integer; the Code field
  // descending when `codeDown`.
  void Define(bool codeDown, const TKeyCollation* collation) {
    file_.SetFileName(dir_.Path("t.DAT"));
    file_.SetExclusive(true);
    file_.Create();
    TIndexDefinition primary;
    primary.FieldCount = 2;
    primary.FieldNumbers[0] = 1;
    primary.FieldNumbers[1] = 2;
    primary.FieldDescending[1] = codeDown ? 1 : 0;
    const TIndexField fields[] = {{1, "Name", 1, 0, 5}, {2, "Code", 6, 0, 4}};
    file_.DefinePrimaryIndex(primary, fields);
    const TKeyField keyFields[] = {{1, 1, 0, 5, 9}, {2, 6, 0, 4, 15}};
    file_.SetKeyFields(keyFields);
    file_.SetCollation(collation);
  }
  void TearDown() override {
    if (file_.IsOpen()) file_.Close();
  }

  testing::ScratchDir dir_;
  TIndexFile file_;
  ByteCollation collation_;
  TCollationTable table_ = [] {
    TCollationTable t{};
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<std::uint8_t>(i);
    t[0] = 0x20;    // the lowest-sorting byte
    t[255] = 0x7A;  // the highest-sorting byte
    return t;
  }();
};

TEST_F(LocaleBounds, StringPartsPadWithTheCollationEnds) {
  Define(false, &collation_);
  const TKeyOrder order(file_, 0);
  ASSERT_TRUE(order.HasLocale());
  ASSERT_EQ(order.KeySize(), 6 + 5);
  std::vector<std::uint8_t> low(order.KeySize(), 0x55);
  PadKey(low, 0, order, table_, false);
  EXPECT_EQ(low, (std::vector<std::uint8_t>{0, 0x20, 0x20, 0x20, 0x20, 0x20, 0, 0, 0, 0, 0}));
  std::vector<std::uint8_t> high(order.KeySize(), 0x55);
  PadKey(high, 2, order, table_, true);  // the indicator and one byte given
  EXPECT_EQ(high, (std::vector<std::uint8_t>{0x55, 0x55, 0x7A, 0x7A, 0x7A, 0x7A, 0xFF, 0xFF, 0xFF,
                                             0xFF, 0xFF}));
}

TEST_F(LocaleBounds, DescendingFieldsUnderALocalePadReversed) {
  Define(true, &collation_);
  const TKeyOrder order(file_, 0);
  std::vector<std::uint8_t> low(order.KeySize(), 0x55);
  PadKey(low, 6, order, table_, false);
  // Compared negated, the Code part's lowest in index order is its highest bytes.
  EXPECT_EQ(std::vector<std::uint8_t>(low.begin() + 6, low.end()),
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(LocaleBounds, WithoutALocaleEveryPartPadsWithPlainBytes) {
  Define(true, nullptr);
  const TKeyOrder order(file_, 0);
  ASSERT_FALSE(order.HasLocale());
  std::vector<std::uint8_t> low(order.KeySize(), 0x55);
  PadKey(low, 0, order, table_, false);
  // A descending field without a locale is stored complemented: byte order
  // is index order, and its lowest is still 0x00.
  EXPECT_EQ(low, std::vector<std::uint8_t>(order.KeySize(), 0x00));
}

}  // namespace
}  // namespace quire
