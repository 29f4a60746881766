#pragma once
// Records as JSON objects (field name -> value) and back, by the value forms
// of the tool's contract: strings and memos through the code page, other
// blobs and bytes as base64, dates "YYYY-MM-DD", times "HH:MM:SS.mmm",
// timestamps "YYYY-MM-DD HH:MM:SS.mmm", booleans, numbers, BCD as a string
// with the field's decimals, null for a blank field.
//
// Input is converted completely (TFieldInput) before any record is touched,
// so that a bad value is a usage error that changes nothing.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "TextCodec.h"
#include "engine/DataFile.h"

namespace quire::cli {

// One field's new value: its number and bytes in the record's encoding
// (a blob's whole value), or none for null.
struct TFieldInput {
  int fieldNo = 0;
  std::optional<std::vector<std::uint8_t>> value;
};

// Converts a JSON object of field values; the auto-increment field and
// computed fields are ignored. Usage error for an unknown field or a value
// of the wrong form, naming `what` (the input line).
std::vector<TFieldInput> ParseRecordJson(TDataFile& table, const nlohmann::json& row,
                                         const TTextCodec& codec, const std::string& what);

// Converts one value for field `fieldNo`.
TFieldInput ParseFieldJson(TDataFile& table, int fieldNo, const nlohmann::json& value,
                           const TTextCodec& codec, const std::string& what);

// Puts the values into `buffer` (blobs are opened in the buffer and stay
// open for the insert or modify that stores them).
void ApplyFieldInputs(TDataFile& table, std::span<std::uint8_t> buffer,
                      const std::vector<TFieldInput>& inputs);

// The record in `buffer` as a JSON object of every field, in field order.
nlohmann::ordered_json RecordToJson(TDataFile& table, std::span<std::uint8_t> buffer,
                                    const TTextCodec& codec);

}  // namespace quire::cli
