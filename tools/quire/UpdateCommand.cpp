// quire update TABLE --index NAME --key JSON --set JSON: changes the fields
// of --set in every record whose leading index fields equal --key.

#include <ostream>

#include "Command.h"
#include "RecordJson.h"
#include "RecordSelection.h"
#include "TableSession.h"
#include "engine/EngineError.h"

namespace quire::cli {

int RunUpdate(TCommandContext& context) {
  const auto usage = [] {
    return EUsageError("usage: quire update TABLE --index NAME --key JSON --set JSON");
  };
  if (context.Args.size() != 7) throw usage();
  std::optional<std::string> index, key, set;
  for (std::size_t i = 1; i + 1 < context.Args.size(); i += 2) {
    const std::string& option = context.Args[i];
    auto& target = option == "--index" ? index
                   : option == "--key" ? key
                   : option == "--set" ? set
                                       : throw usage();
    target = context.Args[i + 1];
  }
  if (!index || !key || !set) throw usage();
  const nlohmann::json keyJson = ParseJsonArgument("--key", *key);
  const nlohmann::json setJson = ParseJsonArgument("--set", *set);

  TDataFile table;
  PrepareTable(table, context, context.Args[0]);
  table.Open();
  const std::vector<TFieldInput> changes = ParseRecordJson(table, setJson, context.Codec, "--set");
  const std::vector<std::uint32_t> records = FindByKey(table, *index, keyJson, context.Codec);
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  std::size_t updated = 0;
  try {
    for (const std::uint32_t record : records) {
      if (!table.GoToRecord(record)) continue;  // deleted by another program meanwhile
      RaiseIfNonzero(table.GetCurrentRecord(buffer, true));
      ApplyFieldInputs(table, buffer, changes);
      table.ModifyRecord(buffer);
      ++updated;
    }
  } catch (...) {
    context.Out << "updated " << updated << '\n';
    throw;
  }
  table.Close();
  context.Out << "updated " << updated << '\n';
  return 0;
}

}  // namespace quire::cli
