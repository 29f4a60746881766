#pragma once
// A small table for cursor, range and filter tests, with a model of its
// records: Code integer, Name string(8), ID auto-increment. Indexes:
//   0 "" (primary, Code)          when made with a primary index
//   1 "ByName" (Name, not unique: keys end in the ID)
//   2 "ByCodeDown" (Code, unique, descending)
// Without a primary index the table is in physical order at index 0.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/DataFile.h"

namespace quire::testing {

struct SongRow {
  std::uint32_t slot = 0;
  std::int32_t code = 0;
  std::string name;
  std::int32_t id = 0;
};

inline constexpr std::uint8_t kByName = 1;
inline constexpr std::uint8_t kByCodeDown = 2;

// Creates the table at `path` (exclusive, then closed).
void CreateSongTable(const std::string& path, bool primary);

std::vector<std::uint8_t> SongBuffer(TDataFile& table, std::int32_t code, const std::string& name);
std::int32_t SongCode(const TDataFile& table, std::span<const std::uint8_t> buffer);
std::string SongName(const TDataFile& table, std::span<const std::uint8_t> buffer);
std::int32_t SongId(std::span<const std::uint8_t> buffer);

// Inserts a row and returns it as the model holds it.
SongRow InsertSong(TDataFile& table, std::int32_t code, const std::string& name);

// -1, 0, 1: the order of two rows in index `index` (255: by slot), over
// the index's fields only when `fieldsOnly` (as a range bound compares).
int CompareSongs(std::uint8_t index, const SongRow& a, const SongRow& b, bool fieldsOnly);

// The records in the current order: slots walking forward from the start,
// or backward from the end.
std::vector<std::uint32_t> WalkSlots(TDataFile& table, bool forward);

}  // namespace quire::testing
