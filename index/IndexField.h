#pragma once
// What the index file needs to know about one field of its table: enough to
// check an index definition and to size and build its keys. The data file
// hands a list of these (one per field, in field order) to the index file, so
// the index layer does not depend on the data file's own descriptor type.

#include <cstdint>
#include <string>

namespace quire {

inline constexpr std::uint8_t kBlobFieldType = 3;

struct TIndexField {
  std::uint16_t FieldNo = 0;  // 1-based, as in the data file
  std::string FieldName;
  std::uint8_t FieldType = 0;     // storage type code
  std::uint8_t FieldSubType = 0;  // 29 with type 6: auto-increment
  std::uint8_t DataSize = 0;      // bytes of the value in the record
};

}  // namespace quire
