// Record digests and the full read of a table that `quire stress` compares
// with its workers' logs.

#include <cstring>

#include "StressCommand.h"
#include "engine/EngineError.h"
#include "engine/FileBytes.h"

namespace quire::cli {

std::uint64_t Fnv(std::span<const std::uint8_t> bytes, std::uint64_t hash) {
  for (const std::uint8_t b : bytes) {
    hash ^= b;
    hash *= 1099511628211ull;
  }
  return hash;
}

std::int32_t AutoIncOf(std::span<const std::uint8_t> buffer) {
  return bytes::Get<std::int32_t>(buffer, kAutoIncOffset);
}

std::uint64_t DigestFields(const TDataFile& table, std::span<const std::uint8_t> buffer) {
  std::vector<std::uint8_t> stored(buffer.begin() + kRecordPrefixSize,
                                   buffer.begin() + table.Header().RecordSize);
  for (const TFieldDescriptor& field : table.Fields()) {
    if (!field.IsBlob() || !field.IsStored()) continue;
    std::memset(stored.data() + field.FieldOffset - kRecordPrefixSize, 0, field.DataSize + 1u);
  }
  return Fnv(stored);
}

TRecordDigest DigestCurrent(TDataFile& table, std::span<std::uint8_t> buffer) {
  TRecordDigest digest;
  digest.fields = DigestFields(table, buffer);
  digest.blobs = Fnv({});
  for (const TFieldDescriptor& field : table.Fields()) {
    if (!field.IsBlob() || !field.IsStored()) continue;
    std::uint32_t size = 0;
    std::vector<std::uint8_t> value;
    try {
      if (table.OpenBlob(field.FieldNo, buffer) == 0) {
        table.BlobSize(field.FieldNo, buffer, size);
        value.resize(size);
        std::uint32_t copied = 0;
        table.ReadBlob(field.FieldNo, buffer, 0, size, value.data(), copied);
        table.CloseBlob(field.FieldNo, buffer);
      }
    } catch (const EQuireEngineError&) {
      // A damaged chain: a digest no written value has.
      digest.blobs = 0;
      return digest;
    }
    const std::uint32_t length = static_cast<std::uint32_t>(value.size());
    digest.blobs =
        Fnv(value, Fnv({reinterpret_cast<const std::uint8_t*>(&length), 4}, digest.blobs));
  }
  return digest;
}

std::map<std::int32_t, TRecordDigest> ReadAllRecords(TDataFile& table, std::size_t& duplicates,
                                                     std::string& failure) {
  std::map<std::int32_t, TRecordDigest> records;
  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  try {
    table.First();
    while (table.GetNextRecord(buffer) == 0) {
      const std::int32_t autoInc = AutoIncOf(buffer);
      if (!records.emplace(autoInc, DigestCurrent(table, buffer)).second) ++duplicates;
    }
  } catch (const EQuireEngineError& e) {
    failure = e.what();
  }
  return records;
}

}  // namespace quire::cli
