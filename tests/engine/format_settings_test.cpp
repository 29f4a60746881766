// The number and date format settings and the switch to a table's locale.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FormatSettings.h"
#include "support/EngineScope.h"

namespace quire {
namespace {

using testing::EngineScope;

TEST(FormatSettings, BuiltInSetOfNoLocale) {
  const TFormatSettings& s = BuiltInFormatSettings();
  EXPECT_EQ(s.CurrencyString, "$");
  EXPECT_EQ(s.CurrencyDecimals, 2);
  EXPECT_EQ(s.ThousandSeparator, ',');
  EXPECT_EQ(s.DecimalSeparator, '.');
  EXPECT_EQ(s.DateSeparator, '/');
  EXPECT_EQ(s.ShortDateFormat, "M/d/yyyy");
  EXPECT_EQ(s.LongDateFormat, "dddd, MMMM dd, yyyy");
  EXPECT_EQ(s.TimeSeparator, ':');
  EXPECT_EQ(s.TimeAMString, "AM");
  EXPECT_EQ(s.TimePMString, "PM");
  EXPECT_EQ(s.LongTimeFormat, "h:mm:ss AMPM");
  EXPECT_EQ(s.LongMonthNames.front(), "January");
  EXPECT_EQ(s.LongMonthNames[8], "September");
  EXPECT_EQ(s.LongMonthNames.back(), "December");
  EXPECT_EQ(s.ShortMonthNames.front(), "Jan");
  EXPECT_EQ(s.ShortMonthNames[5], "Jun");
  EXPECT_EQ(s.ShortMonthNames.back(), "Dec");
  EXPECT_EQ(s.LongDayNames.front(), "Sunday");
  EXPECT_EQ(s.LongDayNames[3], "Wednesday");
  EXPECT_EQ(s.LongDayNames.back(), "Saturday");
  EXPECT_EQ(s.ShortDayNames.front(), "Sun");
  EXPECT_EQ(s.ShortDayNames.back(), "Sat");
  for (const auto& name : s.ShortMonthNames) EXPECT_EQ(name.size(), 3u);
}

TFormatSettings Different() {
  TFormatSettings s = BuiltInFormatSettings();
  s.DecimalSeparator = ',';
  s.ThousandSeparator = '.';
  s.ShortDateFormat = "dd.MM.yyyy";
  s.LongMonthNames[0] = "Januar";
  return s;
}

// Leaves the process-wide settings as the test found them.
class FormatSettingsSwitch : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = CurrentFormatSettings(); }
  void TearDown() override { SetCurrentFormatSettings(saved_); }
  EngineScope engine_;
  TFormatSettings saved_;
};

TEST_F(FormatSettingsSwitch, InstallsTheTableLocaleAndRestoresTheSettingsBefore) {
  SetCurrentFormatSettings(Different());
  {
    TLocaleFormatScope scope(0, 0, "/d/Song.DAT");
    EXPECT_EQ(CurrentFormatSettings(), BuiltInFormatSettings());
    EXPECT_EQ(scope.Settings().DecimalSeparator, '.');
    {
      TLocaleFormatScope nested(0, 0, "/d/List.DAT");
      EXPECT_EQ(CurrentFormatSettings(), BuiltInFormatSettings());
    }
    EXPECT_EQ(CurrentFormatSettings(), BuiltInFormatSettings());
  }
  EXPECT_EQ(CurrentFormatSettings(), Different());
}

TEST_F(FormatSettingsSwitch, RestoresWhenTheConversionFails) {
  SetCurrentFormatSettings(Different());
  try {
    TLocaleFormatScope scope(0, 0, "/d/Song.DAT");
    RaiseEngineError(err::InvalidValidityCheck, "/d/Song.DAT", "Price");
  } catch (const EQuireEngineError&) {
  }
  EXPECT_EQ(CurrentFormatSettings(), Different());
}

TEST_F(FormatSettingsSwitch, OtherLocalesAreRefusedWithoutSwitching) {
  SetCurrentFormatSettings(Different());
  try {
    TLocaleFormatScope scope(0x041E, 0, "/d/Thai.DAT");
    ADD_FAILURE() << "a locale that is not available was switched to";
  } catch (const EQuireEngineError& error) {
    EXPECT_EQ(error.Message(),
              "Quire Engine Error # 15878 The language driver for data file /d/Thai.DAT is not "
              "available or installed");
  }
  EXPECT_EQ(CurrentFormatSettings(), Different());
  // The section was not left held.
  bool free = false;
  std::thread([&] {
    free = FormatSettingsSection().try_lock();
    if (free) FormatSettingsSection().unlock();
  }).join();
  EXPECT_TRUE(free);
}

TEST_F(FormatSettingsSwitch, AnotherThreadCannotSwitchWhileAConversionRuns) {
  SetCurrentFormatSettings(Different());
  std::atomic<bool> installed{false};
  std::thread other;
  {
    TLocaleFormatScope scope(0, 0, "/d/Song.DAT");
    other = std::thread([&] {
      SetCurrentFormatSettings(Different());  // waits for the scope to end
      installed = true;
    });
    // However long the other thread runs, this conversion keeps its settings.
    for (int i = 0; i < 50; ++i) {
      std::this_thread::yield();
      ASSERT_EQ(scope.Settings(), BuiltInFormatSettings());
      ASSERT_FALSE(installed.load());
    }
  }
  other.join();
  EXPECT_TRUE(installed.load());
  EXPECT_EQ(CurrentFormatSettings(), Different());
}

}  // namespace
}  // namespace quire
