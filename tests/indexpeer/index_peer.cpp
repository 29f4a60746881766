// A second user of an index file, for the change-detection tests.
//
//   index_peer FILE insert FIRST LAST   inserts the keys FIRST..LAST
//   index_peer FILE delete FIRST LAST   deletes them
//
// The primary index must be one integer field at record offset 9. Keys are
// built from records the way the table builds them; the record number of key
// n is n. Prints "done N" with the number of keys changed, or the engine's
// message and exit status 1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "index/IndexFile.h"

namespace {

std::vector<std::uint8_t> KeyOf(const quire::TIndexFile& file, std::int32_t n) {
  std::vector<std::uint8_t> record(14, 0);
  record[9] = 1;
  std::memcpy(record.data() + 10, &n, sizeof n);
  std::vector<std::uint8_t> key(file.KeySize());
  file.BuildKey(record, key);
  return key;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: index_peer FILE insert|delete FIRST LAST\n");
    return 64;
  }
  const std::string action = argv[2];
  const std::int32_t first = std::atoi(argv[3]);
  const std::int32_t last = std::atoi(argv[4]);
  quire::StartEngine();
  try {
    quire::TIndexFile file;
    file.SetFileName(argv[1]);
    file.Open();
    const quire::TKeyField fields[] = {{1, 6, 0, 4, 9}};
    file.SetKeyFields(fields);
    if (!file.WriteLock()) {
      std::fprintf(stderr, "index_peer: write lock refused\n");
      return 1;
    }
    file.CheckForChanges();
    for (std::int32_t n = first; n <= last; ++n) {
      if (action == "insert") {
        file.InsertKey(KeyOf(file, n), static_cast<std::uint32_t>(n));
      } else {
        file.DeleteKey(KeyOf(file, n));
      }
    }
    file.Flush();
    file.WriteHeader();
    file.WriteUnlock();
    file.Close();
  } catch (const quire::EQuireEngineError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::printf("done %d\n", last - first + 1);
  return 0;
}
