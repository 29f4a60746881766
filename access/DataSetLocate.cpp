// Locate and Lookup: the first record whose fields hold given values.

#include "access/DataSetLocate.h"
#include "access/DataSet.h"
#include "engine/BlankText.h"
#include "engine/DatabaseError.h"
#include "engine/EngineError.h"
#include "engine/FieldTypes.h"
#include "sql/Filter.h"
#include "sql/FilterExpr.h"

namespace quire {
namespace {

std::vector<std::string> SplitNames(std::string_view names) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    if (end > start) parts.emplace_back(names.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether `text` starts with `prefix`, folding a-z when asked.
bool StartsWith(std::string_view text, std::string_view prefix, bool caseInsensitive) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (caseInsensitive ? Upper(text[i]) != Upper(prefix[i]) : text[i] != prefix[i]) return false;
  return true;
}

// One search: the key fields, the values as a record, and the options.
struct TLocateSearch {
  std::vector<TField*> fields;
  std::vector<int> numbers;
  std::vector<std::uint8_t> key;  // the engine's initial record with the values
  bool caseInsensitive = false;
  bool partial = false;  // the last field is a string looked for by its start
  std::string lastText;

  // Searches `table` on its current index, which serves the fields; on
  // success the record found is current there and copied to `found`.
  bool Run(TDataFile& table, std::vector<std::uint8_t>& found) const {
    const std::size_t n = fields.size();
    const bool exact = table.FindNearest(key, n, found);
    if (!partial) return exact;
    if (table.CurrentRecordNumber() == 0) return false;
    if (n > 1 && !table.SameKey(key, found, n - 1)) return false;
    const TValue value = ReadValue(fields.back()->Descriptor(), found);
    return !value.Null ? StartsWith(value.Text, lastText, caseInsensitive) : lastText.empty();
  }
};

}  // namespace

bool IndexServes(const TIndexDescriptor& d, const std::vector<int>& numbers, bool caseInsensitive) {
  if (d.FieldCount < numbers.size() || (d.CaseInsensitive != 0) != caseInsensitive) return false;
  for (std::size_t i = 0; i < numbers.size(); ++i)
    if (d.FieldNumbers[i] != numbers[i]) return false;
  return true;
}

bool TQuireDataSet::LocateRecord(std::string_view keyFields, const std::vector<TValue>& values,
                                 lo::TLocateOptions options, bool moveTo,
                                 std::vector<std::uint8_t>& found) {
  CheckBrowseMode();
  TLocateSearch search;
  for (const std::string& name : SplitNames(keyFields)) {
    search.fields.push_back(&FieldByName(name));
    search.numbers.push_back(search.fields.back()->FieldNo());
  }
  if (search.fields.empty() || search.fields.size() != values.size())
    RaiseDatabaseError("Field index out of range");
  search.caseInsensitive = (options & lo::CaseInsensitive) != 0;
  search.partial = (options & lo::PartialKey) != 0 &&
                   search.fields.back()->DataType() == ftype::String && !values.back().Null;
  if (search.partial) search.lastText = values.back().Text;

  // The values go into a fresh record as filter work writes fields.
  search.key = table_->NewRecordBuffer();
  table_->InitRecord(search.key);
  BeginOverride(TDataSetState::Filter, search.key);
  try {
    for (std::size_t i = 0; i < values.size(); ++i) search.fields[i]->SetValue(values[i]);
  } catch (...) {
    EndOverride(TDataSetState::Browse);
    throw;
  }
  EndOverride(TDataSetState::Browse);

  const std::uint32_t shown = table_->CurrentRecordNumber();
  found = table_->NewRecordBuffer();
  const auto finish = [&](bool hit) {
    if (hit && moveTo) {
      CursorMoved();
    } else if (shown != 0) {
      table_->GoToRecord(shown);  // the record shown stays current
    }
    return hit;
  };

  // 1. The table's own index.
  if (IndexServes(table_->IndexFile().CurrentDescriptor(), search.numbers, search.caseInsensitive))
    return finish(search.Run(*table_, found));

  // 2. A second engine table whose index serves the fields, when the
  // dataset shows every record (else it could find one the dataset hides).
  if (!table_->RangeActive() && !filtered_) {
    if (TDataFile* second = LocateTable(keyFields, search.numbers, search.caseInsensitive)) {
      // Its caches may not have seen this table's own changes since the last
      // search (the engine checks only when it misses them).
      second->CheckForChanges();
      const bool hit = search.Run(*second, found);
      if (!hit || !moveTo) return hit;
      if (!table_->GoToRecord(second->CurrentRecordNumber())) return finish(false);
      CursorMoved();
      return true;
    }
  }

  // 3. A temporary filter over every record.
  std::vector<TLocateValue> wanted;
  for (std::size_t i = 0; i < values.size(); ++i)
    wanted.push_back({search.fields[i]->Descriptor().FieldName, values[i]});
  bool hit = false;
  {
    TFilter filter(*table_,
                   BuildLocateFilter(table_->LogicalFields(), wanted, search.caseInsensitive,
                                     (options & lo::PartialKey) != 0));
    const bool ranged = table_->RangeActive();
    filter.Activate();
    if (ranged && !table_->RangeActive()) RangeLost();  // see ActivateFilters
    table_->First();
    const TErrorCode code = table_->GetNextRecord(found);
    if (code != 0 && code != 8705 && code != 8706) RaiseCode(code);
    hit = code == 0;
  }
  return finish(hit);
}

bool TQuireDataSet::Locate(std::string_view keyFields, const std::vector<TValue>& values,
                           lo::TLocateOptions options) {
  CheckActive();
  std::vector<std::uint8_t> found;
  return LocateRecord(keyFields, values, options, true, found);
}

std::optional<std::vector<TValue>> TQuireDataSet::Lookup(std::string_view keyFields,
                                                         const std::vector<TValue>& values,
                                                         std::string_view resultFields) {
  CheckActive();
  std::vector<TField*> results;
  for (const std::string& name : SplitNames(resultFields)) results.push_back(&FieldByName(name));
  std::vector<std::uint8_t> found;
  if (!LocateRecord(keyFields, values, 0, false, found)) return std::nullopt;
  std::vector<TValue> out;
  for (const TField* field : results) out.push_back(ReadValue(field->Descriptor(), found));
  return out;
}

TDataFile* TQuireDataSet::LocateTable(std::string_view, const std::vector<int>&, bool) {
  return nullptr;
}

}  // namespace quire
