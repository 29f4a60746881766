// Feeds the fuzzer's bytes to the SQL layer as statement text: the
// statement parser (which binds and type-checks conditions and values over
// a table of every field type), the select items checked the same way, and
// every checked tree evaluated over a few records; then the same text as
// one expression of its own. An engine error (11949 and the like) is a fine
// answer to any text; a crash, a hang or a sanitizer report is a bug.

#include <cfloat>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DayNumber.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FieldTypes.h"
#include "engine/FormatSettings.h"
#include "engine/Value.h"
#include "sql/CheckTypes.h"
#include "sql/DataQuery.h"
#include "sql/Evaluate.h"
#include "sql/ParseExpression.h"
#include "sql/StatementResolver.h"

namespace {

using namespace quire;

TFieldDescriptor Field(std::int16_t number, const char* name, std::uint8_t type,
                       std::uint8_t size = 0, std::uint8_t subType = 0, std::uint8_t decimals = 0) {
  TFieldDescriptor field;
  field.FieldNo = number;
  field.FieldName = name;
  field.FieldType = type;
  field.FieldSubType = subType;
  field.FieldSize = size;
  field.FieldDecimals = decimals;
  field.DeriveSizes();
  return field;
}

// Every table a statement names has these fields, one of each type.
const std::vector<TFieldDescriptor>& Fields() {
  static const std::vector<TFieldDescriptor> fields = {
      Field(1, "Code", ftype::String, 10),    Field(2, "Name", ftype::String, 250),
      Field(3, "Sold", ftype::Date),          Field(4, "Active", ftype::Boolean),
      Field(5, "Plays", ftype::SmallInt),     Field(6, "Year", ftype::Integer),
      Field(7, "Rate", ftype::Float),         Field(8, "Paid", ftype::Float, 0, fsubtype::Money),
      Field(9, "Price", ftype::Bcd, 0, 0, 2), Field(10, "Fine", ftype::Bcd, 0, 0, 4),
      Field(11, "Start", ftype::Time),        Field(12, "Stamp", ftype::TimeStamp),
      Field(13, "Count", ftype::Word)};
  return fields;
}

class TAnyTable : public TTableSchemas {
 public:
  const std::vector<TFieldDescriptor>& FieldsOf(TSourceDataFile&) override { return Fields(); }
};

// The whole expression's columns, by field number, from one of the records.
class TRecordReader : public TColumnReader {
 public:
  explicit TRecordReader(const std::vector<TValue>& record) : record_(record) {}
  TValue Read(const TQueryExprNode& column) override {
    if (column.FieldNo < 1 || static_cast<std::size_t>(column.FieldNo) > record_.size())
      return TValue::Untyped();  // "*" and the like
    return record_[column.FieldNo - 1];
  }

 private:
  const std::vector<TValue>& record_;
};

TValue Typed(std::uint8_t type, std::int64_t integer, double real = 0, std::string text = {}) {
  TValue v = TValue::NullOf(type);
  v.Null = false;
  v.Integer = integer;
  v.Real = real;
  v.Text = std::move(text);
  return v;
}

// All NULL; ordinary values; the edges of each type (and values another
// program may have left in a record).
const std::vector<std::vector<TValue>>& Records() {
  static const std::vector<std::vector<TValue>> records = [] {
    std::vector<std::vector<TValue>> all(3);
    for (const TFieldDescriptor& field : Fields()) {
      TValue null = TValue::NullOf(field.FieldType, field.DataSize);
      null.SubType = field.FieldSubType;
      null.Decimals = field.DataDecimals;
      all[0].push_back(null);
    }
    const double day = kMillisecondsPerDay;
    all[1] = {Typed(ftype::String, 0, 0, "A1"),
              Typed(ftype::String, 0, 0, "Song %_ 'x'"),
              Typed(ftype::Date, DayNumber(2024, 2, 29)),
              Typed(ftype::Boolean, 1),
              Typed(ftype::SmallInt, 12),
              Typed(ftype::Integer, 1999),
              Typed(ftype::Float, 0, 2.5),
              Typed(ftype::Float, 0, 10.25),
              Typed(ftype::Bcd, 125000),
              Typed(ftype::Bcd, 12345),
              Typed(ftype::Time, 36000000),
              Typed(ftype::TimeStamp, 0, DayNumber(2024, 3, 15) * day + 1000),
              Typed(ftype::Word, 7)};
    all[2] = {Typed(ftype::String, 0, 0, std::string(250, '\xFE')),
              Typed(ftype::String, 0, 0, std::string(1, '%')),
              Typed(ftype::Date, INT32_MAX),
              Typed(ftype::Boolean, 0),
              Typed(ftype::SmallInt, -32768),
              Typed(ftype::Integer, INT32_MIN),
              Typed(ftype::Float, 0, -DBL_MAX),
              Typed(ftype::Float, 0, DBL_MIN),
              Typed(ftype::Bcd, INT64_MAX),
              Typed(ftype::Bcd, INT64_MIN),
              Typed(ftype::Time, -1),
              Typed(ftype::TimeStamp, 0, -1e300),
              Typed(ftype::Word, 65535)};
    for (std::size_t i = 0; i < Fields().size(); ++i)
      for (std::size_t r = 1; r < all.size(); ++r) {
        all[r][i].SubType = Fields()[i].FieldSubType;
        all[r][i].Decimals = Fields()[i].DataDecimals;
        all[r][i].Size = Fields()[i].DataSize;
      }
    return all;
  }();
  return records;
}

void EvaluateOverRecords(const TQueryExprNode& tree) {
  for (const std::vector<TValue>& record : Records()) {
    TRecordReader reader(record);
    Evaluate(tree, {.Reader = &reader});
  }
}

// Gives typed parameters a value of their type, so that evaluation sees
// values there too.
void FillParameters(const TParameterList& parameters) {
  const std::vector<TValue>& record = Records()[1];
  for (TQueryExprNode* parameter : parameters) {
    for (const TValue& value : record)
      if (value.Type == parameter->Value.Type) {
        parameter->Value = value;
        break;
      }
  }
}

void Statement(std::string_view text) {
  TAnyTable tables;
  TDataQuery query;
  query.Settings().DatabaseDirectory = "/db";
  try {
    query.ParseStatement(text, tables);
  } catch (const EQuireEngineError&) {
    return;
  }
  TStatement& statement = query.Statement();
  FillParameters(statement.Parameters);
  if (statement.Condition) EvaluateOverRecords(*statement.Condition);
  for (const TUpdateDataValue& value : statement.Values)
    if (value.Value) EvaluateOverRecords(*value.Value);
  // Select items are kept as written; check them as the executor will.
  TSourceColumnResolver resolver(statement.SourceTables, tables);
  for (TResultDataField& item : statement.ResultFields) {
    if (!item.Expression) continue;
    try {
      CheckTypes(*item.Expression, kClauseSourceColumns, resolver, BuiltInFormatSettings());
    } catch (const EQuireEngineError&) {
      continue;
    }
    EvaluateOverRecords(*item.Expression);
  }
}

class TFieldResolver : public TColumnResolver {
 public:
  bool Resolve(TQueryExprNode& column) override {
    for (const TFieldDescriptor& field : Fields()) {
      if (field.FieldName.size() != column.ColumnName.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < field.FieldName.size() && same; ++i)
        same = (field.FieldName[i] | 0x20) == (column.ColumnName[i] | 0x20);
      if (!same) continue;
      column.FieldNo = field.FieldNo;
      column.Value = TValue::NullOf(field.FieldType, field.DataSize);
      column.Value.SubType = field.FieldSubType;
      column.Value.Decimals = field.DataDecimals;
      return true;
    }
    return false;
  }
};

void Expression(std::string_view text) {
  try {
    TExpressionParser parser;
    parser.Load(text);
    parser.ReadToken();
    TParameterList parameters;
    TExprTree tree = ParseExpression(parser, pfAggregates | pfAllColumns | pfPredicates | pfParams,
                                     kClauseCondition, &parameters);
    TFieldResolver resolver;
    CheckTypes(*tree, kClauseCondition, resolver, BuiltInFormatSettings());
    FillParameters(parameters);
    EvaluateOverRecords(*tree);
  } catch (const EQuireEngineError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quire::StartEngine();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Statement(text);
  Expression(text);
  return 0;
}
