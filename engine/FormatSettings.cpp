#include "engine/FormatSettings.h"

#include <utility>

#include "engine/Engine.h"
#include "engine/EngineError.h"

namespace quire {
namespace {

TFormatSettings MakeBuiltIn() {
  TFormatSettings s;
  s.CurrencyString = "$";
  s.CurrencyDecimals = 2;
  s.ThousandSeparator = ',';
  s.DecimalSeparator = '.';
  s.DateSeparator = '/';
  s.ShortDateFormat = "M/d/yyyy";
  s.LongDateFormat = "dddd, MMMM dd, yyyy";
  s.TimeSeparator = ':';
  s.TimeAMString = "AM";
  s.TimePMString = "PM";
  s.LongTimeFormat = "h:mm:ss AMPM";
  s.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                      "July",    "August",   "September", "October", "November", "December"};
  s.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  s.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  s.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  return s;
}

// The process-wide settings; only touched under the format-settings section.
TFormatSettings& Current() {
  static TFormatSettings current = BuiltInFormatSettings();
  return current;
}

}  // namespace

const TFormatSettings& BuiltInFormatSettings() {
  static const TFormatSettings builtIn = MakeBuiltIn();
  return builtIn;
}

TFormatSettings CurrentFormatSettings() {
  std::lock_guard lock(FormatSettingsSection());
  return Current();
}

void SetCurrentFormatSettings(const TFormatSettings& settings) {
  std::lock_guard lock(FormatSettingsSection());
  Current() = settings;
}

TLocaleFormatScope::TLocaleFormatScope(std::uint16_t languageId, std::uint16_t /*sortId*/,
                                       std::string_view fileName) {
  // Only locale 0 is available until the other locales give the same results
  // as the system services that tables written elsewhere were built with.
  if (languageId != 0) RaiseEngineError(err::LanguageDriver, fileName);
  lock_ = std::unique_lock(FormatSettingsSection());
  saved_ = Current();
  Current() = BuiltInFormatSettings();
}

TLocaleFormatScope::~TLocaleFormatScope() {
  Current() = std::move(saved_);
}

const TFormatSettings& TLocaleFormatScope::Settings() const {
  return Current();
}

}  // namespace quire
