#include "RecordSelection.h"

#include "Command.h"
#include "RecordJson.h"

namespace quire::cli {

nlohmann::json ParseJsonArgument(const std::string& option, const std::string& text) {
  try {
    return nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception&) {
    throw EUsageError(option + " needs JSON, not " + text);
  }
}

std::vector<std::uint32_t> FindByKey(TDataFile& table, const std::string& indexName,
                                     const nlohmann::json& key, const TTextCodec& codec) {
  table.SelectIndex(codec.ToBytes(indexName, "--index"));
  const TIndexDescriptor& index = table.IndexFile().CurrentDescriptor();
  if (!key.is_array() || key.empty() || key.size() > index.FieldCount)
    throw EUsageError("--key needs an array of 1 to " + std::to_string(index.FieldCount) +
                      " values for the index's leading fields");
  std::vector<TFieldInput> inputs;
  for (std::size_t i = 0; i < key.size(); ++i)
    inputs.push_back(ParseFieldJson(table, index.FieldNumbers[i], key[i], codec, "--key"));
  std::vector<std::uint8_t> search = table.NewRecordBuffer();
  ApplyFieldInputs(table, search, inputs);

  std::vector<std::uint32_t> found;
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  if (!table.FindNearest(search, key.size(), buffer)) return found;
  do {
    if (!table.SameKey(buffer, search, key.size())) break;
    found.push_back(table.CurrentRecordNumber());
  } while (table.GetNextRecord(buffer) == 0);
  return found;
}

std::vector<std::uint32_t> AllRecords(TDataFile& table) {
  table.SelectIndex(kPhysicalOrder);
  std::vector<std::uint32_t> found;
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  table.First();
  while (table.GetNextRecord(buffer) == 0) found.push_back(table.CurrentRecordNumber());
  return found;
}

}  // namespace quire::cli
