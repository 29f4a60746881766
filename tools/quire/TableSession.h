#pragma once
// Applies the global options to a table before it is opened or created.

#include <string_view>

#include "Command.h"
#include "engine/DataFile.h"

namespace quire::cli {

// Names the table and sets exclusive, read-only and the lock retries.
void PrepareTable(TDataFile& table, const TCommandContext& context, std::string_view name);

}  // namespace quire::cli
