#pragma once
// The process-wide number and date format settings. The engine converts a
// table's default, minimum and maximum texts with the settings of the
// table's locale: it switches the process-wide settings to that locale for
// the conversion and back afterwards (TLocaleFormatScope).
//
// Locale 0 (no locale) has a fixed built-in set, the settings the process
// starts with. Other locales are not available yet and are refused with 15878.

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace quire {

struct TFormatSettings {
  std::string CurrencyString;
  std::uint8_t CurrencyDecimals = 0;
  char ThousandSeparator = 0;
  char DecimalSeparator = 0;
  char DateSeparator = 0;
  std::string ShortDateFormat;
  std::string LongDateFormat;
  char TimeSeparator = 0;
  std::string TimeAMString;
  std::string TimePMString;
  std::string LongTimeFormat;
  std::array<std::string, 12> LongMonthNames;   // January first
  std::array<std::string, 12> ShortMonthNames;  // January first
  std::array<std::string, 7> LongDayNames;      // Sunday first
  std::array<std::string, 7> ShortDayNames;     // Sunday first

  bool operator==(const TFormatSettings&) const = default;
};

// The built-in set of locale 0: "$" with 2 decimals, "," and ".", "M/d/yyyy",
// "dddd, MMMM dd, yyyy", ":" with "AM"/"PM" and "h:mm:ss AMPM", English names.
const TFormatSettings& BuiltInFormatSettings();

// A copy of the process-wide settings as they are now.
TFormatSettings CurrentFormatSettings();

// Installs `settings` as the process-wide settings.
void SetCurrentFormatSettings(const TFormatSettings& settings);

// Switches the process-wide settings to a table's locale for the lifetime of
// the object and restores the previous ones when it ends.
//
// The switch holds the format-settings section for its whole lifetime, not
// only around the save, install and restore steps: otherwise a second thread
// could install another table's locale between this thread's install and its
// conversions, which would then use the wrong separators and names. The
// section is re-entrant, so a thread may nest scopes; a scope ends on the
// thread that made it.
class TLocaleFormatScope {
 public:
  // Raises 15878 with `fileName` when the locale (`sortId` * 65536 +
  // `languageId`) is not available; nothing is switched then.
  TLocaleFormatScope(std::uint16_t languageId, std::uint16_t sortId, std::string_view fileName);
  ~TLocaleFormatScope();

  TLocaleFormatScope(const TLocaleFormatScope&) = delete;
  TLocaleFormatScope& operator=(const TLocaleFormatScope&) = delete;

  // The installed settings, stable while this object lives.
  const TFormatSettings& Settings() const;

 private:
  std::unique_lock<std::recursive_mutex> lock_;
  TFormatSettings saved_;
};

}  // namespace quire
