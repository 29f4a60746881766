// Opens a table made of the fuzzer's bytes. Any engine error is a fine
// answer to a damaged table; a crash or a sanitizer report is a bug.
//
// Input: "QFZ1", the data file's length and the index file's length (4
// bytes each, little-endian), then the data file, the index file and the
// blob file. Input without that prefix is the data file alone.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

#include "engine/DataFile.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FileSession.h"
#include "fuzz/FuzzFiles.h"

namespace {

using fuzzing::WriteFile;

const std::string& Folder() {
  return fuzzing::ScratchFolder();
}

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quire::StartEngine();
  // Seeds made with this password open, so the fuzzer gets past the check.
  if (!quire::CurrentSession().TestPassword("secret"))
    quire::CurrentSession().AddPassword("secret");
  const std::string base = Folder() + "/t";
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view dat = input, idx, blb;
  if (size >= 12 && std::memcmp(data, "QFZ1", 4) == 0) {
    const std::size_t datLength = Le32(data + 4);
    const std::size_t idxLength = Le32(data + 8);
    std::string_view rest = input.substr(12);
    dat = rest.substr(0, datLength);
    rest.remove_prefix(dat.size());
    idx = rest.substr(0, idxLength);
    rest.remove_prefix(idx.size());
    blb = rest;
  }
  WriteFile(base + ".DAT", dat);
  ::unlink((base + ".IDX").c_str());
  ::unlink((base + ".BLB").c_str());
  if (!idx.empty()) WriteFile(base + ".IDX", idx);
  if (!blb.empty()) WriteFile(base + ".BLB", blb);
  for (bool exclusive : {false, true}) {
    try {
      quire::TDataFile table;
      table.SetFileName(base);
      table.SetExclusive(exclusive);
      table.Open();
      table.Close();
    } catch (const quire::EQuireEngineError&) {
    }
  }
  return 0;
}
