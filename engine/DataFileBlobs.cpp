// TDataFile: blob values of a record buffer. While a value is open its
// field's 4-byte slot holds the negated handle of the in-memory copy; the
// blob file does the work.
#include "engine/DataFile.h"
#include "engine/EngineError.h"
#include "engine/FileBytes.h"

namespace quire {

std::int32_t TDataFile::BlobSlot(int fieldNo, std::span<const std::uint8_t> buffer,
                                 TErrorCode& code) const {
  const TFieldDescriptor& field = FieldAt(true, fieldNo);
  code = 0;
  if (!field.IsBlob() || !blobFile_.IsOpen()) {
    code = err::InvalidBlobField;
    return 0;
  }
  return bytes::Get<std::int32_t>(buffer, field.FieldOffset + 1u);
}

TErrorCode TDataFile::OpenBlob(int fieldNo, std::span<std::uint8_t> buffer) {
  TErrorCode code = 0;
  const std::int32_t slot = BlobSlot(fieldNo, buffer, code);
  if (code != 0) return code;
  if (slot < 0) return blobFile_.IsValueOpen(-slot) ? TErrorCode{0} : err::InvalidBlobOffset;
  const auto record = static_cast<std::uint32_t>(bytes::Get<std::int32_t>(buffer, 1));
  TBlobHandle handle = 0;
  code = blobFile_.OpenValue(slot, static_cast<std::uint16_t>(fieldNo), record, handle);
  if (code != 0) return code;
  bytes::Put<std::int32_t>(buffer, FieldAt(true, fieldNo).FieldOffset + 1u, -handle);
  return 0;
}

TErrorCode TDataFile::CloseBlob(int fieldNo, std::span<std::uint8_t> buffer) {
  TErrorCode code = 0;
  const std::int32_t slot = BlobSlot(fieldNo, buffer, code);
  if (code != 0) return code;
  if (slot >= 0) return err::InvalidBlobHandle;
  std::int32_t firstBlock = 0;
  code = blobFile_.CloseValue(-slot, firstBlock);
  if (code != 0) return code;
  const TFieldDescriptor& field = FieldAt(true, fieldNo);
  bytes::Put<std::int32_t>(buffer, field.FieldOffset + 1u, firstBlock);
  buffer[field.FieldOffset] = firstBlock != 0 ? 1 : 0;
  return 0;
}

TErrorCode TDataFile::ReadBlob(int fieldNo, std::span<const std::uint8_t> buffer,
                               std::uint32_t offset, std::uint32_t count, void* destination,
                               std::uint32_t& copied) {
  copied = 0;
  TErrorCode code = 0;
  const std::int32_t slot = BlobSlot(fieldNo, buffer, code);
  if (code != 0) return code;
  if (slot >= 0) return err::InvalidBlobHandle;
  return blobFile_.ReadValue(-slot, offset, count, destination, copied);
}

TErrorCode TDataFile::WriteBlob(int fieldNo, std::span<const std::uint8_t> buffer,
                                std::uint32_t offset, std::uint32_t count, const void* source) {
  TErrorCode code = 0;
  const std::int32_t slot = BlobSlot(fieldNo, buffer, code);
  if (code != 0) return code;
  if (slot >= 0) return err::InvalidBlobHandle;
  return blobFile_.WriteValue(-slot, offset, count, source);
}

TErrorCode TDataFile::TruncateBlob(int fieldNo, std::span<const std::uint8_t> buffer,
                                   std::uint32_t length) {
  TErrorCode code = 0;
  const std::int32_t slot = BlobSlot(fieldNo, buffer, code);
  if (code != 0) return code;
  if (slot >= 0) return err::InvalidBlobHandle;
  return blobFile_.TruncateValue(-slot, length);
}

TErrorCode TDataFile::BlobSize(int fieldNo, std::span<const std::uint8_t> buffer,
                               std::uint32_t& size) {
  size = 0;
  TErrorCode code = 0;
  const std::int32_t slot = BlobSlot(fieldNo, buffer, code);
  if (code != 0) return code;
  if (slot >= 0) return err::InvalidBlobHandle;
  return blobFile_.ValueSize(-slot, size);
}

bool TDataFile::BlobIsOpen(int fieldNo, std::span<const std::uint8_t> buffer) {
  TErrorCode code = 0;
  const std::int32_t slot = BlobSlot(fieldNo, buffer, code);
  return code == 0 && slot < 0 && blobFile_.IsValueOpen(-slot);
}

}  // namespace quire
