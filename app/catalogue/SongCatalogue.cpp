#include "app/catalogue/SongCatalogue.h"

#include <optional>
#include "access/Session.h"
#include "app/catalogue/CatalogueDefinition.h"

#include "access/FieldDefs.h"

namespace lyrabook {
namespace {

// The field objects the window declares on a table: opening binds each to
// the table's field of its name, type and size.
void DeclareFields(quire::TQuireTable& table, const std::vector<TCatalogueField>& fields) {
  for (const TCatalogueField& field : fields) {
    quire::TFieldDescriptor engineField;
    engineField.FieldType = field.type;
    engineField.FieldSubType = field.subType;
    const std::optional<quire::TFieldType> type = quire::DataSetTypeOf(engineField);
    table.DeclareField(field.name, type.value_or(quire::TFieldType::String), field.size);
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
  DeclareFields(tbSong, SongFields());
  DeclareFields(tbList, ListFields());
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
  tbList.Open();
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
