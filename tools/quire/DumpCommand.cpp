// quire dump TABLE [--index NAME | --physical] [--reverse] [--from JSON]
// [--to JSON] [--limit N] [--recno] [--filter TEXT [--filter-options
// case-insensitive,no-partial]]: the records as JSON lines in the order of
// an index or of their slots, optionally limited to a key range and to the
// records that pass a dataset filter expression.

#include <algorithm>
#include <charconv>
#include <memory>
#include <ostream>
#include <unordered_set>

#include "Command.h"
#include "RecordJson.h"
#include "RecordSelection.h"
#include "TableSession.h"
#include "engine/DatabaseError.h"
#include "sql/ExprParser.h"
#include "sql/Filter.h"

namespace quire::cli {

namespace {

// A record buffer holding the values of `bound` (a JSON array) in the
// current index's leading fields; empty for no bound.
std::vector<std::uint8_t> RangeBound(TDataFile& table, const std::optional<nlohmann::json>& bound,
                                     const std::string& option, const TTextCodec& codec) {
  if (!bound) return {};
  const TIndexDescriptor& index = table.IndexFile().CurrentDescriptor();
  if (!bound->is_array() || bound->empty() || bound->size() > index.FieldCount)
    throw EUsageError(option + " needs an array of 1 to " + std::to_string(index.FieldCount) +
                      " values for the index's leading fields");
  std::vector<TFieldInput> inputs;
  for (std::size_t i = 0; i < bound->size(); ++i)
    inputs.push_back(ParseFieldJson(table, index.FieldNumbers[i], (*bound)[i], codec, option));
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  ApplyFieldInputs(table, buffer, inputs);
  return buffer;
}

// Limits the table to the records whose key of the selected index lies from
// `from` to `to`. In physical order the range is one of the primary index:
// its records are found through that index and let through by a filter.
void SetDumpRange(TDataFile& table, bool physical, const std::optional<nlohmann::json>& from,
                  const std::optional<nlohmann::json>& to, const TTextCodec& codec) {
  if (!from && !to) return;
  if (physical) table.SelectIndex(kPrimaryIndex);
  if (table.IndexFile().CurrentDescriptor().FieldCount == 0)
    throw EUsageError("--from and --to need an index; the table has no primary index");
  const std::vector<std::uint8_t> start = RangeBound(table, from, "--from", codec);
  const std::vector<std::uint8_t> end = RangeBound(table, to, "--to", codec);
  table.SetRange(start, from ? from->size() : 0, end, to ? to->size() : 0);
  if (!physical) return;
  auto inside = std::make_shared<std::unordered_set<std::uint32_t>>();
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  table.First();
  while (table.GetNextRecord(buffer) == 0) inside->insert(table.CurrentRecordNumber());
  table.SelectIndex(kPhysicalOrder);
  table.ActivateFilter(
      table.InstallFilter([inside](std::span<const std::uint8_t>, std::uint32_t number) {
        return inside->contains(number);
      }));
}

// The options of --filter-options: a comma-separated list, empty for none.
TFilterOptions ParseFilterOptions(const std::string& list) {
  TFilterOptions options = 0;
  for (std::size_t start = 0; !list.empty() && start <= list.size();) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    const std::string name = list.substr(start, comma - start);
    if (name == "case-insensitive") {
      options |= foCaseInsensitive;
    } else if (name == "no-partial") {
      options |= foNoPartialCompare;
    } else {
      throw EUsageError("--filter-options takes case-insensitive and no-partial, not '" + name +
                        "'");
    }
    start = comma + 1;
  }
  return options;
}

// The filter of `text` (UTF-8, through the tool's code page), compiled as a
// dataset compiles its filter property; a text that does not compile is a
// usage error with the dataset layer's message.
std::unique_ptr<TFilter> MakeDumpFilter(TDataFile& table, const std::string& text,
                                        TFilterOptions options, const TTextCodec& codec) {
  try {
    const TExprParser parser(table.LogicalFields(), options, codec.ToBytes(text, "--filter"));
    return std::make_unique<TFilter>(table, parser.FilterData());
  } catch (const EDatabaseError& e) {
    throw EUsageError(std::string("--filter: ") + e.what());
  }
}

}  // namespace

int RunDump(TCommandContext& context) {
  const auto usage = [] {
    return EUsageError(
        "usage: quire dump TABLE [--index NAME | --physical] [--reverse] [--from JSON] [--to JSON] "
        "[--limit N] [--recno] [--filter TEXT [--filter-options case-insensitive,no-partial]]");
  };
  if (context.Args.empty()) throw usage();
  std::optional<std::string> index;
  bool physical = false, reverse = false, recno = false;
  std::optional<std::uint64_t> limit;
  std::optional<nlohmann::json> from, to;
  std::optional<std::string> filterText;
  std::optional<TFilterOptions> filterOptions;
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
    } else if (option == "--from") {
      from = ParseJsonArgument(option, value());
    } else if (option == "--to") {
      to = ParseJsonArgument(option, value());
    } else if (option == "--filter") {
      filterText = value();
    } else if (option == "--filter-options") {
      filterOptions = ParseFilterOptions(value());
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
  if (filterOptions && !filterText) throw EUsageError("--filter-options needs --filter");

  TDataFile table;
  PrepareTable(table, context, context.Args[0]);
  table.Open();
  if (physical) {
    table.SelectIndex(kPhysicalOrder);
  } else {
    table.SelectIndex(context.Codec.ToBytes(index.value_or(""), "--index"));
  }
  // The filter first: building its bitmap visits other indexes, which
  // would drop a range already set.
  std::unique_ptr<TFilter> filter;
  if (filterText) {
    filter = MakeDumpFilter(table, *filterText, filterOptions.value_or(0), context.Codec);
    filter->Activate();
  }
  SetDumpRange(table, physical, from, to, context.Codec);
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
  filter.reset();  // leaves the table before it closes
  table.Close();
  return 0;
}

}  // namespace quire::cli
