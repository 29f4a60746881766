// quire info TABLE: the table's definition, its header and its record count
// as one JSON object.

#include <ostream>

#include "Command.h"
#include "TableDefinitionJson.h"
#include "TableSession.h"

namespace quire::cli {
namespace {

nlohmann::json DescribeHeader(const TDataFileHeader& header, const TTextCodec& codec) {
  nlohmann::json result = nlohmann::json::object();
  result["changeCount"] = header.ChangeCount;
  result["blobBlockSize"] = header.BlobBlockSize;
  result["version"] = header.Version;
  result["freeRecordHead"] = header.FreeRecordHead;
  result["nextRecordNumber"] = header.NextRecordNumber;
  result["lastAutoIncValue"] = header.LastAutoIncValue;
  result["recordSize"] = header.RecordSize;
  result["fieldCount"] = header.FieldCount;
  result["blobFieldCount"] = header.BlobFieldCount;
  result["computedAreaSize"] = header.ComputedAreaSize;
  result["languageId"] = header.LanguageId;
  result["sortId"] = header.SortId;
  result["encrypted"] = header.IsEncrypted();
  result["description"] = codec.ToText(header.Description, "the description");
  return result;
}

}  // namespace

int RunInfo(TCommandContext& context) {
  if (context.Args.size() != 1) throw EUsageError("usage: quire info TABLE");
  TDataFile table;
  PrepareTable(table, context, context.Args[0]);
  table.Open();
  nlohmann::json info = DescribeTableDefinition(table, context.Codec);
  info["header"] = DescribeHeader(table.Header(), context.Codec);
  info["recordCount"] = table.IndexFile().RecordCount();
  table.Close();
  context.Out << info.dump() << '\n';
  return 0;
}

}  // namespace quire::cli
