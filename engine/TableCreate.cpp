#include "engine/TableCreate.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "engine/Bcd.h"
#include "engine/BlankText.h"
#include "engine/DataFile.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FileSession.h"
#include "engine/FormatSettings.h"
#include "engine/TableLocale.h"
#include "engine/ValueText.h"
#include "sql/ComputedFields.h"

namespace quire {
namespace {

constexpr std::size_t kMaxKeyBytes = 1036;
constexpr std::size_t kKeySuffixBytes = 4;  // a non-unique index's auto-increment suffix
constexpr std::size_t kMaxRecordBytes = 65535;

// Names of fields and secondary indexes begin with a letter: A-Z, a-z, or a
// byte 0x81..0xFE (the letters of the single-byte code pages).
bool StartsWithLetter(std::string_view name) {
  if (name.empty()) return false;
  const auto c = static_cast<unsigned char>(UpperAscii(name.substr(0, 1))[0]);
  return (c >= 'A' && c <= 'Z') || (c >= 0x81 && c <= 0xFE);
}

void CheckTableLimits(const TTableCreateRequest& request, std::string_view fileName) {
  if (request.Encrypted) {
    const std::size_t length = TrimBlanks(request.Password).size();
    if (length < 1 || length > kPasswordCapacity) RaiseEngineError(err::InvalidPassword, fileName);
  }
  const std::uint32_t locale = std::uint32_t{request.SortId} << 16 | request.LanguageId;
  if (locale != 0 && !IsLocaleInstalled(request.LanguageId, request.SortId))
    RaiseEngineError(err::LanguageDriver, fileName);
  if (request.Fields.size() > kMaxFieldCount) RaiseEngineError(err::FieldLimits, fileName);
  if (request.Secondary.size() > kMaxRequestedSecondaryIndexes)
    RaiseEngineError(err::IndexLimits, fileName);
  if (request.BlobBlockSize < kMinBlobBlockSize)
    RaiseEngineError(err::BlobFieldsOrBlockSize, fileName);
}

// Checks one definition against those before it and turns it into a
// descriptor (without its offset).
TFieldDescriptor PrepareField(const TFieldDefinition& definition, std::size_t fieldCount,
                              std::set<std::string>& upperNames, std::set<int>& numbers,
                              std::string_view fileName) {
  TFieldDescriptor field;
  const std::string name(TrimBlanks(definition.FieldName).substr(0, kFieldNameCapacity));
  if (!StartsWithLetter(name) || !upperNames.insert(UpperAscii(name)).second)
    RaiseEngineError(err::InvalidFieldName, fileName, name);
  // Field numbers are the positions 1..n: a number outside them could not be
  // stored where the reader expects it.
  const bool numberFits = definition.FieldNo >= 1 && std::size_t(definition.FieldNo) <= fieldCount;
  if (!numberFits || !numbers.insert(definition.FieldNo).second || definition.FieldType == 0)
    RaiseEngineError(err::InvalidFieldDefinition, fileName, name);
  const bool sized = HasFieldSize(definition.FieldType);
  if (sized && (definition.FieldSize < 0 || definition.FieldSize > kMaxFieldSize))
    RaiseEngineError(err::InvalidFieldDefinition, fileName, name);
  // More decimals than one stored digit can name would not read back.
  const bool bcd = definition.FieldType == ftype::Bcd;
  if (bcd && (definition.FieldDecimals < 0 || definition.FieldDecimals > kMaxBcdDecimals))
    RaiseEngineError(err::InvalidFieldDefinition, fileName, name);
  const TFormatSettings& settings = BuiltInFormatSettings();
  for (const std::string* text :
       {&definition.DefaultValue, &definition.MinValue, &definition.MaxValue}) {
    // A text longer than its slot would be stored cut, and then check or
    // default something other than what was asked for.
    if (text->size() > kValidityTextCapacity ||
        (!text->empty() && !IsValidValueText(definition.FieldType, *text, settings)))
      RaiseEngineError(err::InvalidValidityCheck, fileName, name);
  }
  if (definition.ComputeExpression.size() > kExpressionCapacity)
    RaiseEngineError(err::InvalidValidityCheck, fileName, name);

  field.FieldNo = definition.FieldNo;
  field.FieldName = name;
  field.FieldType = definition.FieldType;
  field.FieldSubType = definition.FieldSubType;
  field.FieldSize = sized ? static_cast<std::uint8_t>(definition.FieldSize) : 0;
  field.FieldDecimals = bcd ? static_cast<std::uint8_t>(definition.FieldDecimals) : 0;
  field.Required = definition.Required ? 1 : 0;
  field.MinValue = definition.MinValue;
  field.MaxValue = definition.MaxValue;
  field.DefaultValue = definition.DefaultValue;
  field.ComputeExpression = definition.ComputeExpression;
  field.DeriveSizes();
  return field;
}

// Field descriptors with their offsets; sizes and counts into the header.
void PrepareFields(const TTableCreateRequest& request, TPreparedTable& table,
                   std::string_view fileName) {
  std::set<std::string> upperNames;
  std::set<int> numbers;
  table.Fields.reserve(request.Fields.size());
  for (const TFieldDefinition& definition : request.Fields)
    table.Fields.push_back(
        PrepareField(definition, request.Fields.size(), upperNames, numbers, fileName));
  // The descriptors are stored at their numbers' positions.
  std::sort(
      table.Fields.begin(), table.Fields.end(),
      [](const TFieldDescriptor& a, const TFieldDescriptor& b) { return a.FieldNo < b.FieldNo; });

  std::size_t running = kRecordPrefixSize;
  std::size_t computed = 0;
  int blobs = 0;
  for (TFieldDescriptor& field : table.Fields) {
    if (field.IsAutoInc()) {
      field.FieldOffset = kAutoIncOffset;
    } else if (field.IsComputed()) {
      field.FieldOffset = 0;
    } else {
      // The offset is only stored while it fits; the total is checked below.
      field.FieldOffset = static_cast<std::uint16_t>(std::min<std::size_t>(running, 0xFFFF));
      running += field.DataSize + 1u;
    }
    if (field.IsComputed()) computed += field.DataSize + 1u;
    if (field.IsBlob() && ++blobs > kMaxBlobFieldCount)
      RaiseEngineError(err::BlobFieldsOrBlockSize, fileName);
  }
  if (running + computed > kMaxRecordBytes) RaiseEngineError(err::MaxRecordSize, fileName);
  // A compute expression that does not parse over the fields would leave
  // the field blank for ever: refuse it while nothing is written.
  CheckComputeExpressions(table.Fields);
  table.Header.RecordSize = static_cast<std::uint16_t>(running);
  table.Header.ComputedAreaSize = static_cast<std::uint16_t>(computed);
  table.Header.FieldCount = static_cast<std::uint16_t>(table.Fields.size());
  table.Header.BlobFieldCount = static_cast<std::int16_t>(blobs);
}

// Sets the key size of `index` from its fields, checking field numbers
// (10023) and the key size (10026). `indexName` names it in errors.
void SizeIndex(TIndexDefinition& index, bool primary, const std::vector<TFieldDescriptor>& fields,
               std::string_view indexName, std::string_view fileName) {
  // More than 16 fields is the index file's to refuse (9487).
  const std::size_t count = std::min<std::size_t>(index.FieldCount, kMaxKeyFields);
  std::size_t keySize = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t number = index.FieldNumbers[i];
    if (number < 1 || number > fields.size())
      RaiseEngineError(err::InvalidIndexField, fileName, std::to_string(number), {}, indexName);
    keySize += fields[number - 1].DataSize + 1u;
  }
  if (keySize > kMaxKeyBytes || (!primary && keySize == 0))
    RaiseEngineError(err::InvalidKeySize, fileName, {}, {}, indexName);
  if (!primary && !index.Unique) keySize += kKeySuffixBytes;
  index.KeySize = static_cast<std::uint16_t>(keySize);
}

void PrepareIndexes(const TTableCreateRequest& request, TPreparedTable& table,
                    std::string_view fileName) {
  table.Primary = request.Primary;
  table.Primary.Name.clear();
  if (table.Primary.FieldCount > 0)
    SizeIndex(table.Primary, true, table.Fields, "Primary", fileName);
  std::set<std::string> upperNames;
  for (TIndexDefinition index : request.Secondary) {
    const std::string name = index.Name.substr(0, kMaxIndexNameLength);
    SizeIndex(index, false, table.Fields, name, fileName);
    // An empty name is the index file's to refuse (10010).
    if (!name.empty()) {
      if (!StartsWithLetter(name)) RaiseEngineError(err::InvalidIndexName, fileName, {}, {}, name);
      if (!upperNames.insert(UpperAscii(name)).second)
        RaiseEngineError(err::IndexExists, fileName, {}, {}, name);
    }
    table.Secondary.push_back(std::move(index));
  }
}

}  // namespace

TPreparedTable PrepareTable(const TTableCreateRequest& request, std::string_view fileName) {
  CheckTableLimits(request, fileName);
  TPreparedTable table;
  PrepareFields(request, table, fileName);
  PrepareIndexes(request, table, fileName);

  TDataFileHeader& header = table.Header;
  header.Version = kDataFileVersion;
  header.ChangeCount = 0;
  header.FreeRecordHead = 0;
  header.NextRecordNumber = 1;
  header.LastAutoIncValue = 0;
  header.BlobBlockSize = request.BlobBlockSize;
  header.LanguageId = request.LanguageId;
  header.SortId = request.SortId;
  header.UserWordA = request.UserWordA;
  header.UserWordB = request.UserWordB;
  header.Encrypted = request.Encrypted ? 1 : 0;
  header.Password = request.Encrypted ? request.Password.substr(0, kPasswordCapacity) : "";
  header.Description = request.Description.substr(0, kDescriptionCapacity);
  header.HeaderModified = 1;
  return table;
}

std::vector<TIndexField> IndexFieldsOf(const std::vector<TFieldDescriptor>& fields) {
  std::vector<TIndexField> result;
  result.reserve(fields.size());
  for (const TFieldDescriptor& field : fields)
    result.push_back(TIndexField{static_cast<std::uint16_t>(field.FieldNo), field.FieldName,
                                 field.FieldType, field.FieldSubType, field.DataSize});
  return result;
}

// --- Writing a new table -----------------------------------------------------

void TDataFile::CreateTable(const TTableCreateRequest& request) {
  if (IsOpen()) RaiseEngineError(err::FileInUse, FileName());
  if (!Exclusive()) RaiseEngineError(err::MustBeExclusive, FileName());
  if (ReadOnly()) RaiseEngineError(err::AccessDenied, FileName());
  const TPreparedTable table = PrepareTable(request, FileName());

  // The reopen below needs the password in the session's list.
  TFileSession& session = CurrentSession();
  const std::string& password = table.Header.Password;
  const bool lendPassword = table.Header.IsEncrypted() && !session.TestPassword(password);
  if (lendPassword) session.AddPassword(password);
  try {
    CreateFiles(table);
    Open();
    DefineIndexes(table);
    Close();
  } catch (...) {
    CloseFiles();
    DeleteFilesAfterFailure();
    if (lendPassword) session.RemovePassword(password);
    throw;
  }
  if (lendPassword) session.RemovePassword(password);
}

void TDataFile::CreateFiles(const TPreparedTable& table) {
  created_ = {};
  TFileHandler::Create();
  created_.data = true;
  header_ = table.Header;
  WriteRawHeader();
  const std::vector<std::uint8_t> block =
      EncodeDescriptorBlock(table.Fields, table.Header.IsEncrypted());
  WriteAt(static_cast<std::int64_t>(kDataHeaderSize), block.data(), block.size());

  PrepareCompanion(indexFile_);
  indexFile_.SetReadOnly(false);
  indexFile_.SetEncrypted(table.Header.IsEncrypted());
  indexFile_.Create();
  created_.index = true;
  indexFile_.Close();
  if (table.Header.BlobFieldCount > 0) {
    PrepareCompanion(blobFile_);
    blobFile_.SetReadOnly(false);
    blobFile_.SetEncrypted(table.Header.IsEncrypted());
    blobFile_.SetBlockSize(table.Header.EffectiveBlobBlockSize());
    blobFile_.Create();
    created_.blob = true;
    blobFile_.Close();
  }
  TFileHandler::Close();
  ResetState();
}

void TDataFile::DefineIndexes(const TPreparedTable& table) {
  const std::vector<TIndexField> fields = IndexFieldsOf(fields_);
  indexFile_.DefinePrimaryIndex(table.Primary, fields);
  for (const TIndexDefinition& index : table.Secondary) indexFile_.AddSecondaryIndex(index, fields);
}

void TDataFile::DeleteFilesAfterFailure() noexcept {
  const auto remove = [](TFileHandler& file, bool made) {
    if (!made) return;
    try {
      file.Delete();
    } catch (...) {
      // Nothing better to do: the creation's own error is what the caller
      // needs to see.
    }
  };
  remove(blobFile_, created_.blob);
  remove(indexFile_, created_.index);
  remove(*this, created_.data);
  created_ = {};
}

}  // namespace quire
