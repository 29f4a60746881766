#pragma once
// What the statement executor needs of one open table, so that it can run
// against a data file or, in tests, against a table of its own making.
//
// A table has a view: every record, or, once a condition is handed to it,
// only the records that satisfy it. The executor walks the view with First
// and Next and changes the record it stands on.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/DataFile.h"
#include "engine/DataFileHeader.h"
#include "engine/Value.h"
#include "sql/QueryExprNode.h"
#include "sql/SourceDataFile.h"

namespace quire {

class TStatementTable {
 public:
  virtual ~TStatementTable() = default;

  // The stored and computed fields in field order; a column node's FieldNo
  // is a 1-based position in this list.
  virtual const std::vector<TFieldDescriptor>& Fields() const = 0;

  // The all-records lock, with the table's retry count and wait (10241,
  // 10242 when it cannot be had).
  virtual void LockAllRecords() = 0;
  virtual void UnlockAllRecords() = 0;

  // Hands the table a condition over its own columns. Returns true when the
  // table's view now holds exactly the records satisfying it; false when
  // it took nothing (the caller tests each record). `forStatement` applies
  // the limits of a statement to what the table answers from its indexes.
  virtual bool Restrict(const TQueryExprNode& condition, bool forStatement) = 0;
  // As Restrict for a statement, for a view that is only read in any order
  // (a join's later tables): the table may answer an equal comparison of an
  // indexed column with a key range of that index, which costs one descent
  // where a filter counts and marks keys and installs a bitmap.
  virtual bool RestrictForReading(const TQueryExprNode& condition) {
    return Restrict(condition, true);
  }
  // The view holds every record again.
  virtual void ClearRestriction() = 0;

  // Before the first record of the view; Next copies the next record into
  // `record` (a buffer of RecordSize bytes) and returns false at the end.
  virtual void First() = 0;
  virtual bool Next(std::span<std::uint8_t> record) = 0;
  // Records in the view now.
  virtual std::int32_t ViewCount() = 0;
  virtual std::size_t RecordSize() const = 0;

  // Changes to the record Next stopped on.
  virtual void DeleteCurrent() = 0;
  // Copies the current record, as it is now, into `record`; false when the
  // view stands on no record.
  virtual bool ReadCurrent(std::span<std::uint8_t> record) = 0;
  virtual void ModifyCurrent(std::span<std::uint8_t> record) = 0;

  // A new record with the fields' defaults.
  virtual std::vector<std::uint8_t> NewRecord() = 0;
  virtual void Append(std::span<std::uint8_t> record) = 0;
  // Writes `value` into field `fieldNo` of `record` (a null value clears
  // it); false when the value does not convert to the field's type.
  virtual bool SetValue(int fieldNo, std::span<std::uint8_t> record, const TValue& value) = 0;

  // The data file behind the table, when there is one: a live result is
  // the table itself, and blob values are copied between data files.
  virtual TDataFile* DataFile() { return nullptr; }
};

// Opens the tables a statement names.
class TStatementTableOpener {
 public:
  virtual ~TStatementTableOpener() = default;
  // `writable`: the statement changes the table (INSERT, UPDATE, DELETE).
  virtual std::unique_ptr<TStatementTable> Open(const TSourceDataFile& table, bool writable) = 0;
};

}  // namespace quire
