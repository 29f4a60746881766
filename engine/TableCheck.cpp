#include "engine/TableCheck.h"

#include <algorithm>
#include <array>
#include <optional>

#include "blob/BlobVerifier.h"
#include "engine/Cipher.h"
#include "engine/DataFileCheck.h"
#include "engine/EngineError.h"
#include "engine/FileBytes.h"
#include "engine/FileHandler.h"
#include "engine/TableCheckFaults.h"
#include "engine/TableCreate.h"
#include "engine/TableLocks.h"
#include "engine/TableName.h"
#include "index/IndexFile.h"
#include "index/IndexHeader.h"
#include "index/IndexVerifier.h"
#include "index/KeyLayout.h"

namespace quire {
namespace {

// A companion file opened for the check, or the fault that kept it closed.
bool OpenCompanion(TFileHandler& file, const std::string& name, TCheckFaults& faults) {
  file.SetFileName(name);
  file.SetReadOnly(true);
  try {
    file.Open();
    return true;
  } catch (const EQuireEngineError& e) {
    faults.Add(name + ": cannot be opened: " + e.Message());
    return false;
  }
}

// Holds the table's read lock for the duration of the check.
class TReadLockScope {
 public:
  explicit TReadLockScope(TTableLocks& locks) : locks_(locks) { locks_.ReadLock(); }
  ~TReadLockScope() { locks_.ReleaseAll(); }
  TReadLockScope(const TReadLockScope&) = delete;
  TReadLockScope& operator=(const TReadLockScope&) = delete;

 private:
  TTableLocks& locks_;
};

// The index file part: structure through TIndexVerifier, contents against
// the records read from the data file.
class TIndexContentCheck {
 public:
  TIndexContentCheck(TFileHandler& file, const TDataFileImage& data, TCheckFaults& faults)
      : file_(file), data_(data), faults_(faults) {}

  // Reads the header; false (with a fault) when it cannot be read at all.
  bool ReadHeader() {
    const std::size_t got = file_.ReadAt(0, header_.Bytes().data(), kIndexHeaderSize, true);
    if (got < kIndexHeaderSize) return false;  // the verifier reports it
    if (data_.header.IsEncrypted())
      DecipherRun(header_.Bytes().data(), kIndexHeaderSize, kDataCipherSeeds);
    headerRead_ = header_.Version() == kIndexFileVersion;
    return headerRead_;
  }

  bool HasPrimary() const { return !header_.NoPrimary(); }

  void Run() {
    std::vector<TKeyField> keyFields;
    for (const TFieldDescriptor& field : data_.fields) {
      keyFields.push_back({static_cast<std::uint16_t>(field.FieldNo), field.FieldType,
                           field.FieldSubType, field.DataSize, field.FieldOffset});
    }
    // Entries are compared with the records only when both sides could be
    // read by their layout.
    const bool contents = data_.layoutOk && headerRead_;
    if (contents) PrepareIndexes(keyFields);
    TIndexVerifier verifier(file_, data_.header.IsEncrypted(), keyFields, nullptr);
    const TIndexCheck check =
        verifier.VerifyFile([&](std::uint8_t index, std::uint32_t page,
                                std::span<const std::uint8_t> key, std::uint32_t record) {
          if (contents) Visit(index, page, key, record);
        });
    for (const TIndexFault& fault : check.faults)
      faults_.Add(file_.FileName() + ": structure", fault.Line());
    if (!contents || !check.headerUsable) return;
    for (TIndexState& state : indexes_) ReportMissing(state);
    if (header_.RecordCount() != static_cast<std::int32_t>(data_.liveRecords)) {
      faults_.Add(file_.FileName() + ": header: record count " +
                  std::to_string(header_.RecordCount()) + ", the data file holds " +
                  std::to_string(data_.liveRecords) + " live records");
    }
  }

 private:
  struct TIndexState {
    std::uint8_t number = 0;
    std::string name;
    bool used = false;
    bool keysComparable = false;  // the definition fits the fields
    TKeyLayout layout;
    std::vector<bool> seen;  // by record number
  };

  void Fault(const TIndexState& index, std::uint32_t page, const std::string& kind,
             const std::string& text) {
    std::string line = file_.FileName();
    if (page != 0) line += ": page " + std::to_string(page);
    faults_.Add(file_.FileName() + ": index " + index.name + ": " + kind,
                line + ": index " + index.name + ": " + text);
  }

  void PrepareIndexes(const std::vector<TKeyField>& keyFields) {
    for (std::size_t slot = 0; slot < kIndexSlotCount; ++slot) {
      TIndexState& state = indexes_[slot];
      state.number = static_cast<std::uint8_t>(slot);
      const TIndexDescriptor d = header_.Descriptor(slot);
      state.name = slot == kPrimaryIndex ? kPrimaryIndexName : d.Name;
      state.used = (slot == kPrimaryIndex && HasPrimary()) ||
                   (slot >= 1 && slot <= header_.SecondaryCount()) || slot == kSysDeletedSlot;
      if (!state.used) continue;
      state.seen.assign(std::size_t{data_.slots} + 1, false);
      if (slot == kSysDeletedSlot) continue;
      state.keysComparable = CheckDefinition(state, d);
      if (state.keysComparable) {
        state.layout = TKeyLayout::For(state.number, d, keyFields, false);
      }
    }
  }

  // Whether index `d` names stored, non-blob fields of the table and its key
  // size is what they take; key contents are compared only then.
  bool CheckDefinition(const TIndexState& state, const TIndexDescriptor& d) {
    if (d.FieldCount == 0 || d.FieldCount > kMaxKeyFields) {
      Fault(state, 0, "definition", std::to_string(d.FieldCount) + " key fields, 1 to 16");
      return false;
    }
    std::size_t size = 0;
    bool comparable = true;
    for (std::size_t i = 0; i < d.FieldCount; ++i) {
      const std::uint16_t number = d.FieldNumbers[i];
      if (number == 0 || number > data_.fields.size()) {
        Fault(state, 0, "definition",
              "key field " + std::to_string(number) + " is not a field of the table");
        return false;
      }
      const TFieldDescriptor& field = data_.fields[number - 1u];
      if (field.IsBlob()) {
        Fault(state, 0, "definition", "key field " + field.FieldName + " is a blob field");
        return false;
      }
      // A computed field's value is not in the file; its keys cannot be
      // rebuilt from the slots.
      if (field.IsComputed()) comparable = false;
      size += field.DataSize + 1u;
    }
    const bool suffix = state.number != kPrimaryIndex && d.Unique == 0;
    if (suffix) size += kKeySuffixSize;
    if (size != d.KeySize) {
      Fault(state, 0, "definition",
            "key size " + std::to_string(d.KeySize) + ", its fields take " + std::to_string(size));
      return false;
    }
    return comparable;
  }

  void Visit(std::uint8_t index, std::uint32_t page, std::span<const std::uint8_t> key,
             std::uint32_t record) {
    TIndexState& state = indexes_[index];
    const bool sysDeleted = index == kSysDeletedSlot;
    if (sysDeleted && !HasPrimary()) {
      Fault(state, page, "entry",
            "entry for record " + std::to_string(record) + " in a table without a primary index");
      return;
    }
    const bool known = sysDeleted ? record >= 1 && record <= data_.slots : data_.Live(record);
    if (!known) {
      Fault(state, page, "entry",
            "entry for record " + std::to_string(record) +
                (sysDeleted ? ", which is not a slot" : ", which is not a live record"));
      return;
    }
    if (state.seen[record]) {
      Fault(state, page, "entry", "second entry for record " + std::to_string(record));
      return;
    }
    state.seen[record] = true;
    const auto slot = data_.Slot(record);
    std::vector<std::uint8_t> expected;
    if (sysDeleted) {
      expected.assign(kSysDeletedKeySize, 0);
      expected[0] = slot[kRecordDeletedFlagAt];
      PutKeyInt32(expected.data() + 1, bytes::Get<std::int32_t>(slot, kRecordAutoIncrementAt));
    } else if (state.keysComparable) {
      expected.assign(state.layout.KeySize(), 0);
      state.layout.Build(slot, expected);
    } else {
      return;
    }
    if (!std::equal(key.begin(), key.end(), expected.begin(), expected.end())) {
      Fault(state, page, "key",
            "entry for record " + std::to_string(record) + " does not hold the record's key");
    }
  }

  void ReportMissing(const TIndexState& state) {
    if (!state.used) return;
    if (state.number == kSysDeletedSlot && !HasPrimary()) return;
    for (std::uint32_t n = 1; n <= data_.slots; ++n) {
      const bool expected = state.number == kSysDeletedSlot ? data_.Slot(n)[0] <= 1 : data_.Live(n);
      if (expected && !state.seen[n])
        Fault(state, 0, "missing", "no entry for record " + std::to_string(n));
    }
  }

  TFileHandler& file_;
  const TDataFileImage& data_;
  TCheckFaults& faults_;
  TIndexHeader header_;
  bool headerRead_ = false;
  std::array<TIndexState, kIndexSlotCount> indexes_;
};

void CheckBlobs(TFileHandler& file, const TDataFileImage& data, TCheckFaults& faults) {
  const std::uint32_t blockSize = data.header.EffectiveBlobBlockSize();
  if (blockSize < kMinBlobBlockSize) return;  // the data file check reported it
  TBlobVerifier verifier(file, blockSize, data.header.IsEncrypted());
  TBlobCheck check;
  if (data.layoutOk) {
    std::vector<TStoredBlob> values;
    for (std::uint32_t n = 1; n <= data.slots; ++n) {
      if (!data.Live(n)) continue;
      const auto slot = data.Slot(n);
      for (const TFieldDescriptor& field : data.fields) {
        if (!field.IsBlob() || field.IsComputed() || slot[field.FieldOffset] != 1) continue;
        const auto reference = bytes::Get<std::int32_t>(slot, field.FieldOffset + 1u);
        if (reference > 0) {
          values.push_back({n, static_cast<std::uint16_t>(field.FieldNo),
                            static_cast<std::uint32_t>(reference)});
        }
      }
    }
    check = verifier.Verify(std::span<const TStoredBlob>(values));
  } else {
    check = verifier.Verify();
  }
  for (const TBlobFault& fault : check.faults)
    faults.Add(file.FileName() + ": blocks", fault.Line());
}

}  // namespace

std::vector<std::string> CheckTable(std::string_view name) {
  TCheckFaults faults;
  TFileHandler dataFile;
  dataFile.SetFileName(NormaliseTableFileName(name, kDataFileExtension));
  dataFile.SetReadOnly(true);
  dataFile.Open();

  TFileHandler indexFile;
  TFileHandler blobFile;
  const bool indexOpen =
      OpenCompanion(indexFile, NormaliseTableFileName(name, kIndexFileExtension), faults);
  // Whether a blob file belongs to the table is the header's to say; peek at
  // its blob count before the read lock, which takes the blob file's byte.
  std::array<std::uint8_t, kDataHeaderSize> peek{};
  const bool hasBlobs = dataFile.ReadAt(0, peek.data(), peek.size(), true) == peek.size() &&
                        DecodeDataFileHeader(peek).BlobFieldCount > 0;
  const bool blobOpen =
      hasBlobs && OpenCompanion(blobFile, NormaliseTableFileName(name, kBlobFileExtension), faults);

  TTableLocks locks(dataFile, indexFile);
  if (blobOpen) locks.SetBlobFile(&blobFile);
  std::optional<TReadLockScope> readLock;
  if (indexOpen) readLock.emplace(locks);

  const TDataFileImage data = CheckDataFile(dataFile, faults);
  bool hasPrimary = true;
  if (indexOpen) {
    TIndexContentCheck index(indexFile, data, faults);
    const bool headerRead = index.ReadHeader();
    if (headerRead) hasPrimary = index.HasPrimary();
    CheckFreeSlots(dataFile, data, hasPrimary, faults);
    index.Run();
  } else {
    CheckFreeSlots(dataFile, data, hasPrimary, faults);
  }
  if (blobOpen) CheckBlobs(blobFile, data, faults);
  return faults.Lines();
}

}  // namespace quire
