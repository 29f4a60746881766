#include "engine/ValueText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "engine/Bcd.h"
#include "engine/BlankText.h"
#include "engine/DayNumber.h"
#include "engine/FieldTypes.h"

namespace quire {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads an unsigned decimal number of 1..maxDigits digits at `text[at]`.
std::optional<int> ReadNumber(std::string_view text, std::size_t& at, std::size_t maxDigits,
                              std::size_t* digits = nullptr) {
  const std::size_t start = at;
  int value = 0;
  while (at < text.size() && IsDigit(text[at]) && at - start < maxDigits)
    value = value * 10 + (text[at++] - '0');
  if (at == start || (at < text.size() && IsDigit(text[at]))) return std::nullopt;
  if (digits) *digits = at - start;
  return value;
}

int CurrentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

// The order of day, month and year in a short date format: the order in
// which 'd', 'M' and 'y' first appear.
std::string DateOrder(std::string_view format) {
  std::string order;
  for (char c : format) {
    const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if ((key == 'd' || key == 'm' || key == 'y') && order.find(key) == std::string::npos)
      order += key;
  }
  return order.size() == 3 ? order : "mdy";
}

}  // namespace

std::optional<std::int64_t> ParseIntegerText(std::string_view text, std::int64_t min,
                                             std::int64_t max) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < min || value > max) return std::nullopt;
  return value;
}

std::optional<double> ParseFloatText(std::string_view text, const TFormatSettings& settings) {
  text = TrimBlanks(text);
  std::string normal;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      normal += text[i];
      digits = true;
    } else if (text[i] == settings.DecimalSeparator && !point) {
      normal += '.';
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
    normal += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
    if (i == text.size()) return std::nullopt;
    for (; i < text.size(); ++i) {
      if (!IsDigit(text[i])) return std::nullopt;
      normal += text[i];
    }
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (ec != std::errc() || end != normal.data() + normal.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<std::int32_t> ParseDateText(std::string_view text, const TFormatSettings& settings) {
  text = TrimBlanks(text);
  std::vector<int> parts;
  std::vector<std::size_t> widths;
  std::size_t at = 0;
  while (true) {
    std::size_t width = 0;
    const auto number = ReadNumber(text, at, 4, &width);
    if (!number) return std::nullopt;
    parts.push_back(*number);
    widths.push_back(width);
    if (at == text.size()) break;
    if (text[at] != settings.DateSeparator || parts.size() == 3) return std::nullopt;
    ++at;
  }
  if (parts.size() < 2) return std::nullopt;
  const std::string order = DateOrder(settings.ShortDateFormat);
  int day = 0, month = 0, year = CurrentYear();
  std::size_t yearWidth = 4;
  if (parts.size() == 2) {
    // Without a year the two numbers are day and month in format order.
    const bool monthFirst = order.find('m') < order.find('d');
    month = parts[monthFirst ? 0 : 1];
    day = parts[monthFirst ? 1 : 0];
  } else {
    for (std::size_t i = 0; i < 3; ++i) {
      if (order[i] == 'd') day = parts[i];
      if (order[i] == 'm') month = parts[i];
      if (order[i] == 'y') {
        year = parts[i];
        yearWidth = widths[i];
      }
    }
  }
  if (yearWidth <= 2) year += CurrentYear() / 100 * 100;
  if (!IsValidDate(year, month, day)) return std::nullopt;
  return DayNumber(year, month, day);
}

std::optional<std::int32_t> ParseTimeText(std::string_view text, const TFormatSettings& settings) {
  text = TrimBlanks(text);
  // An AM or PM text at the end.
  int halfDay = -1;  // -1 none, 0 AM, 1 PM
  for (int half = 0; half < 2; ++half) {
    const std::string& marker = half == 0 ? settings.TimeAMString : settings.TimePMString;
    if (!marker.empty() && text.size() > marker.size() &&
        EqualsIgnoringAsciiCase(text.substr(text.size() - marker.size()), marker)) {
      halfDay = half;
      text = TrimBlanks(text.substr(0, text.size() - marker.size()));
      break;
    }
  }
  std::size_t at = 0;
  const auto hour = ReadNumber(text, at, 2);
  if (!hour) return std::nullopt;
  int minute = 0, second = 0, millisecond = 0;
  bool hasMinutes = false;
  if (at < text.size() && text[at] == settings.TimeSeparator) {
    ++at;
    const auto m = ReadNumber(text, at, 2);
    if (!m) return std::nullopt;
    minute = *m;
    hasMinutes = true;
    if (at < text.size() && text[at] == settings.TimeSeparator) {
      ++at;
      const auto s = ReadNumber(text, at, 2);
      if (!s) return std::nullopt;
      second = *s;
      if (at < text.size() && text[at] == settings.DecimalSeparator) {
        ++at;
        const auto ms = ReadNumber(text, at, 3);
        if (!ms) return std::nullopt;
        millisecond = *ms;
      }
    }
  }
  if (at != text.size() || (!hasMinutes && halfDay < 0)) return std::nullopt;
  int h = *hour;
  if (halfDay >= 0) {
    if (h < 1 || h > 12) return std::nullopt;
    h = h % 12 + (halfDay == 1 ? 12 : 0);
  }
  if (h > 23 || minute > 59 || second > 59) return std::nullopt;
  return ((h * 60 + minute) * 60 + second) * 1000 + millisecond;
}

std::optional<double> ParseDateTimeText(std::string_view text, const TFormatSettings& settings) {
  text = TrimBlanks(text);
  if (const auto date = ParseDateText(text, settings))
    return static_cast<double>(*date) * kMillisecondsPerDay;
  const auto blank = text.find(' ');
  if (blank != std::string_view::npos) {
    const auto date = ParseDateText(text.substr(0, blank), settings);
    const auto time = ParseTimeText(text.substr(blank + 1), settings);
    if (date && time) return static_cast<double>(*date) * kMillisecondsPerDay + *time;
  }
  if (const auto time = ParseTimeText(text, settings)) return static_cast<double>(*time);
  return std::nullopt;
}

bool IsValidValueText(std::uint8_t fieldType, std::string_view text,
                      const TFormatSettings& settings) {
  const std::string_view word = TrimBlanks(text);
  switch (fieldType) {
    case ftype::Date:
      return EqualsIgnoringAsciiCase(word, "DATE") || ParseDateText(text, settings).has_value();
    case ftype::Time:
      return EqualsIgnoringAsciiCase(word, "TIME") || ParseTimeText(text, settings).has_value();
    case ftype::TimeStamp:
      return EqualsIgnoringAsciiCase(word, "NOW") || EqualsIgnoringAsciiCase(word, "DATE") ||
             EqualsIgnoringAsciiCase(word, "TIME") || ParseDateTimeText(text, settings).has_value();
    case ftype::Boolean:
      return EqualsIgnoringAsciiCase(word, "TRUE") || EqualsIgnoringAsciiCase(word, "FALSE");
    case ftype::SmallInt:
      return ParseIntegerText(text, -32768, 32767).has_value();
    case ftype::Integer:
      return ParseIntegerText(text, std::numeric_limits<std::int32_t>::min(),
                              std::numeric_limits<std::int32_t>::max())
          .has_value();
    case ftype::Word:
      return ParseIntegerText(text, 0, 65535).has_value();
    case ftype::UInt32:
      return ParseIntegerText(text, 0, std::numeric_limits<std::uint32_t>::max()).has_value();
    case ftype::Float:
    case ftype::Extended:
      return ParseFloatText(text, settings).has_value();
    case ftype::Bcd:
      return ParseCurrency(text, settings.DecimalSeparator).has_value();
    default:
      return true;  // strings, bytes, blobs and codes without a value form
  }
}

}  // namespace quire
