#pragma once
// What the access tests share: a folder of tables with a database of the
// default session naming it, the song table the program keeps, a guard for
// the password dialog host, and the records of a table as the quire program
// reads them back.

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "access/Database.h"
#include "access/Session.h"
#include "engine/DatabaseError.h"
#include "support/ScratchDir.h"

namespace quire::testing {

// A scratch folder and a database of the default session (named uniquely,
// since the session outlives the test) whose Directory is that folder.
class TCatalogFolder {
 public:
  TCatalogFolder();
  TCatalogFolder(const TCatalogFolder&) = delete;
  TCatalogFolder& operator=(const TCatalogFolder&) = delete;

  std::string Path(std::string_view name) const { return dir_.Path(name); }
  const std::string& Name() const { return name_; }
  TQuireDatabase& Database() { return database_; }

 private:
  ScratchDir dir_;
  std::string name_;
  TQuireDatabase database_;
};

// The text of the component error `action` raises ("" when none).
template <typename Action>
std::string DatabaseErrorOf(Action&& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

// A database name no other test uses.
std::string UniqueName(std::string_view stem);

// The song table: Code string(10) (primary index), Name string(100), Count
// integer, Lyric memo blob; a secondary index "ByName" over Name. With a
// password the table is encrypted.
void CreateSongTable(const std::string& path, std::string_view password = {});

// The stock table: Shelf string(10), Item integer, Name string(40), Active
// boolean, Qty small integer. Primary index over Shelf and Item; "ByName" over
// Name, ignoring case; "ByQty" over Qty; "ByShelfName" over Shelf and Name.
void CreateStockTable(const std::string& path);

// Installs a password dialog host for the scope and removes it again.
class TDialogHostScope {
 public:
  explicit TDialogHostScope(TPasswordDialogHost host) {
    TQuireSessionList::Instance().SetPasswordDialogHost(std::move(host));
  }
  ~TDialogHostScope() { TQuireSessionList::Instance().SetPasswordDialogHost({}); }
  TDialogHostScope(const TDialogHostScope&) = delete;
  TDialogHostScope& operator=(const TDialogHostScope&) = delete;
};

// The records of the table at `path` in primary index order, as `quire dump`
// prints them (strings byte for byte); fails the test when quire fails.
std::vector<nlohmann::json> DumpTable(const std::string& path, std::string_view password = {});

// The lines `quire --codepage latin1 dump PATH ARGUMENTS...` prints, each
// argument passed as it is.
std::vector<nlohmann::json> DumpTableWith(const std::string& path,
                                          const std::vector<std::string>& arguments);

// The Code values of DumpTable, in order.
std::vector<std::string> DumpCodes(const std::string& path);

}  // namespace quire::testing
