#pragma once
// How a query hands its parameters to the statement: one descriptor per
// parameter (number from 1, name cut to 30 characters, engine type, size,
// slot offset) and one value buffer in which each slot is a presence byte
// (1 a value, 0 NULL) followed by the value's bytes as a field of the
// engine type stores them.

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "access/Param.h"
#include "sql/DataQuery.h"

namespace quire {

struct TParamBinding {
  std::vector<TParamDescriptor> Descriptors;
  std::vector<std::uint8_t> Buffer;
};

// The engine type and subtype of a dataset type; none for the blob types,
// which a statement takes no values of.
std::optional<std::pair<std::uint8_t, std::uint8_t>> EngineTypeOf(TFieldType type);

// The parameters in order; "No value for parameter '%s'" for one whose type
// has no engine type (or that has no type at all), or whose value does not
// convert to its type.
TParamBinding BindParams(const std::vector<TQuireParam>& params);

}  // namespace quire
