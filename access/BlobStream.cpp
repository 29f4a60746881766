#include "access/BlobStream.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "engine/DatabaseError.h"
#include "engine/EngineError.h"
#include "engine/FileBytes.h"

namespace quire {
namespace {

constexpr std::int64_t kLargestOffset = std::numeric_limits<std::uint32_t>::max();

}  // namespace

TQuireBlobStream::TQuireBlobStream(TQuireDBDataSet& dataset, TField& field, TBlobStreamMode mode)
    : dataset_(dataset), field_(field), mode_(mode) {
  if (dataset_.FindField(field_.FieldName()) != &field_)
    RaiseDatabaseError("Field '" + field_.FieldName() + "' not found");
  const std::span<std::uint8_t> buffer = Buffer();
  if (buffer.empty()) return;  // nothing to stream: stays closed
  TDataFile& table = *dataset_.EngineTable();
  if (!FieldChanged()) {
    if (mode_ != TBlobStreamMode::Read) {
      if (field_.ReadOnly())
        RaiseDatabaseError("Field '" + field_.FieldName() + "' cannot be modified");
      const TDataSetState state = dataset_.State();
      if (state != TDataSetState::Edit && state != TDataSetState::Insert)
        RaiseDatabaseError("Dataset not in edit or insert mode");
    }
    const TErrorCode code = table.OpenBlob(field_.FieldNo(), buffer);
    if (code != 0) Fail(code);
    if (mode_ != TBlobStreamMode::Read) {
      // Counted as changed from the start, so that a cancel or post while
      // the stream is still open closes or stores the value; freeing an
      // unwritten stream takes the mark back.
      dataset_.ChangedBlobs().push_back(field_.FieldNo());
      registered_ = true;
    }
  }
  opened_ = true;
  slot_ = Slot(buffer);
  if (mode_ == TBlobStreamMode::Write) {
    const TErrorCode code = table.TruncateBlob(field_.FieldNo(), buffer, 0);
    if (code != 0) {
      Close();
      Fail(code);
    }
    written_ = true;
  }
}

TQuireBlobStream::~TQuireBlobStream() {
  Close();
}

std::span<std::uint8_t> TQuireBlobStream::Buffer() {
  switch (dataset_.State()) {
    case TDataSetState::Inactive:
      return {};
    case TDataSetState::Browse:
      // An empty view has no current record.
      if (dataset_.Eof() && dataset_.Bof()) return {};
      return dataset_.ActiveBuffer();
    default:
      return dataset_.ActiveBuffer();
  }
}

std::int32_t TQuireBlobStream::Slot(std::span<const std::uint8_t> buffer) const {
  const std::size_t at = field_.Descriptor().FieldOffset + 1u;
  if (buffer.size() < at + sizeof(std::int32_t)) return 0;
  return bytes::Get<std::int32_t>(buffer, at);
}

bool TQuireBlobStream::Opened() const {
  if (!opened_) return false;
  // The record the stream was opened on is still the active one exactly
  // when the buffer's slot still names the value opened then.
  auto& self = const_cast<TQuireBlobStream&>(*this);
  const std::span<std::uint8_t> buffer = self.Buffer();
  return !buffer.empty() && slot_ < 0 && Slot(buffer) == slot_;
}

bool TQuireBlobStream::FieldChanged() {
  const std::vector<int>& changed = dataset_.ChangedBlobs();
  return std::find(changed.begin(), changed.end(), field_.FieldNo()) != changed.end();
}

void TQuireBlobStream::CheckWritable() const {
  if (mode_ == TBlobStreamMode::Read)
    RaiseDatabaseError("Field '" + field_.FieldName() + "' cannot be modified");
}

void TQuireBlobStream::Fail(TErrorCode code) const {
  RaiseEngineError(code, dataset_.EngineTable()->FileName());
}

std::size_t TQuireBlobStream::Read(void* destination, std::size_t count) {
  if (!Opened() || position_ > kLargestOffset) return 0;
  const auto wanted = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(count, static_cast<std::uint64_t>(kLargestOffset - position_)));
  std::uint32_t copied = 0;
  const TErrorCode code = dataset_.EngineTable()->ReadBlob(field_.FieldNo(), Buffer(),
                                                           static_cast<std::uint32_t>(position_),
                                                           wanted, destination, copied);
  if (code == err::InvalidBlobOffset) return 0;
  // The end of the blob, reached early, is no failure: the bytes up to it
  // were read.
  if (code != 0 && code != err::EndOfBlob) Fail(code);
  position_ += copied;
  return copied;
}

std::size_t TQuireBlobStream::Write(const void* source, std::size_t count) {
  CheckWritable();
  if (!Opened()) return 0;
  if (static_cast<std::uint64_t>(position_) + count > static_cast<std::uint64_t>(kLargestOffset))
    Fail(err::InvalidBlobLength);
  const TErrorCode code = dataset_.EngineTable()->WriteBlob(
      field_.FieldNo(), Buffer(), static_cast<std::uint32_t>(position_),
      static_cast<std::uint32_t>(count), source);
  if (code != 0) Fail(code);
  position_ += static_cast<std::int64_t>(count);
  written_ = true;
  return count;
}

std::int64_t TQuireBlobStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::Current) base = position_;
  if (origin == TSeekOrigin::End) base = Size();
  position_ = std::max<std::int64_t>(0, base + offset);
  return position_;
}

std::int64_t TQuireBlobStream::Size() {
  if (!Opened()) return 0;
  std::uint32_t size = 0;
  const TErrorCode code = dataset_.EngineTable()->BlobSize(field_.FieldNo(), Buffer(), size);
  if (code != 0) Fail(code);
  return size;
}

void TQuireBlobStream::Truncate() {
  CheckWritable();
  if (!Opened()) return;
  const auto length = static_cast<std::uint32_t>(std::min(position_, kLargestOffset));
  const TErrorCode code = dataset_.EngineTable()->TruncateBlob(field_.FieldNo(), Buffer(), length);
  if (code != 0) Fail(code);
  written_ = true;
}

void TQuireBlobStream::Close() noexcept {
  if (!Opened()) {
    opened_ = false;  // the record went first: nothing of ours is left there
    return;
  }
  opened_ = false;
  std::vector<int>& changed = dataset_.ChangedBlobs();
  const auto mark = std::find(changed.begin(), changed.end(), field_.FieldNo());
  if (written_ && mark == changed.end()) {
    changed.push_back(field_.FieldNo());
  } else if (!written_ && registered_ && mark != changed.end()) {
    changed.erase(mark);
  }
  TDataFile& table = *dataset_.EngineTable();
  // Closing an open value cannot fail; a code here would only say that it
  // was closed already, and a destructor has nobody to tell.
  if (!FieldChanged()) static_cast<void>(table.CloseBlob(field_.FieldNo(), Buffer()));
  if (written_) {
    try {
      dataset_.Notify(TDataEvent::FieldChange, &field_);
    } catch (...) {
      dataset_.ReportError(std::current_exception());
    }
  }
}

}  // namespace quire
