// quire empty TABLE: removes every record (the table must be opened with
// --exclusive; the engine refuses otherwise).

#include "Command.h"
#include "TableSession.h"

namespace quire::cli {

int RunEmpty(TCommandContext& context) {
  if (context.Args.size() != 1) throw EUsageError("usage: quire empty TABLE");
  TDataFile table;
  PrepareTable(table, context, context.Args[0]);
  table.Open();
  table.EmptyTable();
  table.Close();
  return 0;
}

}  // namespace quire::cli
