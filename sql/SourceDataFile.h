#pragma once
// TSourceDataFile: one table a statement reads or changes, as the statement
// names it. Its table number (1, 2, 3 ... in the order the statement names
// the tables) stays with it when a right join puts it at the front of the
// source list.
//
// Naming rules: a table name without a directory part lies in the owning
// query's database directory; the correlation name, unless one is given,
// is the table's file name without directory and extension, so that
// "FROM Song" and "FROM /data/Song.DAT" are both known as Song.

#include <cstdint>
#include <string>
#include <string_view>

namespace quire {

class TDataQuery;

class TSourceDataFile {
 public:
  TSourceDataFile(const TDataQuery& owner, std::uint16_t tableNumber, bool inMemory);
  TSourceDataFile(const TSourceDataFile&) = delete;
  TSourceDataFile& operator=(const TSourceDataFile&) = delete;

  const TDataQuery& Owner() const { return owner_; }
  std::uint16_t TableNumber() const { return tableNumber_; }
  // The table was named after MEMORY.
  bool InMemory() const { return inMemory_; }

  // The path the table is opened by.
  const std::string& TableName() const { return tableName_; }
  // Sets the name as the statement gives it (cut to 255 characters), put in
  // the database directory when it has no directory part, and the default
  // correlation name when none is set yet.
  void SetTableName(std::string_view name);

  const std::string& CorrelationName() const { return correlationName_; }
  // Replaces the correlation name (cut to 255 characters).
  void SetCorrelationName(std::string_view name);

 private:
  const TDataQuery& owner_;
  std::uint16_t tableNumber_;
  bool inMemory_;
  std::string tableName_;
  std::string correlationName_;
};

}  // namespace quire
