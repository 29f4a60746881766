#include "sql/Filter.h"

#include <optional>
#include <vector>

#include "engine/EngineError.h"
#include "engine/FieldTypes.h"
#include "index/ComparisonBounds.h"
#include "index/IndexFile.h"
#include "sql/Evaluate.h"
#include "sql/FilterBufferReader.h"
#include "sql/RecordColumnReader.h"

namespace quire {
namespace {

// The share of a table's records above which a statement tests records
// rather than marking an index range inside a compound condition.
constexpr double kSelectivityLimit = 0.9;

// A comparison of one column (or UPPER of it) with constants, as an index
// can answer it.
struct TColumnTest {
  const TQueryExprNode* column = nullptr;
  // UPPER(column): only upper-case constants can match.
  bool upper = false;
  // The compare folds case, so only a case-insensitive index serves it.
  bool caseInsensitive = false;
  // Value bytes an equal compare looks at; 0 for all.
  std::size_t prefix = 0;
};

// The column an operand names: a bound column, or UPPER over one.
std::optional<TColumnTest> ColumnOf(const TQueryExprNode* node) {
  if (node == nullptr) return std::nullopt;
  if (node->IsColumn() && node->FieldNo > 0) return TColumnTest{node};
  if (node->Kind == nkFunction && node->OpCode == op::Upper && node->Left &&
      node->Left->IsColumn() && node->Left->FieldNo > 0)
    return TColumnTest{node->Left.get(), true, true};
  return std::nullopt;
}

// The column a dataset filter compare tests, with its case rule and length.
std::optional<TColumnTest> CompareColumnOf(const TQueryExprNode& compare) {
  auto test = ColumnOf(compare.Left.get());
  if (!test || test->upper) return std::nullopt;
  test->caseInsensitive = compare.CaseInsensitive;
  test->prefix = compare.PartialLength;
  return test;
}

// The column test of an index-graded leaf node.
TColumnTest LeafColumnOf(const TQueryExprNode& node) {
  return node.Kind == nkCompare ? *CompareColumnOf(node) : *ColumnOf(node.Left.get());
}

std::optional<TKeyComparison> KeyComparisonOf(std::uint8_t code) {
  switch (code) {
    case op::Equal:
    case op::NotEqual:  // marked as "=" and inverted
      return TKeyComparison::Equal;
    case op::Greater:
      return TKeyComparison::Greater;
    case op::Less:
      return TKeyComparison::Less;
    case op::GreaterOrEqual:
      return TKeyComparison::GreaterOrEqual;
    case op::LessOrEqual:
      return TKeyComparison::LessOrEqual;
    case op::IsNull:
      return TKeyComparison::IsNull;
    case op::IsNotNull:
      return TKeyComparison::IsNotNull;
    default:
      return std::nullopt;
  }
}

// The kinds whose keys together are every key but those of `kind`.
std::vector<TKeyComparison> ComplementOf(TKeyComparison kind) {
  using K = TKeyComparison;
  switch (kind) {
    case K::Equal:
      return {K::Less, K::Greater, K::IsNull};
    case K::Greater:
      return {K::LessOrEqual, K::IsNull};
    case K::Less:
      return {K::GreaterOrEqual, K::IsNull};
    case K::GreaterOrEqual:
      return {K::Less, K::IsNull};
    case K::LessOrEqual:
      return {K::Greater, K::IsNull};
    case K::IsNull:
      return {K::IsNotNull};
    default:
      return {K::IsNull};
  }
}

bool IsUpperCase(std::string_view text) {
  for (const char c : text)
    if (c >= 'a' && c <= 'z') return false;
  return true;
}

}  // namespace

// What the index side of the filter needs of the table: which index serves
// a column, a constant as the column's bytes, and marks and counts of key
// ranges. Selecting an index for a count or a mark moves the table's
// current order; the order is put back at once.
class TIndexAccess {
 public:
  explicit TIndexAccess(TDataFile& table) : table_(table) {}

  // The index slot serving `test`, if any.
  std::optional<std::uint8_t> IndexFor(const TColumnTest& test) const {
    const TIndexFile& file = table_.IndexFile();
    if (!file.HasPrimaryIndex()) return std::nullopt;
    const TFieldDescriptor& field = Field(test);
    for (std::size_t slot = 0; slot <= file.SecondaryIndexCount(); ++slot) {
      const TIndexDescriptor d = file.Descriptor(static_cast<std::uint8_t>(slot));
      if (d.FieldCount == 0 || d.FieldNumbers[0] != test.column->FieldNo) continue;
      if (field.FieldType == ftype::String && (d.CaseInsensitive != 0) != test.caseInsensitive)
        continue;
      return static_cast<std::uint8_t>(slot);
    }
    return std::nullopt;
  }

  // The constant as the column stores it, when it is exactly a value of the
  // column: what the field would cut, round or strip is left to the test.
  // An empty vector stands for NULL.
  std::optional<std::vector<std::uint8_t>> ExactBytes(const TColumnTest& test,
                                                      const TQueryExprNode* constant) const {
    if (constant == nullptr || !constant->IsConstant()) return std::nullopt;
    const TValue& value = constant->Value;
    if (value.Null) return std::vector<std::uint8_t>{};
    const TFieldDescriptor& field = Field(test);
    if (test.upper && !IsUpperCase(value.Text)) return std::nullopt;
    auto bytes = EncodeValue(value, field.FieldType, field.DataSize, field.DataDecimals);
    if (!bytes) return std::nullopt;
    const TValue stored = DecodeValue(field.FieldType, field.FieldSubType, *bytes);
    if (CompareValues(stored, value) != 0) return std::nullopt;
    // A blank string is stored as NULL; as a value it never matches.
    if (field.FieldType == ftype::String && stored.Text.empty()) return std::nullopt;
    // Keys are built from the value as a record stores it, without its
    // trailing blanks, while the test compares the text as it stands.
    if (field.FieldType == ftype::String && stored.Text.back() == ' ') return std::nullopt;
    return bytes;
  }

  // Keys of `slot` that compare with `bytes` as `kind` says.
  std::int32_t Count(std::uint8_t slot, TKeyComparison kind, const std::vector<std::uint8_t>& bytes,
                     std::size_t prefix = 0) {
    const TIndexScope scope(table_, slot);
    return table_.CountKeysForComparison(kind, bytes.empty() ? nullptr : bytes.data(), bytes.size(),
                                         prefix);
  }

  // The records with such keys; more than half of the keys are marked
  // through the complement (fewer records to touch). A compare over the
  // first `prefix` bytes has no complement in the comparison kinds (the
  // keys before and after a prefix are not those before and after the
  // whole constant), so it is marked directly.
  TRecordBitmap Mark(std::uint8_t slot, TKeyComparison kind, const std::vector<std::uint8_t>& bytes,
                     std::size_t prefix = 0) {
    const TIndexScope scope(table_, slot);
    const void* value = bytes.empty() ? nullptr : bytes.data();
    TRecordBitmap marked;
    marked.Resize(static_cast<std::uint32_t>(table_.SlotCount()));
    // An ordering comparison with NULL holds for no record.
    if (bytes.empty() && kind != TKeyComparison::Equal && kind != TKeyComparison::IsNull &&
        kind != TKeyComparison::IsNotNull)
      return marked;
    if (bytes.empty() && kind == TKeyComparison::Equal) kind = TKeyComparison::IsNull;
    if (prefix != 0) {
      table_.MarkKeysForComparison(kind, value, bytes.size(), prefix, marked);
      return marked;
    }
    const std::int32_t count = table_.CountKeysForComparison(kind, value, bytes.size());
    if (2 * std::int64_t{count} <= std::int64_t{table_.IndexFile().RecordCount()}) {
      table_.MarkKeysForComparison(kind, value, bytes.size(), 0, marked);
      return marked;
    }
    for (const TKeyComparison other : ComplementOf(kind))
      table_.MarkKeysForComparison(other, value, bytes.size(), 0, marked);
    marked.Invert();
    return marked;
  }

  std::int32_t RecordCount() const { return table_.IndexFile().RecordCount(); }

 private:
  class TIndexScope {
   public:
    TIndexScope(TDataFile& table, std::uint8_t slot) : table_(table), saved_(table.CurrentIndex()) {
      if (saved_ != slot) table_.SelectIndex(slot);
    }
    ~TIndexScope() {
      if (table_.CurrentIndex() != saved_) table_.SelectIndex(saved_);
    }

   private:
    TDataFile& table_;
    const std::uint8_t saved_;
  };

  const TFieldDescriptor& Field(const TColumnTest& test) const {
    return table_.LogicalFields()[test.column->FieldNo - 1];
  }

  TDataFile& table_;
};

// Grades a tree (see the header).
class TFilter::TAnalysis {
 public:
  TAnalysis(TDataFile& table, bool forStatement) : index_(table), forStatement_(forStatement) {}

  std::uint8_t Grade(TQueryExprNode& node, bool insideCompound) {
    node.IndexGrade = Compute(node, insideCompound);
    return node.IndexGrade;
  }

 private:
  std::uint8_t Compute(TQueryExprNode& node, bool insideCompound) {
    if (node.Kind == nkBinary && (node.OpCode == op::And || node.OpCode == op::Or)) {
      const std::uint8_t left = Grade(*node.Left, true);
      const std::uint8_t right = Grade(*node.Right, true);
      if (node.OpCode == op::Or) return left == 0 && right == 0 ? 0 : 2;
      if (right < left) std::swap(node.Left, node.Right);  // the better side first
      if (left == 0 && right == 0) return 0;
      return left == 2 && right == 2 ? 2 : 1;
    }
    if (node.Kind == nkUnary) {
      if (node.OpCode == op::IsNull || node.OpCode == op::IsNotNull)
        return Leaf(node, *node.Left, {}, insideCompound);
      return Grade(*node.Left, true);
    }
    if (node.Kind == nkCompare) {
      const auto column = CompareColumnOf(node);
      if (!column) return 2;
      return Leaf(node, *column, {node.Right.get()}, insideCompound);
    }
    if (node.Kind == nkBinary && IsComparisonOp(node.OpCode)) {
      // The column belongs on the left: 5 < a is a > 5.
      if (!ColumnOf(node.Left.get()) && ColumnOf(node.Right.get()) && node.Left->IsConstant()) {
        std::swap(node.Left, node.Right);
        node.OpCode = MirroredComparison(node.OpCode);
      }
      return Leaf(node, *node.Left, {node.Right.get()}, insideCompound);
    }
    if (node.Kind == nkPredicate && node.OpCode != op::Like && node.OpCode != op::NotLike) {
      std::vector<const TQueryExprNode*> values;
      for (const TQueryExprNode* v = node.Right.get(); v != nullptr; v = v->Next.get())
        values.push_back(v);
      return Leaf(node, *node.Left, values, insideCompound);
    }
    return 2;
  }

  // A test of one column against constants: 0 when an index serves the
  // column and every constant is exact, within the statement limit.
  std::uint8_t Leaf(const TQueryExprNode& node, const TQueryExprNode& operand,
                    const std::vector<const TQueryExprNode*>& constants, bool insideCompound) {
    const auto column = ColumnOf(&operand);
    if (!column) return 2;
    return Leaf(node, *column, constants, insideCompound);
  }

  std::uint8_t Leaf(const TQueryExprNode& node, const TColumnTest& column,
                    const std::vector<const TQueryExprNode*>& constants, bool insideCompound) {
    const auto slot = index_.IndexFor(column);
    if (!slot) return 2;
    std::vector<std::vector<std::uint8_t>> values;
    for (const TQueryExprNode* constant : constants) {
      auto bytes = index_.ExactBytes(column, constant);
      if (!bytes) return 2;
      values.push_back(std::move(*bytes));
    }
    if (!forStatement_ || !insideCompound) return 0;
    return EstimatedKeys(node, column, *slot, values) > kSelectivityLimit * index_.RecordCount()
               ? 2
               : 0;
  }

  std::int64_t EstimatedKeys(const TQueryExprNode& node, const TColumnTest& column,
                             std::uint8_t slot,
                             const std::vector<std::vector<std::uint8_t>>& values) {
    switch (node.OpCode) {
      case op::IsNull:
      case op::IsNotNull:
        return index_.Count(slot, *KeyComparisonOf(node.OpCode), {});
      case op::In:
      case op::NotIn: {
        std::int64_t keys = 0;
        for (const auto& value : values) keys += index_.Count(slot, TKeyComparison::Equal, value);
        return node.OpCode == op::In ? keys : index_.RecordCount() - keys;
      }
      case op::Between:
      case op::NotBetween: {
        const std::int64_t inside = index_.Count(slot, TKeyComparison::GreaterOrEqual, values[0]) +
                                    index_.Count(slot, TKeyComparison::LessOrEqual, values[1]) -
                                    index_.RecordCount();
        return node.OpCode == op::Between ? inside : index_.RecordCount() - inside;
      }
      default: {
        const std::int64_t keys =
            values[0].empty()
                ? index_.Count(slot, TKeyComparison::IsNull, {})
                : index_.Count(slot, *KeyComparisonOf(node.OpCode), values[0], column.prefix);
        return node.OpCode == op::NotEqual ? index_.RecordCount() - keys : keys;
      }
    }
  }

  TIndexAccess index_;
  const bool forStatement_;
};

// Builds the bitmap of a graded tree over the candidates it is given.
class TFilter::TBitmapBuild {
 public:
  TBitmapBuild(TFilter& filter) : filter_(filter), index_(filter.table_) {}

  void Build(const TQueryExprNode& node, TRecordBitmap& candidates) {
    if (node.IndexGrade == 2) {
      Scan(node, candidates);
      return;
    }
    if (node.Kind == nkBinary && node.OpCode == op::And) {
      // The right side only sees what passed the left side.
      Build(*node.Left, candidates);
      Build(*node.Right, candidates);
      return;
    }
    if (node.Kind == nkBinary && node.OpCode == op::Or) {
      TRecordBitmap left = All(), right = All();
      Build(*node.Left, left);
      Build(*node.Right, right);
      left.Or(right);
      candidates.And(left);
      return;
    }
    if (node.Kind == nkUnary && node.OpCode != op::IsNull && node.OpCode != op::IsNotNull) {
      if (node.OpCode != op::Not) {
        Build(*node.Left, candidates);
        return;
      }
      TRecordBitmap operand = All();
      Build(*node.Left, operand);
      operand.Invert();
      candidates.And(operand);
      return;
    }
    candidates.And(MarkLeaf(node));
  }

 private:
  TRecordBitmap All() const {
    TRecordBitmap all;
    all.Resize(static_cast<std::uint32_t>(filter_.table_.SlotCount()));
    all.SetAll();
    return all;
  }

  void Scan(const TQueryExprNode& node, TRecordBitmap& candidates) {
    const std::vector<TFieldDescriptor>& fields = filter_.table_.LogicalFields();
    filter_.table_.ScanAndTest(candidates, true,
                               [&](std::span<const std::uint8_t> record, std::uint32_t) {
                                 ++filter_.statistics_.RecordsTested;
                                 TRecordColumnReader reader(fields, record);
                                 return Evaluate(node, {.Reader = &reader}).IsTrue();
                               });
  }

  TRecordBitmap Mark(const TColumnTest& column, TKeyComparison kind,
                     const TQueryExprNode* constant) {
    ++filter_.statistics_.RangesMarked;
    const std::vector<std::uint8_t> bytes =
        constant != nullptr ? *index_.ExactBytes(column, constant) : std::vector<std::uint8_t>{};
    return index_.Mark(*index_.IndexFor(column), kind, bytes, column.prefix);
  }

  TRecordBitmap MarkLeaf(const TQueryExprNode& node) {
    const TColumnTest column = LeafColumnOf(node);
    TRecordBitmap marked;
    bool invert = false;
    switch (node.OpCode) {
      case op::IsNull:
      case op::IsNotNull:
        marked = Mark(column, *KeyComparisonOf(node.OpCode), nullptr);
        break;
      case op::In:
      case op::NotIn:
        marked.Resize(static_cast<std::uint32_t>(filter_.table_.SlotCount()));
        for (const TQueryExprNode* v = node.Right.get(); v != nullptr; v = v->Next.get())
          marked.Or(Mark(column, TKeyComparison::Equal, v));
        invert = node.OpCode == op::NotIn;
        break;
      case op::Between:
      case op::NotBetween:
        marked = Mark(column, TKeyComparison::GreaterOrEqual, node.Right.get());
        marked.And(Mark(column, TKeyComparison::LessOrEqual, node.Right->Next.get()));
        invert = node.OpCode == op::NotBetween;
        break;
      default:
        marked = Mark(column, *KeyComparisonOf(node.OpCode), node.Right.get());
        invert = node.OpCode == op::NotEqual;
        break;
    }
    if (invert) marked.Invert();
    return marked;
  }

  TFilter& filter_;
  TIndexAccess index_;
};

TFilter::TFilter(TDataFile& table, TRecordTest test) : table_(table), callback_(std::move(test)) {}

std::optional<TEqualKey> EqualKeyOf(TDataFile& table, const TQueryExprNode& comparison) {
  if (comparison.Kind != nkBinary || comparison.OpCode != op::Equal) return std::nullopt;
  const auto column = ColumnOf(comparison.Left.get());
  if (!column || column->upper) return std::nullopt;
  const TIndexAccess index(table);
  const auto slot = index.IndexFor(*column);
  if (!slot) return std::nullopt;
  auto bytes = index.ExactBytes(*column, comparison.Right.get());
  if (!bytes || bytes->empty()) return std::nullopt;
  return TEqualKey{*slot, column->column->FieldNo, std::move(*bytes)};
}

TFilter::TFilter(TDataFile& table, TExprTree tree) : table_(table) {
  ReplaceTree(std::move(tree));
}

TFilter::TFilter(TDataFile& table, std::span<const std::uint8_t> buffer) : table_(table) {
  ReplaceTree(buffer);
}

TFilter::~TFilter() {
  if (handle_ == 0) return;
  try {
    table_.RemoveFilter(handle_);
  } catch (const EQuireEngineError&) {
    // The table was closed, and its filters with it.
  }
}

void TFilter::ReplaceTree(TExprTree tree) {
  tree_ = std::move(tree);
  Analyse(false);
}

void TFilter::ReplaceTree(std::span<const std::uint8_t> buffer) {
  ReplaceTree(DecodeFilterBuffer(buffer, table_.LogicalFields(), table_.FileName()));
}

std::uint8_t TFilter::Analyse(bool forStatement) {
  if (!tree_) return grade_ = 2;
  return grade_ = TAnalysis(table_, forStatement).Grade(*tree_, false);
}

TRecordBitmap TFilter::BuildBitmap() {
  statistics_ = {};
  TRecordBitmap bitmap;
  bitmap.Resize(static_cast<std::uint32_t>(table_.SlotCount()));
  bitmap.SetAll();
  if (!tree_) {
    table_.ScanAndTest(bitmap, true, [this](std::span<const std::uint8_t> record, std::uint32_t n) {
      ++statistics_.RecordsTested;
      return callback_(record, n);
    });
    return bitmap;
  }
  TBitmapBuild(*this).Build(*tree_, bitmap);
  return bitmap;
}

bool TFilter::TestRecord(std::span<const std::uint8_t> record) {
  if (!tree_) return callback_(record, 0);
  TRecordColumnReader reader(table_.LogicalFields(), record);
  return Evaluate(*tree_, {.Reader = &reader}).IsTrue();
}

void TFilter::Activate() {
  if (handle_ == 0)
    handle_ = table_.InstallFilter([this](std::span<const std::uint8_t> record, std::uint32_t n) {
      return tree_ ? TestRecord(record) : callback_(record, n);
    });
  table_.ActivateFilter(handle_, BuildBitmap());
}

void TFilter::Deactivate() {
  if (handle_ != 0) table_.DeactivateFilter(handle_);
}

}  // namespace quire
