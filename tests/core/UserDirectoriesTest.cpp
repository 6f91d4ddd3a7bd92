// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "util/UserDirectories.h"

namespace kelvo::util {
namespace {

namespace fs = std::filesystem;

// Sets or unsets a variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(UserDirectoriesTest, DefaultSettingsPathIsNeverRelative) {
  struct Case {
    std::optional<std::string> dataHome;
    std::optional<std::string> home;
    std::string expected;
  };
  const Case cases[] = {
      {"/srv/data", "/home/ann", "/srv/data/kelvo/"},
      {"/srv/data/", "/home/ann", "/srv/data/kelvo/"},
      {std::nullopt, "/home/ann", "/home/ann/.local/share/kelvo/"},
      // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
      {"data", "/home/ann", "/home/ann/.local/share/kelvo/"},
      {"", "/home/ann/", "/home/ann/.local/share/kelvo/"},
      {std::nullopt, "relative", ""},
      {std::nullopt, std::nullopt, ""},
  };
  for (const Case& c : cases) {
    const ScopedVariable dataHome("XDG_DATA_HOME", c.dataHome);
    const ScopedVariable home("HOME", c.home);
    EXPECT_EQ(DefaultSettingsPath(), c.expected)
        << c.dataHome.value_or("(unset)") << " " << c.home.value_or("(unset)");
  }
}

TEST(UserDirectoriesTest, CreatesPrivateDirectoriesOnceAndKeepsWhatIsThere) {
  const fs::path root = fs::path(::testing::TempDir()) / "kelvo-user-directories";
  fs::remove_all(root);
  const std::string settings = (root / "share" / "kelvo").string() + "/";
  ASSERT_TRUE(CreateSettingsDirectories(settings));
  for (const char* directory : {"", "Profile", "Firmware"}) {
    struct stat status {};
    ASSERT_EQ(::stat((settings + directory).c_str(), &status), 0) << directory;
    EXPECT_EQ(status.st_mode & 0777, 0700U) << directory;
  }
  // A second start finds everything in place; a profile saved meanwhile stays.
  { std::ofstream(settings + "Profile/Lobby.kvp") << "kept"; }
  EXPECT_TRUE(CreateSettingsDirectories(settings));
  EXPECT_TRUE(fs::exists(settings + "Profile/Lobby.kvp"));

  // A file where a directory belongs is a failure, not a silent success.
  fs::remove_all(settings + "Firmware");
  { std::ofstream(settings + "Firmware") << "in the way"; }
  EXPECT_FALSE(CreateSettingsDirectories(settings));
  fs::remove_all(root);
}

}  // namespace
}  // namespace kelvo::util
