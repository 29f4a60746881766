#pragma once
// A fixture over the stock table (Catalog.h) in a folder of its own, filled
// with six rows, and a dataset over it.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "access/Table.h"
#include "support/Catalog.h"

namespace quire::testing {

class StockTableTest : public ::testing::Test {
 protected:
  // Rows (Shelf, Item, Name, Active, Qty):
  //   A 1 apple   true  5     B 1 Apricot true  0
  //   A 2 Banana  false 3     B 2 banana  true  7
  //   A 3 cherry  true  5     C 1 Date    false 3
  StockTableTest();

  void Point(TQuireTable& table) const;
  void Add(std::string_view shelf, int item, std::string_view name, bool active, int qty);
  // "Shelf" + "Item" of the current record, as "B2".
  std::string Key();
  // Key() of every record from the first on.
  std::vector<std::string> Keys();
  // The same keys as `quire dump` prints them with `arguments`.
  std::vector<std::string> QuireKeys(const std::vector<std::string>& arguments) const;
  std::string Path() const { return folder_.Path("Stock.DAT"); }

  TCatalogFolder folder_;
  TQuireTable table_;
};

}  // namespace quire::testing
