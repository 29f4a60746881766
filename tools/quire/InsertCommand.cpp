// quire insert TABLE [FILE]: inserts one row per JSON line of FILE (or
// standard input). Every line is read and converted first, so a bad line
// inserts nothing.

#include <fstream>
#include <iostream>
#include <ostream>

#include "Command.h"
#include "RecordJson.h"
#include "TableSession.h"

namespace quire::cli {

int RunInsert(TCommandContext& context) {
  if (context.Args.empty() || context.Args.size() > 2)
    throw EUsageError("usage: quire insert TABLE [FILE]");
  std::ifstream file;
  if (context.Args.size() == 2) {
    file.open(context.Args[1], std::ios::binary);
    if (!file) throw EUsageError("cannot read " + context.Args[1]);
  }
  std::istream& input = context.Args.size() == 2 ? static_cast<std::istream&>(file) : std::cin;

  TDataFile table;
  PrepareTable(table, context, context.Args[0]);
  table.Open();
  std::vector<std::vector<TFieldInput>> rows;
  std::string line;
  for (int number = 1; std::getline(input, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    const std::string what = "line " + std::to_string(number);
    nlohmann::json row;
    try {
      row = nlohmann::json::parse(line);
    } catch (const nlohmann::json::exception&) {
      throw EUsageError(what + " is not valid JSON");
    }
    rows.push_back(ParseRecordJson(table, row, context.Codec, what));
  }
  if (input.bad()) throw EUsageError("cannot read the rows");

  std::vector<std::uint8_t> buffer = table.NewRecordBuffer();
  std::size_t inserted = 0;
  try {
    for (const auto& row : rows) {
      table.InitRecord(buffer);
      ApplyFieldInputs(table, buffer, row);
      table.InsertRecord(buffer, false);
      ++inserted;
    }
  } catch (...) {
    // The rows before the failing one stay inserted.
    context.Out << "inserted " << inserted << '\n';
    throw;
  }
  table.Close();
  context.Out << "inserted " << inserted << '\n';
  return 0;
}

}  // namespace quire::cli
