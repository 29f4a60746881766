#pragma once
// Expressions for the SQL tests: a fake table that binds columns of every
// value type, a record of values for it that counts its reads, short ways to
// parse, check and evaluate a text, and the message an SQL error carries.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Value.h"
#include "sql/CheckTypes.h"
#include "sql/Evaluate.h"
#include "sql/ParseExpression.h"

namespace quire::testing {

inline constexpr TParseFlags kAllParseFlags = pfAggregates | pfAllColumns | pfPredicates | pfParams;

struct TFakeColumn {
  std::string Name;
  std::uint8_t Type = 0;
  std::uint16_t Size = 0;  // 0: the type's own
  std::uint8_t SubType = 0;
  std::uint8_t Decimals = 0;
};

// One table, correlation name "T", that resolves its columns by name
// (ignoring case, with or without "T." in front). The default columns:
//   Str string(20)  Code string(10)  Name string(40)  A1 string(10)
//   Dt date  Tm time  Stamp timestamp  Bool boolean  Small small integer
//   Int integer  Flt float  Money float (money)  Bcd BCD (2 decimals)
//   Bcd4 BCD (4 decimals)  Wrd word
class TFakeTable : public TColumnResolver {
 public:
  TFakeTable();
  explicit TFakeTable(std::vector<TFakeColumn> columns);

  bool Resolve(TQueryExprNode& column) override;

  // 1-based; 0 when the table has no such column.
  int FieldNo(std::string_view name) const;
  const std::vector<TFakeColumn>& Columns() const { return columns_; }
  // The name of a default column of `type` (Money and Bcd4 aside).
  static std::string ColumnOf(std::uint8_t type);

  int ResolveCalls = 0;

 private:
  std::vector<TFakeColumn> columns_;
};

// The current record over a TFakeTable: a value per column, NULL where none
// was set. Counts the reads of each column.
class TFakeRecord : public TColumnReader {
 public:
  explicit TFakeRecord(const TFakeTable& table) : table_(table) {}

  TFakeRecord& Set(std::string_view column, TValue value);
  TValue Read(const TQueryExprNode& column) override;
  // Reads of the column since the record was made.
  int Reads(std::string_view column) const;
  // The names of the columns read, in the order of the reads.
  const std::vector<std::string>& ReadOrder() const { return order_; }

 private:
  const TFakeTable& table_;
  std::map<int, TValue> values_;
  std::map<int, int> reads_;
  std::vector<std::string> order_;
};

// Values of the types that have no factory in TValue.
TValue SmallValue(std::int16_t value);
TValue WordValue(std::uint16_t value);
TValue DateValue(int year, int month, int day);
TValue TimeValue(int hour, int minute, int second, int millisecond = 0);
TValue StampValue(int year, int month, int day, int hour, int minute, int second);
// An amount in 1/10000 units.
TValue BcdValue(std::int64_t amount, std::uint8_t decimals = 2);
TValue MoneyValue(double value);
TValue NullOfColumn(const TFakeColumn& column);

// Parses the whole of `text` as one expression; text left after it fails
// the test.
TExprTree ParseText(std::string_view text, TParseFlags flags = kAllParseFlags,
                    std::string_view clause = kClauseCondition,
                    TParameterList* parameters = nullptr);
// Parses and checks `text` over `table` with the built-in format settings.
TExprTree CheckText(std::string_view text, TFakeTable& table,
                    std::string_view clause = kClauseCondition);
// Parses, checks and evaluates `text` over `record` (and its table).
TValue EvaluateText(std::string_view text, TFakeTable& table, TFakeRecord& record);

// The text of the 11949 error that `action` raises, after "SQL - ", as the
// session keeps it (up to 255 characters); "(no error)" when it raises
// none, "code N: message" for another engine error.
std::string SqlMessageOf(const std::function<void()>& action);

// The value in a form for test output: "type:value" or "type:NULL".
std::string Describe(const TValue& value);

}  // namespace quire::testing
