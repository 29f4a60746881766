// How raises record the error context of the current session and throw.

#include <gtest/gtest.h>

#include <string>

#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FileSession.h"
#include "support/EngineScope.h"

namespace quire {
namespace {

using testing::EngineScope;

// Runs `raise`, which must throw, and returns the exception.
template <typename Raise>
EQuireEngineError Caught(Raise raise) {
  try {
    raise();
  } catch (const EQuireEngineError& error) {
    return error;
  }
  ADD_FAILURE() << "no engine error was raised";
  return EQuireEngineError(0, TErrorContext{});
}

class EngineErrorRaise : public ::testing::Test {
 protected:
  TErrorContext& Context() { return CurrentSession().ErrorContext(); }
  EngineScope engine_;
};

TEST_F(EngineErrorRaise, StoresCodeAndTextsAndThrows) {
  const EQuireEngineError error =
      Caught([] { RaiseEngineError(err::InvalidIndexField, "/d/Song.DAT", "7", "", "Primary"); });
  EXPECT_EQ(error.Code(), err::InvalidIndexField);
  EXPECT_EQ(error.Message(),
            "Quire Engine Error # 10023 Invalid field number 7 specified in index Primary for data "
            "file /d/Song.DAT");
  EXPECT_EQ(Context().code, err::InvalidIndexField);
  EXPECT_EQ(Context().fileName, "/d/Song.DAT");
  EXPECT_EQ(Context().fieldText, "7");
  EXPECT_EQ(Context().indexName, "Primary");
  EXPECT_EQ(Context().statementText, "");
}

TEST_F(EngineErrorRaise, EachRaiseClearsEverythingTheLastOneLeft) {
  Caught([] { RaiseOsError(err::UnknownOsError, 36, "/d/a.DAT"); });
  Caught([] { RaiseEngineError(err::Sql, "", "", "Unexpected end", "ByName"); });
  EXPECT_EQ(Context().osCode, 0);
  EXPECT_EQ(Context().fileName, "");
  EXPECT_EQ(Context().statementText, "Unexpected end");

  Caught([] { RaiseEngineError(err::ReadError, "/d/b.DAT"); });
  EXPECT_EQ(Context().code, err::ReadError);
  EXPECT_EQ(Context().fileName, "/d/b.DAT");
  EXPECT_EQ(Context().statementText, "");
  EXPECT_EQ(Context().indexName, "");
}

TEST_F(EngineErrorRaise, OperatingSystemNumberReachesTheText) {
  const EQuireEngineError error = Caught([] { RaiseOsError(err::UnknownOsError, 28, "/d/c.DAT"); });
  EXPECT_EQ(error.Message(),
            "Quire Engine Error # 11047 An unknown operating system error #28 occurred with data "
            "file /d/c.DAT");
  EXPECT_EQ(Context().code, err::UnknownOsError);
  EXPECT_EQ(Context().osCode, 28);
  EXPECT_EQ(Context().fileName, "/d/c.DAT");
}

TEST_F(EngineErrorRaise, StoredTextsAreCutAt255Characters) {
  const std::string longName = "/" + std::string(300, 'n');
  const std::string longField(256, 'f');
  Caught([&] { RaiseEngineError(err::InvalidField, longName, longField, longField, longField); });
  EXPECT_EQ(Context().fileName, longName.substr(0, 255));
  EXPECT_EQ(Context().fieldText, longField.substr(0, 255));
  EXPECT_EQ(Context().statementText, longField.substr(0, 255));
  EXPECT_EQ(Context().indexName, longField.substr(0, 255));
  Caught([&] { RaiseOsError(err::UnknownOsError, 5, longName); });
  EXPECT_EQ(Context().fileName, longName.substr(0, 255));
}

TEST_F(EngineErrorRaise, NotInitializedLeavesTheContextAlone) {
  Caught([] { RaiseEngineError(err::RecordInUse, "/d/List.DAT", "", "", "ByCode"); });
  const EQuireEngineError error =
      Caught([] { RaiseEngineError(err::EngineNotInitialized, "/other.DAT", "x", "y", "z"); });
  EXPECT_EQ(error.Message(), "Quire Engine Error # 10758 Quire engine not initialized");
  EXPECT_EQ(Context().code, err::RecordInUse);
  EXPECT_EQ(Context().fileName, "/d/List.DAT");
  EXPECT_EQ(Context().indexName, "ByCode");
  EXPECT_EQ(Context().fieldText, "");
}

TEST_F(EngineErrorRaise, RaiseCodeUsesTheContextTheLastRaiseLeft) {
  Caught([] { RaiseEngineError(err::RecordInUse, "/d/List.DAT"); });
  const EQuireEngineError error = Caught([] { RaiseCode(err::EndOfFile); });
  EXPECT_EQ(error.Code(), err::EndOfFile);
  EXPECT_EQ(error.Message(),
            "Quire Engine Error # 8706 End of file encountered in data file /d/List.DAT");
  // The context still records the raise, not the code thrown afterwards.
  EXPECT_EQ(Context().code, err::RecordInUse);
}

TEST_F(EngineErrorRaise, RaiseIfNonzeroThrowsOnlyForACode) {
  Caught([] { RaiseEngineError(err::ReadError, "/d/Song.DAT"); });
  EXPECT_NO_THROW(RaiseIfNonzero(0));
  const EQuireEngineError error = Caught([] { RaiseIfNonzero(err::BeginningOfFile); });
  EXPECT_EQ(error.Message(),
            "Quire Engine Error # 8705 Beginning of file encountered in data file /d/Song.DAT");
}

TEST_F(EngineErrorRaise, EachSessionKeepsItsOwnContext) {
  Caught([] { RaiseEngineError(err::ReadError, "/default.DAT"); });
  TFileSession& defaultSession = CurrentSession();
  {
    TFileSession other;
    MakeSessionCurrent(other);
    Caught([] { RaiseEngineError(err::WriteError, "/other.DAT"); });
    EXPECT_EQ(other.ErrorContext().fileName, "/other.DAT");
  }
  EXPECT_EQ(&CurrentSession(), &defaultSession);
  EXPECT_EQ(defaultSession.ErrorContext().code, err::ReadError);
  EXPECT_EQ(defaultSession.ErrorContext().fileName, "/default.DAT");
}

TEST(EngineErrorWithoutSession, StillThrowsWithTheTextsGiven) {
  const bool wasStarted = EngineStarted();
  StopEngine();
  const EQuireEngineError error = Caught([] { RaiseEngineError(err::AccessDenied, "/d/x.DAT"); });
  EXPECT_EQ(error.Message(), "Quire Engine Error # 11013 Access denied to data file /d/x.DAT");
  const EQuireEngineError os = Caught([] { RaiseOsError(err::UnknownOsError, 9, "/d/y.DAT"); });
  EXPECT_EQ(os.ErrorList()[0].EngineText,
            "An unknown operating system error #9 occurred with data file /d/y.DAT");
  const EQuireEngineError code = Caught([] { RaiseCode(err::EndOfFile); });
  EXPECT_EQ(code.ErrorList()[0].EngineText, "End of file encountered in data file ");
  if (wasStarted) StartEngine();
}

}  // namespace
}  // namespace quire
