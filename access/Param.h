#pragma once
// TQuireParam: one parameter of a query, found as a ":name" reference in
// its SQL text. It has a data type (unknown until declared or given a
// value), a kind (unknown until declared), a value that may be NULL, and
// whether the program bound it; a query's DataSource fills only the
// parameters that are not bound.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "access/FieldDefs.h"
#include "engine/Value.h"

namespace quire {

enum class TParamType { Unknown, Input, Output, InputOutput, Result };

struct TQuireParam {
  std::string Name;
  // A type the program declares; while there is none the parameter has
  // the type of its value.
  std::optional<TFieldType> DeclaredType;
  TParamType ParamType = TParamType::Unknown;
  // Its Type 0 while it has no value: the run fails then.
  TValue Value;
  bool Bound = false;

  // The declared type, else the value's; none while there is neither, or
  // the value's type is one datasets do not present.
  std::optional<TFieldType> DataType() const;
  bool IsNull() const { return Value.Null; }

  // Gives the parameter a value (NULL: TValue::NullOf) and marks it bound.
  void SetValue(TValue value) {
    Value = std::move(value);
    Bound = true;
  }
  void SetAsString(std::string_view text) { SetValue(TValue::String(text)); }
  void SetAsInteger(std::int32_t value) { SetValue(TValue::Int(value)); }
  // NULL of the parameter's type, still bound.
  void Clear();
};

}  // namespace quire
