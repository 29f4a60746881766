#pragma once
// Finding the records a command works on, before it changes any of them, so
// that a change of the index's own fields neither skips nor repeats one.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "TextCodec.h"
#include "engine/DataFile.h"

namespace quire::cli {

// The slot numbers of the records whose leading fields of index `indexName`
// ("" the primary index) equal the values of `key` (a JSON array), in index
// order. Usage error for a key that is not an array, is longer than the
// index, or holds a value its field cannot take.
std::vector<std::uint32_t> FindByKey(TDataFile& table, const std::string& indexName,
                                     const nlohmann::json& key, const TTextCodec& codec);

// The slot numbers of every live record, in slot order.
std::vector<std::uint32_t> AllRecords(TDataFile& table);

// Parses a command-line JSON argument; usage error naming `option`.
nlohmann::json ParseJsonArgument(const std::string& option, const std::string& text);

}  // namespace quire::cli
