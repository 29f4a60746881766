#include "index/RecordFilters.h"

#include <algorithm>

#include "engine/EngineError.h"

namespace quire {

TFilterHandle TRecordFilters::Install(TRecordTest test, const std::string& fileName) {
  // The limit is the table's own and is checked first, before the filter
  // itself is looked at.
  if (filters_.size() >= kMaxFilters) RaiseEngineError(err::TooManyFilters, fileName);
  if (!test) RaiseEngineError(err::InvalidFilterExpression, fileName);
  auto filter = std::make_unique<TInstalledFilter>();
  filter->handle = nextHandle_++;
  filter->test = std::move(test);
  filters_.push_back(std::move(filter));
  return filters_.back()->handle;
}

TInstalledFilter& TRecordFilters::Get(TFilterHandle handle, const std::string& fileName) {
  const auto found = std::find_if(filters_.begin(), filters_.end(),
                                  [handle](const auto& f) { return f->handle == handle; });
  if (found == filters_.end()) RaiseEngineError(err::InvalidFilterHandle, fileName);
  return **found;
}

void TRecordFilters::Remove(TFilterHandle handle, const std::string& fileName) {
  const auto found = std::find_if(filters_.begin(), filters_.end(),
                                  [handle](const auto& f) { return f->handle == handle; });
  if (found == filters_.end()) RaiseEngineError(err::InvalidFilterHandle, fileName);
  filters_.erase(found);
}

void TRecordFilters::SetActive(TFilterHandle handle, bool active, const std::string& fileName) {
  if (handle != 0) {
    Get(handle, fileName).active = active;
    return;
  }
  for (const auto& filter : filters_) filter->active = active;
}

bool TRecordFilters::AnyActive() const {
  return std::any_of(filters_.begin(), filters_.end(), [](const auto& f) { return f->active; });
}

void TRecordFilters::DropBitmaps() {
  for (const auto& filter : filters_) {
    filter->built = false;
    filter->passed = TRecordBitmap();
  }
}

}  // namespace quire
