#pragma once
// Pieces of `quire stress` shared by the parent and its worker processes.
//
// A worker changes only records it inserted itself, so its log alone says
// what each of them must hold at the end; every record is known by its
// auto-increment value (record offset 5), which the engine hands out once
// and never changes, unlike the slot a record lives in.
//
// Log lines, one per event, written with one write() each so that a killed
// worker leaves whole lines:
//   ? I F B      an insert is about to run (its outcome unknown if killed)
//   I A F B      record A inserted holding fields F and blobs B (digests)
//   ? U A F B    an update of A to F B is about to run;  U A F B  done
//   ? D A        a delete of A is about to run;          D A      done
//   R N          N records read
//   S A [F B]    own record A read back different (holding F B), or gone
//   L CODE       a lock not had in time (10249, 10258, 10241): no change
//   E CODE       a change refused (duplicate key, validity): no change
//   X CODE       any other engine error (the worker reopens the table)

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "engine/DataFile.h"

namespace quire::cli {

// What a record holds, as two digests: its stored fields (blob references
// left out, since a rewrite may move a value) and its blob values.
struct TRecordDigest {
  std::uint64_t fields = 0;
  std::uint64_t blobs = 0;
  friend bool operator==(const TRecordDigest&, const TRecordDigest&) = default;
};

// The auto-increment value of a record buffer.
std::int32_t AutoIncOf(std::span<const std::uint8_t> buffer);

// The digest of the current record of `table`, read into `buffer`.
TRecordDigest DigestCurrent(TDataFile& table, std::span<std::uint8_t> buffer);
// The digest of `buffer`'s stored fields only.
std::uint64_t DigestFields(const TDataFile& table, std::span<const std::uint8_t> buffer);
// FNV-1a over `bytes`, continuing from `hash`.
std::uint64_t Fnv(std::span<const std::uint8_t> bytes,
                  std::uint64_t hash = 14695981039346656037ull);

// Every live record of the open table by auto-increment value, in primary
// index order; a value met twice is counted in `duplicates`. A record whose
// blob chain is damaged gets a blob digest of 0; an engine error that ends
// the walk leaves its message in `failure` and the records read so far.
std::map<std::int32_t, TRecordDigest> ReadAllRecords(TDataFile& table, std::size_t& duplicates,
                                                     std::string& failure);

// Runs one worker until `seconds` have passed, logging to `logPath`.
int RunStressWorkerLoop(TDataFile& table, const std::string& logPath, double seconds,
                        std::uint64_t seed);

}  // namespace quire::cli
