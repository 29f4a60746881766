#pragma once
// Finding a table's field by its name, as filters name them.

#include <string_view>
#include <vector>

#include "engine/DataFileHeader.h"

namespace quire {

// The field of `fields` called `name`, ignoring the case of A-Z as the
// engine's field lookup does; null when there is none.
const TFieldDescriptor* FindFieldByName(const std::vector<TFieldDescriptor>& fields,
                                        std::string_view name);

}  // namespace quire
