// Operating-system failures become engine codes, and the number behind an
// unknown one reaches the message.
#include "engine/OsError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/FileSession.h"
#include "support/EngineScope.h"

namespace quire {
namespace {

TEST(OsErrorTest, EachErrnoHasItsCode) {
  const std::pair<int, int> expected[] = {
      {ENOENT, 11010}, {ENOTDIR, 11010}, {EMFILE, 11012}, {ENFILE, 11012}, {EACCES, 11013},
      {EPERM, 11013},  {EROFS, 11013},   {EAGAIN, 11013}, {EBADF, 11014},  {ENOMEM, 11016},
      {ENXIO, 11023},  {ENODEV, 11023},  {EXDEV, 11025},  {EIO, 11047},    {ENOSPC, 11047},
      {EEXIST, 11047}, {EISDIR, 11047},
  };
  for (auto [e, code] : expected) EXPECT_EQ(OsErrorCode(e), code) << "errno " << e;
}

TEST(OsErrorTest, RaisingKeepsTheNumberForTheMessage) {
  testing::EngineScope engine;
  try {
    RaiseErrno(EIO, "/data/Song.DAT");
    FAIL();
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Code(), 11047);
    EXPECT_EQ(e.Message(),
              "Quire Engine Error # 11047 An unknown operating system error #5 occurred with data "
              "file /data/Song.DAT");
  }
  EXPECT_EQ(CurrentSession().ErrorContext().osCode, EIO);
  try {
    RaiseErrno(ENOENT, "/data/List.DAT");
    FAIL();
  } catch (const EQuireEngineError& e) {
    EXPECT_EQ(e.Message(),
              "Quire Engine Error # 11010 Invalid path or file name for data file /data/List.DAT");
  }
  EXPECT_EQ(CurrentSession().ErrorContext().osCode, ENOENT);
  EXPECT_EQ(CurrentSession().ErrorContext().fileName, "/data/List.DAT");
}

}  // namespace
}  // namespace quire
