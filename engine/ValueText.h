#pragma once
// Values written as text: the default, minimum and maximum texts of field
// definitions. Dates, times and numbers are read with the number and date
// format settings handed in (the table's locale settings).

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/FormatSettings.h"

namespace quire {

// Trims blanks; an optional sign and decimal digits. Nothing when the text
// is not an integer or lies outside [min, max].
std::optional<std::int64_t> ParseIntegerText(std::string_view text, std::int64_t min,
                                             std::int64_t max);

// A decimal number with the settings' decimal separator and an optional
// exponent; blanks around it allowed.
std::optional<double> ParseFloatText(std::string_view text, const TFormatSettings& settings);

// A date in the order of the short date format ("M/d/yyyy": month, day,
// year) with the date separator; a missing year is the current one and a
// year of one or two digits lies in the current century. Returns the day
// number (1 = 1 January of year 1).
std::optional<std::int32_t> ParseDateText(std::string_view text, const TFormatSettings& settings);

// A time "h[:mm[:ss[.zzz]]]" with the time separator, optionally followed by
// the AM or PM text (ignoring case); an hour alone needs AM or PM. Returns
// milliseconds since midnight.
std::optional<std::int32_t> ParseTimeText(std::string_view text, const TFormatSettings& settings);

// A date, a date followed by a blank and a time, or a time alone. Returns
// day number * 86400000 + milliseconds (a time alone is on day 0).
std::optional<double> ParseDateTimeText(std::string_view text, const TFormatSettings& settings);

// Whether `text` (not empty) is a valid default, minimum or maximum for a
// field of the given type: strings, bytes and blobs take anything; dates
// also "DATE", times "TIME", timestamps "NOW", "DATE" and "TIME" (any case);
// booleans "TRUE" or "FALSE" (any case); numbers must parse as their kind,
// within its range.
bool IsValidValueText(std::uint8_t fieldType, std::string_view text,
                      const TFormatSettings& settings);

}  // namespace quire
