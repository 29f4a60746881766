#include "engine/WriteBatch.h"

#include <cstring>

#include "engine/EngineError.h"
#include "engine/ErrorCodes.h"

namespace quire {

void TWriteBatch::Queue(int fd, const std::string& fileName, std::int64_t offset, const void* data,
                        std::size_t count) {
  if (writes_.Overlaps(fd, offset, count)) Submit();
  const auto buffer = writes_.Add(fd, offset, count, &fileName);
  std::memcpy(buffer.data(), data, count);
}

void TWriteBatch::Submit() {
  if (writes_.Empty()) return;
  lyrabook::WriteBatch::Failure failure;
  if (writes_.Submit(failure)) return;
  const auto* name = static_cast<const std::string*>(failure.tag);
  RaiseOsError(err::WriteError, static_cast<std::uint16_t>(failure.error), *name);
}

}  // namespace quire
