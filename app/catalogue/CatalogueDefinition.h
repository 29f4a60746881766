#pragma once
// The catalogue's tables as the program expects them: the fields of Song
// and List by name, type and size, their indexes, and how to create them.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/TableCreate.h"

namespace lyrabook {

struct TCatalogueField {
  const char* name;
  std::uint8_t type;
  std::uint8_t subType;
  int size;  // string sizes; 0 for the other types
};

const std::vector<TCatalogueField>& SongFields();
const std::vector<TCatalogueField>& ListFields();

// Song: primary on Code (unique, case-sensitive), "ByName" on Name and
// "BySinger" on Singer (case-insensitive). List: primary on ID, "ByCode" on
// Code (case-sensitive, so a song's rows are found without reading the
// others), "BySearch" on SearchBy + Detail (case-insensitive, the search).
quire::TTableCreateRequest SongTableRequest();
quire::TTableCreateRequest ListTableRequest();

// Creates Song.DAT and list.DAT (with their index and blob files) in
// `folder`; refuses (an engine error, nothing made) when either exists.
void CreateCatalogueTables(const std::string& folder);

}  // namespace lyrabook
