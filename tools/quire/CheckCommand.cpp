// quire check TABLE: verifies the table's three files completely, reading
// them itself under the table's read lock, and prints "ok" (exit 0) or one
// line per fault (exit 1).

#include <filesystem>
#include <ostream>

#include "Command.h"
#include "engine/TableCheck.h"

namespace quire::cli {

int RunCheck(TCommandContext& context) {
  if (context.Args.size() != 1) throw EUsageError("usage: quire check TABLE");
  // Fault lines name the files by their full paths, as engine messages do.
  const std::vector<std::string> faults =
      CheckTable(std::filesystem::absolute(context.Args[0]).string());
  if (faults.empty()) {
    context.Out << "ok\n";
    return 0;
  }
  for (const std::string& fault : faults) context.Out << fault << '\n';
  return 1;
}

}  // namespace quire::cli
