#include "access/ParamBinding.h"

#include "engine/DatabaseError.h"
#include "engine/FieldTypes.h"

namespace quire {
namespace {

constexpr std::size_t kMaxParamNameLength = 30;

}  // namespace

std::optional<std::pair<std::uint8_t, std::uint8_t>> EngineTypeOf(TFieldType type) {
  using TCodes = std::pair<std::uint8_t, std::uint8_t>;
  switch (type) {
    case TFieldType::String:
      return TCodes{ftype::String, 0};
    case TFieldType::Date:
      return TCodes{ftype::Date, 0};
    case TFieldType::Boolean:
      return TCodes{ftype::Boolean, 0};
    case TFieldType::SmallInt:
      return TCodes{ftype::SmallInt, 0};
    case TFieldType::Integer:
    case TFieldType::AutoInc:
      return TCodes{ftype::Integer, 0};
    case TFieldType::Float:
      return TCodes{ftype::Float, 0};
    case TFieldType::Currency:
      return TCodes{ftype::Float, fsubtype::Money};
    case TFieldType::Bcd:
      return TCodes{ftype::Bcd, 0};
    case TFieldType::Bytes:
      return TCodes{ftype::Bytes, 0};
    case TFieldType::Time:
      return TCodes{ftype::Time, 0};
    case TFieldType::DateTime:
      return TCodes{ftype::TimeStamp, 0};
    case TFieldType::Word:
      return TCodes{ftype::Word, 0};
    case TFieldType::VarBytes:
      return TCodes{ftype::VarBytes, 0};
    case TFieldType::Blob:
    case TFieldType::Memo:
    case TFieldType::FmtMemo:
    case TFieldType::Graphic:
    case TFieldType::TypedBinary:
      return std::nullopt;
  }
  return std::nullopt;
}

TParamBinding BindParams(const std::vector<TQuireParam>& params) {
  TParamBinding binding;
  for (std::size_t i = 0; i < params.size(); ++i) {
    const TQuireParam& param = params[i];
    const std::optional<TFieldType> type = param.DataType();
    const auto engine = type ? EngineTypeOf(*type) : std::nullopt;
    if (!engine) RaiseDatabaseError("No value for parameter '" + param.Name + "'");
    const auto [engineType, subType] = *engine;
    // The sized types take the size of the text they carry.
    const bool sized =
        engineType == ftype::String || engineType == ftype::Bytes || engineType == ftype::VarBytes;
    const int textSize = sized && !param.Value.Null ? static_cast<int>(param.Value.Text.size()) : 0;
    const auto size = static_cast<std::size_t>(DataSizeOf(engineType, textSize));
    std::optional<std::vector<std::uint8_t>> bytes;
    if (!param.Value.Null) {
      bytes = EncodeValue(param.Value, engineType, size, param.Value.Decimals);
      if (!bytes) RaiseDatabaseError("No value for parameter '" + param.Name + "'");
    }
    TParamDescriptor descriptor;
    descriptor.Number = static_cast<std::uint16_t>(i + 1);
    descriptor.Name = param.Name.substr(0, kMaxParamNameLength);
    descriptor.EngineType = engineType;
    descriptor.SubType = subType;
    descriptor.Size = static_cast<std::uint16_t>(size);
    descriptor.Offset = static_cast<std::uint32_t>(binding.Buffer.size());
    binding.Buffer.push_back(bytes ? 1 : 0);
    const std::size_t valueAt = binding.Buffer.size();
    binding.Buffer.resize(valueAt + size, 0);
    if (bytes) std::copy_n(bytes->begin(), std::min(bytes->size(), size), &binding.Buffer[valueAt]);
    binding.Descriptors.push_back(std::move(descriptor));
  }
  return binding;
}

}  // namespace quire
