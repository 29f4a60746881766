#include "sql/SourceDataFile.h"

#include "engine/ShortString.h"
#include "sql/DataQuery.h"

namespace quire {
namespace {

// The file name without directory and extension: /data/Song.DAT gives Song.
std::string_view FileNamePart(std::string_view path) {
  const auto slash = path.rfind('/');
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  const auto dot = path.rfind('.');
  if (dot != std::string_view::npos) path = path.substr(0, dot);
  return path;
}

}  // namespace

TSourceDataFile::TSourceDataFile(const TDataQuery& owner, std::uint16_t tableNumber, bool inMemory)
    : owner_(owner), tableNumber_(tableNumber), inMemory_(inMemory) {}

void TSourceDataFile::SetTableName(std::string_view name) {
  const std::string given = ToShortString(name);
  const std::string& directory = owner_.Settings().DatabaseDirectory;
  // The directory is not cut with the name: a path cut at 255 characters
  // would name another file than the one the statement means.
  if (given.find('/') != std::string::npos || directory.empty()) {
    tableName_ = given;
  } else if (directory.back() == '/') {
    tableName_ = directory + given;
  } else {
    tableName_ = directory + "/" + given;
  }
  if (correlationName_.empty()) correlationName_ = std::string(FileNamePart(given));
}

void TSourceDataFile::SetCorrelationName(std::string_view name) {
  correlationName_ = ToShortString(name);
}

}  // namespace quire
