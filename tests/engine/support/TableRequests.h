#pragma once
// Building blocks for tests of table creation and open: field and index
// definitions, a table made on disk, and the raw bytes of its files.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "engine/EngineError.h"
#include "engine/TableCreate.h"

namespace quire::testing {

// A field definition; FieldNo is set by Request from the position.
TFieldDefinition Field(std::string name, std::uint8_t type, int size = 0, std::uint8_t subType = 0);

// A request of the given fields, numbered 1..n in order.
TTableCreateRequest Request(std::initializer_list<TFieldDefinition> fields);

// An index over field numbers (1-based).
TIndexDefinition Index(std::string name, std::initializer_list<std::uint16_t> fieldNumbers,
                       bool unique = false);

// Creates the table `path` (exclusive) from `request`.
void CreateTable(const std::string& path, const TTableCreateRequest& request);

// The engine code `action` raises; fails the test when it raises none.
TErrorCode ErrorCodeOf(const std::function<void()>& action);

// The message of the engine error `action` raises ("" when none).
std::string ErrorMessageOf(const std::function<void()>& action);

// Overwrites bytes of a file in place, or appends them at its end.
void PatchFile(const std::string& path, std::int64_t offset, std::string_view bytes);
void AppendToFile(const std::string& path, std::string_view bytes);
bool FileExists(const std::string& path);

// The keystream byte of the table cipher at position `i` of a run.
std::uint8_t Keystream(std::uint8_t seed1, std::uint8_t seed2, std::size_t i);

// Little-endian reads from a file image.
std::int64_t LeAt(const std::string& image, std::size_t offset, int size);

}  // namespace quire::testing
