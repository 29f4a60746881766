#pragma once
// Constant values as a filter buffer holds them (FilterBuffer.h): the bytes
// of the field type, but a boolean true as all bits set and a BCD value as
// its amount in 1/10000 units.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/Value.h"

namespace quire {

// The buffer's data type for a value that a filter compares with a field of
// `field`: string, date, boolean, small integer, integer (auto-increment
// too), float (money too), BCD, time, timestamp or word; 0 for any other
// field, which a filter cannot compare with a constant.
std::uint8_t FilterTypeOf(const TFieldDescriptor& field);

// The value bytes of a non-null constant of one of those types (a string
// zero-terminated, cut to 255 characters); the size is the vector's.
std::vector<std::uint8_t> EncodeFilterConstant(const TValue& value);

// The value that `bytes` of data type `type` stand for; an empty string
// (size 1) is a NULL string. Nothing for a type the buffer does not carry
// or a size that does not fit the type.
std::optional<TValue> DecodeFilterConstant(std::uint8_t type, std::span<const std::uint8_t> bytes);

}  // namespace quire
