#pragma once
// Field values inside a record buffer, and field values written as text.
//
// A stored field is one null-indicator byte (0 = null) at its FieldOffset
// followed by DataSize value bytes; the auto-increment field has no indicator
// and keeps its four bytes at offset 5. Values travel as exactly DataSize
// bytes in the record's own encoding (little-endian integers, IEEE doubles,
// the BCD integer, zero-terminated text).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/DataFileHeader.h"
#include "engine/FormatSettings.h"

namespace quire {

// Whether the field is null in `buffer`; its DataSize value bytes go to
// `value` (zero-filled first; shorter targets get the leading bytes). The
// auto-increment field is never null. A blob field is judged by its
// indicator alone (the data file knows about open blobs).
bool ReadFieldValue(const TFieldDescriptor& field, std::span<const std::uint8_t> buffer,
                    std::span<std::uint8_t> value);

// Writes `value` (null: no value) into `buffer`:
//   no value      indicator 0 and zero value bytes (auto-increment untouched)
//   string        the text up to its first zero byte, cut to DataSize - 1
//                 characters and stripped of trailing blanks; null when that
//                 leaves nothing
//   boolean       0 or 1 (any nonzero input is 1)
//   blob          the reference; present when `blobPresent`
//   auto-inc      four bytes at offset 5
//   other         DataSize bytes, present
// Shorter inputs are zero-padded.
void WriteFieldValue(const TFieldDescriptor& field, std::span<std::uint8_t> buffer,
                     const std::uint8_t* value, std::size_t length, bool blobPresent = false);

// The value a default, minimum or maximum text stands for, as DataSize bytes:
// strings as they are; dates "DATE" = today; times "TIME" = now; timestamps
// "NOW", "DATE" (today at midnight), "TIME" (now on 30 December 1899);
// booleans "TRUE"/"FALSE"; integers, floats and BCD (via currency) parsed
// with `settings`. Nothing when the text does not convert (or for blobs).
std::optional<std::vector<std::uint8_t>> ValueFromText(const TFieldDescriptor& field,
                                                       std::string_view text,
                                                       const TFormatSettings& settings);

// Orders two values of the field (DataSize bytes each) as the validity
// checks do: strings byte by byte up to their terminator, numbers, dates and
// times by value, BCD by its integer, bytes as bytes. -1, 0 or 1.
int CompareFieldValues(const TFieldDescriptor& field, std::span<const std::uint8_t> a,
                       std::span<const std::uint8_t> b);

// An IEEE double as the 10-byte extended format (for type 14 fields).
std::array<std::uint8_t, 10> ExtendedFromDouble(double value);
double DoubleFromExtended(std::span<const std::uint8_t> bytes);

}  // namespace quire
