#include "TableSession.h"

#include <filesystem>

namespace quire::cli {

void PrepareTable(TDataFile& table, const TCommandContext& context, std::string_view name) {
  // Engine messages name the file by its full path.
  table.SetFileName(std::filesystem::absolute(std::filesystem::path(name)).string());
  table.SetExclusive(context.Options.Exclusive);
  table.SetReadOnly(context.Options.ReadOnly);
  table.SetLockRetryCount(context.Options.LockRetryCount);
  table.SetLockWaitTime(context.Options.LockWaitTime);
}

}  // namespace quire::cli
