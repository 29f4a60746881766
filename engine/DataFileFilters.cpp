// TDataFile: filters and bitmap mode. While a filter is active the visible
// records are kept in bitmaps (TBitmapSet): the live records, those inside
// the cursor's range, and those passing each active filter. The cursor asks
// for the visible bitmap at the start of every move; physical order walks it
// by record number. The bitmaps are built when first needed, then follow
// every insert, change and delete of this table record by record, and are
// dropped when another program changes the table (or the last filter goes).
#include <algorithm>

#include "engine/DataFile.h"
#include "engine/DataFileScopes.h"
#include "engine/EngineError.h"

namespace quire {

bool TDataFile::BitmapMode() const {
  return PhysicalOrder() || filters_.AnyActive();
}

void TDataFile::ResetFilters() {
  filters_.RemoveAll();
  DropBitmaps();
}

void TDataFile::DropBitmaps() {
  bitmaps_.Drop();
  filters_.DropBitmaps();
  bitmapsRange_.clear();
  scanner_.Reset();
}

TFilterHandle TDataFile::InstallFilter(TRecordTest test) {
  const TFilterHandle handle = filters_.Install(std::move(test), FileName());
  cursor_.SetVisibleRecords([this] { return CursorVisibleRecords(); });
  return handle;
}

void TDataFile::ActivateFilter(TFilterHandle handle) {
  filters_.SetActive(handle, true, FileName());
  bitmaps_.Recombine();
}

void TDataFile::ActivateFilter(TFilterHandle handle, TRecordBitmap passed) {
  TInstalledFilter& filter = filters_.Get(handle, FileName());
  // The live records first: building them later would drop every filter's
  // bitmap, this one too, and test each record for it after all.
  {
    TReadScope scope(*this);
    EnsureBitmaps();
  }
  passed.Resize(static_cast<std::uint32_t>(SlotCount()));
  filter.passed = std::move(passed);
  filter.built = true;
  filter.active = true;
  bitmaps_.Recombine();
}

void TDataFile::DeactivateFilter(TFilterHandle handle) {
  filters_.SetActive(handle, false, FileName());
  if (filters_.AnyActive()) {
    bitmaps_.Recombine();
  } else {
    DropBitmaps();
  }
}

void TDataFile::RefreshFilter(TFilterHandle handle) {
  TInstalledFilter& filter = filters_.Get(handle, FileName());
  filter.built = false;
  filter.passed = TRecordBitmap();
  bitmaps_.Recombine();
}

void TDataFile::RemoveFilter(TFilterHandle handle) {
  filters_.Remove(handle, FileName());
  if (filters_.AnyActive()) {
    bitmaps_.Recombine();
  } else {
    DropBitmaps();
  }
}

void TDataFile::RemoveAllFilters() {
  filters_.RemoveAll();
  DropBitmaps();
}

void TDataFile::RebuildBitmaps() {
  TReadScope scope(*this);
  DropBitmaps();
  if (filters_.AnyActive()) EnsureBitmaps();
}

const TRecordBitmap* TDataFile::CursorVisibleRecords() {
  if (!filters_.AnyActive()) return nullptr;
  EnsureBitmaps();
  return &bitmaps_.Visible();
}

const TRecordBitmap& TDataFile::PhysicalRecords() {
  if (!filters_.AnyActive()) {
    EnsureLiveRecords();
    return live_;
  }
  EnsureBitmaps();
  return bitmaps_.Visible();
}

void TDataFile::EnsureBitmaps() {
  // What the range bitmap stands for: the index walked and its bounds.
  std::vector<std::uint8_t> range;
  const bool ranged = !PhysicalOrder() && cursor_.RangeActive();
  if (ranged) {
    range.assign(cursor_.RangeStart().begin(), cursor_.RangeStart().end());
    range.insert(range.end(), cursor_.RangeEnd().begin(), cursor_.RangeEnd().end());
  }
  if (bitmaps_.RangeUsed() != ranged || bitmapsIndex_ != indexFile_.CurrentIndex() ||
      bitmapsRange_ != range)
    bitmaps_.Recombine(true);
  const bool filtersBuilt = std::all_of(filters_.All().begin(), filters_.All().end(),
                                        [](const auto& f) { return !f->active || f->built; });
  if (bitmaps_.LiveBuilt() && (bitmaps_.RangeBuilt() || !ranged) && filtersBuilt &&
      bitmaps_.VisibleBuilt())
    return;

  // Another program's change met on the way starts the whole build again.
  for (;;) {
    const auto slots = static_cast<std::uint32_t>(SlotCount());
    if (!bitmaps_.LiveBuilt()) {
      bitmaps_.Resize(slots);
      if (indexFile_.HasPrimaryIndex()) {
        scanner_.BindIndex(kSysDeletedIndex);
        if (BuildLiveBitmap(scanner_, bitmaps_.Live()) == TMoveResult::Restart) continue;
      } else {
        // Without a primary index no index knows the deleted slots; the
        // slots' own flags do.
        EnsureLiveRecords();
        bitmaps_.Live() = live_;
      }
      bitmaps_.MarkLiveBuilt();
      filters_.DropBitmaps();
      bitmaps_.Recombine(true);
    }
    bitmaps_.SetRangeUsed(ranged);
    if (ranged && !bitmaps_.RangeBuilt()) {
      const TKeyOrder order(indexFile_, indexFile_.CurrentIndex());
      scanner_.BindIndex(indexFile_.CurrentIndex());
      if (BuildRangeBitmap(scanner_, order, cursor_.RangeStart(), cursor_.RangeEnd(),
                           bitmaps_.Live(), TRangeBuild::Auto,
                           bitmaps_.Range()) == TMoveResult::Restart) {
        DropBitmaps();
        continue;
      }
      bitmaps_.MarkRangeBuilt();
    }
    bool restart = false;
    for (const auto& filter : filters_.All()) {
      if (!filter->active || filter->built) continue;
      filter->passed = TRecordBitmap();
      filter->passed.Resize(slots);
      if (!ScanRecords(filter->passed, false, filter->test)) {
        restart = true;
        break;
      }
      filter->built = true;
    }
    if (restart) {
      DropBitmaps();
      continue;
    }
    bitmaps_.Combine(filters_);
    bitmapsIndex_ = indexFile_.CurrentIndex();
    bitmapsRange_ = range;
    return;
  }
}

void TDataFile::ReadTogether(const std::function<void()>& reads) {
  TReadScope scope(*this);
  // Taken now, the lock is found held by every read inside, which then
  // leaves it to this scope; what another program changed is dropped here.
  EnsureFresh();
  reads();
}

void TDataFile::ScanAndTest(TRecordBitmap& bitmap, bool narrow, const TRecordTest& test) {
  TReadScope scope(*this);
  const TRecordBitmap given = bitmap;
  while (!ScanRecords(bitmap, narrow, test)) bitmap = given;
}

bool TDataFile::ScanRecords(TRecordBitmap& bitmap, bool narrow, const TRecordTest& test) {
  if (!narrow) {
    bitmap.Resize(static_cast<std::uint32_t>(SlotCount()));
    bitmap.SetAll();
  }
  const auto slots = static_cast<std::uint32_t>(SlotCount());
  for (std::uint32_t number = bitmap.NextSet(0); number != 0; number = bitmap.NextSet(number)) {
    // A number past the last slot would append a slot, not read one.
    if (number > slots) {
      bitmap.Set(number, false);
      continue;
    }
    const TFetch fetch = FetchRecord(number, TTravel::Forward);
    if (fetch.retry) return false;
    const bool passed = !fetch.record->Deleted() && test(fetch.record->Bytes(), number);
    fetch.record->Unpin();
    if (!passed) bitmap.Set(number, false);
  }
  return true;
}

void TDataFile::NoteRecordAdded(std::uint32_t number, std::span<const std::uint8_t> record) {
  if (!bitmaps_.LiveBuilt()) return;
  bitmaps_.Resize(static_cast<std::uint32_t>(SlotCount()));
  bool inRange = false;
  if (bitmaps_.RangeUsed()) {
    // The bounds the range bitmap was built for: start and end, K bytes each.
    const TKeyOrder order(indexFile_, bitmapsIndex_);
    const std::vector<std::uint8_t> key = order.KeyOf(record);
    const std::size_t k = key.size();
    if (bitmapsRange_.size() == 2 * k)
      inRange = order.Compare(key.data(), bitmapsRange_.data(), k) >= 0 &&
                order.Compare(key.data(), bitmapsRange_.data() + k, k) <= 0;
  }
  bitmaps_.RecordAdded(number, record, inRange, filters_);
}

void TDataFile::NoteRecordRemoved(std::uint32_t number) {
  if (bitmaps_.LiveBuilt()) bitmaps_.RecordRemoved(number, filters_);
}

}  // namespace quire
