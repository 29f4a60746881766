#include "sql/FieldByName.h"

#include <algorithm>

namespace quire {
namespace {

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

}  // namespace

const TFieldDescriptor* FindFieldByName(const std::vector<TFieldDescriptor>& fields,
                                        std::string_view name) {
  for (const TFieldDescriptor& field : fields)
    if (SameName(field.FieldName, name)) return &field;
  return nullptr;
}

}  // namespace quire
