#include "engine/Bcd.h"

#include <gtest/gtest.h>

#include "engine/TableName.h"

namespace quire {
namespace {

TEST(Bcd, EncodesDigitsWithTheDecimalCountAppended) {
  EXPECT_EQ(EncodeBcd("12.5", 2), 12502);
  EXPECT_EQ(EncodeBcd("-3", 0), -30);
  EXPECT_EQ(EncodeBcd("0", 2), 2);
  EXPECT_EQ(EncodeBcd(" 7 ", 1), 701);
  EXPECT_EQ(EncodeBcd("1.25e1", 1), 1251);
  EXPECT_EQ(EncodeBcd("+0.5", 3), 5003);
}

TEST(Bcd, RoundsToAtMostFourDecimalsHalfAwayFromZero) {
  EXPECT_EQ(EncodeBcd("1.23456", 4), 123464);
  EXPECT_EQ(EncodeBcd("0.125", 2), 132);
  EXPECT_EQ(EncodeBcd("-0.125", 2), -132);
  EXPECT_EQ(EncodeBcd("0.124", 2), 122);
  // Past four decimals the digits are written as zeros.
  EXPECT_EQ(EncodeBcd("1.23456789", 6), 12346006);
  EXPECT_EQ(EncodeBcd("9.99999", 2), 10002);
}

TEST(Bcd, RefusesWhatItCannotStore) {
  EXPECT_FALSE(EncodeBcd("", 2));
  EXPECT_FALSE(EncodeBcd("1,5", 2));
  EXPECT_FALSE(EncodeBcd("12a", 2));
  EXPECT_FALSE(EncodeBcd("1e", 2));
  EXPECT_FALSE(EncodeBcd("1", 10));  // the count is one digit
  EXPECT_FALSE(EncodeBcd("1", -1));
  EXPECT_FALSE(EncodeBcd("1e30", 0));  // beyond 64 bits
  EXPECT_TRUE(EncodeBcd("922337203685477580", 0));
  EXPECT_FALSE(EncodeBcd("922337203685477581", 0));
  EXPECT_EQ(EncodeBcd("1,5", 1, ','), 151);
}

TEST(Bcd, DecodesWithExactlyTheStoredDecimals) {
  EXPECT_EQ(DecodeBcd(12502), "12.50");
  EXPECT_EQ(DecodeBcd(-30), "-3");
  EXPECT_EQ(DecodeBcd(2), "0.00");
  EXPECT_EQ(DecodeBcd(-132), "-0.13");
  EXPECT_EQ(DecodeBcd(1), "0.0");
  EXPECT_EQ(DecodeBcd(0), "0");
  EXPECT_EQ(DecodeBcd(12346006), "1.234600");
  EXPECT_EQ(BcdDecimals(-132), 2);
  // The smallest 64-bit value has no positive counterpart; it still decodes.
  EXPECT_EQ(DecodeBcd(INT64_MIN), "-9223372036.85477580");
}

TEST(Bcd, CurrencyAmountsEncodeLikeTheirText) {
  EXPECT_EQ(EncodeBcdCurrency(125000, 2), 12502);  // 12.5
  EXPECT_EQ(EncodeBcdCurrency(-1250, 1), -11);     // -0.125 -> -0.1
  EXPECT_EQ(ParseCurrency("12.34567"), 123457);
  EXPECT_EQ(ParseCurrency("-0.00005"), -1);
  EXPECT_FALSE(ParseCurrency("x"));
}

TEST(TableName, TrimsReplacesTheExtensionAndKeepsFolders) {
  EXPECT_EQ(NormaliseTableFileName(" songs ", ".DAT"), "songs.DAT");
  EXPECT_EQ(NormaliseTableFileName("songs.dat", ".DAT"), "songs.DAT");
  EXPECT_EQ(NormaliseTableFileName("/t/songs.DAT", ".IDX"), "/t/songs.IDX");
  EXPECT_EQ(NormaliseTableFileName("/t/my.tables/songs", ".DAT"), "/t/my.tables/songs.DAT");
  EXPECT_EQ(NormaliseTableFileName("/t/songs.old.dat", ".BLB"), "/t/songs.old.BLB");
}

}  // namespace
}  // namespace quire
