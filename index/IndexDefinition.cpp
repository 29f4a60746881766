#include "index/IndexDefinition.h"

#include <algorithm>
#include <string>

#include "engine/EngineError.h"

namespace quire {

namespace {

unsigned char AsciiUpper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

const TIndexField* FindField(std::span<const TIndexField> fields, std::uint16_t number) {
  if (number == 0) return nullptr;
  const auto it = std::find_if(fields.begin(), fields.end(),
                               [number](const TIndexField& f) { return f.FieldNo == number; });
  return it == fields.end() ? nullptr : &*it;
}

}  // namespace

bool IsIndexNameLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 129 && c <= 254);
}

bool SameIndexName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return AsciiUpper(static_cast<unsigned char>(x)) == AsciiUpper(static_cast<unsigned char>(y));
  });
}

std::uint16_t CheckIndexKey(const TIndexDefinition& definition, bool secondary,
                            std::span<const TIndexField> fields, std::string_view indexName,
                            std::string_view fileName) {
  if (definition.FieldCount > kMaxKeyFields) RaiseEngineError(err::IndexLimits, fileName);

  std::size_t body = 0;
  for (std::size_t i = 0; i < definition.FieldCount; ++i) {
    const std::uint16_t number = definition.FieldNumbers[i];
    const TIndexField* field = FindField(fields, number);
    if (field == nullptr) {
      RaiseEngineError(err::InvalidIndexField, fileName, std::to_string(number), {}, indexName);
    }
    if (field->FieldType == kBlobFieldType) {
      RaiseEngineError(err::InvalidIndexFieldType, fileName, {}, {}, indexName);
    }
    body += field->DataSize + 1u;  // null-indicator byte and value
  }
  if (body > kMaxKeyBody || (secondary && body == 0)) {
    RaiseEngineError(err::InvalidKeySize, fileName, {}, {}, indexName);
  }
  const bool suffix = secondary && definition.Unique == 0;
  return static_cast<std::uint16_t>(body + (suffix ? kKeySuffixSize : 0));
}

}  // namespace quire
