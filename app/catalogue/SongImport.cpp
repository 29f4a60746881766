#include "app/catalogue/SongImport.h"

#include <exception>

#include "app/catalogue/LyricHeader.h"
#include "app/catalogue/SongCode.h"

namespace lyrabook {
namespace {

// The header lines of one file that the rows are made of.
struct TSongHeader {
  std::string createBy;  // line 1
  std::string group;     // line 2
  std::string sex;       // line 4
  std::string name;      // line 5
  std::string singer;    // line 6
  std::string author;    // line 7, read only after a singer line not starting with "("
  bool hasAuthor = false;
};

// Line 4 without its first three characters: the List rows' Key.
std::string KeyOf(const std::string& sexLine) {
  return sexLine.size() > 3 ? sexLine.substr(3) : std::string();
}

void SetString(quire::TQuireTable& table, const char* field, const std::string& value) {
  table.FieldByName(field).SetAsString(value);
}

// Appends the Song row of `code`: the header read from the file, the code,
// both blobs emptied. Whatever reading the file raised is raised again once
// the row is posted with the fields read so far.
void AppendSongRow(TSongCatalogue& catalogue, const std::string& fileName, const std::string& code,
                   TSongHeader& header) {
  quire::TQuireTable& song = catalogue.tbSong;
  song.DisableControls();
  std::unique_ptr<TLyricHeaderReader> file;
  std::exception_ptr failure;
  try {
    file = std::make_unique<TLyricHeaderReader>(fileName);
    song.Append();
    header.createBy = file->ReadLine();
    SetString(song, "CreateBy", header.createBy);
    header.group = file->ReadLine();
    SetString(song, "Group", header.group);
    file->ReadLine();  // line 3 is not kept
    header.sex = file->ReadLine();
    SetString(song, "Sex", header.sex);
    header.name = file->ReadLine();
    SetString(song, "Name", header.name);
    header.singer = file->ReadLine();
    SetString(song, "Singer", header.singer);
    // The test is on the singer line: "(" there means no author follows.
    if (!header.singer.empty() && header.singer.front() != '(') {
      header.author = file->ReadLine();
      header.hasAuthor = true;
      SetString(song, "Authur", header.author);
    }
  } catch (...) {
    failure = std::current_exception();
  }
  // Closing a file that never opened fails too: that failure ends the
  // import, with no Song row appended.
  if (!file) {
    song.EnableControls();
    std::rethrow_exception(failure);
  }
  file->Close();
  song.EnableControls();
  SetString(song, "Code", code);
  song.FieldByName("Lyric").Clear();
  song.FieldByName("SongData").Clear();
  song.Post();
  if (failure) std::rethrow_exception(failure);
}

void AppendListRow(TSongCatalogue& catalogue, const std::string& detail, const std::string& code,
                   const TSongHeader& header, int searchBy) {
  quire::TQuireTable& list = catalogue.tbList;
  list.Append();
  SetString(list, "Detail", detail);
  SetString(list, "Code", code);
  SetString(list, "SongName", header.name);
  SetString(list, "Singer", header.singer);
  SetString(list, "Key", KeyOf(header.sex));
  list.FieldByName("SearchBy").SetAsInteger(searchBy);
  list.Post();
}

}  // namespace

int ImportSongFiles(TSongCatalogue& catalogue, const std::string& dataFolder, TFileList& files,
                    TStatusLine& status, TImportProgress* progress) {
  catalogue.Connect(dataFolder);
  catalogue.OpenTables();
  const int count = files.Count();
  int imported = 0;
  if (progress != nullptr) progress->FilesDone(0, count);
  for (int i = 0; i < count; ++i) {
    if (progress != nullptr && progress->StopRequested()) break;
    const std::string fileName = files.NameAt(i);
    const std::string code = SongCode(fileName);
    status.ShowStatus("Song : " + code);
    // The code as Song.Code stores it, so that a code longer than the field
    // still finds its rows; passed as a parameter, so that quotes and
    // colons in it are only text.
    catalogue.RunStatement("Delete from Song where Code = :Code", StoredCode(code));
    catalogue.RunStatement("Delete from List where Code = :Code", StoredCode(code));
    TSongHeader header;
    AppendSongRow(catalogue, fileName, code, header);
    AppendListRow(catalogue, header.name, code, header, kSearchByName);
    AppendListRow(catalogue, header.singer, code, header, kSearchBySinger);
    AppendListRow(catalogue, code, code, header, kSearchByCode);
    ++imported;
    if (progress != nullptr) progress->FilesDone(imported, count);
  }
  return imported;
}

}  // namespace lyrabook
