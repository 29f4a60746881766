#pragma once
// The engine's error codes. The high byte is the category (0x22 not found,
// 0x23 data corrupt, 0x24 input/output, 0x25 limit, 0x26 integrity, 0x27
// invalid request, 0x28 lock conflict, 0x29 security, 0x2A invalid context,
// 0x2B operating system, 0x2E query, 0x2F version, 0x30 capability, 0x3E driver).
// Other programs see these numbers, so they never change.

#include <cstdint>

namespace quire {

using TErrorCode = std::uint16_t;

namespace err {
inline constexpr TErrorCode BeginningOfFile = 8705;
inline constexpr TErrorCode EndOfFile = 8706;
inline constexpr TErrorCode KeyNotFound = 8708;
inline constexpr TErrorCode RecordNotFound = 8710;
inline constexpr TErrorCode EndOfBlob = 8711;
inline constexpr TErrorCode HeaderCorrupt = 8961;
inline constexpr TErrorCode RecordBuffersCorrupt = 8962;
inline constexpr TErrorCode BlobBuffersCorrupt = 8963;
inline constexpr TErrorCode IndexPagesCorrupt = 8965;
inline constexpr TErrorCode ReadError = 9217;
inline constexpr TErrorCode WriteError = 9218;
inline constexpr TErrorCode CannotDelete = 9220;
inline constexpr TErrorCode HeaderAccess = 9221;
inline constexpr TErrorCode MaxRecordSize = 9477;
inline constexpr TErrorCode FileFull = 9479;
inline constexpr TErrorCode TooManyFilters = 9482;
inline constexpr TErrorCode IndexLimits = 9487;
inline constexpr TErrorCode FieldLimits = 9492;
inline constexpr TErrorCode TooManyBlobsOpen = 9494;
inline constexpr TErrorCode BlobFieldsOrBlockSize = 9498;
inline constexpr TErrorCode DuplicateKey = 9729;
inline constexpr TErrorCode BelowMinimum = 9730;
inline constexpr TErrorCode AboveMaximum = 9731;
inline constexpr TErrorCode ValueRequired = 9732;
inline constexpr TErrorCode InvalidField = 9985;
inline constexpr TErrorCode PrimaryIndexExists = 9993;
inline constexpr TErrorCode InvalidBlobOffset = 9998;
inline constexpr TErrorCode InvalidFieldDefinition = 10000;
inline constexpr TErrorCode InvalidValidityCheck = 10006;
inline constexpr TErrorCode IndexNameMissing = 10010;
inline constexpr TErrorCode InvalidPassword = 10015;
inline constexpr TErrorCode InvalidIndexName = 10022;
inline constexpr TErrorCode InvalidIndexField = 10023;
inline constexpr TErrorCode InvalidKeySize = 10026;
inline constexpr TErrorCode IndexExists = 10027;
inline constexpr TErrorCode InvalidBlobLength = 10029;
inline constexpr TErrorCode InvalidBlobHandle = 10030;
inline constexpr TErrorCode FileInUse = 10031;
inline constexpr TErrorCode InvalidFieldName = 10038;
inline constexpr TErrorCode InvalidFilterHandle = 10050;
inline constexpr TErrorCode InvalidFilterExpression = 10051;
inline constexpr TErrorCode PrimaryIndexRemoval = 10055;
inline constexpr TErrorCode TableLocked = 10241;
inline constexpr TErrorCode CannotUnlock = 10242;
inline constexpr TErrorCode GeneralLockFailure = 10249;
inline constexpr TErrorCode MustBeExclusive = 10253;
inline constexpr TErrorCode RecordInUse = 10258;
inline constexpr TErrorCode PasswordRequired = 10498;
inline constexpr TErrorCode InvalidBlobField = 10753;
inline constexpr TErrorCode EngineNotInitialized = 10758;
inline constexpr TErrorCode InvalidPath = 11010;
inline constexpr TErrorCode TooManyFiles = 11012;
inline constexpr TErrorCode AccessDenied = 11013;
inline constexpr TErrorCode InvalidHandle = 11014;
inline constexpr TErrorCode OutOfMemory = 11016;
inline constexpr TErrorCode InvalidMemoryFileLength = 11017;
inline constexpr TErrorCode InvalidDevice = 11023;
inline constexpr TErrorCode FileMoved = 11025;
inline constexpr TErrorCode UnknownOsError = 11047;
inline constexpr TErrorCode Sql = 11949;
inline constexpr TErrorCode WrongVersion = 12035;
inline constexpr TErrorCode InvalidIndexFieldType = 12292;
inline constexpr TErrorCode LanguageDriver = 15878;
}  // namespace err

}  // namespace quire
