#pragma once
// Parsing statements against a fixed set of tables, for the statement
// parser's tests. The query's database directory is /db; the tables are
//   /db/Song  Code string(10), Name string(40), Year integer, Price float,
//             Active boolean, Released date
//   /db/List  Code string(10), Kind small integer, Text string(40)
//   /db/a, /db/b, /db/c  x integer, y integer, and ax, bx or cx integer
// Any other table cannot be opened (11010).

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "engine/ErrorCodes.h"
#include "sql/DataQuery.h"

namespace quire::testing {

inline TFieldDescriptor Field(std::int16_t number, std::string name, std::uint8_t type,
                              std::uint8_t size = 0) {
  TFieldDescriptor field;
  field.FieldNo = number;
  field.FieldName = std::move(name);
  field.FieldType = type;
  field.FieldSize = size;
  field.DeriveSizes();
  return field;
}

class FakeSchemas : public TTableSchemas {
 public:
  FakeSchemas() {
    tables_["/db/Song"] = {Field(1, "Code", ftype::String, 10), Field(2, "Name", ftype::String, 40),
                           Field(3, "Year", ftype::Integer),    Field(4, "Price", ftype::Float),
                           Field(5, "Active", ftype::Boolean),  Field(6, "Released", ftype::Date)};
    tables_["/db/List"] = {Field(1, "Code", ftype::String, 10), Field(2, "Kind", ftype::SmallInt),
                           Field(3, "Text", ftype::String, 40)};
    for (const char* name : {"a", "b", "c"})
      tables_[std::string("/db/") + name] = {Field(1, "x", ftype::Integer),
                                             Field(2, "y", ftype::Integer),
                                             Field(3, std::string(name) + "x", ftype::Integer)};
  }

  const std::vector<TFieldDescriptor>& FieldsOf(TSourceDataFile& table) override {
    asked.push_back(table.TableName());
    const auto found = tables_.find(table.TableName());
    if (found == tables_.end()) RaiseEngineError(err::InvalidPath, table.TableName());
    return found->second;
  }

  // The tables whose fields were asked for, in order.
  std::vector<std::string> asked;

 private:
  std::map<std::string, std::vector<TFieldDescriptor>> tables_;
};

class StatementTest : public ::testing::Test {
 protected:
  StatementTest() { query.Settings().DatabaseDirectory = "/db"; }

  // Parses `text`; a failure fails the test.
  const TStatement& Parse(const std::string& text) {
    try {
      query.ParseStatement(text, schemas);
    } catch (const EQuireEngineError& e) {
      ADD_FAILURE() << text << ": " << e.Message();
    }
    return query.Statement();
  }

  // The message (after "SQL - ") of the 11949 error that parsing `text`
  // raises; "(no error)" or the other code's message when it raises none.
  std::string MessageOf(const std::string& text) {
    try {
      query.ParseStatement(text, schemas);
    } catch (const EQuireEngineError& e) {
      const std::string& full = e.ErrorList().at(0).EngineText;
      if (e.Code() != err::Sql || full.rfind("SQL - ", 0) != 0) return e.Message();
      return full.substr(6);
    }
    return "(no error)";
  }

  FakeSchemas schemas;
  TDataQuery query;
};

}  // namespace quire::testing
