#pragma once
// One field as a table creation asks for it. Creation checks it, trims and
// cuts the name, derives the sizes and the offset, and stores it as a field
// descriptor of the data file.

#include <cstdint>
#include <string>

namespace quire {

struct TFieldDefinition {
  // 1-based; no two definitions of one request may share it.
  std::int16_t FieldNo = 0;
  // Trimmed and cut to 30 characters at creation; must start with a letter
  // (or a byte 0x81..0xFE) and be unique ignoring case.
  std::string FieldName;
  std::uint8_t FieldType = 0;     // storage type code (FieldTypes.h), not 0
  std::uint8_t FieldSubType = 0;  // 0, or money / blob kind / auto-increment
  // Declared size of string, bytes and variable-bytes fields (at most 250);
  // ignored for the other types. Wider than the stored byte so that an
  // over-large request is refused rather than wrapped.
  int FieldSize = 0;
  // Decimals of a BCD field (0..9); ignored for the other types.
  int FieldDecimals = 0;
  bool Required = false;
  // Texts of the field's type (checked at creation); empty = none.
  std::string MinValue;
  std::string MaxValue;
  std::string DefaultValue;
  // Non-empty makes a computed field: evaluated, never stored.
  std::string ComputeExpression;
};

}  // namespace quire
