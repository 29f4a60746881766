#include "access/DataSource.h"

#include <algorithm>

namespace quire {

TDataLink::~TDataLink() {
  SetSource(nullptr);
}

void TDataLink::SetSource(TDataSource* source) {
  if (source_ == source) return;
  if (source_ != nullptr) std::erase(source_->links_, this);
  source_ = source;
  if (source_ != nullptr) source_->links_.push_back(this);
}

TQuireDataSet* TDataLink::DataSet() const {
  return source_ != nullptr ? source_->DataSet() : nullptr;
}

TDataSource::TDataSource(TQuireDataSet* dataSet) {
  SetDataSet(dataSet);
}

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  for (TDataLink* link : links_) link->source_ = nullptr;
}

void TDataSource::SetDataSet(TQuireDataSet* dataSet) {
  if (dataSet_ == dataSet) return;
  if (dataSet_ != nullptr) {
    dataSet_->DetachControl(control_);
    std::erase(dataSet_->sources_, this);
  }
  dataSet_ = dataSet;
  if (dataSet_ != nullptr) {
    control_ = dataSet_->AttachControl(
        [this](TDataEvent event, const TField* field) { Broadcast(event, field); });
    dataSet_->sources_.push_back(this);
  }
  Broadcast(TDataEvent::ActiveChange, nullptr);
}

void TDataSource::DataSetGone() {
  dataSet_ = nullptr;
  Broadcast(TDataEvent::ActiveChange, nullptr);
}

void TDataSource::Broadcast(TDataEvent event, const TField* field) {
  // A link may leave while it hears the event.
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links)
    if (std::find(links_.begin(), links_.end(), link) != links_.end())
      link->DataEvent(event, field);
}

}  // namespace quire
