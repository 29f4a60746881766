// quire dump TABLE [--index NAME | --physical] [--reverse] [--limit N]
// [--recno]: the records as JSON lines in the order of an index or of their
// slots.

#include <charconv>
#include <ostream>

#include "Command.h"
#include "RecordJson.h"
#include "TableSession.h"

namespace quire::cli {

int RunDump(TCommandContext& context) {
  const auto usage = [] {
    return EUsageError(
        "usage: quire dump TABLE [--index NAME | --physical] [--reverse] [--limit N] [--recno]");
  };
  if (context.Args.empty()) throw usage();
  std::optional<std::string> index;
  bool physical = false, reverse = false, recno = false;
  std::optional<std::uint64_t> limit;
  for (std::size_t i = 1; i < context.Args.size(); ++i) {
    const std::string& option = context.Args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= context.Args.size()) throw EUsageError(option + " needs a value");
      return context.Args[++i];
    };
    if (option == "--index") {
      index = value();
    } else if (option == "--physical") {
      physical = true;
    } else if (option == "--reverse") {
      reverse = true;
    } else if (option == "--recno") {
      recno = true;
    } else if (option == "--limit") {
      const std::string& text = value();
      std::uint64_t n = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        throw EUsageError("--limit needs a number");
      limit = n;
    } else {
      throw usage();
    }
  }
  if (physical && index) throw EUsageError("--index and --physical exclude each other");

  TDataFile table;
  PrepareTable(table, context, context.Args[0]);
  table.Open();
  if (physical) {
    table.SelectIndex(kPhysicalOrder);
  } else {
    table.SelectIndex(context.Codec.ToBytes(index.value_or(""), "--index"));
  }
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  if (reverse) {
    table.Last();
  } else {
    table.First();
  }
  for (std::uint64_t printed = 0; !limit || printed < *limit; ++printed) {
    const TErrorCode code = reverse ? table.GetPriorRecord(buffer) : table.GetNextRecord(buffer);
    if (code != 0) break;
    nlohmann::ordered_json row = RecordToJson(table, buffer, context.Codec);
    if (recno) row["_recno"] = table.CurrentRecordNumber();
    context.Out << row.dump() << '\n';
  }
  table.Close();
  return 0;
}

}  // namespace quire::cli
