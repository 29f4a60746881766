#pragma once
// Computed fields: a field whose descriptor carries a compute expression has
// no room in the stored record; its value is the expression evaluated over
// the record buffer, whenever a record is loaded into a buffer or one of its
// stored fields changes.
//
// The expressions are parsed and checked once, when the table is opened,
// and kept with the evaluator. A field whose expression does not parse over
// the table's fields (a table written by another program) stays blank; a
// table being created is refused instead (CheckComputeExpressions).

#include <span>
#include <string_view>
#include <vector>

#include "engine/DataFile.h"
#include "engine/DataFileHeader.h"

namespace quire {

// The clause name that ends the messages about compute expressions.
inline constexpr std::string_view kClauseComputedField = "computed field";

// An evaluator over `logicalFields` (the stored fields and the computed
// ones, with the offsets a record buffer gives them); empty when no field is
// computed.
TDataFile::TComputedEvaluator CompileComputedFields(
    const std::vector<TFieldDescriptor>& logicalFields);

// Raises 11949 for the first compute expression among `fields` that does
// not parse and type-check over them.
void CheckComputeExpressions(const std::vector<TFieldDescriptor>& fields);

}  // namespace quire
