// quire delete TABLE (--index NAME --key JSON | --all): deletes the records
// whose leading index fields equal --key, or every record.

#include <ostream>

#include "Command.h"
#include "RecordSelection.h"
#include "TableSession.h"

namespace quire::cli {

int RunDelete(TCommandContext& context) {
  const auto usage = [] {
    return EUsageError("usage: quire delete TABLE (--index NAME --key JSON | --all)");
  };
  const auto& args = context.Args;
  const bool all = args.size() == 2 && args[1] == "--all";
  std::optional<std::string> index, key;
  if (!all) {
    if (args.size() != 5) throw usage();
    for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
      if (args[i] == "--index") {
        index = args[i + 1];
      } else if (args[i] == "--key") {
        key = args[i + 1];
      } else {
        throw usage();
      }
    }
    if (!index || !key) throw usage();
  }
  const nlohmann::json keyJson = all ? nlohmann::json() : ParseJsonArgument("--key", *key);

  TDataFile table;
  PrepareTable(table, context, args[0]);
  table.Open();
  const std::vector<std::uint32_t> records =
      all ? AllRecords(table) : FindByKey(table, *index, keyJson, context.Codec);
  std::size_t deleted = 0;
  try {
    for (const std::uint32_t record : records) {
      if (!table.GoToRecord(record)) continue;  // deleted by another program meanwhile
      table.DeleteRecord();
      ++deleted;
    }
  } catch (...) {
    context.Out << "deleted " << deleted << '\n';
    throw;
  }
  table.Close();
  context.Out << "deleted " << deleted << '\n';
  return 0;
}

}  // namespace quire::cli
