#include "engine/FormatSettings.h"

#include <utility>

#include "engine/Engine.h"
#include "engine/EngineError.h"

namespace quire {
namespace {

// Built by initialisation rather than by assigning to a default-made object:
// GCC 12 at -O3 reports a false -Wrestrict inside std::string's assignment
// from a literal, and construction does not go through that code.
TFormatSettings MakeBuiltIn() {
  return TFormatSettings{
      .CurrencyString = "$",
      .CurrencyDecimals = 2,
      .ThousandSeparator = ',',
      .DecimalSeparator = '.',
      .DateSeparator = '/',
      .ShortDateFormat = "M/d/yyyy",
      .LongDateFormat = "dddd, MMMM dd, yyyy",
      .TimeSeparator = ':',
      .TimeAMString = "AM",
      .TimePMString = "PM",
      .LongTimeFormat = "h:mm:ss AMPM",
      .LongMonthNames = {"January", "February", "March", "April", "May", "June", "July", "August",
                         "September", "October", "November", "December"},
      .ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct",
                          "Nov", "Dec"},
      .LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
                       "Saturday"},
      .ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
  };
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
