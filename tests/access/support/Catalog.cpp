#include "support/Catalog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "engine/FieldTypes.h"
#include "support/TableRequests.h"

namespace quire::testing {
namespace {

// The quire program in bin/ of this test program's build folder (test
// programs live in <build>/tests/<folder>/).
std::string QuireProgram() {
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path().parent_path() / "bin" / "quire").string();
}

std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The JSON lines of a quire command; fails the test when quire fails.
std::vector<nlohmann::json> RunDump(const std::string& command) {
  std::vector<nlohmann::json> rows;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return rows;
  }
  std::string out;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  const int status = ::pclose(pipe);
  if (status != 0) {
    ADD_FAILURE() << command << " failed: " << out;
    return rows;
  }
  for (std::size_t start = 0; start < out.size();) {
    const std::size_t end = out.find('\n', start);
    const std::string line = out.substr(start, end - start);
    if (!line.empty()) rows.push_back(nlohmann::json::parse(line));
    start = end == std::string::npos ? out.size() : end + 1;
  }
  return rows;
}

}  // namespace

TCatalogFolder::TCatalogFolder() : name_(UniqueName("Catalog")) {
  database_.SetDatabaseName(name_);
  database_.SetDirectory(dir_.Path(""));
}

std::string UniqueName(std::string_view stem) {
  static int counter = 0;
  return std::string(stem) + std::to_string(++counter);
}

void CreateSongTable(const std::string& path, std::string_view password) {
  // The engine's session list needs the engine started.
  TQuireSessionList::Instance().DefaultSession().SetActive(true);
  TTableCreateRequest request =
      Request({Field("Code", ftype::String, 10), Field("Name", ftype::String, 100),
               Field("Count", ftype::Integer), Field("Lyric", ftype::Blob, 0, fsubtype::Memo)});
  request.Primary = Index("", {1}, true);
  request.Secondary.push_back(Index("ByName", {2}));
  if (!password.empty()) {
    request.Encrypted = true;
    request.Password = password;
  }
  CreateTable(path, request);
}

void CreateStockTable(const std::string& path) {
  TQuireSessionList::Instance().DefaultSession().SetActive(true);
  TTableCreateRequest request =
      Request({Field("Shelf", ftype::String, 10), Field("Item", ftype::Integer),
               Field("Name", ftype::String, 40), Field("Active", ftype::Boolean),
               Field("Qty", ftype::SmallInt)});
  request.Primary = Index("", {1, 2}, true);
  TIndexDefinition byName = Index("ByName", {3});
  byName.CaseInsensitive = 1;
  request.Secondary.push_back(byName);
  request.Secondary.push_back(Index("ByQty", {5}));
  request.Secondary.push_back(Index("ByShelfName", {1, 3}));
  CreateTable(path, request);
}

std::vector<nlohmann::json> DumpTable(const std::string& path, std::string_view password) {
  std::string command = Quoted(QuireProgram()) + " --codepage latin1";
  if (!password.empty()) command += " --password " + Quoted(password);
  command += " dump " + Quoted(path) + " 2>&1";
  return RunDump(command);
}

std::vector<nlohmann::json> DumpTableWith(const std::string& path,
                                          const std::vector<std::string>& arguments) {
  std::string command = Quoted(QuireProgram()) + " --codepage latin1 dump " + Quoted(path);
  for (const std::string& argument : arguments) command += " " + Quoted(argument);
  return RunDump(command + " 2>&1");
}

std::vector<std::string> DumpCodes(const std::string& path) {
  std::vector<std::string> codes;
  for (const nlohmann::json& row : DumpTable(path))
    codes.push_back(row.at("Code").get<std::string>());
  return codes;
}

}  // namespace quire::testing
