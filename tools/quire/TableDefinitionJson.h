#pragma once
// A table definition in JSON (the DEF.json of `quire create`) and back.
// Reading is strict: an unknown member, a member of the wrong JSON type or a
// value out of range is a usage error that names the member.

#include <nlohmann/json.hpp>

#include "TextCodec.h"
#include "engine/DataFile.h"
#include "engine/TableCreate.h"

namespace quire::cli {

// The creation request DEF.json describes. Texts pass through `codec`.
TTableCreateRequest ParseTableDefinition(const nlohmann::json& definition, const TTextCodec& codec);

// The definition of an open table in DEF.json form: its fields, its indexes
// and its settings; the password only when the table is encrypted.
nlohmann::json DescribeTableDefinition(TDataFile& table, const TTextCodec& codec);

}  // namespace quire::cli
