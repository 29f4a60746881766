// Engine start and stop, the current session, and temporary table names.

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/Engine.h"
#include "engine/FileSession.h"
#include "support/EngineScope.h"

namespace quire {
namespace {

using testing::EngineScope;

TEST(EngineLifecycle, StartMakesTheDefaultSessionCurrentAndStopRaises10758) {
  const bool wasStarted = EngineStarted();
  StopEngine();
  EXPECT_FALSE(EngineStarted());
  EXPECT_EQ(CurrentSessionOrNull(), nullptr);

  StartEngine();
  ASSERT_TRUE(EngineStarted());
  TFileSession& first = CurrentSession();
  EXPECT_EQ(&first, &DefaultSession());
  StartEngine();  // a second start changes nothing
  EXPECT_EQ(&CurrentSession(), &first);

  StopEngine();
  EXPECT_FALSE(EngineStarted());
  EXPECT_EQ(CurrentSessionOrNull(), nullptr);
  for (auto need : {+[] { CurrentSession(); }, +[] { DefaultSession(); }}) {
    try {
      need();
      ADD_FAILURE() << "a stopped engine gave a session";
    } catch (const EQuireEngineError& error) {
      EXPECT_EQ(error.Code(), err::EngineNotInitialized);
      EXPECT_EQ(error.Message(), "Quire Engine Error # 10758 Quire engine not initialized");
    }
  }
  StopEngine();  // a second stop changes nothing
  EXPECT_FALSE(EngineStarted());
  if (wasStarted) StartEngine();
}

TEST(EngineLifecycle, ANewStartBeginsWithAFreshSession) {
  EngineScope engine;
  CurrentSession().AddPassword("kept until stop");
  StopEngine();
  StartEngine();
  EXPECT_FALSE(CurrentSession().TestPassword("kept until stop"));
}

TEST(EngineLifecycle, TheLastSessionMadeCurrentIsUsed) {
  EngineScope engine;
  TFileSession& defaultSession = DefaultSession();
  auto other = std::make_unique<TFileSession>();
  MakeSessionCurrent(*other);
  EXPECT_EQ(&CurrentSession(), other.get());
  EXPECT_EQ(&DefaultSession(), &defaultSession);
  MakeSessionCurrent(defaultSession);
  EXPECT_EQ(&CurrentSession(), &defaultSession);

  // A session freed while current must not stay current.
  MakeSessionCurrent(*other);
  other.reset();
  EXPECT_EQ(&CurrentSession(), &defaultSession);
}

TEST(EngineLifecycle, NoSessionIsCurrentWhileStoppedEvenIfOneWasMadeCurrent) {
  const bool wasStarted = EngineStarted();
  StopEngine();
  TFileSession own;
  MakeSessionCurrent(own);
  EXPECT_EQ(CurrentSessionOrNull(), nullptr);
  EXPECT_THROW(CurrentSession(), EQuireEngineError);
  StartEngine();
  EXPECT_EQ(&CurrentSession(), &DefaultSession());
  if (!wasStarted) StopEngine();
}

TEST(EngineLifecycle, SectionsAreReentrantAndShared) {
  std::recursive_mutex& memory = MemoryFileSection();
  std::recursive_mutex& format = FormatSettingsSection();
  EXPECT_NE(&memory, &format);
  EXPECT_EQ(&memory, &MemoryFileSection());
  std::lock_guard outer(memory);
  std::lock_guard inner(memory);  // the same thread may enter again
  bool otherThreadGotIn = true;
  std::thread([&] {
    otherThreadGotIn = memory.try_lock();
    if (otherThreadGotIn) memory.unlock();
  }).join();
  EXPECT_FALSE(otherThreadGotIn);
}

// A folder of its own for one test, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quire-session-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }
  void Touch(const std::string& name) const { std::ofstream(path_ + "/" + name) << ""; }

 private:
  std::string path_;
};

std::string ThreadIdPrefix() {
  return std::to_string(static_cast<long long>(::syscall(SYS_gettid))).substr(0, 5);
}

TEST(TempTableNames, CountUpPastFilesThatExist) {
  TempFolder folder;
  TFileSession session;
  session.SetPrivateDir(folder.Path());
  const std::string expectedStem = folder.Path() + "/" + ThreadIdPrefix();

  const std::string first = session.MakeTempTableName(false);
  EXPECT_EQ(first, expectedStem + "0.DAT");
  EXPECT_EQ(session.MakeTempTableName(false), first);  // nothing made it yet

  folder.Touch(ThreadIdPrefix() + "0.DAT");
  EXPECT_EQ(session.MakeTempTableName(false), expectedStem + "1.DAT");

  // Names match ignoring case, as the engine opens them.
  folder.Touch(ThreadIdPrefix() + "1.dat");
  EXPECT_EQ(session.MakeTempTableName(false), expectedStem + "2.DAT");
}

TEST(TempTableNames, PrefixIsTheFirstFiveDigitsOfTheThreadId) {
  TempFolder folder;
  TFileSession session;
  session.SetPrivateDir(folder.Path() + "/");  // a trailing separator is not doubled
  std::string fromThread, expectedPrefix;
  std::thread([&] {
    fromThread = session.MakeTempTableName(false);
    expectedPrefix = ThreadIdPrefix();
  }).join();
  EXPECT_EQ(fromThread, folder.Path() + "/" + expectedPrefix + "0.DAT");
  EXPECT_LE(expectedPrefix.size(), 5u);
}

TEST(TempTableNames, WithoutPrivateDirUseTheCurrentDirectory) {
  TempFolder folder;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder.Path());
  TFileSession session;
  folder.Touch(ThreadIdPrefix() + "0.DAT");
  const std::string name = session.MakeTempTableName(false);
  std::filesystem::current_path(before);
  EXPECT_EQ(name,
            std::filesystem::canonical(folder.Path()).string() + "/" + ThreadIdPrefix() + "1.DAT");
}

TEST(TempTableNames, InMemoryNamesCountPastTheSessionsMemoryFiles) {
  EngineScope engine;
  TFileSession session;
  const std::string first = session.MakeTempTableName(true);
  EXPECT_EQ(first, ThreadIdPrefix() + "0.DAT");  // no folder part without a private dir
  {
    std::lock_guard lock(MemoryFileSection());
    std::shared_ptr<TMemoryFile> file;
    ASSERT_GT(session.MemoryFiles().Create(first, file), 0);
  }
  EXPECT_EQ(session.MakeTempTableName(true), ThreadIdPrefix() + "1.DAT");

  // In-memory names never look at the disk.
  TempFolder folder;
  session.SetPrivateDir(folder.Path());
  folder.Touch(ThreadIdPrefix() + "0.DAT");
  EXPECT_EQ(session.MakeTempTableName(true), folder.Path() + "/" + ThreadIdPrefix() + "0.DAT");
}

TEST(PrivateDir, AcceptsUpTo255CharactersAndRefusesMore) {
  TFileSession session;
  const std::string fits = "/" + std::string(254, 'p');
  session.SetPrivateDir(fits);
  EXPECT_EQ(session.PrivateDir(), fits);
  try {
    session.SetPrivateDir(fits + "q");
    ADD_FAILURE() << "a 256-character folder was taken";
  } catch (const EQuireEngineError& error) {
    EXPECT_EQ(error.Code(), err::InvalidPath);
  }
  EXPECT_EQ(session.PrivateDir(), fits);
}

}  // namespace
}  // namespace quire
