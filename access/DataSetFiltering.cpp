// The dataset's filter properties and the find operations over them.

#include <utility>

#include "access/DataSet.h"
#include "access/DataSetFilter.h"
#include "engine/EngineError.h"

namespace quire {
namespace {

constexpr TErrorCode kBeforeFirst = 8705;
constexpr TErrorCode kAfterLast = 8706;

}  // namespace

bool TQuireDataSet::AcceptRecord(std::span<const std::uint8_t> record) {
  if (!onFilterRecord_) return true;
  // The engine may ask in the middle of any state (a post tests the new
  // record): the state and the active buffer are given back afterwards.
  const TDataSetState previous = state_;
  std::vector<std::uint8_t>* previousOverride = activeOverride_;
  filterRecord_.assign(record.begin(), record.end());
  state_ = TDataSetState::Filter;
  activeOverride_ = &filterRecord_;
  bool accept = true;
  try {
    onFilterRecord_(*this, accept);
  } catch (...) {
    ReportError(std::current_exception());
  }
  state_ = previous;
  activeOverride_ = previousOverride;
  return accept;
}

void TQuireDataSet::SetUpFilters() {
  if (!filters_) filters_ = std::make_unique<TDataSetFilters>(*table_);
  TRecordTest test;
  if (onFilterRecord_)
    test = [this](std::span<const std::uint8_t> record, std::uint32_t) {
      return AcceptRecord(record);
    };
  filters_->Build(filterText_, filterOptions_, std::move(test));
  if (filtered_) ActivateFilters();
}

void TQuireDataSet::ActivateFilters() {
  // Building a filter's bitmap may switch the engine's index to count or
  // mark keys, which drops the engine's range: it is set again.
  const bool ranged = table_->RangeActive();
  filters_->Activate();
  if (ranged && !table_->RangeActive()) RangeLost();
}

void TQuireDataSet::FirstIfFiltered() {
  if (filtered_) First();
}

void TQuireDataSet::SetFilter(std::string_view text) {
  if (!Active()) {
    filterText_ = text;
    return;
  }
  CheckBrowseMode();
  const std::string old = std::exchange(filterText_, std::string(text));
  try {
    SetUpFilters();
  } catch (...) {
    filterText_ = old;
    throw;
  }
  FirstIfFiltered();
}

void TQuireDataSet::SetFilterOptions(TFilterOptions options) {
  if (!Active()) {
    filterOptions_ = options;
    return;
  }
  CheckBrowseMode();
  const TFilterOptions old = std::exchange(filterOptions_, options);
  try {
    SetUpFilters();
  } catch (...) {
    filterOptions_ = old;
    throw;
  }
  FirstIfFiltered();
}

void TQuireDataSet::SetOnFilterRecord(TFilterRecordEvent event) {
  onFilterRecord_ = std::move(event);
  if (!Active()) return;
  CheckBrowseMode();
  SetUpFilters();
  FirstIfFiltered();
}

void TQuireDataSet::SetFiltered(bool filtered) {
  if (filtered_ == filtered) return;
  if (!Active()) {
    filtered_ = filtered;
    return;
  }
  CheckBrowseMode();
  if (filtered) {
    ActivateFilters();  // a failure leaves the dataset unfiltered
  } else {
    filters_->Deactivate();
  }
  filtered_ = filtered;
  First();
}

bool TQuireDataSet::FindRecord(bool restart, bool forward) {
  CheckBrowseMode();
  found_ = false;
  const std::uint32_t shown = table_->CurrentRecordNumber();
  // Filters that are off search for their duration only.
  const bool temporary = !filtered_ && filters_->Any();
  if (temporary) ActivateFilters();
  std::vector<std::uint8_t> record(buffer_.size());
  TErrorCode code = 0;
  try {
    if (restart) forward ? table_->First() : table_->Last();
    code = forward ? table_->GetNextRecord(record) : table_->GetPriorRecord(record);
  } catch (...) {
    if (temporary) filters_->Deactivate();
    throw;
  }
  if (temporary) filters_->Deactivate();
  if (code != 0 && code != kBeforeFirst && code != kAfterLast) RaiseCode(code);
  if (code != 0) {
    // Nothing found: the record shown stays the engine's current one.
    if (shown != 0) table_->GoToRecord(shown);
    return false;
  }
  buffer_ = std::move(record);
  eof_ = bof_ = false;
  found_ = true;
  Notify(TDataEvent::DataSetChange);
  if (AfterScroll) AfterScroll(*this);
  return true;
}

}  // namespace quire
