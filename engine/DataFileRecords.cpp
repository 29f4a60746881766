// TDataFile: record slots through the record cache — fetching with
// read-ahead, appending, writing dirty records back in runs — and flushing
// all three files after a change.
#include <algorithm>
#include <initializer_list>

#include "engine/DataFile.h"
#include "engine/EngineError.h"
#include "engine/FieldValue.h"

namespace quire {
namespace {

// A table holds at most 99,999,999 slots, and no slot may start beyond
// 2,000,000,000 bytes: record lock bytes and file offsets must stay in range.
constexpr std::int64_t kMaxSlotNumber = 100000000;
constexpr std::int64_t kMaxRecordBytes = 2000000000;
constexpr std::uint32_t kReadAheadBytes = 32767;

// Attaches a batch to the table's files for one flush. On the way out the
// files are detached; writes still queued then belong to a flush that failed
// and are dropped with it.
class TBatchScope {
 public:
  TBatchScope(TWriteBatch& batch, std::initializer_list<TFileHandler*> files)
      : batch_(batch), files_(files) {
    for (TFileHandler* file : files_) file->AttachWriteBatch(&batch_);
  }
  ~TBatchScope() {
    for (TFileHandler* file : files_) file->AttachWriteBatch(nullptr);
    batch_.Discard();
  }
  TBatchScope(const TBatchScope&) = delete;
  TBatchScope& operator=(const TBatchScope&) = delete;

 private:
  TWriteBatch& batch_;
  std::vector<TFileHandler*> files_;
};

}  // namespace

std::uint32_t TDataFile::ReadAheadLimit() const {
  return header_.RecordSize == 0 ? 1
                                 : std::max<std::uint32_t>(1, kReadAheadBytes / header_.RecordSize);
}

TRecord& TDataFile::ObtainBuffer(std::uint32_t number) {
  TRecord* record = cache_.TakeFree(number);
  if (record == nullptr && !locks_.TableLocked() && WriteBackRecords())
    record = cache_.TakeFree(number);
  if (record == nullptr && locks_.TableLocked()) {
    // Under the table lock nothing may be written before it ends.
    cache_.Grow();
    record = cache_.TakeFree(number);
  }
  if (record == nullptr) RaiseEngineError(err::RecordBuffersCorrupt, FileName());
  return *record;
}

TRecord& TDataFile::AppendSlot(std::uint32_t number) {
  if (number + std::int64_t{1} > kMaxSlotNumber ||
      std::int64_t{number} * header_.RecordSize > kMaxRecordBytes)
    RaiseEngineError(err::FileFull, FileName());
  TRecord& record = ObtainBuffer(number);
  record.Pin(FileName());
  ++header_.NextRecordNumber;
  MarkHeaderModified();
  return record;
}

TDataFile::TFetch TDataFile::FetchRecord(std::uint32_t number, TTravel travel,
                                         std::size_t suggested) {
  if (number == 0) return {};
  ++statistics_.BufferFetches;
  if (number == static_cast<std::uint32_t>(header_.NextRecordNumber))
    return {&AppendSlot(number), false};
  if (TRecord* cached = cache_.Find(number)) {
    cached->Pin(FileName());
    if (!cached->ComputedValid()) {
      ComputeFields(cached->Bytes());
      cached->SetComputedValid(true);
    }
    return {cached, false};
  }
  if (!strictChangeDetection_ && !EnsureFresh()) return {nullptr, true};
  if (number >= static_cast<std::uint32_t>(header_.NextRecordNumber))
    RaiseEngineError(err::RecordBuffersCorrupt, FileName());

  const std::uint32_t slots = static_cast<std::uint32_t>(header_.NextRecordNumber - 1);
  std::uint32_t count = 1;
  if (travel != TTravel::None) {
    const std::uint32_t room = travel == TTravel::Forward ? slots - number + 1 : number;
    count =
        suggested > 0 ? static_cast<std::uint32_t>(suggested) : std::min(ReadAheadLimit(), room);
    count = std::clamp<std::uint32_t>(count, 1, std::min(ReadAheadLimit(), room));
  }
  const std::uint32_t first = travel == TTravel::Backward ? number - count + 1 : number;
  const std::size_t size = header_.RecordSize;
  scratch_.resize(std::size_t{count} * size);
  // An exclusive or table-locked table may hold appended slots that are not
  // written yet; they are cached, so the file may end early.
  const bool allowShort = Exclusive() || locks_.TableLocked();
  const std::size_t got = ReadAt(header_.RecordOffset(static_cast<std::int32_t>(first)),
                                 scratch_.data(), scratch_.size(), allowShort);
  ++statistics_.ReadCalls;
  if (count > 1) ++statistics_.ReadAheads;

  const std::uint32_t read = static_cast<std::uint32_t>(got / size);
  std::vector<TRecord*> marked;
  for (std::uint32_t i = 0; i < read; ++i) {
    TRecord* record = cache_.Peek(first + i);
    if (record == nullptr) {
      record = &ObtainBuffer(first + i);
    } else if (record->PinCount() > 0 || record->Dirty()) {
      continue;  // our own version is newer than the file's
    }
    record->Load(scratch_.data() + std::size_t{i} * size, size, header_.IsEncrypted());
    record->SetMarked(true);
    marked.push_back(record);
  }
  for (TRecord* record : marked) record->SetMarked(false);
  TRecord* result = cache_.Find(number);
  if (result == nullptr) RaiseEngineError(err::RecordBuffersCorrupt, FileName());
  result->Pin(FileName());
  if (!result->ComputedValid()) {
    ComputeFields(result->Bytes());
    result->SetComputedValid(true);
  }
  return {result, false};
}

bool TDataFile::WriteBackRecords() {
  const std::vector<TRecord*> dirty = cache_.DirtyRecords();
  const std::size_t size = header_.RecordSize;
  for (std::size_t begin = 0; begin < dirty.size();) {
    std::size_t end = begin + 1;
    while (end < dirty.size() && dirty[end]->Number() == dirty[end - 1]->Number() + 1) ++end;
    std::vector<std::uint8_t> image((end - begin) * size);
    for (std::size_t i = begin; i < end; ++i)
      dirty[i]->Store(image.data() + (i - begin) * size, size, header_.IsEncrypted());
    WriteAt(header_.RecordOffset(static_cast<std::int32_t>(dirty[begin]->Number())), image.data(),
            image.size());
    ++statistics_.WriteCalls;
    begin = end;
  }
  return !dirty.empty();
}

void TDataFile::FlushEverything(bool forceIndexHeader) {
  // A dozen scattered writes after each change; they reach the files in one
  // go before the caller lets other programs read.
  TBatchScope batch(writeBatch_, {this, &indexFile_, &blobFile_});
  WriteBackRecords();
  WriteHeader(true);
  indexFile_.Flush();
  indexFile_.WriteHeader(forceIndexHeader);
  indexPagesPending_ = false;
  if (blobFile_.IsOpen()) {
    blobFile_.FlushBlocks();
    blobFile_.WriteHeader();
  }
  writeBatch_.Submit();
}

void TDataFile::ComputeFields(std::span<std::uint8_t> buffer) {
  if (header_.ComputedAreaSize == 0) return;
  std::vector<std::uint8_t> value;
  for (const TFieldDescriptor& field : logicalFields_) {
    if (!field.IsComputed() || field.IsAutoInc()) continue;
    value.assign(field.DataSize, 0);
    const bool present = evaluator_ && evaluator_(field, buffer, value);
    WriteFieldValue(field, buffer, present ? value.data() : nullptr, value.size());
  }
}

void TDataFile::DropCaches() {
  // Another program changed the table: nothing cached may be trusted, and
  // nothing of ours is pending (a shared table writes every change through).
  current_ = nullptr;
  cache_.DiscardAll();
  cursor_.Invalidate();
  liveValid_ = false;
  DropBitmaps();
}

void TDataFile::ForgetFailedChange(bool rereadHeader) {
  // A change that failed part way on a shared table leaves our caches holding
  // changes that never reached the files, or reached them only in part: drop
  // them and read the headers again, so that we go on from what the files
  // hold. An exclusive table keeps its caches, the only copy of its pending
  // changes.
  if (!WritesThrough()) return;
  DropCaches();
  if (rereadHeader) ReadHeader();
  indexFile_.ReadHeader();
  indexFile_.Invalidate();
  indexPagesPending_ = false;
}

}  // namespace quire
