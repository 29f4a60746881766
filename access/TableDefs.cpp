// The table's field and index definitions, also while it is closed.

#include "access/Table.h"

namespace quire {
namespace {

// What the definitions depend on besides the settings that reset them.
std::string DefsKey(const TQuireTable& table) {
  return table.SessionName() + '\n' + table.DatabaseName() + '\n' + table.TableName();
}

}  // namespace

const std::vector<TFieldDef>& TQuireTable::FieldDefs() {
  IndexDefs();
  return fieldDefs_;
}

const std::vector<TIndexDef>& TQuireTable::IndexDefs() {
  if (defsValid_ && defsFor_ == DefsKey(*this)) return indexDefs_;
  if (engine_) {
    fieldDefs_ = FieldDefsOf(*engine_);
    indexDefs_ = IndexDefsOf(*engine_);
  } else {
    const std::unique_ptr<TDataFile> engine = OpenSecondTable();
    fieldDefs_ = FieldDefsOf(*engine);
    indexDefs_ = IndexDefsOf(*engine);
    engine->Close();
  }
  defsFor_ = DefsKey(*this);
  defsValid_ = true;
  return indexDefs_;
}

}  // namespace quire
