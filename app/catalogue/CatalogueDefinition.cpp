#include "app/catalogue/CatalogueDefinition.h"

#include <filesystem>
#include <stdexcept>

#include "access/Session.h"
#include "app/catalogue/SongCatalogue.h"
#include "engine/DataFile.h"
#include "engine/Engine.h"
#include "engine/FieldTypes.h"
#include "engine/FileSession.h"

namespace lyrabook {
namespace {

using namespace quire;

TTableCreateRequest Request(const std::vector<TCatalogueField>& fields) {
  TTableCreateRequest request;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TFieldDefinition field;
    field.FieldNo = static_cast<std::int16_t>(i + 1);
    field.FieldName = fields[i].name;
    field.FieldType = fields[i].type;
    field.FieldSubType = fields[i].subType;
    field.FieldSize = fields[i].size;
    request.Fields.push_back(field);
  }
  request.Encrypted = true;
  return request;
}

TIndexDefinition Index(std::string name, std::vector<std::uint16_t> fields, bool unique,
                       bool caseInsensitive) {
  TIndexDefinition index;
  index.Name = std::move(name);
  index.Unique = unique ? 1 : 0;
  index.CaseInsensitive = caseInsensitive ? 1 : 0;
  index.FieldCount = static_cast<std::uint8_t>(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) index.FieldNumbers[i] = fields[i];
  return index;
}

bool TableExists(const std::string& folder, const std::string& name) {
  // Tables copied from elsewhere may be spelled in any case.
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::string file = entry.path().filename().string();
    for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (file == name) return true;
  }
  return false;
}

void Create(const std::string& path, const TTableCreateRequest& request) {
  TDataFile table;
  table.SetFileName(path);
  table.SetExclusive(true);
  table.CreateTable(request);
}

}  // namespace

const std::vector<TCatalogueField>& SongFields() {
  static const std::vector<TCatalogueField> fields = {
      {"Code", ftype::String, 0, 10},
      {"Name", ftype::String, 0, 100},
      {"Singer", ftype::String, 0, 100},
      {"Authur", ftype::String, 0, 100},
      {"Sex", ftype::String, 0, 10},
      {"Group", ftype::String, 0, 4},
      {"Comfile", ftype::String, 0, 15},
      {"CreateBy", ftype::String, 0, 100},
      {"Lyric", ftype::Blob, fsubtype::Binary, 0},
      {"SongData", ftype::Blob, fsubtype::Binary, 0}};
  return fields;
}

const std::vector<TCatalogueField>& ListFields() {
  static const std::vector<TCatalogueField> fields = {{"ID", ftype::Integer, fsubtype::AutoInc, 0},
                                                      {"Detail", ftype::String, 0, 100},
                                                      {"Code", ftype::String, 0, 10},
                                                      {"SongName", ftype::String, 0, 100},
                                                      {"Singer", ftype::String, 0, 100},
                                                      {"SearchBy", ftype::SmallInt, 0, 0},
                                                      {"Key", ftype::String, 0, 10}};
  return fields;
}

TTableCreateRequest SongTableRequest() {
  TTableCreateRequest request = Request(SongFields());
  request.Password = std::string(kPassword1);
  request.Description = "Song";
  request.Primary = Index("", {1}, true, false);
  request.Secondary = {Index("ByName", {2}, false, true), Index("BySinger", {3}, false, true)};
  return request;
}

TTableCreateRequest ListTableRequest() {
  TTableCreateRequest request = Request(ListFields());
  request.Password = std::string(kPassword2);
  request.Description = "List";
  request.Primary = Index("", {1}, true, false);
  request.Secondary = {Index("ByCode", {3}, false, false), Index("BySearch", {6, 2}, false, true)};
  return request;
}

void CreateCatalogueTables(const std::string& folder) {
  if (TableExists(folder, "song.dat") || TableExists(folder, "list.dat"))
    throw std::runtime_error("the catalogue exists already in " + folder);
  std::filesystem::create_directories(folder);
  // The tables are made in the default session, started if it is not yet.
  TQuireSessionList::Instance().DefaultSession().MakeCurrent();
  Create(folder + "/Song.DAT", SongTableRequest());
  Create(folder + "/list.DAT", ListTableRequest());
}

}  // namespace lyrabook
