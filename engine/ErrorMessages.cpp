// The message text of each engine error code. Other programs and users match
// these texts, so every piece is kept exactly, odd joins included: 10015 has
// no blank before "is invalid", and 9730, 9731, 9993 and 10022 are joined from
// pieces whose blanks sit inside the pieces.

#include <array>
#include <string>
#include <string_view>

#include "engine/EngineError.h"

namespace quire {
namespace {

// One piece of a message: literal text, or the context text it stands for.
enum class Slot : char { kEnd, kText, kFile, kField, kIndex, kStatement, kOsCode };

struct Piece {
  Slot slot = Slot::kEnd;
  std::string_view text;
};

constexpr Piece L(std::string_view text) {
  return {Slot::kText, text};
}
constexpr Piece T{Slot::kFile, {}};
constexpr Piece F{Slot::kField, {}};
constexpr Piece I{Slot::kIndex, {}};
constexpr Piece S{Slot::kStatement, {}};
constexpr Piece N{Slot::kOsCode, {}};

struct Message {
  TErrorCode code;
  std::array<Piece, 8> pieces;
};

constexpr Message kMessages[] = {
    {8705, {L("Beginning of file encountered in data file "), T}},
    {8706, {L("End of file encountered in data file "), T}},
    {8708, {L("Key not found in index "), I, L(" of data file "), T}},
    {8710, {L("Record not found in data file "), T}},
    {8711, {L("End of blob data in data file "), T, L(" reached prematurely")}},
    {8961, {L("Header information corrupt in data file "), T}},
    {8962, {L("Data record buffers corrupt in data file "), T}},
    {8963, {L("BLOB block buffers corrupt in data file "), T}},
    {8965, {L("Index page buffers corrupt in data file "), T}},
    {9217, {L("Error reading from data file "), T}},
    {9218, {L("Error writing to data file "), T}},
    {9220, {L("Cannot delete data file "), T}},
    {9221, {L("Error accessing file header information for data file "), T}},
    {9477, {L("Maximum record size exceeded in data file "), T}},
    {9479, {L("The data file "), T, L(" is full and cannot contain any more data")}},
    {9482, {L("Too many filters defined for data file "), T}},
    {9487,
     {L("Maximum or minimum limits on number of indexes or fields in an index exceeded in data "
        "file "),
      T}},
    {9492,
     {L("Maximum or minimum limits on number of fields or field size exceeded in data file "), T}},
    {9494, {L("Too many blobs opened in data file "), T}},
    {9498, {L("Too many blob fields or invalid blob block size specified for data file "), T}},
    {9729, {L("Duplicate key found in index "), I, L(" of data file "), T}},
    {9730,
     {L("The value for the field "), F, L(" in data file "), T, L(" is below the minimum "),
      L("allowable value")}},
    {9731,
     {L("The value for the field "), F, L(" in data file "), T, L(" is above the maximum "),
      L("allowable value")}},
    {9732, {L("A value must be provided for the field "), F, L(" in data file "), T}},
    {9985, {L("Invalid field number or name "), F, L(" specified for data file "), T}},
    {9993,
     {L("A primary index is already defined for data file "), T, L(" and cannot be added "),
      L("again")}},
    {9998, {L("Invalid blob offset into data file "), T, L(" specified")}},
    {10000, {L("Invalid field definition specified for the field "), F, L(" in data file "), T}},
    {10006,
     {L("Invalid default, min or max validity check, or expression specified for "), F,
      L(" in data file "), T}},
    {10010, {L("The secondary index name is missing or not specified for data file "), T}},
    {10015, {L("Password provided for data file "), T, L("is invalid")}},
    {10022, {L("Invalid secondary index name "), I, L(" specified "), L("for data file "), T}},
    {10023,
     {L("Invalid field number "), F, L(" specified in "), L("index "), I, L(" for data file "), T}},
    {10026, {L("Invalid key size specified in index "), I, L(" for data file "), T}},
    {10027, {L("The secondary index "), I, L(" already exists for data file "), T}},
    {10029, {L("Invalid blob length in data file "), T}},
    {10030, {L("Invalid blob handle for data file "), T, L(" specified")}},
    {10031, {L("Data file "), T, L(" is already in use")}},
    {10038, {L("Invalid or duplicate field name "), F, L(" specified for data file "), T}},
    {10050, {L("Invalid filter handle specified for data file "), T}},
    {10051, {L("Invalid filter expression specified for data file "), T}},
    {10055, {L("The primary index cannot be removed from data file "), T}},
    {10241, {L("The data file "), T, L(" is already locked by another user")}},
    {10242, {L("Cannot unlock data file or record in data file "), T}},
    {10249, {L("General lock failure with data file "), T}},
    {10253, {L("Data file "), T, L(" must be opened exclusively")}},
    {10258, {L("Record in data file "), T, L(" is in use by another user")}},
    {10498, {L("Insufficient rights to data file "), T, L(", a password is required")}},
    {10753, {L("Invalid blob field "), F, L(" specified for data file "), T}},
    {10758, {L("Quire engine not initialized")}},
    {11010, {L("Invalid path or file name for data file "), T}},
    {11012, {L("Too many files open while attempting to open data file "), T}},
    {11013, {L("Access denied to data file "), T}},
    {11014, {L("Invalid file handle for data file "), T}},
    {11016,
     {L("There is insufficient operating system memory available for the current operation")}},
    {11017, {L("Invalid length for in-memory data file "), T}},
    {11023, {L("Access denied to logical operating system device for data file "), T}},
    {11025, {L("Data file "), T, L(" has been moved")}},
    {11047, {L("An unknown operating system error #"), N, L(" occurred with data file "), T}},
    {11949, {L("SQL - "), S}},
    {12035, {L("Data file "), T, L(" is not the correct version")}},
    {12292, {L("Invalid field type specified for index "), I, L(" in data file "), T}},
    {15878, {L("The language driver for data file "), T, L(" is not available or installed")}},
};

constexpr Message kUnknown{0, {L("Unknown error occurred with data file "), T}};

const Message& FindMessage(TErrorCode code) {
  for (const Message& message : kMessages) {
    if (message.code == code) return message;
  }
  return kUnknown;
}

constexpr std::size_t kMaxMessageLength = 127;

}  // namespace

std::string BuildErrorMessage(TErrorCode code, const TErrorContext& context) {
  std::string text;
  for (const Piece& piece : FindMessage(code).pieces) {
    switch (piece.slot) {
      case Slot::kEnd:
        break;
      case Slot::kText:
        text += piece.text;
        break;
      case Slot::kFile:
        text += context.fileName;
        break;
      case Slot::kField:
        text += context.fieldText;
        break;
      case Slot::kIndex:
        text += context.indexName;
        break;
      case Slot::kStatement:
        text += context.statementText;
        break;
      case Slot::kOsCode:
        text += std::to_string(context.osCode);
        break;
    }
  }
  if (text.size() > kMaxMessageLength) text.resize(kMaxMessageLength);
  return text;
}

}  // namespace quire
