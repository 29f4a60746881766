#include "access/FieldDefs.h"

#include "engine/BlankText.h"
#include "engine/FieldTypes.h"

namespace quire {

std::optional<TFieldType> DataSetTypeOf(const TFieldDescriptor& field) {
  switch (field.FieldType) {
    case ftype::String:
      return TFieldType::String;
    case ftype::Date:
      return TFieldType::Date;
    case ftype::Blob:
      switch (field.FieldSubType) {
        case fsubtype::Memo:
          return TFieldType::Memo;
        case fsubtype::FormattedMemo:
          return TFieldType::FmtMemo;
        case fsubtype::Graphic:
          return TFieldType::Graphic;
        case fsubtype::TypedBinary:
          return TFieldType::TypedBinary;
        default:
          return TFieldType::Blob;
      }
    case ftype::Boolean:
      return TFieldType::Boolean;
    case ftype::SmallInt:
      return TFieldType::SmallInt;
    case ftype::Integer:
      return field.IsAutoInc() ? TFieldType::AutoInc : TFieldType::Integer;
    case ftype::Float:
      return field.FieldSubType == fsubtype::Money ? TFieldType::Currency : TFieldType::Float;
    case ftype::Bcd:
      return TFieldType::Bcd;
    case ftype::Bytes:
      return TFieldType::Bytes;
    case ftype::Time:
      return TFieldType::Time;
    case ftype::TimeStamp:
      return TFieldType::DateTime;
    case ftype::Word:
      return TFieldType::Word;
    case ftype::UInt32:
      return TFieldType::Integer;
    case ftype::VarBytes:
      return TFieldType::VarBytes;
    default:
      return std::nullopt;
  }
}

std::string_view FieldTypeName(TFieldType type) {
  switch (type) {
    case TFieldType::String:
      return "String";
    case TFieldType::Date:
      return "Date";
    case TFieldType::Blob:
      return "Blob";
    case TFieldType::Memo:
      return "Memo";
    case TFieldType::FmtMemo:
      return "FmtMemo";
    case TFieldType::Graphic:
      return "Graphic";
    case TFieldType::TypedBinary:
      return "TypedBinary";
    case TFieldType::Boolean:
      return "Boolean";
    case TFieldType::SmallInt:
      return "SmallInt";
    case TFieldType::Integer:
      return "Integer";
    case TFieldType::AutoInc:
      return "AutoInc";
    case TFieldType::Float:
      return "Float";
    case TFieldType::Currency:
      return "Currency";
    case TFieldType::Bcd:
      return "BCD";
    case TFieldType::Bytes:
      return "Bytes";
    case TFieldType::Time:
      return "Time";
    case TFieldType::DateTime:
      return "DateTime";
    case TFieldType::Word:
      return "Word";
    case TFieldType::VarBytes:
      return "VarBytes";
  }
  return "Unknown";
}

std::vector<TFieldDef> FieldDefsOf(const TDataFile& table) {
  std::vector<TFieldDef> defs;
  const auto taken = [&defs](const std::string& name) {
    for (const TFieldDef& def : defs)
      if (EqualsIgnoringAsciiCase(def.Name, name)) return true;
    return false;
  };
  const std::vector<TFieldDescriptor>& fields = table.LogicalFields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::optional<TFieldType> type = DataSetTypeOf(fields[i]);
    if (!type) continue;
    TFieldDef def;
    def.Name = fields[i].FieldName;
    for (int n = 1; taken(def.Name); ++n) def.Name = fields[i].FieldName + "_" + std::to_string(n);
    def.DataType = *type;
    def.FieldNo = static_cast<int>(i + 1);
    if (HasFieldSize(fields[i].FieldType)) def.Size = fields[i].FieldSize;
    if (fields[i].FieldType == ftype::Bcd) {
      def.Size = fields[i].FieldDecimals;
      def.Precision = 20;
    }
    defs.push_back(std::move(def));
  }
  return defs;
}

std::vector<TIndexDef> IndexDefsOf(TDataFile& table) {
  std::vector<TIndexDef> defs;
  TIndexFile& file = table.IndexFile();
  for (std::size_t slot = 0; slot <= file.SecondaryIndexCount(); ++slot) {
    const auto number = static_cast<std::uint8_t>(slot);
    const TIndexDescriptor d = file.Descriptor(number);
    TIndexDef def;
    def.Name = slot == 0 ? std::string() : file.IndexName(number);
    for (std::size_t i = 0; i < d.FieldCount; ++i) {
      if (i > 0) def.Fields += ';';
      def.Fields += table.FieldAt(true, d.FieldNumbers[i]).FieldName;
    }
    if (slot == 0) def.Options |= ixo::Primary;
    if (d.Descending != 0) def.Options |= ixo::Descending;
    if (d.CaseInsensitive != 0) def.Options |= ixo::CaseInsensitive;
    if (d.Unique != 0) def.Options |= ixo::Unique;
    defs.push_back(std::move(def));
  }
  return defs;
}

}  // namespace quire
