#include "access/Param.h"

#include "access/ParamBinding.h"

namespace quire {

std::optional<TFieldType> TQuireParam::DataType() const {
  if (DeclaredType) return DeclaredType;
  if (Value.Type == 0) return std::nullopt;
  TFieldDescriptor field;
  field.FieldType = Value.Type;
  field.FieldSubType = Value.SubType;
  return DataSetTypeOf(field);
}

void TQuireParam::Clear() {
  const std::optional<TFieldType> type = DataType();
  const auto engine = type ? EngineTypeOf(*type) : std::nullopt;
  SetValue(TValue::NullOf(engine ? engine->first : Value.Type));
}

}  // namespace quire
