#pragma once
// The checks an index definition must pass before the index file takes it,
// and the size of its keys. Each failure raises the engine error with the
// index file's name, and the index name where the message has one.

#include <cstdint>
#include <span>
#include <string_view>

#include "index/IndexDescriptor.h"
#include "index/IndexField.h"

namespace quire {

// Whether `c` may begin an index name: A-Z, a-z or a byte from 129 to 254
// (the letters of the catalogue's single-byte code page).
bool IsIndexNameLetter(unsigned char c);

// Index names are compared ignoring the case of A-Z.
bool SameIndexName(std::string_view a, std::string_view b);

// Checks the key fields of `definition` against the table's `fields` and
// returns the key size K: the sum of (DataSize + 1) over the key fields, plus
// 4 for a secondary index that is not unique (its keys end in the record's
// auto-increment value). Raises 9487 for more than 16 key fields, 10023 for a
// field number the table lacks, 12292 for a blob field, and 10026 for a key
// body above 1036 bytes or, for a secondary index, an empty one. `indexName`
// is the name the messages use ("Primary" for the primary index).
std::uint16_t CheckIndexKey(const TIndexDefinition& definition, bool secondary,
                            std::span<const TIndexField> fields, std::string_view indexName,
                            std::string_view fileName);

}  // namespace quire
