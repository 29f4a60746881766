#include "support/CatalogueScratch.h"

#include <fstream>

#include "app/catalogue/CatalogueDefinition.h"
#include "app/catalogue/SongImport.h"
#include "engine/Engine.h"
#include "engine/TableCheck.h"

namespace lyrabook::testing {

CatalogueScratch::CatalogueScratch() {
  quire::StartEngine();
  CreateCatalogueTables(Data());
  std::filesystem::create_directories(dir_.Path("songs"));
  previous_ = std::filesystem::current_path();
  std::filesystem::current_path(dir_.Path("songs"));  // files open by bare name
  catalogue_.AssignTablePasswords();
}

CatalogueScratch::~CatalogueScratch() {
  std::filesystem::current_path(previous_);
}

void CatalogueScratch::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream(dir_.Path("songs/" + name), std::ios::binary) << bytes;
}

int CatalogueScratch::Import(std::vector<std::string> names) {
  return Import(std::move(names), status_);
}

int CatalogueScratch::Import(std::vector<std::string> names, TStatusLine& status) {
  TListedFiles files(std::move(names));
  return ImportSongFiles(catalogue_, Data(), files, status);
}

std::vector<std::string> CatalogueScratch::SongRows() {
  return Rows(catalogue_.tbSong, {"Code", "Name", "Singer", "Authur", "Sex", "Group", "CreateBy"});
}

std::vector<std::string> CatalogueScratch::ListRows() {
  return Rows(catalogue_.tbList, {"Code", "SearchBy", "Detail", "Key"});
}

std::vector<std::string> CatalogueScratch::Rows(quire::TQuireTable& table,
                                                std::vector<const char*> fields) {
  if (!table.Active()) catalogue_.OpenTables();
  std::vector<std::string> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    std::string row;
    for (const char* field : fields) {
      const quire::TValue value = table.FieldByName(field).Value();
      if (!row.empty()) row += '|';
      row += value.Null ? "~" : value.Type == 1 ? value.Text : std::to_string(value.Integer);
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> CatalogueScratch::CheckBothTables() {
  catalogue_.tbSong.Close();
  catalogue_.tbList.Close();
  std::vector<std::string> faults;
  for (const char* table : {"Song", "list"})
    for (const std::string& fault : quire::CheckTable(Data() + "/" + table))
      faults.push_back(std::string(table) + ": " + fault);
  return faults;
}

}  // namespace lyrabook::testing
