#pragma once
// TDataSource and TDataLink: how one dataset follows another. A data source
// names a dataset; links attached to the source hear that dataset's data
// events (a detail table hears its master scroll). Either side may end
// first: a source that ends leaves its links without one, a dataset that
// ends leaves its sources without one.

#include <vector>

#include "access/DataSet.h"

namespace quire {

class TDataSource;

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* Source() const { return source_; }
  // Leaves the old source (if any) and joins `source` (may be null).
  void SetSource(TDataSource* source);
  // The source's dataset, null without one.
  TQuireDataSet* DataSet() const;

 protected:
  // An event of the source's dataset; ActiveChange also when the source
  // changes its dataset or loses it.
  virtual void DataEvent(TDataEvent event, const TField* field) = 0;

 private:
  friend class TDataSource;
  TDataSource* source_ = nullptr;
};

class TDataSource {
 public:
  explicit TDataSource(TQuireDataSet* dataSet = nullptr);
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TQuireDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TQuireDataSet* dataSet);

 private:
  friend class TDataLink;
  friend class TQuireDataSet;
  void Broadcast(TDataEvent event, const TField* field);
  // The dataset ends: the source is left without one.
  void DataSetGone();

  TQuireDataSet* dataSet_ = nullptr;
  int control_ = 0;  // the dataset's control id of this source
  std::vector<TDataLink*> links_;
};

}  // namespace quire
