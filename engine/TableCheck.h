#pragma once
// CheckTable: a complete verification of a table's three files, as a person
// sharing the table with other programs would run it.
//
// It opens the files itself (shared, read-only) rather than through
// TDataFile's open, so a fault that open would refuse (a bad header, a wrong
// length) is reported like any other, and it holds the table's read lock
// while it reads, so no writer is half-way through a change. It never writes.
//
// Checked: the data file (DataFileCheck.h: header, descriptors, length,
// slots, free-slot chain); the index file (IndexVerifier.h: every tree and
// free page chain; here also the header's record count, each index's
// definition against the fields, exactly one entry per live record holding
// the key built from that record, and the "Sys Deleted" entries, one per
// slot with its deleted flag and auto-increment value); the blob file
// (BlobVerifier.h: every value of a live record and the free block chain,
// each block used once).
//
// Each fault is one line "FILE: PLACE: WHAT" (TableCheckFaults.h).

#include <string>
#include <string_view>
#include <vector>

namespace quire {

// Checks table `name` (normalised as the engine does: "songs" is songs.DAT
// with songs.IDX and songs.BLB) and returns one line per fault, none when
// the table is sound. A data file that cannot be opened raises its engine
// error (11010 missing, 11013 opened exclusively elsewhere); a read lock not
// had in time raises 10249. A missing index or blob file is a fault.
std::vector<std::string> CheckTable(std::string_view name);

}  // namespace quire
