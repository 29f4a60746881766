#include <utility>

#include "Command.h"

namespace quire::cli {

TCommandFunction FindCommand(std::string_view name) {
  // A new command is one more line here and a file of its own.
  static constexpr std::pair<std::string_view, TCommandFunction> kCommands[] = {
      {"create", RunCreate}, {"info", RunInfo},
      {"insert", RunInsert}, {"dump", RunDump},
      {"update", RunUpdate}, {"delete", RunDelete},
      {"empty", RunEmpty},   {"check", RunCheck},
      {"stress", RunStress}, {"stress-worker", RunStressWorker},
      {"sql", RunSql},
  };
  for (const auto& [commandName, function] : kCommands)
    if (commandName == name) return function;
  return nullptr;
}

}  // namespace quire::cli
