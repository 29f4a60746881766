#pragma once
// Field and index definitions as a dataset presents them: what a table
// holds, read from its engine table. The field types are the dataset's
// own; engine types without one (the 10-byte float, codes above 15) are
// left out.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DataFile.h"

namespace quire {

enum class TFieldType {
  String,
  Date,
  Blob,
  Memo,
  FmtMemo,
  Graphic,
  TypedBinary,
  Boolean,
  SmallInt,
  Integer,
  AutoInc,
  Float,
  Currency,
  Bcd,
  Bytes,
  Time,
  DateTime,
  Word,
  VarBytes,
};

// The type's name in the field-binding messages ("String", "AutoInc").
std::string_view FieldTypeName(TFieldType type);

// The dataset type of an engine field, none for a type it does not present.
std::optional<TFieldType> DataSetTypeOf(const TFieldDescriptor& field);

struct TFieldDef {
  // The engine name; a name met before gets "_" and a counter ("%s_%d").
  std::string Name;
  TFieldType DataType = TFieldType::String;
  // String, bytes and variable bytes: the declared size; BCD: the decimals.
  int Size = 0;
  // 20 for BCD, else 0.
  int Precision = 0;
  // The engine's logical field number.
  int FieldNo = 0;
  friend bool operator==(const TFieldDef&, const TFieldDef&) = default;
};

namespace ixo {
using TIndexOptions = std::uint8_t;
inline constexpr TIndexOptions Primary = 1;
inline constexpr TIndexOptions Descending = 2;
inline constexpr TIndexOptions CaseInsensitive = 4;
inline constexpr TIndexOptions Unique = 8;
}  // namespace ixo

struct TIndexDef {
  std::string Name;    // "" for the primary index
  std::string Fields;  // field names joined by ";"
  ixo::TIndexOptions Options = 0;
  friend bool operator==(const TIndexDef&, const TIndexDef&) = default;
};

// One definition per presented logical field, in field order.
std::vector<TFieldDef> FieldDefsOf(const TDataFile& table);
// The primary index (index 0, present or not) and then every secondary
// index in number order.
std::vector<TIndexDef> IndexDefsOf(TDataFile& table);

}  // namespace quire
