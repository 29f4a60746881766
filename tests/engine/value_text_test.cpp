#include "engine/ValueText.h"

#include <gtest/gtest.h>

#include "engine/DayNumber.h"
#include "engine/FieldTypes.h"

namespace quire {
namespace {

const TFormatSettings& Us() {
  return BuiltInFormatSettings();
}

TEST(ValueText, DatesFollowTheShortDateOrder) {
  EXPECT_EQ(ParseDateText("12/30/1899", Us()), 693594);
  EXPECT_EQ(ParseDateText("1/1/0001", Us()), 1);
  EXPECT_EQ(ParseDateText(" 2/29/2000 ", Us()), DayNumber(2000, 2, 29));
  EXPECT_FALSE(ParseDateText("2/29/1900", Us()));
  EXPECT_FALSE(ParseDateText("13/1/2000", Us()));
  EXPECT_FALSE(ParseDateText("1-1-2000", Us()));
  EXPECT_FALSE(ParseDateText("1/1/2000/1", Us()));
  TFormatSettings dmy = Us();
  dmy.ShortDateFormat = "dd.MM.yyyy";
  dmy.DateSeparator = '.';
  EXPECT_EQ(ParseDateText("31.12.1999", dmy), DayNumber(1999, 12, 31));
}

TEST(ValueText, TimesTakeTwentyFourHourOrAmPmForms) {
  EXPECT_EQ(ParseTimeText("13:05", Us()), (13 * 60 + 5) * 60000);
  EXPECT_EQ(ParseTimeText("1:05:30 pm", Us()), ((13 * 60 + 5) * 60 + 30) * 1000);
  EXPECT_EQ(ParseTimeText("12 AM", Us()), 0);
  EXPECT_EQ(ParseTimeText("0:00:01.250", Us()), 1250);
  EXPECT_FALSE(ParseTimeText("24:00", Us()));
  EXPECT_FALSE(ParseTimeText("13:00 PM", Us()));
  EXPECT_FALSE(ParseTimeText("7", Us()));
  EXPECT_FALSE(ParseTimeText("7:60", Us()));
}

TEST(ValueText, DateTimesAreDateTimeOrTimeAlone) {
  EXPECT_EQ(ParseDateTimeText("12/30/1899 6:00 AM", Us()),
            693594.0 * kMillisecondsPerDay + 6 * 3600000.0);
  EXPECT_EQ(ParseDateTimeText("6:00", Us()), 6 * 3600000.0);
  EXPECT_FALSE(ParseDateTimeText("12/30/1899 25:00", Us()));
}

TEST(ValueText, ValidityTextsAreCheckedByFieldType) {
  EXPECT_TRUE(IsValidValueText(ftype::Date, "date", Us()));
  EXPECT_FALSE(IsValidValueText(ftype::Date, "NOW", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::Time, "TIME", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::TimeStamp, "Now", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::TimeStamp, "DATE", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::Boolean, "false", Us()));
  EXPECT_FALSE(IsValidValueText(ftype::Boolean, "yes", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::SmallInt, "-32768", Us()));
  EXPECT_FALSE(IsValidValueText(ftype::SmallInt, "32768", Us()));
  EXPECT_FALSE(IsValidValueText(ftype::Word, "-1", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::UInt32, "4294967295", Us()));
  EXPECT_FALSE(IsValidValueText(ftype::Integer, "1.5", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::Float, "-1.5e3", Us()));
  EXPECT_FALSE(IsValidValueText(ftype::Float, "1,5", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::Bcd, "999.99", Us()));
  EXPECT_FALSE(IsValidValueText(ftype::Bcd, "abc", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::String, "anything at all", Us()));
  EXPECT_TRUE(IsValidValueText(ftype::Bytes, "\x01\x02", Us()));
}

}  // namespace
}  // namespace quire
