// Where a program keeps usersong and Data, and the copies an installed
// program makes of them in the user's own folder.
#include "platform/DataFolder.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace lyrabook {
namespace {

namespace fs = std::filesystem;

// The demo files an installation puts in <prefix>/share/lyrabook.
const std::vector<std::pair<std::string, std::string>> kDemoFiles = {
    {"usersong/10001.txt", "song one"},
    {"usersong/A0005.TXT", "song five"},
    {"usersong/more/20001.lyr", "a lyric in a sub-folder"},
    {"Data/Song.DAT", std::string("table\0bytes", 11)},
};

class DataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lyrabook-datafolder-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    bin_ = root_ / "prefix" / "bin";
    demo_ = root_ / "prefix" / "share" / "lyrabook";
    dataHome_ = root_ / "home" / ".local" / "share";
    fs::create_directories(bin_);
  }
  void TearDown() override {
    // Give back what a test took away, so that the folder can go.
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      if (!entry.is_symlink())
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    }
    fs::remove_all(root_);
  }

  static void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  static std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
  }

  void Install() {
    for (const auto& [name, text] : kDemoFiles) Write(demo_ / name, text);
  }
  std::string ProgramFolder() const { return bin_.string() + "/"; }
  std::string UserFolder() const { return (dataHome_ / "lyrabook").string() + "/"; }
  TDataFolder Installed() const { return FindDataFolder(ProgramFolder(), dataHome_.string()); }
  void ExpectWholeCopy() const {
    for (const auto& [name, text] : kDemoFiles) {
      EXPECT_EQ(Read(fs::path(UserFolder()) / name), text) << name;
    }
    // Nothing made aside is left over.
    EXPECT_EQ(Names(UserFolder()), (std::set<std::string>{"Data", "usersong"}));
  }

  fs::path root_, bin_, demo_, dataHome_;
};

TEST_F(DataFolderTest, AProgramWithItsFoldersBesideItUsesItsOwnFolder) {
  Install();
  for (const char* name : {"usersong", "Data"}) {
    fs::create_directory(bin_ / name);
    const TDataFolder data = Installed();
    EXPECT_EQ(data.folder, ProgramFolder()) << name;
    EXPECT_EQ(data.demoFolder, "") << name;
    fs::remove(bin_ / name);
  }
}

TEST_F(DataFolderTest, AProgramWithoutAnInstalledDemoUsesItsOwnFolder) {
  // A build folder's bin/: the window then reports the missing usersong
  // beside the program.
  const TDataFolder data = Installed();
  EXPECT_EQ(data.folder, ProgramFolder());
  EXPECT_EQ(data.demoFolder, "");
  SeedDataFolder(data);
  EXPECT_EQ(Names(bin_), std::set<std::string>{});
  EXPECT_FALSE(fs::exists(dataHome_));
}

TEST_F(DataFolderTest, AnInstalledProgramUsesTheUsersFolder) {
  Install();
  const TDataFolder data = Installed();
  EXPECT_EQ(data.folder, UserFolder());
  EXPECT_EQ(data.demoFolder, demo_.string() + "/");
  // Finding it makes nothing.
  EXPECT_FALSE(fs::exists(dataHome_));
}

TEST_F(DataFolderTest, AnInstallationIntoTheUsersDataHomeIsUsedInPlace) {
  // Installed with --prefix ~/.local: the demo folder is the data folder.
  bin_ = dataHome_.parent_path() / "bin";
  demo_ = dataHome_ / "lyrabook";
  fs::create_directories(bin_);
  Install();
  const TDataFolder data = Installed();
  EXPECT_EQ(data.folder, UserFolder());
  SeedDataFolder(data);
  ExpectWholeCopy();
}

TEST_F(DataFolderTest, SeedingCopiesTheDemoFoldersWhole) {
  Install();
  SeedDataFolder(Installed());
  ExpectWholeCopy();
  // The copies are the user's own: changing them leaves the installation as it was.
  Write(fs::path(UserFolder()) / "usersong/10001.txt", "changed");
  EXPECT_EQ(Read(demo_ / "usersong/10001.txt"), "song one");
}

TEST_F(DataFolderTest, SeedingKeepsWhatTheUserHas) {
  Install();
  const fs::path user(UserFolder());
  Write(user / "usersong/10001.txt", "the user's own text");
  Write(user / "usersong/mine.txt", "a song of the user's");
  SeedDataFolder(Installed());

  EXPECT_EQ(Read(user / "usersong/10001.txt"), "the user's own text");
  EXPECT_EQ(Names(user / "usersong"), (std::set<std::string>{"10001.txt", "mine.txt"}));
  // The folder the user did not have yet is copied.
  EXPECT_EQ(Read(user / "Data/Song.DAT"), kDemoFiles.back().second);

  // A folder the user removed comes back on the next start.
  fs::remove_all(user / "usersong");
  SeedDataFolder(Installed());
  ExpectWholeCopy();
}

TEST_F(DataFolderTest, CopiesOfReadOnlyInstalledFilesAreWritableByTheirOwner) {
  Install();
  for (const auto& entry : fs::recursive_directory_iterator(demo_)) {
    fs::permissions(entry.path(),
                    entry.is_directory() ? fs::perms::owner_read | fs::perms::owner_exec |
                                               fs::perms::group_read | fs::perms::others_read
                                         : fs::perms::owner_read | fs::perms::group_read,
                    fs::perm_options::replace);
  }
  SeedDataFolder(Installed());
  ExpectWholeCopy();
  for (const auto& entry : fs::recursive_directory_iterator(UserFolder())) {
    EXPECT_NE(entry.status().permissions() & fs::perms::owner_write, fs::perms::none)
        << entry.path();
  }
}

TEST_F(DataFolderTest, ProgramsStartingTogetherSeeOneWholeCopy) {
  Install();
  const TDataFolder data = Installed();
  std::vector<std::optional<std::string>> errors(4);
  std::vector<std::thread> programs;
  for (auto& error : errors) {
    programs.emplace_back([&data, &error] {
      try {
        SeedDataFolder(data);
      } catch (const std::exception& e) {
        error = e.what();
      }
    });
  }
  for (auto& program : programs) program.join();
  for (const auto& error : errors) EXPECT_FALSE(error.has_value()) << *error;
  ExpectWholeCopy();
}

TEST_F(DataFolderTest, ACopyThatFailsRaisesAndLeavesNothingHalfMade) {
  Install();
  // A file that cannot be copied, after the ones that can.
  ASSERT_EQ(::mkfifo((demo_ / "usersong/zz-pipe").c_str(), 0644), 0);
  EXPECT_THROW(SeedDataFolder(Installed()), fs::filesystem_error);
  EXPECT_EQ(Names(UserFolder()), std::set<std::string>{});

  // A data home that cannot be made.
  fs::remove(demo_ / "usersong/zz-pipe");
  fs::remove_all(dataHome_);
  Write(dataHome_, "a file where the folder should be");
  EXPECT_THROW(SeedDataFolder(Installed()), fs::filesystem_error);
}

// Sets an environment variable (or unsets it) for one test.
class TEnvironment {
 public:
  TEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~TEnvironment() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(UserDataHome, IsXdgDataHomeWhenThatIsAnAbsolutePath) {
  TEnvironment home("HOME", "/home/somebody");
  {
    TEnvironment xdg("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(UserDataHome(), "/srv/data");
  }
  // A relative path or an empty one is ignored, as the XDG rules say.
  for (const char* ignored : {"relative/data", "", static_cast<const char*>(nullptr)}) {
    TEnvironment xdg("XDG_DATA_HOME", ignored);
    EXPECT_EQ(UserDataHome(), "/home/somebody/.local/share") << (ignored ? ignored : "(unset)");
  }
}

TEST(UserDataHome, FallsBackToThePasswordDatabaseWithoutHome) {
  TEnvironment xdg("XDG_DATA_HOME", nullptr);
  TEnvironment home("HOME", nullptr);
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(UserDataHome(), (fs::path(entry->pw_dir) / ".local" / "share").string());
}

}  // namespace
}  // namespace lyrabook
