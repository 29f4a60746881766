// The master-detail link: the table follows its master's current record.

#include <utility>

#include "access/Table.h"
#include "engine/DatabaseError.h"

namespace quire {

void TQuireTable::TMasterLink::DataEvent(TDataEvent event, const TField* field) {
  // A change of a field the link does not use leaves the range as it is.
  if (event == TDataEvent::FieldChange && field != nullptr) {
    bool linked = false;
    for (const TField* link : table_.MasterLinkFields()) linked = linked || link == field;
    if (!linked) return;
  }
  table_.MasterChanged(true);
}

std::vector<TField*> TQuireTable::MasterLinkFields() const {
  std::vector<TField*> fields;
  TQuireDataSet* master = masterLink_.DataSet();
  if (master == nullptr || !master->Active()) return fields;
  std::size_t start = 0;
  while (start <= masterFields_.size()) {
    std::size_t end = masterFields_.find(';', start);
    if (end == std::string::npos) end = masterFields_.size();
    const std::string name = masterFields_.substr(start, end - start);
    if (!name.empty()) fields.push_back(&master->FieldByName(name));
    start = end + 1;
  }
  return fields;
}

void TQuireTable::MasterChanged(bool moveFirst) {
  if (!Active() || State() == TDataSetState::SetKey) return;
  const std::vector<TField*> links = MasterLinkFields();
  if (links.empty()) {
    // No master to follow (any more): the whole table again.
    if (engine_->RangeActive()) CancelRange();
    return;
  }
  CheckBrowseMode();
  if (static_cast<int>(links.size()) > IndexFieldCount())
    RaiseDatabaseError("Field index out of range");
  for (const TKeyIndex index : {kiRangeStart, kiRangeEnd}) {
    TKeyBuffer& buffer = keys_[index];
    InitKeyBuffer(buffer);
    keyIndex_ = index;
    BeginOverride(TDataSetState::SetKey, buffer.Record);
    try {
      for (std::size_t i = 0; i < links.size(); ++i)
        IndexFields(static_cast<int>(i)).SetValue(links[i]->Value());
    } catch (...) {
      EndOverride(TDataSetState::Browse);
      throw;
    }
    EndOverride(TDataSetState::Browse);
    buffer.FieldCount = static_cast<int>(links.size());
  }
  ApplyRangeIfChanged(moveFirst);
}

void TQuireTable::PrepareCursor() {
  MasterChanged(/*moveFirst=*/false);
}

void TQuireTable::InitNewRecord() {
  const std::vector<TField*> links = MasterLinkFields();
  for (std::size_t i = 0; i < links.size() && static_cast<int>(i) < IndexFieldCount(); ++i)
    IndexFields(static_cast<int>(i)).SetValue(links[i]->Value());
}

void TQuireTable::SetMasterSource(TDataSource* source) {
  if (source != nullptr && source->DataSet() == this)
    RaiseDatabaseError("Circular datalinks are not allowed");
  masterLink_.SetSource(source);
  MasterChanged(true);
}

void TQuireTable::SetMasterFields(std::string_view fields) {
  // Fields the master lacks are refused at once, not at its next move.
  std::string old = std::exchange(masterFields_, std::string(fields));
  try {
    MasterChanged(true);
  } catch (...) {
    masterFields_ = std::move(old);
    throw;
  }
}

}  // namespace quire
