#include "sql/FilterBufferReader.h"

#include <algorithm>
#include <string>

#include "engine/EngineError.h"
#include "engine/FieldTypes.h"
#include "engine/FileBytes.h"
#include "sql/FieldByName.h"
#include "sql/FilterBuffer.h"
#include "sql/FilterConstantBytes.h"

namespace quire {
namespace {

namespace fb = filterbuffer;

bool IsBinaryOperator(std::uint32_t code) {
  return (code >= op::Equal && code <= op::LessOrEqual) || code == op::And || code == op::Or;
}

bool IsUnaryOperator(std::uint32_t code) {
  return code == op::IsNull || code == op::IsNotNull || code == op::Not;
}

class TReader {
 public:
  TReader(std::span<const std::uint8_t> buffer, const std::vector<TFieldDescriptor>& fields,
          std::string_view fileName)
      : fields_(fields), fileName_(fileName) {
    if (buffer.size() < fb::kHeaderSize) Fail();
    const std::size_t total = bytes::Get<std::uint16_t>(buffer, fb::kTotalSizeAt);
    const std::size_t nodesAt = bytes::Get<std::uint16_t>(buffer, fb::kNodeAreaAt);
    const std::size_t literalsAt = bytes::Get<std::uint16_t>(buffer, fb::kLiteralAreaAt);
    if (bytes::Get<std::uint16_t>(buffer, 0) != fb::kVersion || total > buffer.size() ||
        nodesAt != fb::kHeaderSize || literalsAt < nodesAt || literalsAt > total)
      Fail();
    nodes_ = buffer.subspan(nodesAt, literalsAt - nodesAt);
    literals_ = buffer.subspan(literalsAt, total - literalsAt);
    // Every node takes at least its head, so a tree that decodes more nodes
    // than that shares operands and could grow without bound.
    nodeBudget_ = nodes_.size() / fb::kNodeHeadSize;
  }

  TExprTree Root() { return Node(0, 1); }

 private:
  [[noreturn]] void Fail() const { RaiseEngineError(err::InvalidFilterExpression, fileName_); }

  std::uint16_t Operand(std::size_t at, std::size_t index) const {
    return bytes::Get<std::uint16_t>(nodes_, at + fb::kNodeHeadSize + 2 * index);
  }

  // The node at `at`, whose operands must lie after it.
  TExprTree Node(std::size_t at, int depth) {
    if (depth > fb::kMaxDepth || nodeBudget_ == 0 || at + fb::kNodeHeadSize > nodes_.size()) Fail();
    --nodeBudget_;
    const auto nodeClass = static_cast<TFilterNodeClass>(bytes::Get<std::uint32_t>(nodes_, at));
    const std::uint32_t code = bytes::Get<std::uint32_t>(nodes_, at + 4);
    const std::size_t operands = OperandCountOf(nodeClass);
    if (operands == 0 || at + fb::kNodeHeadSize + 2 * operands > nodes_.size()) Fail();
    const auto child = [&](std::size_t index) {
      const std::size_t offset = Operand(at, index);
      if (offset <= at) Fail();
      return Node(offset, depth + 1);
    };
    switch (nodeClass) {
      case TFilterNodeClass::Unary:
        if (!IsUnaryOperator(code)) Fail();
        return MakeOperator(nkUnary, static_cast<std::uint8_t>(code), {}, child(0));
      case TFilterNodeClass::Binary: {
        if (!IsBinaryOperator(code)) Fail();
        TExprTree left = child(0);
        return MakeOperator(nkBinary, static_cast<std::uint8_t>(code), {}, std::move(left),
                            child(1));
      }
      case TFilterNodeClass::Compare: {
        if (code != op::Equal && code != op::NotEqual) Fail();
        const std::uint16_t caseFlag = Operand(at, 0);
        const std::uint16_t partial = Operand(at, 1);
        if (caseFlag > 1 || partial > fb::kMaxStringConstant) Fail();
        TExprTree field = child(2);
        TExprTree constant = child(3);
        if (!field->IsColumn() || field->Type() != ftype::String || !constant->IsConstant() ||
            constant->Type() != ftype::String || constant->Value.Null)
          Fail();
        TExprTree node = MakeOperator(nkCompare, static_cast<std::uint8_t>(code), {},
                                      std::move(field), std::move(constant));
        node->PartialLength = static_cast<std::uint8_t>(partial);
        node->CaseInsensitive = caseFlag != 0;
        return node;
      }
      case TFilterNodeClass::Field:
        if (code != fb::kFieldOperator) Fail();
        return Field(Operand(at, 1));
      case TFilterNodeClass::Constant:
        if (code != fb::kConstantOperator) Fail();
        return Constant(Operand(at, 0), Operand(at, 1), Operand(at, 2));
    }
    Fail();
  }

  TExprTree Field(std::size_t nameAt) const {
    if (nameAt >= literals_.size()) Fail();
    const auto rest = literals_.subspan(nameAt);
    const auto end = std::find(rest.begin(), rest.end(), 0);
    if (end == rest.end()) Fail();
    const std::string name(rest.begin(), end);
    const TFieldDescriptor* field = FindFieldByName(fields_, name);
    if (field == nullptr) Fail();
    TExprTree column = MakeColumn({}, field->FieldName);
    column->FieldNo = static_cast<std::int16_t>(field - fields_.data() + 1);
    column->Value = TValue::NullOf(field->FieldType, field->DataSize);
    column->Value.SubType = field->FieldSubType;
    column->Value.Decimals = field->DataDecimals;
    return column;
  }

  TExprTree Constant(std::uint16_t type, std::size_t size, std::size_t valueAt) const {
    if (type > 0xFF || valueAt > literals_.size() || size > literals_.size() - valueAt) Fail();
    const auto value =
        DecodeFilterConstant(static_cast<std::uint8_t>(type), literals_.subspan(valueAt, size));
    if (!value) Fail();
    return MakeConstant(*value, value->Type == ftype::String ? value->Text : std::string());
  }

  const std::vector<TFieldDescriptor>& fields_;
  std::string_view fileName_;
  std::span<const std::uint8_t> nodes_;
  std::span<const std::uint8_t> literals_;
  std::size_t nodeBudget_ = 0;
};

}  // namespace

TExprTree DecodeFilterBuffer(std::span<const std::uint8_t> buffer,
                             const std::vector<TFieldDescriptor>& fields,
                             std::string_view fileName) {
  return TReader(buffer, fields, fileName).Root();
}

}  // namespace quire
