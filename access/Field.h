#pragma once
// TField: one field object of a dataset. It reads and writes its value in
// the dataset's active record buffer through the engine's get and set
// field operations (logical numbering), so computed fields and blobs
// behave as the engine says. Values travel as TValue.
//
// A field object is made by the dataset on opening (a default field, gone
// again at close), or declared by the program before (DeclareField): a
// declared field keeps its name, type and size across close and open, and
// each open binds it to the table's field of that name.

#include <cstdint>
#include <string>
#include <string_view>

#include "access/FieldDefs.h"
#include "engine/DataFileHeader.h"
#include "engine/Value.h"

namespace quire {

class TQuireDataSet;

class TField {
 public:
  // A default field over the engine's logical field `fieldNo`.
  TField(TQuireDataSet& dataset, int fieldNo, const TFieldDescriptor& descriptor, std::string name)
      : dataset_(dataset),
        fieldNo_(fieldNo),
        descriptor_(descriptor),
        name_(std::move(name)),
        type_(DataSetTypeOf(descriptor).value_or(TFieldType::String)) {}
  // A declared field, bound at each open; `size` as field definitions
  // give it (string, bytes and variable-bytes sizes, BCD decimals).
  TField(TQuireDataSet& dataset, std::string name, TFieldType type, int size)
      : dataset_(dataset),
        name_(std::move(name)),
        type_(type),
        declaredSize_(size),
        declared_(true) {}

  bool Declared() const { return declared_; }
  // The dataset type: declared, or that of the engine field.
  TFieldType FieldType() const { return type_; }

  // The name among the dataset's fields (a repeated engine name gets "_n").
  const std::string& FieldName() const { return name_; }
  int FieldNo() const { return fieldNo_; }
  std::uint8_t DataType() const { return descriptor_.FieldType; }
  // The declared size of string, bytes and variable-bytes fields (for a
  // declared field, as declared).
  int Size() const { return declared_ ? declaredSize_ : descriptor_.FieldSize; }
  const TFieldDescriptor& Descriptor() const { return descriptor_; }
  bool ReadOnly() const { return readOnly_ || descriptor_.IsComputed(); }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  // The value in the active record; null when the engine reports it blank.
  TValue Value() const;
  bool IsNull() const { return Value().Null; }
  std::string AsString() const { return Value().Text; }
  std::int32_t AsInteger() const { return static_cast<std::int32_t>(Value().Integer); }

  // Writes the value into the active record (or the key buffer in key
  // state): "Dataset not in edit or insert mode" outside edit, insert, key
  // and filter states, "Field '%s' cannot be modified" for a read-only field
  // outside key and filter work. A text is cut to the field's size and at
  // its first zero byte, and stored as its bytes (no code page conversion).
  void SetValue(const TValue& value);
  void SetAsString(std::string_view text) { SetValue(TValue::String(text)); }
  void SetAsInteger(std::int32_t value) { SetValue(TValue::Int(value)); }
  // Empties the field; a blob field becomes an empty blob.
  void Clear();

 private:
  friend class TQuireDataSet;
  // Opening found the table's field for a declared one; closing lets go.
  void Bind(int fieldNo, const TFieldDescriptor& descriptor) {
    fieldNo_ = fieldNo;
    descriptor_ = descriptor;
  }
  void Unbind() {
    fieldNo_ = 0;
    descriptor_ = TFieldDescriptor{};
  }

  TQuireDataSet& dataset_;
  int fieldNo_ = 0;
  TFieldDescriptor descriptor_{};
  std::string name_;
  TFieldType type_;
  int declaredSize_ = 0;
  bool declared_ = false;
  bool readOnly_ = false;
};

}  // namespace quire
