// Opens a blob file made of the fuzzer's bytes, checks it with the verifier,
// then reads, rewrites and frees the values it finds. Any engine error is a
// fine answer to a damaged file; a crash, a hang or a sanitizer report is a
// bug.
//
// Input: one byte of settings (bit 0: encrypted; bits 1-2 pick the block
// size 64, 512, 1024 or 4096), then the blob file.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "blob/BlobFile.h"
#include "blob/BlobVerifier.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "fuzz/FuzzFiles.h"

namespace {

using fuzzing::WriteFile;

const std::string& Folder() {
  return fuzzing::ScratchFolder();
}

// Reads, rewrites a little longer and frees one value; errors are answers.
void Exercise(quire::TBlobFile& file, const quire::TStoredBlob& value) {
  try {
    quire::TBlobHandle handle = 0;
    const auto first = static_cast<std::int32_t>(value.firstBlock);
    if (file.OpenValue(first, 1, value.record, handle) != 0) return;
    std::uint32_t size = 0;
    file.ValueSize(handle, size);
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t copied = 0;
    file.ReadValue(handle, 0, size, bytes.data(), copied);
    file.WriteValue(handle, size, 3, "abc");
    file.SetOwner(value.record);
    const auto references = file.WriteModifiedValues();
    file.CloseAllValues();
    if (!references.empty()) file.FreeValue(references.front().firstBlock, value.record);
  } catch (const quire::EQuireEngineError&) {
    file.CloseAllValues();
    file.Invalidate();
    file.ReadHeader();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  quire::StartEngine();
  static constexpr std::uint32_t kBlockSizes[] = {64, 512, 1024, 4096};
  const bool encrypted = (data[0] & 1) != 0;
  const std::uint32_t blockSize = kBlockSizes[(data[0] >> 1) & 3];
  const std::string path = Folder() + "/t.BLB";
  WriteFile(path, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

  quire::TBlobFile file;
  try {
    file.SetFileName(path);
    file.SetExclusive(true);
    file.SetEncrypted(encrypted);
    file.SetBlockSize(blockSize);
    file.Open();
  } catch (const quire::EQuireEngineError&) {
    return 0;
  }
  // The values as the verifier finds them: every block off the free chain
  // that starts a chain, owned by the record it names.
  std::vector<quire::TStoredBlob> values;
  try {
    values = quire::TBlobVerifier(file).Verify().chains;
  } catch (const quire::EQuireEngineError&) {
  }
  if (values.size() > 16) values.resize(16);
  for (const auto& value : values) Exercise(file, value);
  try {
    file.FlushBlocks();
    file.WriteHeader();
    quire::TBlobVerifier(file).Verify();
  } catch (const quire::EQuireEngineError&) {
  }
  return 0;
}
