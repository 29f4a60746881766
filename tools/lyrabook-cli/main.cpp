// lyrabook-cli COMMAND ARGS... [--data DIR]: the catalogue's operations
// without the window, running the same code as the window's buttons.
//
//   init | import FOLDER [--quiet] | remove FILE | convert FOLDER [--no-start]
//   | songs [--by code|name|singer] | search TEXT [--by name|singer|code]
//   | songbook OUT.pdf|OUT.html [--by singer|name|code] [--title TEXT]
//   | check FOLDER | duplicates
//
// Exit status: 0 success; 1 an engine or input/output error (its message
// alone on standard error; work done before it stays done); 2 a usage
// error (nothing changed).

#include <filesystem>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "FolderHosts.h"
#include "access/Session.h"
#include "app/catalogue/CatalogueDefinition.h"
#include "app/catalogue/CatalogueSearch.h"
#include "app/catalogue/ConversionBatch.h"
#include "app/catalogue/DuplicateSongs.h"
#include "app/catalogue/PreflightCheck.h"
#include "app/catalogue/SongCatalogue.h"
#include "app/catalogue/SongImport.h"
#include "app/catalogue/SongRemoval.h"
#ifdef LYRABOOK_SONGBOOK
#include <QGuiApplication>

#include "app/catalogue/SongBookWriter.h"
#endif
#include "engine/DatabaseError.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "platform/Cp874.h"
#include "platform/DataFolder.h"
#include "platform/ProgramFolder.h"

namespace lyrabook::cli {
namespace {

constexpr char kUsage[] =
    "usage: lyrabook-cli COMMAND ARGS... [--data DIR]\n"
    "commands: init | import FOLDER [--quiet] | remove FILE | convert FOLDER [--no-start]\n"
    "          | songs [--by code|name|singer] | search TEXT [--by name|singer|code]\n"
    "          | songbook OUT.pdf|OUT.html [--by singer|name|code] [--title TEXT]\n"
    "          | check FOLDER | duplicates\n";

class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TArguments {
  std::string command;
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // --name value, or "" for a flag
};

TArguments Parse(int argc, char** argv) {
  static const std::map<std::string, bool> kOptions = {{"--data", true},
                                                       {"--by", true},
                                                       {"--title", true},
                                                       {"--quiet", false},
                                                       {"--no-start", false}};
  TArguments args;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.starts_with("--")) {
      const auto known = kOptions.find(word);
      if (known == kOptions.end()) throw EUsage("unknown option " + word);
      if (known->second && i + 1 >= argc) throw EUsage(word + " needs a value");
      args.options[word] = known->second ? argv[++i] : "";
    } else if (args.command.empty()) {
      args.command = word;
    } else {
      args.positional.push_back(word);
    }
  }
  if (args.command.empty()) throw EUsage("no command given");
  return args;
}

std::string DataFolder(const TArguments& args) {
  const auto given = args.options.find("--data");
  if (given != args.options.end()) return std::filesystem::absolute(given->second).string();
  const TDataFolder data = FindDataFolder(ProgramFolder(), UserDataHome());
  return CatalogueFolder(data.folder);
}

void RequirePositional(const TArguments& args, std::size_t count) {
  if (args.positional.size() != count)
    throw EUsage("wrong number of arguments for " + args.command);
}

class TPrintedStatus : public TStatusLine {
 public:
  explicit TPrintedStatus(bool quiet) : quiet_(quiet) {}
  void ShowStatus(std::string_view text) override {
    if (!quiet_) std::cout << Cp874ToUtf8(text) << '\n';
  }

 private:
  bool quiet_;
};

class TSilentMessages : public TMessageBoxes {
 public:
  void ShowMessage(std::string_view) override {}
};

class TNoLauncher : public TBatchLauncher {
 public:
  bool Start(const std::string&, const std::string&) override { return false; }
};

int Import(const TArguments& args) {
  RequirePositional(args, 1);
  const std::string data = DataFolder(args);
  const std::string folder = std::filesystem::absolute(args.positional[0]).string();
  EnterFolder(folder);
  TFolderFileList files(folder, ListFolder(folder, "*.txt"));
  TPrintedStatus status(args.options.contains("--quiet"));
  TSongCatalogue catalogue;
  catalogue.AssignTablePasswords();
  const int imported = ImportSongFiles(catalogue, data, files, status);
  std::cout << "imported " << imported << '\n';
  return 0;
}

int Remove(const TArguments& args) {
  RequirePositional(args, 1);
  const std::filesystem::path file = std::filesystem::absolute(args.positional[0]);
  TFolderFileList files(file.parent_path().string(), {}, file.filename().string());
  TSilentMessages messages;
  TSongCatalogue catalogue;
  catalogue.AssignTablePasswords();
  const std::string code = RemoveSelectedSong(catalogue, DataFolder(args), files, messages);
  std::cout << "removed " << Cp874ToUtf8(code) << '\n';
  return 0;
}

int Convert(const TArguments& args) {
  RequirePositional(args, 1);
  TFolderWalk folders(std::filesystem::absolute(args.positional[0]).string());
  TSilentMessages messages;
  TShellBatchLauncher shell;
  TNoLauncher none;
  TBatchLauncher& launcher =
      args.options.contains("--no-start") ? static_cast<TBatchLauncher&>(none) : shell;
  std::cout << "lines " << WriteConversionBatch(folders, launcher, messages) << '\n';
  return 0;
}

int Init(const TArguments& args) {
  RequirePositional(args, 0);
  CreateCatalogueTables(DataFolder(args));
  return 0;
}

int Songs(const TArguments& args) {
  RequirePositional(args, 0);
  const auto by = args.options.find("--by");
  const std::string order = by == args.options.end() ? "code" : by->second;
  static const std::map<std::string, std::string> kIndexes = {
      {"code", ""}, {"name", "ByName"}, {"singer", "BySinger"}};
  if (!kIndexes.contains(order)) throw EUsage("--by takes code, name or singer");
  TSongCatalogue catalogue;
  catalogue.AssignTablePasswords();
  catalogue.Connect(DataFolder(args));
  catalogue.tbSong.SetIndexName(kIndexes.at(order));
  catalogue.OpenTables();
  quire::TQuireTable& song = catalogue.tbSong;
  for (song.First(); !song.Eof(); song.Next()) {
    nlohmann::ordered_json row;
    for (const char* name : {"Code", "Name", "Singer", "Authur", "Sex", "Group", "CreateBy"}) {
      const quire::TValue value = song.FieldByName(name).Value();
      row[name] =
          value.Null ? nlohmann::ordered_json() : nlohmann::ordered_json(Cp874ToUtf8(value.Text));
    }
    std::cout << row.dump() << '\n';
  }
  return 0;
}

nlohmann::ordered_json Text(const std::string& bytes) {
  return bytes.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(Cp874ToUtf8(bytes));
}

int Search(const TArguments& args) {
  RequirePositional(args, 1);
  const auto by = args.options.find("--by");
  const std::optional<TSearchKind> kind =
      by == args.options.end() ? TSearchKind::Any : SearchKindNamed(by->second);
  if (!kind || (by != args.options.end() && by->second.empty()))
    throw EUsage("--by takes name, singer or code");
  // A text the catalogue's code page cannot hold is in no song.
  const std::optional<std::string> prefix = Utf8ToCp874(args.positional[0]);
  if (!prefix) return 0;
  TCatalogueSearch search(DataFolder(args));
  for (const TFoundSong& song : search.Find(*prefix, *kind).Songs) {
    nlohmann::ordered_json row;
    row["Code"] = Text(song.Code);
    row["Name"] = Text(song.Name);
    row["Singer"] = Text(song.Singer);
    row["Authur"] = Text(song.Authur);
    row["Sex"] = Text(song.Sex);
    row["Group"] = Text(song.Group);
    row["CreateBy"] = Text(song.CreateBy);
    std::cout << row.dump() << '\n';
  }
  return 0;
}

// Exit 1 when anything was found, as for a failure: a script stops there.
int Check(const TArguments& args) {
  RequirePositional(args, 1);
  const std::string folder = std::filesystem::absolute(args.positional[0]).string();
  const std::vector<TPreflightFinding> findings =
      CheckLyricFiles(folder, ListFolder(folder, "*.txt"));
  for (const TPreflightFinding& finding : findings)
    std::cout << finding.File << ": " << finding.Text << '\n';
  return findings.empty() ? 0 : 1;
}

int Duplicates(const TArguments& args) {
  RequirePositional(args, 0);
  TSongCatalogue catalogue;
  catalogue.AssignTablePasswords();
  for (const TDuplicateSongs& group : FindDuplicateSongs(catalogue, DataFolder(args))) {
    nlohmann::ordered_json row;
    row["Name"] = Text(group.Name);
    row["Singer"] = Text(group.Singer);
    row["Codes"] = nlohmann::ordered_json::array();
    for (const std::string& code : group.Codes) row["Codes"].push_back(Cp874ToUtf8(code));
    std::cout << row.dump() << '\n';
  }
  return 0;
}

#ifdef LYRABOOK_SONGBOOK
int SongBook(const TArguments& args) {
  RequirePositional(args, 1);
  const auto by = args.options.find("--by");
  const std::optional<TBookOrder> order =
      by == args.options.end() ? TBookOrder::Singer : BookOrderNamed(by->second);
  if (!order) throw EUsage("--by takes singer, name or code");
  const QString out = QString::fromStdString(args.positional[0]);
  if (!out.endsWith(".pdf", Qt::CaseInsensitive) && !out.endsWith(".html", Qt::CaseInsensitive))
    throw EUsage("the song book is written to a file ending in .pdf or .html");
  // The PDF writer sets text through Qt's fonts, which need an application
  // object; no display is needed for that.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "lyrabook-cli";
  char* argv[] = {name, nullptr};
  QGuiApplication application(argc, argv);
  TBookHeader header = DefaultBookHeader();
  const auto title = args.options.find("--title");
  if (title != args.options.end()) header.Title = QString::fromStdString(title->second);
  std::cout << "songs " << WriteSongBook(DataFolder(args), out, *order, header) << '\n';
  return 0;
}
#endif

int Run(int argc, char** argv) {
  const TArguments args = Parse(argc, argv);
  static const std::map<std::string, int (*)(const TArguments&)> kCommands = {
      {"init", Init},         {"import", Import}, {"remove", Remove}, {"convert", Convert},
      {"songs", Songs},       {"search", Search}, {"check", Check},   {"duplicates", Duplicates},
#ifdef LYRABOOK_SONGBOOK
      {"songbook", SongBook},
#endif
  };
  const auto command = kCommands.find(args.command);
  if (command == kCommands.end()) throw EUsage("unknown command " + args.command);
  quire::StartEngine();
  return command->second(args);
}

}  // namespace
}  // namespace lyrabook::cli

int main(int argc, char** argv) {
  try {
    return lyrabook::cli::Run(argc, argv);
  } catch (const lyrabook::cli::EUsage& e) {
    std::cerr << "lyrabook-cli: " << e.what() << '\n' << lyrabook::cli::kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}
