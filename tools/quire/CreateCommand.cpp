// quire create TABLE DEF.json: creates the table DEF.json describes. The
// whole definition is read and checked before the engine writes anything.

#include <fstream>
#include <iterator>
#include <sstream>

#include "Command.h"
#include "TableDefinitionJson.h"
#include "TableSession.h"

namespace quire::cli {

int RunCreate(TCommandContext& context) {
  if (context.Args.size() != 2) throw EUsageError("usage: quire create TABLE DEF.json");
  const std::string& definitionPath = context.Args[1];
  std::ifstream file(definitionPath, std::ios::binary);
  if (!file) throw EUsageError("cannot read " + definitionPath);
  std::stringstream text;
  text << file.rdbuf();
  if (file.bad()) throw EUsageError("cannot read " + definitionPath);
  nlohmann::json definition;
  try {
    definition = nlohmann::json::parse(text.str());
  } catch (const nlohmann::json::exception& e) {
    throw EUsageError(definitionPath + " is not valid JSON: " + e.what());
  }
  const TTableCreateRequest request = ParseTableDefinition(definition, context.Codec);

  TDataFile table;
  PrepareTable(table, context, context.Args[0]);
  // Creation always works exclusively.
  table.SetExclusive(true);
  table.CreateTable(request);
  return 0;
}

}  // namespace quire::cli
