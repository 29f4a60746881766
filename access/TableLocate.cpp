// The table's second engine table for Locate and Lookup.

#include "access/DataSetLocate.h"
#include "access/Table.h"
#include "engine/BlankText.h"
#include "engine/EngineError.h"

namespace quire {

TDataFile* TQuireTable::LocateTable(std::string_view keyFields, const std::vector<int>& numbers,
                                    bool caseInsensitive) {
  // Kept while the searches name the same fields with the same case rule.
  if (EqualsIgnoringAsciiCase(locateFields_, keyFields) &&
      locateCaseInsensitive_ == caseInsensitive)
    return locateTable_.get();
  locateTable_.reset();
  locateFields_ = keyFields;
  locateCaseInsensitive_ = caseInsensitive;
  TIndexFile& file = engine_->IndexFile();
  for (std::size_t slot = 0; slot <= file.SecondaryIndexCount(); ++slot) {
    const auto number = static_cast<std::uint8_t>(slot);
    if (slot == 0 && !file.HasPrimaryIndex()) continue;
    if (!IndexServes(file.Descriptor(number), numbers, caseInsensitive)) continue;
    try {
      locateTable_ = OpenSecondTable();
      locateTable_->SelectIndex(number);
    } catch (const EQuireEngineError&) {
      locateTable_.reset();  // not to be had (the table is exclusive): the filter serves
    }
    break;
  }
  return locateTable_.get();
}

}  // namespace quire
