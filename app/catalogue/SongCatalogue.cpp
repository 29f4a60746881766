#include "app/catalogue/SongCatalogue.h"

#include "access/Session.h"
#include "app/catalogue/CatalogueDefinition.h"
#include "engine/DatabaseError.h"
#include "engine/FieldTypes.h"

namespace lyrabook {
namespace {

std::string TypeName(std::uint8_t type, std::uint8_t subType) {
  switch (type) {
    case quire::ftype::String:
      return "String";
    case quire::ftype::Blob:
      return "Blob";
    case quire::ftype::SmallInt:
      return "SmallInt";
    case quire::ftype::Integer:
      return subType == quire::fsubtype::AutoInc ? "AutoInc" : "Integer";
    default:
      return "Unknown";
  }
}

// The field objects the window declares: each must be in the table with
// its type and size.
void BindFields(const quire::TQuireTable& table, const std::vector<TCatalogueField>& declared) {
  for (const TCatalogueField& field : declared) {
    const quire::TField* found = table.FindField(field.name);
    if (found == nullptr) quire::RaiseDatabaseError("Field '%s' not found", field.name);
    const std::string expected = TypeName(field.type, field.subType);
    const std::string actual = TypeName(found->DataType(), found->Descriptor().FieldSubType);
    if (expected != actual)
      quire::RaiseDatabaseError("Type mismatch for field '" + std::string(field.name) +
                                "', expecting: " + expected + " actual: " + actual);
    if (field.size != 0 && found->Size() != field.size)
      quire::RaiseDatabaseError("Size mismatch for field '" + std::string(field.name) +
                                "', expecting: " + std::to_string(field.size) +
                                " actual: " + std::to_string(found->Size()));
  }
}

}  // namespace

TSongCatalogue::TSongCatalogue() {
  dbSong.SetDatabaseName("Song");
  dbSong.SetSessionName("Default");
  // The folder the catalogue was designed with; the connection sequence
  // replaces it before any table is opened.
  dbSong.SetDirectory("D:\\Qel\\Album\\Data");
  dbSong.BeforeConnect = [this](quire::TQuireDatabase&) { DbSongBeforeConnect(); };
  for (quire::TQuireTable* table : {&tbSong, &tbList}) {
    table->SetDatabaseName("Song");
    table->SetLockRetryCount(15);
    table->SetLockWaitTime(100);
    table->SetForceBufferFlush(false);
  }
  tbSong.SetTableName("Song.DAT");
  tbList.SetTableName("list.DAT");
  Query1.SetDatabaseName("Song");
  Query1.SetLockRetryCount(15);
  Query1.SetLockWaitTime(100);
  // Loading the window connects the database, with every slot still empty.
  dbSong.SetConnected(true);
}

TSongCatalogue::~TSongCatalogue() {
  Query1.Close();
  tbList.Close();
  tbSong.Close();
}

void TSongCatalogue::DbSongBeforeConnect() {
  quire::TQuireSession& session = quire::TQuireSessionList::Instance().DefaultSession();
  for (const std::string& password : passwords_) session.RegisterPassword(password);
}

void TSongCatalogue::AssignTablePasswords() {
  passwords_[0] = kPassword1;
  passwords_[1] = kPassword2;
  passwords_[2] = kPassword3;
  dbSong.SetConnected(true);
}

void TSongCatalogue::Connect(const std::string& dataFolder) {
  dbSong.SetConnected(false);
  dbSong.SetDirectory(dataFolder);
  dbSong.SetConnected(true);
}

void TSongCatalogue::OpenTables() {
  tbSong.Open();
  BindFields(tbSong, SongFields());
  tbList.Open();
  BindFields(tbList, ListFields());
}

void TSongCatalogue::RunStatement(std::string_view statement, std::string_view code) {
  Query1.Close();
  Query1.ClearSQL();
  Query1.AddSQL(statement);
  quire::TQuireParam& param = Query1.ParamByName("Code");
  // An empty code stands where the statement text would hold '', which the
  // dialect reads as NULL.
  param.Value =
      code.empty() ? quire::TValue::NullOf(quire::ftype::String) : quire::TValue::String(code);
  param.Bound = true;
  Query1.RunSQL();
}

std::string CatalogueFolder(const std::string& programFolder) {
  return programFolder + "/Data";
}

}  // namespace lyrabook
