#pragma once
// TRecordFilters: the filters installed on one open table. Each filter
// tests records (a caller's callback now; the SQL layer's filter
// expressions become callbacks of their own), can be active or not, and
// keeps the bitmap of the records that passed it.
//
// Handles are given out from 1 and never reused while the table is open,
// so a stale handle is refused (10050) rather than naming another filter.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "index/RecordBitmap.h"

namespace quire {

// Whether the record in `record` (a record buffer), stored in slot `number`,
// passes.
using TRecordTest = std::function<bool(std::span<const std::uint8_t> record, std::uint32_t number)>;
using TFilterHandle = std::uint32_t;

// Filters one table holds at most.
inline constexpr std::size_t kMaxFilters = 128;

struct TInstalledFilter {
  TFilterHandle handle = 0;
  TRecordTest test;
  bool active = false;
  bool built = false;  // `passed` holds every record's result
  TRecordBitmap passed;
};

class TRecordFilters {
 public:
  // Installs an inactive filter. 9482 while kMaxFilters are installed, else
  // 10051 without a test; either leaves the list as it was. The file name is
  // for the messages.
  TFilterHandle Install(TRecordTest test, const std::string& fileName);
  // Activates or deactivates one filter, or all with handle 0; 10050 for a
  // handle not in the list.
  void SetActive(TFilterHandle handle, bool active, const std::string& fileName);
  // The filter of `handle`; 10050 when there is none.
  TInstalledFilter& Get(TFilterHandle handle, const std::string& fileName);
  void RemoveAll() { filters_.clear(); }
  // Removes one filter; 10050 for a handle not in the list.
  void Remove(TFilterHandle handle, const std::string& fileName);

  std::size_t Count() const { return filters_.size(); }
  bool AnyActive() const;
  // Forgets every bitmap (the records changed under them).
  void DropBitmaps();
  std::span<const std::unique_ptr<TInstalledFilter>> All() const { return filters_; }

 private:
  std::vector<std::unique_ptr<TInstalledFilter>> filters_;
  TFilterHandle nextHandle_ = 1;
};

}  // namespace quire
