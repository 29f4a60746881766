// The message text of every engine error code, built from a known context.

#include <gtest/gtest.h>

#include <string>

#include "engine/EngineError.h"

namespace quire {
namespace {

const std::string kFile = "/srv/catalogue/Data/Song.DAT";

TErrorContext SampleContext() {
  TErrorContext context;
  context.fileName = kFile;
  context.fieldText = "Title";
  context.indexName = "BySinger";
  context.statementText = "Expected FROM";
  context.osCode = 1117;
  return context;
}

struct Expected {
  TErrorCode code;
  std::string text;
};

// Every code with the text a user sees for the sample context.
const Expected kExpected[] = {
    {8705, "Beginning of file encountered in data file " + kFile},
    {8706, "End of file encountered in data file " + kFile},
    {8708, "Key not found in index BySinger of data file " + kFile},
    {8710, "Record not found in data file " + kFile},
    {8711, "End of blob data in data file " + kFile + " reached prematurely"},
    {8961, "Header information corrupt in data file " + kFile},
    {8962, "Data record buffers corrupt in data file " + kFile},
    {8963, "BLOB block buffers corrupt in data file " + kFile},
    {8965, "Index page buffers corrupt in data file " + kFile},
    {9217, "Error reading from data file " + kFile},
    {9218, "Error writing to data file " + kFile},
    {9220, "Cannot delete data file " + kFile},
    {9221, "Error accessing file header information for data file " + kFile},
    {9477, "Maximum record size exceeded in data file " + kFile},
    {9479, "The data file " + kFile + " is full and cannot contain any more data"},
    {9482, "Too many filters defined for data file " + kFile},
    {9487,
     "Maximum or minimum limits on number of indexes or fields in an index exceeded in "
     "data file " +
         kFile},
    {9492,
     "Maximum or minimum limits on number of fields or field size exceeded in data file " + kFile},
    {9494, "Too many blobs opened in data file " + kFile},
    {9498, "Too many blob fields or invalid blob block size specified for data file " + kFile},
    {9729, "Duplicate key found in index BySinger of data file " + kFile},
    {9730, "The value for the field Title in data file " + kFile +
               " is below the minimum allowable value"},
    {9731, "The value for the field Title in data file " + kFile +
               " is above the maximum allowable value"},
    {9732, "A value must be provided for the field Title in data file " + kFile},
    {9985, "Invalid field number or name Title specified for data file " + kFile},
    {9993,
     "A primary index is already defined for data file " + kFile + " and cannot be added again"},
    {9998, "Invalid blob offset into data file " + kFile + " specified"},
    {10000, "Invalid field definition specified for the field Title in data file " + kFile},
    {10006,
     "Invalid default, min or max validity check, or expression specified for Title in "
     "data file " +
         kFile},
    {10010, "The secondary index name is missing or not specified for data file " + kFile},
    {10015, "Password provided for data file " + kFile + "is invalid"},
    {10022, "Invalid secondary index name BySinger specified for data file " + kFile},
    {10023, "Invalid field number Title specified in index BySinger for data file " + kFile},
    {10026, "Invalid key size specified in index BySinger for data file " + kFile},
    {10027, "The secondary index BySinger already exists for data file " + kFile},
    {10029, "Invalid blob length in data file " + kFile},
    {10030, "Invalid blob handle for data file " + kFile + " specified"},
    {10031, "Data file " + kFile + " is already in use"},
    {10038, "Invalid or duplicate field name Title specified for data file " + kFile},
    {10050, "Invalid filter handle specified for data file " + kFile},
    {10051, "Invalid filter expression specified for data file " + kFile},
    {10055, "The primary index cannot be removed from data file " + kFile},
    {10241, "The data file " + kFile + " is already locked by another user"},
    {10242, "Cannot unlock data file or record in data file " + kFile},
    {10249, "General lock failure with data file " + kFile},
    {10253, "Data file " + kFile + " must be opened exclusively"},
    {10258, "Record in data file " + kFile + " is in use by another user"},
    {10498, "Insufficient rights to data file " + kFile + ", a password is required"},
    {10753, "Invalid blob field Title specified for data file " + kFile},
    {10758, "Quire engine not initialized"},
    {11010, "Invalid path or file name for data file " + kFile},
    {11012, "Too many files open while attempting to open data file " + kFile},
    {11013, "Access denied to data file " + kFile},
    {11014, "Invalid file handle for data file " + kFile},
    {11016, "There is insufficient operating system memory available for the current operation"},
    {11017, "Invalid length for in-memory data file " + kFile},
    {11023, "Access denied to logical operating system device for data file " + kFile},
    {11025, "Data file " + kFile + " has been moved"},
    {11047, "An unknown operating system error #1117 occurred with data file " + kFile},
    {11949, "SQL - Expected FROM"},
    {12035, "Data file " + kFile + " is not the correct version"},
    {12292, "Invalid field type specified for index BySinger in data file " + kFile},
    {15878, "The language driver for data file " + kFile + " is not available or installed"},
};

TEST(ErrorMessages, EveryCodeBuildsItsText) {
  const TErrorContext context = SampleContext();
  for (const Expected& expected : kExpected) {
    SCOPED_TRACE(expected.code);
    EXPECT_EQ(BuildErrorMessage(expected.code, context), expected.text);
  }
}

TEST(ErrorMessages, UnknownCodesGetTheCatchAllText) {
  const TErrorContext context = SampleContext();
  for (TErrorCode code :
       {TErrorCode{0}, TErrorCode{4}, TErrorCode{8704}, TErrorCode{10759}, TErrorCode{65535}}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(BuildErrorMessage(code, context), "Unknown error occurred with data file " + kFile);
  }
}

TEST(ErrorMessages, PasswordTextHasNoBlankBeforeIsInvalid) {
  TErrorContext context;
  context.fileName = "C:/x.DAT";
  EXPECT_EQ(BuildErrorMessage(err::InvalidPassword, context),
            "Password provided for data file C:/x.DATis invalid");
}

TEST(ErrorMessages, FieldOfPrimaryIndexJoinsItsPieces) {
  TErrorContext context;
  context.fieldText = "7";
  context.indexName = "Primary";
  context.fileName = "/t/List.DAT";
  EXPECT_EQ(BuildErrorMessage(err::InvalidIndexField, context),
            "Invalid field number 7 specified in index Primary for data file /t/List.DAT");
}

TEST(ErrorMessages, EmptyContextLeavesTheTextsOut) {
  const TErrorContext empty;
  EXPECT_EQ(BuildErrorMessage(err::FileInUse, empty), "Data file  is already in use");
  EXPECT_EQ(BuildErrorMessage(err::UnknownOsError, empty),
            "An unknown operating system error #0 occurred with data file ");
}

TEST(ErrorMessages, LongTextsAreCutAt127Characters) {
  TErrorContext context;
  context.fileName = "/" + std::string(200, 'd') + "/Song.DAT";
  const std::string full =
      "Maximum or minimum limits on number of indexes or fields in an index exceeded in data "
      "file " +
      context.fileName;
  const std::string text = BuildErrorMessage(err::IndexLimits, context);
  EXPECT_EQ(text.size(), 127u);
  EXPECT_EQ(text, full.substr(0, 127));

  // A text of exactly 127 characters stays whole.
  context.statementText = std::string(121, 'q');  // "SQL - " is 6 characters
  EXPECT_EQ(BuildErrorMessage(err::Sql, context), "SQL - " + context.statementText);
  context.statementText += 'r';
  EXPECT_EQ(BuildErrorMessage(err::Sql, context).size(), 127u);
  EXPECT_EQ(BuildErrorMessage(err::Sql, context).back(), 'q');
}

TEST(EngineException, CarriesCodeTextAndOneEntry) {
  const TErrorContext context = SampleContext();
  const EQuireEngineError error(err::DuplicateKey, context);
  const std::string text = "Duplicate key found in index BySinger of data file " + kFile;
  EXPECT_EQ(error.Message(), "Quire Engine Error # 9729 " + text);
  EXPECT_STREQ(error.what(), error.Message().c_str());
  EXPECT_EQ(error.Code(), 9729);
  ASSERT_EQ(error.ErrorList().size(), 1u);
  EXPECT_EQ(error.ErrorList()[0].EngineCode, 9729);
  EXPECT_EQ(error.ErrorList()[0].EngineText, text);
}

TEST(EngineException, MessageKeepsTheCutTextAfterTheCode) {
  TErrorContext context;
  context.fileName = std::string(250, 'f');
  const EQuireEngineError error(err::AccessDenied, context);
  const std::string text = ("Access denied to data file " + context.fileName).substr(0, 127);
  EXPECT_EQ(error.ErrorList()[0].EngineText, text);
  EXPECT_EQ(error.Message(), "Quire Engine Error # 11013 " + text);
}

}  // namespace
}  // namespace quire
