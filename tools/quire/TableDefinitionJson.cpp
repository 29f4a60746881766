#include "TableDefinitionJson.h"

#include <array>
#include <limits>
#include <optional>
#include <set>

#include "Command.h"
#include "engine/FieldTypes.h"

namespace quire::cli {
namespace {

using nlohmann::json;

// Type names in storage-code order (1..15), and the two subtyped names.
constexpr std::array<std::string_view, 15> kTypeNames = {
    "string", "date", "blob",      "boolean", "smallint", "integer",  "float",   "bcd",
    "bytes",  "time", "timestamp", "word",    "uint32",   "extended", "varbytes"};
constexpr std::array<std::string_view, 7> kBlobSubtypeNames = {
    "memo", "binary", "formattedmemo", "ole", "graphic", "ole2", "typedbinary"};
constexpr std::array<std::string_view, 4> kCompressionNames = {"none", "leading", "trailing",
                                                               "both"};

// Reads the members of one JSON object, refusing any it does not know.
class TObjectReader {
 public:
  TObjectReader(const json& object, std::string where) : object_(object), where_(std::move(where)) {
    if (!object.is_object()) Fail(where_, "must be an object");
  }

  // Call after reading every known member.
  void RefuseUnknown() const {
    for (const auto& [key, value] : object_.items())
      if (!known_.count(key)) Fail(where_ + "." + key, "is not a known member");
  }

  const json* Member(const std::string& key) {
    known_.insert(key);
    const auto it = object_.find(key);
    return it == object_.end() ? nullptr : &*it;
  }

  std::string String(const std::string& key) {
    const json* value = Member(key);
    if (!value) return {};
    if (!value->is_string()) Fail(Path(key), "must be a string");
    return value->get<std::string>();
  }

  bool Bool(const std::string& key) {
    const json* value = Member(key);
    if (!value) return false;
    if (!value->is_boolean()) Fail(Path(key), "must be true or false");
    return value->get<bool>();
  }

  std::int64_t Integer(const std::string& key, std::int64_t min, std::int64_t max,
                       std::int64_t absent = 0) {
    const json* value = Member(key);
    if (!value) return absent;
    if (!value->is_number_integer()) Fail(Path(key), "must be a whole number");
    // Unsigned values above the signed range still compare correctly here.
    if (value->is_number_unsigned() &&
        value->get<std::uint64_t>() > static_cast<std::uint64_t>(max))
      Fail(Path(key), "must be at most " + std::to_string(max));
    const auto number = value->get<std::int64_t>();
    if (number < min || number > max)
      Fail(Path(key), "must be from " + std::to_string(min) + " to " + std::to_string(max));
    return number;
  }

  const json& Array(const std::string& key, const json& empty) {
    const json* value = Member(key);
    if (!value) return empty;
    if (!value->is_array()) Fail(Path(key), "must be an array");
    return *value;
  }

  std::string Path(const std::string& key) const { return where_ + "." + key; }

  [[noreturn]] static void Fail(const std::string& where, const std::string& what) {
    throw EUsageError("definition: " + where + " " + what);
  }

 private:
  const json& object_;
  std::string where_;
  std::set<std::string> known_;
};

template <std::size_t N>
std::size_t NameIndex(const std::array<std::string_view, N>& names, const std::string& name,
                      const std::string& where) {
  for (std::size_t i = 0; i < N; ++i)
    if (names[i] == name) return i;
  std::string choices;
  for (auto n : names) choices += (choices.empty() ? "" : ", ") + std::string(n);
  TObjectReader::Fail(where, "must be one of " + choices + " (not \"" + name + "\")");
}

TFieldDefinition ParseField(const json& value, std::size_t position, const TTextCodec& codec) {
  const std::string where = "fields[" + std::to_string(position) + "]";
  TObjectReader reader(value, where);
  TFieldDefinition field;
  field.FieldNo = static_cast<std::int16_t>(position + 1);
  field.FieldName = codec.ToBytes(reader.String("name"), reader.Path("name"));
  const std::string type = reader.String("type");
  if (type == "autoinc") {
    field.FieldType = ftype::Integer;
    field.FieldSubType = fsubtype::AutoInc;
  } else if (type == "money") {
    field.FieldType = ftype::Float;
    field.FieldSubType = fsubtype::Money;
  } else {
    field.FieldType =
        static_cast<std::uint8_t>(NameIndex(kTypeNames, type, reader.Path("type")) + 1);
  }
  if (const std::string subtype = reader.String("subtype"); !subtype.empty()) {
    if (field.FieldType != ftype::Blob)
      TObjectReader::Fail(reader.Path("subtype"), "is for blobs only");
    field.FieldSubType = static_cast<std::uint8_t>(
        fsubtype::Memo + NameIndex(kBlobSubtypeNames, subtype, reader.Path("subtype")));
  }
  // Limits of the engine (250, 9) are checked by the creation itself.
  field.FieldSize = static_cast<int>(reader.Integer("size", 0, 255));
  field.FieldDecimals = static_cast<int>(reader.Integer("decimals", 0, 255));
  field.Required = reader.Bool("required");
  field.MinValue = codec.ToBytes(reader.String("min"), reader.Path("min"));
  field.MaxValue = codec.ToBytes(reader.String("max"), reader.Path("max"));
  field.DefaultValue = codec.ToBytes(reader.String("default"), reader.Path("default"));
  field.ComputeExpression = codec.ToBytes(reader.String("compute"), reader.Path("compute"));
  reader.RefuseUnknown();
  return field;
}

TIndexDefinition ParseIndex(const json& value, const std::string& where, bool primary,
                            const std::vector<TFieldDefinition>& fields, const TTextCodec& codec) {
  TObjectReader reader(value, where);
  TIndexDefinition index;
  if (!primary) {
    index.Name = codec.ToBytes(reader.String("name"), reader.Path("name"));
    index.Unique = reader.Bool("unique") ? 1 : 0;
  }
  const json none = json::array();
  const json& names = reader.Array("fields", none);
  if (names.size() > kMaxKeyFields)
    TObjectReader::Fail(reader.Path("fields"), "may name at most 16 fields");
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string at = reader.Path("fields") + "[" + std::to_string(i) + "]";
    if (!names[i].is_string()) TObjectReader::Fail(at, "must be a field name");
    const std::string name = codec.ToBytes(names[i].get<std::string>(), at);
    std::uint16_t number = 0;
    for (const TFieldDefinition& field : fields)
      if (field.FieldName == name) number = static_cast<std::uint16_t>(field.FieldNo);
    if (number == 0) TObjectReader::Fail(at, "names no field of the table");
    index.FieldNumbers[i] = number;
  }
  index.FieldCount = static_cast<std::uint8_t>(names.size());
  index.Descending = reader.Bool("descending") ? 1 : 0;
  index.CaseInsensitive = reader.Bool("caseInsensitive") ? 1 : 0;
  if (const std::string compression = reader.String("compression"); !compression.empty())
    index.Compression = static_cast<std::uint8_t>(
        NameIndex(kCompressionNames, compression, reader.Path("compression")));
  const json& descending = reader.Array("fieldDescending", none);
  if (descending.size() > names.size())
    TObjectReader::Fail(reader.Path("fieldDescending"), "has more entries than fields");
  for (std::size_t i = 0; i < descending.size(); ++i) {
    if (!descending[i].is_boolean())
      TObjectReader::Fail(reader.Path("fieldDescending"), "must hold true or false");
    index.FieldDescending[i] = descending[i].get<bool>() ? 1 : 0;
  }
  reader.RefuseUnknown();
  return index;
}

std::string TypeName(const TFieldDescriptor& field) {
  if (field.IsAutoInc()) return "autoinc";
  if (field.FieldType == ftype::Float && field.FieldSubType == fsubtype::Money) return "money";
  if (field.FieldType >= 1 && field.FieldType <= kTypeNames.size())
    return std::string(kTypeNames[field.FieldType - 1]);
  return std::to_string(field.FieldType);  // a code without a name
}

json DescribeIndex(const TIndexDescriptor& index, bool primary,
                   const std::vector<TFieldDescriptor>& fields, const TTextCodec& codec) {
  json result = json::object();
  if (!primary) result["name"] = codec.ToText(index.Name, "an index name");
  json names = json::array();
  json descending = json::array();
  const std::size_t count = std::min<std::size_t>(index.FieldCount, kMaxKeyFields);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t number = index.FieldNumbers[i];
    names.push_back(number >= 1 && number <= fields.size()
                        ? codec.ToText(fields[number - 1].FieldName, "a field name")
                        : std::to_string(number));
    descending.push_back(index.FieldDescending[i] != 0);
  }
  result["fields"] = names;
  if (!primary) result["unique"] = index.Unique != 0;
  result["descending"] = index.Descending != 0;
  result["caseInsensitive"] = index.CaseInsensitive != 0;
  result["compression"] = index.Compression < kCompressionNames.size()
                              ? json(std::string(kCompressionNames[index.Compression]))
                              : json(index.Compression);
  result["fieldDescending"] = descending;
  return result;
}

}  // namespace

TTableCreateRequest ParseTableDefinition(const json& definition, const TTextCodec& codec) {
  TObjectReader reader(definition, "definition");
  TTableCreateRequest request;
  request.Description = codec.ToBytes(reader.String("description"), "description");
  request.BlobBlockSize = static_cast<std::uint32_t>(reader.Integer(
      "blobBlockSize", 0, std::numeric_limits<std::uint32_t>::max(), kDefaultBlobBlockSize));
  request.LanguageId = static_cast<std::uint16_t>(reader.Integer("languageId", 0, 65535));
  request.SortId = static_cast<std::uint16_t>(reader.Integer("sortId", 0, 65535));
  request.Encrypted = reader.Bool("encrypted");
  request.Password = codec.ToBytes(reader.String("password"), "password");
  request.UserWordA = static_cast<std::int16_t>(reader.Integer("userWordA", -32768, 32767));
  request.UserWordB = static_cast<std::int16_t>(reader.Integer("userWordB", -32768, 32767));
  const json none = json::array();
  const json& fields = reader.Array("fields", none);
  for (std::size_t i = 0; i < fields.size(); ++i)
    request.Fields.push_back(ParseField(fields[i], i, codec));
  if (const json* primary = reader.Member("primary"))
    request.Primary = ParseIndex(*primary, "primary", true, request.Fields, codec);
  const json& indexes = reader.Array("indexes", none);
  for (std::size_t i = 0; i < indexes.size(); ++i)
    request.Secondary.push_back(
        ParseIndex(indexes[i], "indexes[" + std::to_string(i) + "]", false, request.Fields, codec));
  reader.RefuseUnknown();
  return request;
}

json DescribeTableDefinition(TDataFile& table, const TTextCodec& codec) {
  const TDataFileHeader& header = table.Header();
  json result = json::object();
  result["description"] = codec.ToText(header.Description, "the description");
  result["blobBlockSize"] = header.BlobBlockSize;
  result["languageId"] = header.LanguageId;
  result["sortId"] = header.SortId;
  result["encrypted"] = header.IsEncrypted();
  if (header.IsEncrypted())
    result["password"] = codec.ToText(table.StoredPassword(), "the password");
  result["userWordA"] = header.UserWordA;
  result["userWordB"] = header.UserWordB;
  json fields = json::array();
  for (const TFieldDescriptor& field : table.Fields()) {
    json f = json::object();
    f["name"] = codec.ToText(field.FieldName, "a field name");
    f["type"] = TypeName(field);
    if (field.IsBlob() && field.FieldSubType >= fsubtype::Memo &&
        field.FieldSubType <= fsubtype::TypedBinary)
      f["subtype"] = std::string(kBlobSubtypeNames[field.FieldSubType - fsubtype::Memo]);
    if (HasFieldSize(field.FieldType)) f["size"] = field.FieldSize;
    if (field.FieldType == ftype::Bcd) f["decimals"] = field.FieldDecimals;
    if (field.Required) f["required"] = true;
    if (!field.MinValue.empty()) f["min"] = codec.ToText(field.MinValue, "a minimum");
    if (!field.MaxValue.empty()) f["max"] = codec.ToText(field.MaxValue, "a maximum");
    if (!field.DefaultValue.empty()) f["default"] = codec.ToText(field.DefaultValue, "a default");
    if (field.IsComputed()) f["compute"] = codec.ToText(field.ComputeExpression, "an expression");
    fields.push_back(std::move(f));
  }
  result["fields"] = std::move(fields);
  TIndexFile& indexes = table.IndexFile();
  if (indexes.HasPrimaryIndex())
    result["primary"] = DescribeIndex(indexes.Descriptor(0), true, table.Fields(), codec);
  json secondary = json::array();
  for (std::size_t i = 1; i <= indexes.SecondaryIndexCount() && i <= 30; ++i)
    secondary.push_back(DescribeIndex(indexes.Descriptor(static_cast<std::uint8_t>(i)), false,
                                      table.Fields(), codec));
  result["indexes"] = std::move(secondary);
  return result;
}

}  // namespace quire::cli
