// SPDX-License-Identifier: GPL-2.0-or-later
#include <git2.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "history/BackupHistory.h"

namespace kelvo::history {
namespace {

namespace fs = std::filesystem;
using Kind = PathChange::Kind;
using Changes = std::vector<PathChange>;
using Files = std::vector<std::string>;

// Reads what the history wrote back through libgit2 itself.
class BackupHistoryTest : public ::testing::Test {
 protected:
  BackupHistoryTest()
      : root_(fs::temp_directory_path() /
              ("kelvo-history-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    git_libgit2_init();
    fs::create_directories(root_);
  }
  ~BackupHistoryTest() override {
    fs::remove_all(root_);
    git_libgit2_shutdown();
  }

  static void Put(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  // HEAD of the repository in directory: its branch, its commit and "path=contents" for each
  // file of the commit's tree.
  struct Head {
    git_repository* repository = nullptr;
    std::string branch, id, message;
    Files parents, files;
  };
  static Head ReadHead(const fs::path& directory) {
    Head head;
    git_reference* branch = nullptr;
    git_commit* commit = nullptr;
    git_tree* tree = nullptr;
    if (git_repository_open(&head.repository, directory.c_str()) != 0 ||
        git_repository_head(&branch, head.repository) != 0 ||
        git_commit_lookup(&commit, head.repository, git_reference_target(branch)) != 0 ||
        git_commit_tree(&tree, commit) != 0) {
      ADD_FAILURE() << "no HEAD commit in " << directory;
      return head;
    }
    head.branch = git_reference_name(branch);
    head.id = git_oid_tostr_s(git_commit_id(commit));
    head.message = git_commit_message(commit);
    for (unsigned i = 0; i < git_commit_parentcount(commit); ++i) {
      head.parents.push_back(git_oid_tostr_s(git_commit_parent_id(commit, i)));
    }
    git_tree_walk(
        tree, GIT_TREEWALK_PRE,
        [](const char* dir, const git_tree_entry* entry, void* data) {
          auto& out = *static_cast<Head*>(data);
          git_blob* blob = nullptr;
          if (git_blob_lookup(&blob, out.repository, git_tree_entry_id(entry)) != 0) return 0;
          out.files.push_back(std::string(dir) + git_tree_entry_name(entry) + "=" +
                              std::string(static_cast<const char*>(git_blob_rawcontent(blob)),
                                          git_blob_rawsize(blob)));
          git_blob_free(blob);
          return 0;
        },
        &head);
    git_tree_free(tree);
    git_commit_free(commit);
    git_reference_free(branch);
    git_repository_free(head.repository);
    return head;
  }

  fs::path root_;
};

// A backup directory inside another repository, through a first backup, an unchanged one and
// one that modifies, adds and deletes.
TEST_F(BackupHistoryTest, CommitsOnlyWhatChanged) {
  git_repository* outer = nullptr;
  ASSERT_EQ(git_repository_init(&outer, root_.c_str(), 0), 0);
  git_repository_free(outer);
  const fs::path dir = root_ / "backup";
  fs::create_directories(dir);
  const HistoryResult empty = CommitChanges(dir, "nothing");
  EXPECT_TRUE(empty.ok && !empty.committed) << empty.error;

  Put(dir / "10.0.0.1.kvp", "one");
  Put(dir / "lab/10.0.0.2.kvp", "two");
  EXPECT_EQ(PendingChanges(dir, nullptr),
            (Changes{{Kind::Added, "10.0.0.1.kvp"}, {Kind::Added, "lab/10.0.0.2.kvp"}}));
  const HistoryResult first = CommitChanges(dir, "Backup of 2 access points  \n\n");
  ASSERT_TRUE(first.ok && first.committed) << first.error;
  const Head head = ReadHead(dir);
  EXPECT_EQ(head.branch, "refs/heads/main");
  EXPECT_EQ(head.id, first.commitId);
  EXPECT_EQ(head.message, "Backup of 2 access points\n");
  EXPECT_EQ(head.parents, Files{});
  EXPECT_EQ(head.files, (Files{"10.0.0.1.kvp=one", "lab/10.0.0.2.kvp=two"}));

  const HistoryResult again = CommitChanges(dir, "unchanged");
  EXPECT_TRUE(again.ok && !again.committed) << again.error;
  EXPECT_EQ(ReadHead(dir).id, first.commitId);
  EXPECT_EQ(PendingChanges(dir, nullptr), Changes{});

  Put(dir / "10.0.0.1.kvp", "one, changed");
  Put(dir / "10.0.0.3.kvp", "three");
  fs::remove(dir / "lab/10.0.0.2.kvp");
  EXPECT_EQ(PendingChanges(dir, nullptr), (Changes{{Kind::Modified, "10.0.0.1.kvp"},
                                                   {Kind::Added, "10.0.0.3.kvp"},
                                                   {Kind::Deleted, "lab/10.0.0.2.kvp"}}));
  const HistoryResult second = CommitChanges(dir, "Second");
  ASSERT_TRUE(second.ok && second.committed) << second.error;
  const Head next = ReadHead(dir);
  EXPECT_EQ(next.id, second.commitId);
  EXPECT_EQ(next.parents, Files{first.commitId});
  EXPECT_EQ(next.files, (Files{"10.0.0.1.kvp=one, changed", "10.0.0.3.kvp=three"}));
  EXPECT_EQ(PendingChanges(dir, nullptr), Changes{});
}

TEST_F(BackupHistoryTest, RefusesWhatIsNoDirectory) {
  Put(root_ / "file", "x");
  const std::pair<fs::path, std::string> cases[] = {{root_ / "file", "not a directory"},
                                                    {root_ / "missing", "No such file"}};
  for (const auto& [path, reason] : cases) {
    const std::string expected = path.string() + ": " + reason;
    const HistoryResult result = CommitChanges(path, "x");
    EXPECT_FALSE(result.ok || result.committed);
    EXPECT_EQ(result.error.rfind(expected, 0), 0U) << result.error;
    std::string error;
    EXPECT_EQ(PendingChanges(path, &error), std::nullopt);
    EXPECT_EQ(error.rfind(expected, 0), 0U) << error;
  }
  EXPECT_FALSE(fs::exists(root_ / "missing"));
}

}  // namespace
}  // namespace kelvo::history
