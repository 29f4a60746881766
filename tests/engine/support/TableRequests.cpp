#include "support/TableRequests.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fstream>

#include "engine/DataFile.h"

namespace quire::testing {

TFieldDefinition Field(std::string name, std::uint8_t type, int size, std::uint8_t subType) {
  TFieldDefinition field;
  field.FieldName = std::move(name);
  field.FieldType = type;
  field.FieldSize = size;
  field.FieldSubType = subType;
  return field;
}

TTableCreateRequest Request(std::initializer_list<TFieldDefinition> fields) {
  TTableCreateRequest request;
  request.Fields.assign(fields);
  for (std::size_t i = 0; i < request.Fields.size(); ++i)
    request.Fields[i].FieldNo = static_cast<std::int16_t>(i + 1);
  return request;
}

TIndexDefinition Index(std::string name, std::initializer_list<std::uint16_t> fieldNumbers,
                       bool unique) {
  TIndexDefinition index;
  index.Name = std::move(name);
  index.Unique = unique ? 1 : 0;
  index.FieldCount = static_cast<std::uint8_t>(fieldNumbers.size());
  std::size_t i = 0;
  for (std::uint16_t number : fieldNumbers) index.FieldNumbers[i++] = number;
  return index;
}

void CreateTable(const std::string& path, const TTableCreateRequest& request) {
  TDataFile table;
  table.SetFileName(path);
  table.SetExclusive(true);
  table.CreateTable(request);
}

TErrorCode ErrorCodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EQuireEngineError& e) {
    return e.Code();
  }
  ADD_FAILURE() << "no engine error raised";
  return 0;
}

std::string ErrorMessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EQuireEngineError& e) {
    return e.Message();
  }
  ADD_FAILURE() << "no engine error raised";
  return "";
}

void PatchFile(const std::string& path, std::int64_t offset, std::string_view bytes) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(file) << path;
  file.seekp(offset);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void AppendToFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::app | std::ios::binary);
  ASSERT_TRUE(file) << path;
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::uint8_t Keystream(std::uint8_t seed1, std::uint8_t seed2, std::size_t i) {
  return static_cast<std::uint8_t>(((seed1 + i) & 0xFF) ^ ((seed2 - i) & 0xFF));
}

std::int64_t LeAt(const std::string& image, std::size_t offset, int size) {
  std::uint64_t value = 0;
  for (int i = 0; i < size; ++i)
    value |= std::uint64_t{static_cast<unsigned char>(image.at(offset + i))} << (8 * i);
  // Sign-extend from `size` bytes.
  const std::uint64_t sign = std::uint64_t{1} << (8 * size - 1);
  if (size < 8 && (value & sign)) value |= ~((sign << 1) - 1);
  return static_cast<std::int64_t>(value);
}

}  // namespace quire::testing
