#include "support/SongTable.h"

#include <cstring>

#include "engine/FileBytes.h"
#include "support/TableRequests.h"

namespace quire::testing {

void CreateSongTable(const std::string& path, bool primary) {
  auto request = Request({Field("Code", ftype::Integer), Field("Name", ftype::String, 8),
                          Field("ID", ftype::Integer, 0, fsubtype::AutoInc)});
  if (primary) request.Primary = Index("", {1});
  request.Secondary.push_back(Index("ByName", {2}));
  TIndexDefinition down = Index("ByCodeDown", {1}, true);
  down.Descending = 1;
  request.Secondary.push_back(down);
  CreateTable(path, request);
}

std::vector<std::uint8_t> SongBuffer(TDataFile& table, std::int32_t code, const std::string& name) {
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  table.InitRecord(buffer);
  table.SetField(true, 1, buffer, &code, 4);
  table.SetField(true, 2, buffer, name.data(), name.size());
  return buffer;
}

std::int32_t SongCode(const TDataFile& table, std::span<const std::uint8_t> buffer) {
  std::uint8_t value[4];
  table.GetField(true, 1, buffer, value);
  return bytes::Get<std::int32_t>(value, 0);
}

std::string SongName(const TDataFile& table, std::span<const std::uint8_t> buffer) {
  char value[9] = {};
  table.GetField(true, 2, buffer,
                 std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(value), 8));
  return value;
}

std::int32_t SongId(std::span<const std::uint8_t> buffer) {
  return bytes::Get<std::int32_t>(buffer, 5);
}

SongRow InsertSong(TDataFile& table, std::int32_t code, const std::string& name) {
  auto buffer = SongBuffer(table, code, name);
  table.InsertRecord(buffer);
  return {table.CurrentRecordNumber(), code, name, SongId(buffer)};
}

namespace {

template <typename T>
int Order(const T& a, const T& b) {
  return (a > b) - (a < b);
}

}  // namespace

int CompareSongs(std::uint8_t index, const SongRow& a, const SongRow& b, bool fieldsOnly) {
  switch (index) {
    case 0:
      return Order(a.code, b.code);
    case kByName: {
      // An empty name is a null field: before every name.
      int r = Order(!a.name.empty(), !b.name.empty());
      if (r == 0) r = Order(a.name, b.name);
      if (r == 0 && !fieldsOnly) r = Order(a.id, b.id);
      return r;
    }
    case kByCodeDown:
      return -Order(a.code, b.code);
    default:
      return Order(a.slot, b.slot);
  }
}

std::vector<std::uint32_t> WalkSlots(TDataFile& table, bool forward) {
  std::vector<std::uint32_t> slots;
  auto buffer = table.NewRecordBuffer();
  if (forward) {
    table.First();
    while (table.GetNextRecord(buffer) == 0) slots.push_back(table.CurrentRecordNumber());
  } else {
    table.Last();
    while (table.GetPriorRecord(buffer) == 0) slots.push_back(table.CurrentRecordNumber());
  }
  return slots;
}

}  // namespace quire::testing
