#include "support/StockTable.h"

namespace quire::testing {

StockTableTest::StockTableTest() {
  CreateStockTable(Path());
  Point(table_);
  table_.Open();
  Add("A", 1, "apple", true, 5);
  Add("A", 2, "Banana", false, 3);
  Add("A", 3, "cherry", true, 5);
  Add("B", 1, "Apricot", true, 0);
  Add("B", 2, "banana", true, 7);
  Add("C", 1, "Date", false, 3);
  table_.First();
}

void StockTableTest::Point(TQuireTable& table) const {
  table.SetDatabaseName(folder_.Name());
  table.SetTableName("Stock.DAT");
}

void StockTableTest::Add(std::string_view shelf, int item, std::string_view name, bool active,
                         int qty) {
  table_.Append();
  table_.FieldByName("Shelf").SetAsString(shelf);
  table_.FieldByName("Item").SetAsInteger(item);
  table_.FieldByName("Name").SetAsString(name);
  table_.FieldByName("Active").SetValue(TValue::Boolean(active));
  table_.FieldByName("Qty").SetAsInteger(qty);
  table_.Post();
}

std::string StockTableTest::Key() {
  return table_.FieldByName("Shelf").AsString() +
         std::to_string(table_.FieldByName("Item").AsInteger());
}

std::vector<std::string> StockTableTest::Keys() {
  std::vector<std::string> keys;
  for (table_.First(); !table_.Eof(); table_.Next()) keys.push_back(Key());
  return keys;
}

std::vector<std::string> StockTableTest::QuireKeys(
    const std::vector<std::string>& arguments) const {
  std::vector<std::string> keys;
  for (const auto& row : DumpTableWith(Path(), arguments))
    keys.push_back(row.at("Shelf").get<std::string>() + std::to_string(row.at("Item").get<int>()));
  return keys;
}

}  // namespace quire::testing
