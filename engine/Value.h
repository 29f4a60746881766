#pragma once
// TValue: one typed value as expressions, filters and computed fields hold
// it. The type codes are the field type codes (FieldTypes.h), with 0 for the
// untyped NULL keyword; a value is read from a record, written to one,
// compared and converted here, so that no other layer keeps a switch over
// the field types of its own.
//
// In a value (unlike in a record) a boolean is 0 or 1, a BCD number is its
// amount in 1/10000 units whatever the field's decimals, and a string holds
// its bytes without the terminator. Size counts the bytes the type takes in
// a record buffer (a string's terminator included), Decimals those of BCD.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DataFileHeader.h"
#include "engine/FormatSettings.h"

namespace quire {

struct TValue {
  std::uint8_t Type = 0;
  std::uint8_t SubType = 0;
  std::uint16_t Size = 0;
  std::uint8_t Decimals = 0;
  bool Null = true;
  // Boolean, small integer, integer, word, unsigned 32-bit, date (day
  // number), time (milliseconds), BCD (1/10000 units), blob reference.
  std::int64_t Integer = 0;
  // Float, money, timestamp (milliseconds), 10-byte float.
  double Real = 0;
  // String, bytes, variable bytes.
  std::string Text;

  static TValue Untyped() { return {}; }
  static TValue Boolean(bool value);
  static TValue Int(std::int32_t value);
  static TValue Float(double value);
  static TValue String(std::string_view text);
  // A value of `type` with no value (its null flag set).
  static TValue NullOf(std::uint8_t type, std::uint16_t size = 0);

  bool IsTrue() const { return !Null && Integer != 0; }
};

// Type classes the expression rules speak of.
bool IsIntegerKind(std::uint8_t type);  // small integer, integer, word
bool IsNumberKind(std::uint8_t type);   // the integer kinds, float, BCD
bool IsDateKind(std::uint8_t type);     // date, time, timestamp

// The value of field `field` in record buffer `buffer`.
TValue ReadValue(const TFieldDescriptor& field, std::span<const std::uint8_t> buffer);

// Writes `value`, converted to the field's type, into `buffer` by the rules
// of WriteFieldValue; a null value or one that does not convert clears the
// field. Returns false when the value did not convert.
bool WriteValue(const TFieldDescriptor& field, std::span<std::uint8_t> buffer, const TValue& value);

// The value's bytes as a field of `type` with `dataSize` bytes and `decimals`
// keeps them (a string zero-terminated and cut to dataSize - 1); nothing when
// the value does not convert to that type.
std::optional<std::vector<std::uint8_t>> EncodeValue(const TValue& value, std::uint8_t type,
                                                     std::size_t dataSize, int decimals);
// The bytes `field` stores for `value` (not null): a text that meets a field
// of another type is read as that type's text with `formats`, as a value
// typed by a user or a statement is meant. Nothing when the value does not
// convert or does not fit the field.
std::optional<std::vector<std::uint8_t>> EncodeForField(const TValue& value,
                                                        const TFieldDescriptor& field,
                                                        const TFormatSettings& formats);
// The value that `bytes`, stored as a field of `type`, stands for.
TValue DecodeValue(std::uint8_t type, std::uint8_t subType, std::span<const std::uint8_t> bytes);

// `value` as a value of `type`: numbers between the number kinds (floats
// truncated toward zero for the integer kinds, ranges checked), a date as a
// timestamp at midnight and a timestamp's date part as a date. Nothing when
// the value does not fit or the types do not meet. Null stays null.
std::optional<TValue> ConvertValue(const TValue& value, std::uint8_t type);

// `text` read as a value of `type` with the settings' formats (dates, times,
// numbers; "TRUE"/"FALSE" for booleans).
std::optional<TValue> ParseValue(std::uint8_t type, std::string_view text,
                                 const TFormatSettings& settings);

// Orders two non-null values: strings byte by byte through `collation`
// (nothing: plain bytes), numbers by value (BCD amounts against others after
// scaling by 10 000), a date against a timestamp as milliseconds at midnight,
// booleans false before true. -1, 0 or 1.
int CompareValues(const TValue& a, const TValue& b,
                  const std::array<std::uint8_t, 256>* collation = nullptr);

// The value as a double (numbers, dates, times; BCD as its amount).
double NumericValue(const TValue& value);

}  // namespace quire
