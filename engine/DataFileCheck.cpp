#include "engine/DataFileCheck.h"

#include <algorithm>

#include "engine/Cipher.h"
#include "engine/FileBytes.h"
#include "engine/FileHandler.h"
#include "engine/TableCheckFaults.h"
#include "engine/TableCreate.h"
#include "engine/TableLocale.h"

namespace quire {
namespace {

// Slots read per call.
constexpr std::size_t kReadChunk = 1 << 20;
constexpr std::int64_t kRecordNumberAt = 1;

class TDataCheck {
 public:
  TDataCheck(TFileHandler& file, TCheckFaults& faults) : file_(file), faults_(faults) {}

  TDataFileImage Run() {
    if (!ReadHeader()) return std::move(image_);
    if (!ReadDescriptors()) return std::move(image_);
    CheckLength();
    if (image_.layoutOk) ReadSlots();
    return std::move(image_);
  }

 private:
  void Fault(const std::string& place, const std::string& text) {
    faults_.Add(file_.FileName() + ": " + place + ": " + text);
  }
  void RecordFault(std::uint32_t number, const std::string& kind, const std::string& text) {
    faults_.Add(file_.FileName() + ": records: " + kind,
                file_.FileName() + ": record " + std::to_string(number) + ": " + text);
  }

  bool ReadHeader() {
    THeaderImage bytes{};
    const std::size_t got = file_.ReadAt(0, bytes.data(), bytes.size(), true);
    if (got < bytes.size()) {
      Fault("header", "the file holds " + std::to_string(got) + " bytes, fewer than the 127 " +
                          "of the header");
      return false;
    }
    TDataFileHeader& h = image_.header;
    h = DecodeDataFileHeader(bytes);
    if (h.Version != kDataFileVersion)
      Fault("header", "version " + std::to_string(h.Version) + ", expected 3");
    if (!IsLocaleInstalled(h.LanguageId, h.SortId)) {
      Fault("header", "locale " + std::to_string(h.SortId * 65536u + h.LanguageId) +
                          " is not installed; keys are compared as bytes");
    }
    if (h.FieldCount > kMaxFieldCount) {
      Fault("header", std::to_string(h.FieldCount) + " fields, at most 1024");
      return false;
    }
    if (h.BlobFieldCount < 0 || h.BlobFieldCount > kMaxBlobFieldCount)
      Fault("header", "blob field count " + std::to_string(h.BlobFieldCount) + ", 0 to 32");
    if (h.NextRecordNumber < 1)
      Fault("header", "next record number " + std::to_string(h.NextRecordNumber) + ", at least 1");
    if (h.FreeRecordHead < 0 || h.FreeRecordHead >= std::max(h.NextRecordNumber, 1)) {
      Fault("header",
            "free slot head " + std::to_string(h.FreeRecordHead) + " is not a slot of the file");
    }
    if (h.RecordSize < kRecordPrefixSize) {
      Fault("header", "record size " + std::to_string(h.RecordSize) + ", at least 9");
      return false;
    }
    return true;
  }

  bool ReadDescriptors() {
    const TDataFileHeader& h = image_.header;
    std::vector<std::uint8_t> block(kFieldDescriptorSize * h.FieldCount);
    if (file_.ReadAt(kDataHeaderSize, block.data(), block.size(), true) < block.size()) {
      Fault("header", "the file ends inside the field descriptors (" +
                          std::to_string(h.FieldCount) + " fields)");
      return false;
    }
    image_.fields = DecodeDescriptorBlock(block, h.IsEncrypted());
    bool ok = true;
    std::size_t running = kRecordPrefixSize;
    std::size_t computedArea = 0;
    int blobs = 0;
    for (std::size_t i = 0; i < image_.fields.size(); ++i) {
      TFieldDescriptor& field = image_.fields[i];
      const std::string place = "field " + std::to_string(i + 1);
      const auto fault = [&](const std::string& text) {
        Fault(place, text);
        ok = false;
      };
      if (field.FieldNo != static_cast<int>(i + 1))
        fault("field number " + std::to_string(field.FieldNo) + ", expected " +
              std::to_string(i + 1));
      if (field.FieldType == 0) fault("field type 0");
      if (HasFieldSize(field.FieldType) && field.FieldSize > kMaxFieldSize)
        fault("size " + std::to_string(field.FieldSize) + ", at most 250");
      const std::uint8_t storedSize = field.DataSize;
      field.DeriveSizes();
      if (storedSize != field.DataSize)
        fault("data size " + std::to_string(storedSize) + ", expected " +
              std::to_string(field.DataSize));
      std::size_t expected = running;
      if (field.IsAutoInc()) {
        expected = kAutoIncOffset;
      } else if (field.IsComputed()) {
        expected = 0;
      } else {
        running += field.DataSize + 1u;
      }
      if (field.FieldOffset != expected)
        fault("offset " + std::to_string(field.FieldOffset) + ", expected " +
              std::to_string(expected));
      if (field.IsComputed()) computedArea += field.DataSize + 1u;
      if (field.IsBlob()) ++blobs;
    }
    if (running != h.RecordSize) {
      Fault("header", "record size " + std::to_string(h.RecordSize) + ", the fields take " +
                          std::to_string(running));
      ok = false;
    }
    if (computedArea != h.ComputedAreaSize) {
      Fault("header", "computed area size " + std::to_string(h.ComputedAreaSize) +
                          ", the computed fields take " + std::to_string(computedArea));
    }
    if (blobs != h.BlobFieldCount) {
      Fault("header", "blob field count " + std::to_string(h.BlobFieldCount) + ", the table has " +
                          std::to_string(blobs));
    }
    if (blobs > 0 && h.EffectiveBlobBlockSize() < kMinBlobBlockSize) {
      Fault("header", "blob block size " + std::to_string(h.BlobBlockSize) + ", at least 64");
    }
    image_.layoutOk = ok;
    return true;
  }

  void CheckLength() {
    const TDataFileHeader& h = image_.header;
    const std::int64_t length = file_.Size();
    const std::int64_t recordBytes = length - h.DataStart();
    const std::int64_t claimed = std::max(h.NextRecordNumber - 1, 0);
    if (recordBytes % h.RecordSize != 0) {
      Fault("file", "length " + std::to_string(length) + " ends " +
                        std::to_string(recordBytes % h.RecordSize) + " bytes into a slot of " +
                        std::to_string(h.RecordSize));
    }
    const std::int64_t inFile = recordBytes / h.RecordSize;
    if (inFile != claimed) {
      Fault("file", "holds " + std::to_string(inFile) + " slots, the header's next record number " +
                        std::to_string(h.NextRecordNumber) + " says " + std::to_string(claimed));
    }
    image_.slots = static_cast<std::uint32_t>(std::min(inFile, claimed));
  }

  void ReadSlots() {
    const std::size_t size = image_.header.RecordSize;
    image_.records.resize(std::size_t{image_.slots} * size);
    const std::size_t perRead = std::max<std::size_t>(kReadChunk / size, 1);
    for (std::uint32_t first = 1; first <= image_.slots; first += perRead) {
      const std::size_t n = std::min<std::size_t>(perRead, image_.slots - first + 1);
      std::uint8_t* at = image_.records.data() + std::size_t{first - 1} * size;
      file_.ReadAt(image_.header.RecordOffset(static_cast<std::int32_t>(first)), at, n * size);
      if (image_.header.IsEncrypted()) {
        for (std::size_t i = 0; i < n; ++i) DecipherRun(at + i * size, size, kDataCipherSeeds);
      }
    }
    for (std::uint32_t n = 1; n <= image_.slots; ++n) CheckSlot(n);
  }

  void CheckSlot(std::uint32_t number) {
    const auto slot = image_.Slot(number);
    if (slot[0] > 1) {
      RecordFault(number, "deleted flag", "deleted flag " + std::to_string(slot[0]) + ", 0 or 1");
      return;
    }
    if (slot[0] == 1) return;
    ++image_.liveRecords;
    const auto stored = bytes::Get<std::int32_t>(slot, kRecordNumberAt);
    if (stored != static_cast<std::int32_t>(number))
      RecordFault(number, "own number", "holds record number " + std::to_string(stored));
    for (const TFieldDescriptor& field : image_.fields) {
      if (!field.IsStored()) continue;
      CheckValue(number, field, slot.subspan(field.FieldOffset, field.DataSize + 1u));
    }
  }

  void CheckValue(std::uint32_t number, const TFieldDescriptor& field,
                  std::span<const std::uint8_t> part) {
    const std::string name = "field " + field.FieldName + ": ";
    const std::uint8_t indicator = part[0];
    const auto value = part.subspan(1);
    if (indicator > 1) {
      RecordFault(number, "indicator", name + "null indicator " + std::to_string(indicator));
      return;
    }
    const bool zero =
        std::all_of(value.begin(), value.end(), [](std::uint8_t b) { return b == 0; });
    if (indicator == 0) {
      if (!zero) RecordFault(number, "null value", name + "null but its value bytes are not zero");
      return;
    }
    if (field.FieldType == ftype::String && !value.empty() && value.back() != 0)
      RecordFault(number, "string", name + "text not terminated within the field");
    if (field.FieldType == ftype::Boolean && bytes::Get<std::uint16_t>(value, 0) > 1)
      RecordFault(number, "boolean",
                  name + "boolean " + std::to_string(bytes::Get<std::uint16_t>(value, 0)));
    if (field.IsBlob() && bytes::Get<std::int32_t>(value, 0) <= 0) {
      RecordFault(number, "blob reference",
                  name + "blob reference " + std::to_string(bytes::Get<std::int32_t>(value, 0)) +
                      " with its indicator set");
    }
  }

  TFileHandler& file_;
  TCheckFaults& faults_;
  TDataFileImage image_;
};

}  // namespace

TDataFileImage CheckDataFile(TFileHandler& file, TCheckFaults& faults) {
  return TDataCheck(file, faults).Run();
}

void CheckFreeSlots(const TFileHandler& file, const TDataFileImage& image, bool hasPrimary,
                    TCheckFaults& faults) {
  if (!image.layoutOk) return;
  const std::string& name = file.FileName();
  const auto deleted = [&](std::uint32_t n) {
    return n >= 1 && n <= image.slots && image.Slot(n)[0] == 1;
  };
  const auto link = [&](std::uint32_t n) {
    return bytes::Get<std::int32_t>(image.Slot(n), kRecordNumberAt);
  };
  const std::int32_t head = image.header.FreeRecordHead;
  std::vector<bool> onChain(std::size_t{image.slots} + 1, false);
  if (head != 0 && !deleted(static_cast<std::uint32_t>(head))) {
    faults.Add(name + ": header: free slot head " + std::to_string(head) +
               " is not a deleted slot");
    return;
  }
  if (!hasPrimary) {
    for (std::uint32_t n = 1; n <= image.slots; ++n) {
      if (deleted(n) && link(n) != 0) {
        faults.Add(name + ": free chain", name + ": record " + std::to_string(n) +
                                              ": free chain link " + std::to_string(link(n)) +
                                              " in a table whose slots are never reused");
      }
    }
    bool any = false;
    for (std::uint32_t n = 1; n <= image.slots && !any; ++n) any = deleted(n);
    if (any && head == 0) faults.Add(name + ": header: free slot head 0 with deleted slots");
    return;
  }
  std::uint32_t from = 0;  // 0: the header
  for (std::int32_t at = head; at != 0;) {
    const auto n = static_cast<std::uint32_t>(at);
    const std::string place = from == 0 ? "header" : "record " + std::to_string(from);
    if (at < 0 || !deleted(n)) {
      faults.Add(name + ": " + place + ": free chain link " + std::to_string(at) +
                 " is not a deleted slot");
      break;
    }
    if (onChain[n]) {
      faults.Add(name + ": " + place + ": free chain leads back to record " + std::to_string(n));
      break;
    }
    onChain[n] = true;
    from = n;
    at = link(n);
  }
  for (std::uint32_t n = 1; n <= image.slots; ++n) {
    if (deleted(n) && !onChain[n]) {
      faults.Add(name + ": free chain", name + ": record " + std::to_string(n) +
                                            ": deleted slot is not on the free chain");
    }
  }
}

}  // namespace quire
