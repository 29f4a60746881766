#include "sql/FilterExpr.h"

#include <algorithm>

#include "engine/DatabaseError.h"
#include "engine/FieldTypes.h"
#include "engine/FileBytes.h"
#include "sql/FieldByName.h"
#include "sql/FilterBuffer.h"
#include "sql/FilterConstantBytes.h"
#include "sql/FilterConstantConversion.h"
#include "sql/QueryExprNode.h"

namespace quire {
namespace {

constexpr std::string_view kIncorrectlyFormed = "Incorrectly formed filter expression";

}  // namespace

// Writes one tree: nodes root first into the node area, each node reserved
// before its operands are written and its operand slots filled after, and
// literals appended in the order their nodes are written.
class TFilterExpr::TWriter {
 public:
  explicit TWriter(const TFilterExpr& owner) : owner_(owner) {}

  std::vector<std::uint8_t> Write(const TExprNode& root) {
    PutCondition(root, 1);
    namespace fb = filterbuffer;
    const std::size_t literalsAt = fb::kHeaderSize + nodes_.size();
    // Reserved whole: GCC 12 at -O3 otherwise reports a false -Warray-bounds
    // in the insert that grows the header-sized vector.
    std::vector<std::uint8_t> buffer(fb::kHeaderSize);
    buffer.reserve(literalsAt + literals_.size());
    bytes::Put<std::uint16_t>(buffer, 0, fb::kVersion);
    bytes::Put<std::uint16_t>(buffer, fb::kTotalSizeAt,
                              static_cast<std::uint16_t>(literalsAt + literals_.size()));
    bytes::Put<std::uint16_t>(buffer, fb::kNodeCountAt, fb::kUnknownNodeCount);
    bytes::Put<std::uint16_t>(buffer, fb::kNodeAreaAt, fb::kHeaderSize);
    bytes::Put<std::uint16_t>(buffer, fb::kLiteralAreaAt, static_cast<std::uint16_t>(literalsAt));
    buffer.insert(buffer.end(), nodes_.begin(), nodes_.end());
    buffer.insert(buffer.end(), literals_.begin(), literals_.end());
    return buffer;
  }

 private:
  std::uint16_t PutCondition(const TExprNode& node, int depth) {
    switch (node.Kind) {
      case TExprNodeKind::Field: {
        // A boolean field alone means field = true.
        const TFieldDescriptor& field = FieldOf(node);
        if (field.FieldType != ftype::Boolean)
          RaiseDatabaseError("Field '%s' is not of type Boolean", field.FieldName);
        const std::uint16_t at = PutNode(TFilterNodeClass::Binary, op::Equal, depth);
        SetOperand(at, 0, PutField(field, depth + 1));
        SetOperand(at, 1, PutConstant(TValue::Boolean(true), depth + 1));
        return at;
      }
      case TExprNodeKind::Constant:
        RaiseDatabaseError(std::string(kIncorrectlyFormed));
      case TExprNodeKind::Operator:
        break;
    }
    if (node.Operator == op::And || node.Operator == op::Or) {
      const std::uint16_t at = PutNode(TFilterNodeClass::Binary, node.Operator, depth);
      SetOperand(at, 0, PutCondition(*node.Left, depth + 1));
      SetOperand(at, 1, PutCondition(*node.Right, depth + 1));
      return at;
    }
    if (node.Operator == op::Not) {
      const std::uint16_t at = PutNode(TFilterNodeClass::Unary, op::Not, depth);
      SetOperand(at, 0, PutCondition(*node.Left, depth + 1));
      return at;
    }
    return PutComparison(node, depth);
  }

  std::uint16_t PutComparison(const TExprNode& node, int depth) {
    const TExprNode* left = node.Left;
    const TExprNode* right = node.Right;
    std::uint8_t code = node.Operator;
    if (left->Kind == TExprNodeKind::Constant && right->Kind == TExprNodeKind::Field) {
      std::swap(left, right);
      code = MirroredComparison(code);
    }
    // Only a field can be compared: with a field, NULL or a constant.
    if (left->Kind != TExprNodeKind::Field || right->Kind == TExprNodeKind::Operator)
      RaiseDatabaseError(std::string(kIncorrectlyFormed));
    const TFieldDescriptor& field = FieldOf(*left);
    if (right->Kind == TExprNodeKind::Field) {
      const TFieldDescriptor& other = FieldOf(*right);
      for (const TFieldDescriptor* f : {&field, &other})
        if (FilterTypeOf(*f) == 0)
          RaiseDatabaseError("Field '%s' cannot be used in a filter expression", f->FieldName);
      const std::uint16_t at = PutNode(TFilterNodeClass::Binary, code, depth);
      SetOperand(at, 0, PutField(field, depth + 1));
      SetOperand(at, 1, PutField(other, depth + 1));
      return at;
    }
    const TValue& constant = right->Value;
    if (constant.Null) {
      if (code != op::Equal && code != op::NotEqual)
        RaiseDatabaseError("NULL only allowed with '=' and '<>'");
      const std::uint16_t at =
          PutNode(TFilterNodeClass::Unary, code == op::Equal ? op::IsNull : op::IsNotNull, depth);
      SetOperand(at, 0, PutField(field, depth + 1));
      return at;
    }
    const TValue value = ConvertFilterConstant(field, constant, owner_.settings_);
    if (field.FieldType == ftype::String && (code == op::Equal || code == op::NotEqual) &&
        !value.Text.empty()) {
      // The text before cutting, so that a "*" past 255 characters still counts.
      std::string text = constant.Type == ftype::String ? constant.Text : value.Text;
      const bool star =
          (owner_.options_ & foNoPartialCompare) == 0 && text.size() > 1 && text.back() == '*';
      const bool caseless = (owner_.options_ & foCaseInsensitive) != 0;
      if (caseless || node.Partial || star) {
        std::size_t partial = 0;
        if (node.Partial) {
          partial = text.size();
        } else if (star) {
          text.pop_back();
          partial = text.size();
        }
        partial = std::min(partial, filterbuffer::kMaxStringConstant);
        const std::uint16_t at = PutNode(TFilterNodeClass::Compare, code, depth);
        SetOperand(at, 0, caseless ? 1 : 0);
        SetOperand(at, 1, static_cast<std::uint16_t>(partial));
        SetOperand(at, 2, PutField(field, depth + 1));
        SetOperand(at, 3, PutConstant(TValue::String(text), depth + 1));
        return at;
      }
    }
    const std::uint16_t at = PutNode(TFilterNodeClass::Binary, code, depth);
    SetOperand(at, 0, PutField(field, depth + 1));
    SetOperand(at, 1, PutConstant(value, depth + 1));
    return at;
  }

  std::uint16_t PutField(const TFieldDescriptor& field, int depth) {
    const std::uint16_t at = PutNode(TFilterNodeClass::Field, filterbuffer::kFieldOperator, depth);
    SetOperand(at, 0, static_cast<std::uint16_t>(field.FieldNo));
    std::vector<std::uint8_t> name(field.FieldName.begin(), field.FieldName.end());
    name.push_back(0);
    SetOperand(at, 1, PutLiteral(name));
    return at;
  }

  std::uint16_t PutConstant(const TValue& value, int depth) {
    const std::vector<std::uint8_t> bytes = EncodeFilterConstant(value);
    const std::uint16_t at =
        PutNode(TFilterNodeClass::Constant, filterbuffer::kConstantOperator, depth);
    SetOperand(at, 0, value.Type);
    SetOperand(at, 1, static_cast<std::uint16_t>(bytes.size()));
    SetOperand(at, 2, PutLiteral(bytes));
    return at;
  }

  // Reserves a node at the end of the node area; its operands are zero
  // until set.
  std::uint16_t PutNode(TFilterNodeClass nodeClass, std::uint32_t code, int depth) {
    if (depth > filterbuffer::kMaxDepth) RaiseDatabaseError(std::string(kFilterTooComplex));
    const std::size_t at = nodes_.size();
    Grow(filterbuffer::kNodeHeadSize + 2 * OperandCountOf(nodeClass));
    nodes_.resize(nodes_.size() + filterbuffer::kNodeHeadSize + 2 * OperandCountOf(nodeClass));
    bytes::Put<std::uint32_t>(nodes_, at, static_cast<std::uint32_t>(nodeClass));
    bytes::Put<std::uint32_t>(nodes_, at + 4, code);
    return static_cast<std::uint16_t>(at);
  }

  void SetOperand(std::uint16_t node, std::size_t index, std::uint16_t value) {
    bytes::Put<std::uint16_t>(nodes_, node + filterbuffer::kNodeHeadSize + 2 * index, value);
  }

  std::uint16_t PutLiteral(const std::vector<std::uint8_t>& bytes) {
    Grow(bytes.size());
    const std::size_t at = literals_.size();
    literals_.insert(literals_.end(), bytes.begin(), bytes.end());
    return static_cast<std::uint16_t>(at);
  }

  // Refuses to grow the buffer beyond what its 16-bit sizes can describe.
  void Grow(std::size_t more) const {
    if (filterbuffer::kHeaderSize + nodes_.size() + literals_.size() + more >
        filterbuffer::kMaxSize)
      RaiseDatabaseError(std::string(kFilterTooComplex));
  }

  const TFieldDescriptor& FieldOf(const TExprNode& node) const {
    const TFieldDescriptor* field = FindFieldByName(owner_.fields_, node.Value.Text);
    if (field == nullptr) RaiseDatabaseError("Field '%s' not found", node.Value.Text);
    return *field;
  }

  const TFilterExpr& owner_;
  std::vector<std::uint8_t> nodes_;
  std::vector<std::uint8_t> literals_;
};

TFilterExpr::TFilterExpr(const std::vector<TFieldDescriptor>& fields, TFilterOptions options,
                         TFormatSettings settings)
    : fields_(fields), options_(options), settings_(std::move(settings)) {}

TExprNode& TFilterExpr::NewNode(TExprNodeKind kind, std::uint8_t code, TValue value,
                                TExprNode* left, TExprNode* right) {
  TExprNode& node = nodes_.emplace_back();
  node.Kind = kind;
  node.Operator = code;
  node.Value = std::move(value);
  node.Left = left;
  node.Right = right;
  return node;
}

std::vector<std::uint8_t> TFilterExpr::GetFilterData(const TExprNode& root) {
  return TWriter(*this).Write(root);
}

std::vector<std::uint8_t> BuildLocateFilter(const std::vector<TFieldDescriptor>& fields,
                                            std::span<const TLocateValue> values,
                                            bool caseInsensitive, bool partialKey,
                                            TFormatSettings settings) {
  const TFilterOptions options =
      foNoPartialCompare | (caseInsensitive ? foCaseInsensitive : TFilterOptions{0});
  TFilterExpr expr(fields, options, std::move(settings));
  TExprNode* root = nullptr;
  for (std::size_t i = 0; i < values.size(); ++i) {
    TExprNode& field = expr.NewNode(TExprNodeKind::Field, 0, TValue::String(values[i].FieldName));
    TExprNode& constant = expr.NewNode(TExprNodeKind::Constant, 0, values[i].Value);
    TExprNode& compare = expr.NewNode(TExprNodeKind::Operator, op::Equal, {}, &field, &constant);
    compare.Partial = partialKey && i + 1 == values.size();
    root = root == nullptr ? &compare
                           : &expr.NewNode(TExprNodeKind::Operator, op::And, {}, root, &compare);
  }
  if (root == nullptr) RaiseDatabaseError(std::string(kIncorrectlyFormed));
  return expr.GetFilterData(*root);
}

}  // namespace quire
