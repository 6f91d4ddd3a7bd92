// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "util/FileReplacer.h"

namespace kelvo::util {
namespace {

namespace fs = std::filesystem;

// Takes the first `budget` bytes, then fails as a full disk does.
class FailingReplacer final : public FileReplacer {
 public:
  explicit FailingReplacer(std::size_t budget) : budget_(budget) {}

 protected:
  ssize_t WriteSome(int fd, const char* data, std::size_t size) override {
    if (budget_ == 0) {
      errno = ENOSPC;
      return -1;
    }
    const std::size_t now = std::min(size, budget_);
    budget_ -= now;
    return FileReplacer::WriteSome(fd, data, now);
  }

 private:
  std::size_t budget_;
};

class FileReplacerTest : public ::testing::Test {
 protected:
  FileReplacerTest()
      : dir_(fs::temp_directory_path() /
             ("kelvo-replace-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~FileReplacerTest() override { fs::remove_all(dir_); }

  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(FileReplacerTest, ReplacesWholeAndKeepsPermissions) {
  const std::string path = Path("office.kvp");
  FileReplacer replacer;
  ASSERT_TRUE(replacer.Replace(path, "first\r\n"));
  EXPECT_EQ(Contents(path), "first\r\n");
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(replacer.Replace(path, "second"));
  EXPECT_EQ(Contents(path), "second");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(Names(), std::vector<std::string>{"office.kvp"});
}

TEST_F(FileReplacerTest, AFailedWriteLeavesTheOldFileAndNoLeftovers) {
  const std::string path = Path("office.kvp");
  Put(path, "old profile");
  for (std::size_t budget : {0u, 1u, 10u}) {
    FailingReplacer replacer(budget);
    EXPECT_FALSE(replacer.Replace(path, "a new profile that does not fit")) << budget;
    EXPECT_EQ(Contents(path), "old profile");
    EXPECT_EQ(Names(), std::vector<std::string>{"office.kvp"});
  }
  // Without an old file, nothing appears.
  FailingReplacer replacer(3);
  EXPECT_FALSE(replacer.Replace(Path("new.kvp"), "profile"));
  EXPECT_EQ(Names(), std::vector<std::string>{"office.kvp"});
}

TEST_F(FileReplacerTest, MissingDirectoryFails) {
  FileReplacer replacer;
  EXPECT_FALSE(replacer.Replace((dir_ / "absent" / "x.kvp").string(), "x"));
  EXPECT_FALSE(fs::exists(dir_ / "absent"));
}

// The kernel's own refusal: a file size limit makes write(2) fail part way, as a full file
// system does.
TEST_F(FileReplacerTest, TheKernelRefusingPartWayLeavesTheOldFile) {
  const std::string path = Path("office.kvp");
  Put(path, "old profile");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16, 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    FileReplacer replacer;
    ::_exit(replacer.Replace(path, std::string(100, 'p')) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write past the limit was reported as done";
  EXPECT_EQ(Contents(path), "old profile");
  EXPECT_EQ(Names(), std::vector<std::string>{"office.kvp"});
}

}  // namespace
}  // namespace kelvo::util
