#include "sql/ComputedFields.h"

#include <memory>
#include <string>

#include "engine/BlankText.h"
#include "engine/EngineError.h"
#include "engine/FormatSettings.h"
#include "engine/Value.h"
#include "sql/CheckTypes.h"
#include "sql/Evaluate.h"
#include "sql/ParseExpression.h"
#include "sql/RecordColumnReader.h"
#include "sql/SqlError.h"

namespace quire {
namespace {

// Columns of a compute expression are the table's own fields, by name.
class TFieldResolver : public TColumnResolver {
 public:
  explicit TFieldResolver(const std::vector<TFieldDescriptor>& fields) : fields_(fields) {}

  bool Resolve(TQueryExprNode& column) override {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      const TFieldDescriptor& field = fields_[i];
      if (!EqualsIgnoringAsciiCase(field.FieldName, column.ColumnName)) continue;
      column.FieldNo = static_cast<std::int16_t>(i + 1);
      column.Value = TValue::NullOf(field.FieldType, field.DataSize);
      column.Value.SubType = field.FieldSubType;
      column.Value.Decimals = field.DataDecimals;
      return true;
    }
    return false;
  }

 private:
  const std::vector<TFieldDescriptor>& fields_;
};

TExprTree Compile(std::string_view expression, const std::vector<TFieldDescriptor>& fields) {
  TExpressionParser parser;
  parser.Load(expression);
  parser.ReadToken();
  TExprTree tree = ParseExpression(parser, pfPredicates, kClauseComputedField);
  if (!parser.TokenKindIs(tkEnd))
    RaiseSqlError("Unknown or unexpected symbol '" + parser.TokenText() + "' found in " +
                  std::string(kClauseComputedField));
  TFieldResolver resolver(fields);
  CheckTypes(*tree, kClauseComputedField, resolver, CurrentFormatSettings());
  return tree;
}

struct TCompiledFields {
  std::vector<TFieldDescriptor> fields;
  std::vector<TExprTree> trees;  // by field position; null: not computed or not usable
};

}  // namespace

TDataFile::TComputedEvaluator CompileComputedFields(
    const std::vector<TFieldDescriptor>& logicalFields) {
  auto compiled = std::make_shared<TCompiledFields>();
  compiled->fields = logicalFields;
  bool any = false;
  for (const TFieldDescriptor& field : logicalFields) {
    TExprTree tree;
    if (field.IsComputed()) {
      try {
        tree = Compile(field.ComputeExpression, logicalFields);
      } catch (const EQuireEngineError&) {
        // Left blank: the table is still readable.
      }
    }
    any |= tree != nullptr;
    compiled->trees.push_back(std::move(tree));
  }
  if (!any) return {};
  return [compiled](const TFieldDescriptor& field, std::span<const std::uint8_t> record,
                    std::span<std::uint8_t> value) {
    if (field.FieldNo < 1 || static_cast<std::size_t>(field.FieldNo) > compiled->trees.size())
      return false;
    const TExprTree& tree = compiled->trees[field.FieldNo - 1];
    if (!tree) return false;
    TRecordColumnReader reader(compiled->fields, record);
    const TValue result = Evaluate(*tree, {.Reader = &reader});
    if (result.Null) return false;
    const auto bytes = EncodeValue(result, field.FieldType, field.DataSize, field.DataDecimals);
    if (!bytes) return false;
    std::copy_n(bytes->begin(), std::min(bytes->size(), value.size()), value.begin());
    return true;
  };
}

void CheckComputeExpressions(const std::vector<TFieldDescriptor>& fields) {
  for (const TFieldDescriptor& field : fields)
    if (field.IsComputed()) Compile(field.ComputeExpression, fields);
}

}  // namespace quire
