#pragma once
// The data file part of a table check: the header and the field descriptors
// against each other and against the file length, every record slot, and the
// free-slot chain. It reads the file itself, never through TDataFile's open,
// so a file that open would refuse is judged like any other, and it never
// writes.
//
// What it read is kept for the index and blob checks, which compare the keys
// and blob chains with the live records.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/DataFileHeader.h"

namespace quire {

class TCheckFaults;
class TFileHandler;

struct TDataFileImage {
  TDataFileHeader header;
  std::vector<TFieldDescriptor> fields;  // sizes derived as open derives them
  // The descriptors agree with each other and with the header, so the slots
  // could be read by their layout.
  bool layoutOk = false;
  // Slots read (deciphered), at most NextRecordNumber - 1.
  std::uint32_t slots = 0;
  std::vector<std::uint8_t> records;  // slots * RecordSize bytes
  std::uint32_t liveRecords = 0;

  // The image of slot `number` (1..slots).
  std::span<const std::uint8_t> Slot(std::uint32_t number) const {
    return std::span<const std::uint8_t>(records).subspan(
        std::size_t{number - 1} * header.RecordSize, header.RecordSize);
  }
  bool Live(std::uint32_t number) const {
    return number >= 1 && number <= slots && Slot(number)[0] == 0;
  }
};

// Checks the open data file `file` and returns what it read; every fault
// goes to `faults`.
TDataFileImage CheckDataFile(TFileHandler& file, TCheckFaults& faults);

// Checks the free-slot chain of `image` read from `file`. With a primary
// index every deleted slot is on the chain from FreeRecordHead, exactly once;
// without one, deleted slots are never reused, each one's link is 0 and the
// head names the last one deleted.
void CheckFreeSlots(const TFileHandler& file, const TDataFileImage& image, bool hasPrimary,
                    TCheckFaults& faults);

}  // namespace quire
