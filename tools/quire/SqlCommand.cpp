// quire sql DIR STATEMENT [--param VALUE]...: runs one SQL statement over
// the tables of folder DIR. A result set is printed as JSON lines of its
// visible columns; anything else as "rows affected N".

#include <limits>
#include <ostream>

#include "Command.h"
#include "RecordJson.h"
#include "RecordSelection.h"
#include "engine/FieldTypes.h"
#include "sql/DataQuery.h"

namespace quire::cli {
namespace {

// A --param value typed from its JSON form.
TValue ParameterValue(const nlohmann::json& json, const TTextCodec& codec) {
  if (json.is_null()) return TValue::Untyped();
  if (json.is_boolean()) return TValue::Boolean(json.get<bool>());
  if (json.is_number_integer()) {
    const auto value = json.get<std::int64_t>();
    if (value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max())
      return TValue::Int(static_cast<std::int32_t>(value));
    return TValue::Float(static_cast<double>(value));
  }
  if (json.is_number()) return TValue::Float(json.get<double>());
  if (json.is_string()) return TValue::String(codec.ToBytes(json.get<std::string>(), "--param"));
  throw EUsageError("--param takes a JSON null, boolean, number or string");
}

}  // namespace

int RunSql(TCommandContext& context) {
  const auto& args = context.Args;
  if (args.size() < 2 || args.size() % 2 != 0)
    throw EUsageError("usage: quire sql DIR STATEMENT [--param VALUE]...");
  std::vector<TValue> parameters;
  for (std::size_t i = 2; i < args.size(); i += 2) {
    if (args[i] != "--param") throw EUsageError("unknown option " + args[i]);
    parameters.push_back(ParameterValue(ParseJsonArgument("--param", args[i + 1]), context.Codec));
  }
  const std::string statement = context.Codec.ToBytes(args[1], "the statement");

  TDataQuery query;
  query.Settings().DatabaseDirectory = args[0];
  query.Settings().LockRetryCount = context.Options.LockRetryCount;
  query.Settings().LockWaitTime = context.Options.LockWaitTime;
  query.PrepareStatement(statement);
  query.SetParamValues(parameters);
  TDataFile* result = query.RunStatement();
  if (result == nullptr) {
    context.Out << "rows affected " << query.RowsAffected() << '\n';
    return 0;
  }
  std::vector<std::uint8_t> buffer = result->NewRecordBuffer();
  result->First();
  while (result->GetNextRecord(buffer) == 0) {
    const nlohmann::ordered_json all = RecordToJson(*result, buffer, context.Codec);
    nlohmann::ordered_json row = nlohmann::ordered_json::object();
    for (const int fieldNo : query.VisibleFields()) {
      const std::string name =
          context.Codec.ToText(result->FieldAt(true, fieldNo).FieldName, "a column name");
      row[name] = all.at(name);
    }
    context.Out << row.dump() << '\n';
  }
  return 0;
}

}  // namespace quire::cli
