#pragma once
// SELECT tests over real tables: a folder of its own per test with the
// engine started, tables created in it through the engine, and a query
// that parses a statement over them, prepares and runs it, and shows the
// result's rows as text ("a|b|NULL").

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DataFile.h"
#include "engine/Value.h"
#include "sql/DataFileStatementTable.h"
#include "sql/DataQuery.h"
#include "sql/OpenTables.h"
#include "sql/SelectStatement.h"
#include "tests/engine/support/EngineScope.h"

namespace quire::testing {

struct TColumnSpec {
  std::string Name;
  std::uint8_t Type = 0;
  int Size = 0;  // strings
  std::uint8_t SubType = 0;
};

// An index over 1-based field numbers.
TIndexDefinition IndexOn(std::vector<std::uint16_t> fields, bool caseInsensitive = false,
                         std::string name = "", bool unique = false,
                         std::vector<bool> descending = {});

// Values for rows.
inline TValue I(std::int32_t value) {
  return TValue::Int(value);
}
inline TValue S(std::string_view text) {
  return TValue::String(text);
}
inline TValue F(double value) {
  return TValue::Float(value);
}
inline const TValue N = TValue::Untyped();

class TSelectFolder {
 public:
  TSelectFolder();
  ~TSelectFolder();
  TSelectFolder(const TSelectFolder&) = delete;
  TSelectFolder& operator=(const TSelectFolder&) = delete;

  const std::string& Dir() const { return dir_; }
  std::string Path(std::string_view name) const { return dir_ + "/" + std::string(name); }

  // Creates table `name` (a file name without extension) in the folder.
  void Create(std::string_view name, const std::vector<TColumnSpec>& columns,
              const TIndexDefinition& primary = {},
              const std::vector<TIndexDefinition>& secondary = {});
  // Appends rows, a value per field in field order (N: none).
  void Insert(std::string_view name, const std::vector<std::vector<TValue>>& rows);

 private:
  EngineScope engine_;
  std::string dir_;
};

// Opens data files as a query does and counts the records each table
// hands out through Next.
class TCountingOpener : public TStatementTableOpener {
 public:
  std::unique_ptr<TStatementTable> Open(const TSourceDataFile& table, bool writable) override;
  // Records read through Next from the table opened as `fileName`.
  std::int64_t Reads(const std::string& fileName) const;

 private:
  TDataFileTableOpener opener_{{}};
  std::map<std::string, std::shared_ptr<std::int64_t>> reads_;
};

// One SELECT over the tables of a folder, prepared as it is made.
class TSelectQuery {
 public:
  TSelectQuery(const TSelectFolder& folder, std::string_view text, TSelectSettings settings = {});

  TDataFile& Run(const TProgressCallback& progress = {});
  // The visible columns of every record of the last run's result, in its
  // order, each row as "v1|v2|...".
  std::vector<std::string> Rows();
  std::vector<std::string> ColumnNames();
  TSelectExecution& Execution() { return *select_; }
  TStatement& Statement() { return query_.Statement(); }
  TDataFile& Result() { return *result_; }
  // The open source table named `correlation`.
  TDataFile& Source(std::string_view correlation);
  // Records the statement read from it through the table's Next.
  std::int64_t Reads(std::string_view correlation);

 private:
  TDataQuery query_;
  TCountingOpener opener_;
  // A live result is the source table itself, which its user may change.
  bool live_ = false;
  TOpenTables tables_{opener_, [this] { return live_; }};
  std::unique_ptr<TSelectExecution> select_;
  TDataFile* result_ = nullptr;
};

// The rows a statement gives, prepared and run once.
std::vector<std::string> SelectRows(const TSelectFolder& folder, std::string_view text);

// A value as the rows show it: NULL, digits, text, true/false.
std::string ShowValue(const TValue& value);

}  // namespace quire::testing
