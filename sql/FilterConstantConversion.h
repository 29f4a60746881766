#pragma once
// Turning the constant of a filter comparison into a value of the compared
// field's type, as the filter buffer carries it (FilterConstantBytes.h).

#include <string_view>

#include "engine/DataFileHeader.h"
#include "engine/FormatSettings.h"
#include "engine/Value.h"

namespace quire {

// The localised words for the boolean constants of filter texts.
inline constexpr std::string_view kFilterTrueWord = "True";
inline constexpr std::string_view kFilterFalseWord = "False";

// `constant` (not null) as a value of FilterTypeOf(field). A text, as the
// parser keeps every string and number, is read as the field's type: cut to
// 255 characters for strings, integers within the type's range ("Constant
// out of range" outside), booleans by the true and false words, dates,
// times and numbers with `settings`. A boolean or a typed value (from a
// locate) is converted between the types. BCD values are rounded to the
// field's decimals. Raises EDatabaseError: "Field '%s' cannot be used in a
// filter expression" for a field type a filter cannot compare, "Constant out
// of range", and a conversion message naming the text that does not read.
TValue ConvertFilterConstant(const TFieldDescriptor& field, const TValue& constant,
                             const TFormatSettings& settings);

}  // namespace quire
