#pragma once
// Table creation: the request and the checks that turn it into the data
// file's header and descriptors. Every check runs before any file is
// written, in a fixed order, so a refused request leaves the disk untouched
// and always reports the same first fault. TDataFile::CreateTable writes the
// files from the prepared result.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DataFileHeader.h"
#include "engine/FieldDefinition.h"
#include "index/IndexDescriptor.h"
#include "index/IndexField.h"

namespace quire {

// The limit of secondary index definitions in one request. The index file
// itself holds 30; definitions beyond that fail when they are added.
inline constexpr std::size_t kMaxRequestedSecondaryIndexes = 32;
inline constexpr std::uint32_t kMinBlobBlockSize = 64;

struct TTableCreateRequest {
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
  // No fields: the table has no primary index. The name is ignored.
  TIndexDefinition Primary;
  std::vector<TIndexDefinition> Secondary;
  std::vector<TFieldDefinition> Fields;
  std::uint32_t BlobBlockSize = kDefaultBlobBlockSize;
  std::string Description;  // cut to 50 characters
  std::string Password;     // stored cut to 15 characters, blanks kept
  bool Encrypted = false;
  std::int16_t UserWordA = 0;
  std::int16_t UserWordB = 0;
};

// What a checked request becomes: the header of the new data file (with
// HeaderModified 1 and ChangeCount 0), its descriptors in field order, and
// the index definitions with their key sizes.
struct TPreparedTable {
  TDataFileHeader Header;
  std::vector<TFieldDescriptor> Fields;
  TIndexDefinition Primary;
  std::vector<TIndexDefinition> Secondary;
};

// Checks `request` and builds the table, raising the first fault with
// `fileName` as context, in this order: password 10015 (when encrypted: 1 to
// 15 characters after trimming blanks), locale 15878, more than 1024 fields
// 9492, more than 32 secondary indexes 9487, blob block size below 64 9498;
// then per field: name 10038, number or type 10000, size 10000 (and BCD
// decimals above 9), default/minimum/maximum 10006; a 33rd blob field 9498;
// a record (with its computed area) above 65535 bytes 9477; a compute
// expression that does not parse and check over the fields 11949; then per index
// (primary first): field numbers 10023, key size 10026, secondary name
// 10022 and 10027. The exclusive and read-only checks belong to the open
// file and come before all of these.
TPreparedTable PrepareTable(const TTableCreateRequest& request, std::string_view fileName);

// The fields as the index file needs them to check and size its keys.
std::vector<TIndexField> IndexFieldsOf(const std::vector<TFieldDescriptor>& fields);

}  // namespace quire
