#pragma once
// TDataSetFilters: the engine filters of one open dataset. A filter text
// (with its options) becomes an expression filter on the engine table
// through the filter-expression parser; a record event becomes a second,
// callback filter that the engine asks for every candidate record. Both
// are installed inactive; the dataset activates them while it is filtered.
//
// The filters live on the engine table they were built for and must end
// before it closes.

#include <memory>
#include <string>
#include <string_view>

#include "engine/DataFile.h"
#include "index/RecordFilters.h"
#include "sql/Filter.h"
#include "sql/FilterExpr.h"

namespace quire {

class TDataSetFilters {
 public:
  explicit TDataSetFilters(TDataFile& table) : table_(table) {}
  TDataSetFilters(const TDataSetFilters&) = delete;
  TDataSetFilters& operator=(const TDataSetFilters&) = delete;

  // Replaces the settings and builds the filters they describe: none for an
  // empty text or an empty test. A text that does not parse raises the
  // parser's EDatabaseError and keeps the filters as they were. Building
  // leaves the new filters inactive.
  void Build(std::string_view text, TFilterOptions options, TRecordTest test);

  // Activates every filter. When that fails, the filters are dropped, built
  // again from the current settings and activated once more; a second
  // failure raises its EQuireEngineError.
  void Activate();
  void Deactivate();
  bool Active() const { return active_; }

  // Whether any filter is built (a text or a test was given).
  bool Any() const { return expression_ != nullptr || callback_ != nullptr; }

 private:
  void BuildFilters(std::unique_ptr<TFilter>& expression, std::unique_ptr<TFilter>& callback);
  void ActivateBuilt();

  TDataFile& table_;
  std::string text_;
  TFilterOptions options_ = 0;
  TRecordTest test_;
  std::unique_ptr<TFilter> expression_;
  std::unique_ptr<TFilter> callback_;
  bool active_ = false;
};

}  // namespace quire
