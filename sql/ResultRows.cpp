#include "sql/ResultRows.h"

#include <map>

#include "engine/EngineError.h"
#include "engine/FieldTypes.h"
#include "engine/FieldValue.h"
#include "index/IndexFile.h"
#include "index/KeyRange.h"

namespace quire {
namespace {

constexpr int kRowNumberField = 1;

// Bytes of group records and keys kept in memory before they go to the
// table: some ten thousand groups of a few columns.
constexpr std::size_t kGroupMemory = std::size_t{1} << 20;

// A value of the field's own type, as arithmetic wants its result typed.
TValue TypeOf(const TFieldDescriptor& field) {
  TValue type = TValue::NullOf(field.FieldType, field.DataSize);
  type.SubType = field.FieldSubType;
  type.Decimals = field.DataDecimals;
  return type;
}

void Check(TErrorCode code, const TDataFile& table) {
  if (code != 0) RaiseEngineError(code, table.FileName());
}

}  // namespace

// The groups in the order of their first rows, found by their key in the
// group index over the length a lookup compares (a non-unique secondary
// index's record suffix left out).
class TResultRows::TGroups {
 public:
  TGroups(const TIndexFile& file, std::uint8_t number)
      : order_(file, number), byKey_(TLess{&order_, KeyLength(file, number)}) {}

  std::vector<std::uint8_t> KeyOf(std::span<const std::uint8_t> record) const {
    return order_.KeyOf(record);
  }
  // The group's record, null when the key starts a new group.
  std::vector<std::uint8_t>* Find(const std::vector<std::uint8_t>& key) {
    const auto found = byKey_.find(key);
    return found != byKey_.end() ? &records_[found->second] : nullptr;
  }
  void Add(std::vector<std::uint8_t> key, std::vector<std::uint8_t> record) {
    bytes_ += key.size() + record.size();
    byKey_.emplace(std::move(key), records_.size());
    records_.push_back(std::move(record));
  }
  std::size_t Bytes() const { return bytes_; }
  std::vector<std::vector<std::uint8_t>>& Records() { return records_; }

 private:
  struct TLess {
    const TKeyOrder* order;
    std::size_t length;
    bool operator()(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) const {
      return order->Compare(a.data(), b.data(), length) < 0;
    }
  };
  static std::size_t KeyLength(const TIndexFile& file, std::uint8_t number) {
    const TIndexDescriptor index = file.Descriptor(number);
    const bool suffix = number >= 1 && number <= kMaxSecondaryIndexes && index.Unique == 0;
    return TKeyOrder(file, number).KeySize() - (suffix ? 4u : 0u);
  }

  TKeyOrder order_;
  std::map<std::vector<std::uint8_t>, std::size_t, TLess> byKey_;
  std::vector<std::vector<std::uint8_t>> records_;
  std::size_t bytes_ = 0;
};

TResultRows::TResultRows(TDataFile& result, const TResultColumns& columns,
                         const TResultLayout& layout, TJoinPlan& plan)
    : result_(result), columns_(columns), layout_(layout), plan_(plan) {
  // Lookups go through the group or DISTINCT index; every change restores
  // the order it finds.
  if (layout.GroupIndex) {
    result_.SelectIndex(*layout.GroupIndex);
    if (!columns_.AllAggregate && !HasBlobColumn())
      groups_ = std::make_unique<TGroups>(result_.IndexFile(), result_.CurrentIndex());
  } else if (layout.DistinctIndex) {
    result_.SelectIndex(*layout.DistinctIndex);
    if (!HasBlobColumn())
      distinct_ = std::make_unique<TGroups>(result_.IndexFile(), result_.CurrentIndex());
  }
}

TResultRows::~TResultRows() = default;

void TResultRows::Add(TCombinedRow& row) {
  std::vector<std::uint8_t> record = RecordOf(row);
  if (columns_.AllAggregate) {
    if (!singleStarted_) single_ = std::move(record);
    Accumulate(single_, row, !singleStarted_);
    singleStarted_ = true;
    return;
  }
  if (groups_) {
    std::vector<std::uint8_t> key = groups_->KeyOf(record);
    if (std::vector<std::uint8_t>* group = groups_->Find(key)) {
      Accumulate(*group, row, false);
      return;
    }
    Accumulate(record, row, true);
    groups_->Add(std::move(key), std::move(record));
    if (groups_->Bytes() > kGroupMemory) SpillGroups();
    return;
  }
  if (layout_.GroupIndex) {
    std::vector<std::uint8_t> group = result_.NewRecordBuffer();
    if (result_.FindKey(record, group)) {
      Accumulate(group, row, false);
      result_.ModifyRecord(group);
      return;
    }
    Accumulate(record, row, true);
  } else if (distinct_) {
    // Every record of the table came through here, so the keys seen are
    // the DISTINCT index's keys.
    std::vector<std::uint8_t> key = distinct_->KeyOf(record);
    if (distinct_->Find(key) != nullptr) return;
    distinct_->Add(std::move(key), {});
    if (distinct_->Bytes() > kGroupMemory) distinct_.reset();
  } else if (layout_.DistinctIndex && result_.FindKey(record, {})) {
    return;
  }
  Append(record);
}

void TResultRows::AddCount(std::int32_t count) {
  single_ = result_.NewRecordBuffer();
  result_.InitRecord(single_);
  WriteValue(Field(layout_.ColumnFields[0]), single_, TValue::Int(count));
  singleStarted_ = true;
}

void TResultRows::SpillGroups() {
  for (std::vector<std::uint8_t>& record : groups_->Records()) Append(record);
  groups_.reset();
}

void TResultRows::Finish() {
  if (groups_) SpillGroups();
  if (columns_.AllAggregate) {
    // An aggregate over no rows: COUNT is 0, every other aggregate NULL.
    if (!singleStarted_) {
      single_ = result_.NewRecordBuffer();
      result_.InitRecord(single_);
      for (std::size_t i = 0; i < columns_.Columns.size(); ++i)
        if (columns_.Columns[i].Aggregate == op::Count)
          WriteValue(Field(layout_.ColumnFields[i]), single_, TValue::Int(0));
    }
    DivideAverages(single_);
    Append(single_);
    return;
  }
  if (!HasAverages()) return;
  const std::uint8_t order = result_.CurrentIndex();
  result_.SelectIndex(kPhysicalOrder);
  std::vector<std::uint8_t> record = result_.NewRecordBuffer();
  result_.First();
  while (result_.GetNextRecord(record) == 0) {
    DivideAverages(record);
    result_.ModifyRecord(record);
  }
  result_.SelectIndex(order);
}

std::vector<std::uint8_t> TResultRows::RecordOf(TCombinedRow& row) {
  std::vector<std::uint8_t> record = result_.NewRecordBuffer();
  result_.InitRecord(record);
  for (std::size_t i = 0; i < columns_.Columns.size(); ++i) {
    const TResultColumn& column = columns_.Columns[i];
    if (column.Aggregate != 0) continue;
    const int field = layout_.ColumnFields[i];
    const TQueryExprNode& value = column.Value();
    if (value.IsColumn() && Field(field).IsBlob()) {
      CopyBlob(value, row, field, record);
      continue;
    }
    if (value.IsColumn() && CopyStored(value, row, Field(field), record)) continue;
    WriteValue(Field(field), record,
               value.IsColumn() ? row.Read(value) : Evaluate(value, {.Reader = &row}));
  }
  return record;
}

TValue TResultRows::ArgumentOf(const TResultColumn& column, TCombinedRow& row) {
  if (column.CountsRows) return TValue::Int(1);
  const TQueryExprNode& argument = column.Value();
  return argument.IsColumn() ? row.Read(argument) : Evaluate(argument, {.Reader = &row});
}

void TResultRows::Accumulate(std::span<std::uint8_t> record, TCombinedRow& row, bool first) {
  for (std::size_t i = 0; i < columns_.Columns.size(); ++i) {
    const TResultColumn& column = columns_.Columns[i];
    if (column.Aggregate == 0) continue;
    const TFieldDescriptor& field = Field(layout_.ColumnFields[i]);
    const TValue argument = ArgumentOf(column, row);
    const TValue current = ReadValue(field, record);
    const bool empty = first || current.Null;
    switch (column.Aggregate) {
      case op::Count: {
        const std::int64_t counted = (first ? 0 : current.Integer) + (argument.Null ? 0 : 1);
        WriteValue(field, record, TValue::Int(static_cast<std::int32_t>(counted)));
        break;
      }
      case op::Sum:
        if (argument.Null) break;
        WriteValue(field, record,
                   empty ? argument : ApplyArithmetic(op::Add, TypeOf(field), current, argument));
        break;
      case op::Min:
      case op::Max: {
        if (argument.Null) break;
        const int order = empty ? 0 : CompareValues(argument, current, &result_.CollationTable());
        if (empty || (column.Aggregate == op::Min ? order < 0 : order > 0))
          WriteValue(field, record, argument);
        break;
      }
      case op::Avg: {
        const TFieldDescriptor& countField = Field(layout_.CountFields[i]);
        const std::int64_t count = first ? 0 : ReadValue(countField, record).Integer;
        if (argument.Null) {
          WriteValue(countField, record, TValue::Int(static_cast<std::int32_t>(count)));
          break;
        }
        const double sum = (empty ? 0.0 : current.Real) + NumericValue(argument);
        WriteValue(field, record, TValue::Float(sum));
        WriteValue(countField, record, TValue::Int(static_cast<std::int32_t>(count + 1)));
        break;
      }
      default:
        break;
    }
  }
}

void TResultRows::DivideAverages(std::span<std::uint8_t> record) {
  for (std::size_t i = 0; i < columns_.Columns.size(); ++i) {
    if (columns_.Columns[i].Aggregate != op::Avg) continue;
    const TFieldDescriptor& field = Field(layout_.ColumnFields[i]);
    const TValue sum = ReadValue(field, record);
    const std::int64_t count = ReadValue(Field(layout_.CountFields[i]), record).Integer;
    WriteValue(field, record,
               sum.Null || count == 0 ? TValue::NullOf(ftype::Float)
                                      : TValue::Float(sum.Real / static_cast<double>(count)));
  }
}

bool TResultRows::HasBlobColumn() const {
  for (const int field : layout_.ColumnFields)
    if (Field(field).IsBlob()) return true;
  return false;
}

bool TResultRows::HasAverages() const {
  for (const TResultColumn& column : columns_.Columns)
    if (column.Aggregate == op::Avg) return true;
  return false;
}

void TResultRows::Append(std::span<std::uint8_t> record) {
  WriteValue(Field(kRowNumberField), record, TValue::Int(++rows_));
  result_.InsertRecord(record, false);
}

bool TResultRows::CopyStored(const TQueryExprNode& column, TCombinedRow& row,
                             const TFieldDescriptor& to, std::span<std::uint8_t> record) {
  const std::size_t table = row.PositionOf(column.SourceTable);
  if (row.IsNull(table)) return false;
  const TFieldDescriptor& from = plan_.Tables[table].Table->Fields()[column.FieldNo - 1];
  // Types whose value the stored bytes are, read as a value and written
  // back: a string up to its first zero, a number as it stands.
  const bool plain = from.FieldType == ftype::String || from.FieldType == ftype::Integer ||
                     from.FieldType == ftype::SmallInt || from.FieldType == ftype::Word ||
                     from.FieldType == ftype::Float;
  if (!plain || from.FieldType != to.FieldType || from.DataSize != to.DataSize ||
      from.DataDecimals != to.DataDecimals || from.IsAutoInc() || to.IsAutoInc() ||
      from.IsComputed() || to.IsComputed())
    return false;
  const std::span<const std::uint8_t> source = row.Record(table);
  if (std::size_t{from.FieldOffset} + 1u + from.DataSize > source.size()) return false;
  const std::uint8_t* slot = source.data() + from.FieldOffset;
  if (slot[0] == 0) {
    WriteFieldValue(to, record, nullptr, 0);
  } else {
    WriteFieldValue(to, record, slot + 1, from.DataSize);
  }
  return true;
}

void TResultRows::CopyBlob(const TQueryExprNode& column, TCombinedRow& row, int field,
                           std::span<std::uint8_t> record) {
  const std::size_t table = row.PositionOf(column.SourceTable);
  TDataFile* source = plan_.Tables[table].Table->DataFile();
  if (row.IsNull(table) || source == nullptr) return;
  // The blob is opened on a copy: the row's record stays as it was read.
  std::vector<std::uint8_t> copy(row.Record(table).begin(), row.Record(table).end());
  if (ReadValue(source->LogicalFields()[column.FieldNo - 1], copy).Null) return;
  Check(source->OpenBlob(column.FieldNo, copy), *source);
  std::uint32_t size = 0;
  std::vector<std::uint8_t> bytes;
  TErrorCode code = source->BlobSize(column.FieldNo, copy, size);
  std::uint32_t copied = 0;
  if (code == 0) {
    bytes.resize(size);
    code = source->ReadBlob(column.FieldNo, copy, 0, size, bytes.data(), copied);
  }
  source->CloseBlob(column.FieldNo, copy);
  Check(code, *source);
  if (copied == 0) return;
  Check(result_.OpenBlob(field, record), result_);
  Check(result_.WriteBlob(field, record, 0, copied, bytes.data()), result_);
}

}  // namespace quire
