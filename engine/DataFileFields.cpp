// TDataFile: field values in record buffers, and new records with their
// defaults.
#include <algorithm>
#include <string>

#include "engine/DataFile.h"
#include "engine/EngineError.h"
#include "engine/FieldValue.h"
#include "engine/FileBytes.h"
#include "engine/FormatSettings.h"

namespace quire {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return upper(x) == upper(y); });
}

}  // namespace

const TFieldDescriptor& TDataFile::FieldAt(bool logical, int fieldNo) const {
  const auto& list = logical ? logicalFields_ : fields_;
  if (fieldNo < 1 || static_cast<std::size_t>(fieldNo) > list.size())
    RaiseEngineError(err::InvalidField, FileName(), std::to_string(fieldNo));
  return list[static_cast<std::size_t>(fieldNo - 1)];
}

int TDataFile::FieldNumber(std::string_view name, bool logical) const {
  const auto& list = logical ? logicalFields_ : fields_;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (SameName(list[i].FieldName, name)) return static_cast<int>(i + 1);
  return 0;
}

bool TDataFile::GetField(bool logical, int fieldNo, std::span<const std::uint8_t> buffer,
                         std::span<std::uint8_t> value) const {
  const TFieldDescriptor& field = FieldAt(logical, fieldNo);
  const bool blank = ReadFieldValue(field, buffer, value);
  if (!field.IsBlob()) return blank;
  // An open value is in memory, and blank exactly while it is empty.
  const std::int32_t slot = bytes::Get<std::int32_t>(buffer, field.FieldOffset + 1u);
  if (slot >= 0 || !blobFile_.IsOpen()) return blank;
  std::uint32_t size = 0;
  return blobFile_.ValueSize(-slot, size) != 0 || size == 0;
}

void TDataFile::SetField(bool logical, int fieldNo, std::span<std::uint8_t> buffer,
                         const void* value, std::size_t length, bool force) {
  const TFieldDescriptor& field = FieldAt(logical, fieldNo);
  if (field.IsComputed() && !force) return;
  const auto* bytes = static_cast<const std::uint8_t*>(value);
  bool blobPresent = false;
  if (field.IsBlob() && bytes != nullptr) {
    std::uint8_t ref[4] = {};
    std::copy_n(bytes, std::min<std::size_t>(length, 4), ref);
    const std::int32_t reference = bytes::Get<std::int32_t>(ref, 0);
    std::uint32_t size = 0;
    blobPresent = reference > 0 || (reference < 0 && blobFile_.IsOpen() &&
                                    blobFile_.ValueSize(-reference, size) == 0 && size > 0);
  }
  WriteFieldValue(field, buffer, bytes, length, blobPresent);
  if (!field.IsComputed()) ComputeFields(buffer);
}

void TDataFile::InitRecord(std::span<std::uint8_t> buffer) {
  std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  bool anyDefault = false;
  for (const TFieldDescriptor& field : logicalFields_) anyDefault |= !field.DefaultValue.empty();
  if (anyDefault) {
    const TLocaleFormatScope locale(header_.LanguageId, header_.SortId, FileName());
    for (std::size_t i = 0; i < logicalFields_.size(); ++i) {
      const TFieldDescriptor& field = logicalFields_[i];
      if (field.DefaultValue.empty() || field.IsComputed()) continue;
      const auto value = ValueFromText(field, field.DefaultValue, locale.Settings());
      // Defaults were checked when the table was made; one that no longer
      // converts (a table from elsewhere) leaves the field blank.
      if (!value) continue;
      const std::size_t length =
          field.FieldType == ftype::String ? field.DefaultValue.size() : value->size();
      WriteFieldValue(field, buffer, value->data(), std::min(length, value->size()));
    }
  }
  ComputeFields(buffer);
}

void TDataFile::ValidateRecord(std::span<const std::uint8_t> buffer) {
  bool anyCheck = false;
  for (const TFieldDescriptor& field : fields_)
    anyCheck |= field.Required != 0 || !field.MinValue.empty() || !field.MaxValue.empty();
  if (!anyCheck) return;
  const TLocaleFormatScope locale(header_.LanguageId, header_.SortId, FileName());
  std::vector<std::uint8_t> value;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDescriptor& field = fields_[i];
    if (field.IsComputed()) continue;
    value.assign(field.DataSize, 0);
    const bool blank = GetField(false, static_cast<int>(i + 1), buffer, value);
    if (field.Required != 0 && blank)
      RaiseEngineError(err::ValueRequired, FileName(), field.FieldName);
    // A blank value has nothing to compare; only Required speaks about it.
    if (blank || field.IsBlob()) continue;
    const auto beyond = [&](const std::string& text, int side) {
      if (text.empty()) return false;
      const auto limit = ValueFromText(field, text, locale.Settings());
      return limit && CompareFieldValues(field, value, *limit) == side;
    };
    if (beyond(field.MinValue, -1))
      RaiseEngineError(err::BelowMinimum, FileName(), field.FieldName);
    if (beyond(field.MaxValue, 1)) RaiseEngineError(err::AboveMaximum, FileName(), field.FieldName);
  }
}

}  // namespace quire
