#pragma once
// TQuireQuery: SQL text run against the tables of a database. A statement
// that returns rows is opened like a table; one that returns none is run
// with RunSQL. The text is the lines joined, each ended by CR LF; its
// ":name" references become the parameters, in order, and "?" markers in
// the text the engine sees.
//
// With a DataSource, each parameter that was given no value takes, at every
// run, the current value of the field of the same name in the source's
// dataset; it stays unbound, so the next run takes the field's value then.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "access/DBDataSet.h"
#include "access/DataSource.h"
#include "access/Param.h"
#include "engine/Value.h"

namespace quire {

class TDataQuery;

class TQuireQuery : public TQuireDBDataSet {
 public:
  // Sender, CurrentRecord, PercentDone, AbortQuery.
  using TQueryProgressEvent = std::function<void(TQuireQuery& sender, std::int32_t currentRecord,
                                                 std::uint16_t percentDone, bool& abortQuery)>;

  explicit TQuireQuery(const void* owner = nullptr);
  ~TQuireQuery() override;

  // The SQL lines; every change closes the query, releases its statement and
  // rebuilds the parameters (keeping the values of those of the same name).
  // SetSQL changes nothing when the new lines make the same text; ClearSQL
  // is a change when there were lines, AddSQL always.
  const std::vector<std::string>& SQL() const { return lines_; }
  void SetSQL(std::vector<std::string> lines);
  void ClearSQL();
  void AddSQL(std::string_view line);
  // The text the engine gets.
  const std::string& EngineText() const { return engineText_; }

  std::vector<TQuireParam>& Params() { return params_; }
  // The parameter of that name (ignoring case): "Parameter '%s' not found".
  TQuireParam& ParamByName(std::string_view name);
  bool ParamCheck() const { return paramCheck_; }
  void SetParamCheck(bool check) { paramCheck_ = check; }
  bool RequestLive() const { return requestLive_; }
  void SetRequestLive(bool live) { requestLive_ = live; }
  std::uint8_t LockRetryCount() const { return lockRetryCount_; }
  void SetLockRetryCount(std::uint8_t count) { lockRetryCount_ = count; }
  std::uint16_t LockWaitTime() const { return lockWaitTime_; }
  void SetLockWaitTime(std::uint16_t milliseconds) { lockWaitTime_ = milliseconds; }
  bool StrictChangeDetection() const { return strict_; }
  void SetStrictChangeDetection(bool strict) { strict_ = strict; }
  // The source whose dataset fills unbound parameters (null: none);
  // "Circular datalinks are not allowed" for a source of this query.
  TDataSource* DataSource() const { return sourceLink_.Source(); }
  void SetDataSource(TDataSource* source);

  TQueryProgressEvent OnQueryProgress;

  // Runs a statement that returns no rows; the query must be closed. The
  // database is held for the call only, and the statement released after
  // it, so every call prepares afresh.
  void RunSQL();
  // Rows the last statement affected.
  std::int32_t RowsAffected() const { return rowsAffected_; }

 protected:
  TDataFile& OpenCursor() override;
  void CloseCursor() override;

 private:
  // Joins the source; the query takes its values when it runs and does not
  // follow its moves on its own.
  class TSourceLink : public TDataLink {
   protected:
    void DataEvent(TDataEvent, const TField*) override {}
  };

  void TextChanged();
  // Fills the unbound parameters from the DataSource's dataset.
  void FillFromDataSource();
  void Prepare();
  // Binds the parameters and runs; the statement's result table or null.
  TDataFile* Execute();

  std::vector<std::string> lines_;
  std::string engineText_;
  std::vector<TQuireParam> params_;
  bool paramCheck_ = true;
  bool requestLive_ = false;
  std::uint8_t lockRetryCount_ = 15;
  std::uint16_t lockWaitTime_ = 100;
  bool strict_ = false;
  std::unique_ptr<TDataQuery> statement_;
  std::int32_t rowsAffected_ = 0;
  TSourceLink sourceLink_;
};

}  // namespace quire
