// SPDX-License-Identifier: GPL-2.0-or-later
#include "history/BackupHistory.h"

#include <git2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace kelvo::history {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBranch = "main";
constexpr const char* kFallbackName = "kelvo-cli";
constexpr const char* kFallbackEmail = "kelvo-cli@localhost";

// libgit2's global state, set up on first use and released at exit. Initialisation of a
// function-local static is thread-safe, so concurrent first calls set it up once.
class Library {
 public:
  Library() { git_libgit2_init(); }
  ~Library() { git_libgit2_shutdown(); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
};

void UseLibrary() { static const Library library; }

template <typename T, auto Free>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};
template <typename T, auto Free>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

using Repository = Owned<git_repository, git_repository_free>;
using Index = Owned<git_index, git_index_free>;
using Reference = Owned<git_reference, git_reference_free>;
using Commit = Owned<git_commit, git_commit_free>;
using Tree = Owned<git_tree, git_tree_free>;
using Signature = Owned<git_signature, git_signature_free>;
using Diff = Owned<git_diff, git_diff_free>;

// "what: libgit2's reason".
std::string Failure(const std::string& what) {
  const git_error* last = git_error_last();
  return what + ": " + (last != nullptr && last->message != nullptr ? last->message : "failed");
}

// Empty when directory is a directory we may read (and, with forWriting, write); else why not.
std::string CheckDirectory(const std::string& directory, bool forWriting) {
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0) return directory + ": " + std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return directory + ": not a directory";
  if (forWriting && ::access(directory.c_str(), W_OK) != 0) {
    return directory + ": not writable: " + std::strerror(errno);
  }
  return {};
}

// Opens the repository whose working directory is directory; a parent's repository does not
// count. Without one, creates it when create is set and otherwise leaves *out null.
std::string Open(const std::string& directory, bool create, Repository& out) {
  git_repository* repository = nullptr;
  int status = git_repository_open_ext(&repository, directory.c_str(),
                                       GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr);
  if (status == GIT_ENOTFOUND) {
    if (!create) return {};
    git_repository_init_options options{};
    git_repository_init_options_init(&options, GIT_REPOSITORY_INIT_OPTIONS_VERSION);
    options.flags = GIT_REPOSITORY_INIT_NO_REINIT;
    options.initial_head = kBranch;
    status = git_repository_init_ext(&repository, directory.c_str(), &options);
    if (status < 0) return Failure("cannot create a repository in " + directory);
  } else if (status < 0) {
    return Failure("cannot open the repository in " + directory);
  }
  out.reset(repository);
  if (git_repository_is_bare(repository)) return directory + " is a bare repository";
  return {};
}

// The commit HEAD names, left null while the branch has none yet.
std::string HeadCommit(git_repository* repository, Commit& out) {
  git_reference* head = nullptr;
  const int status = git_repository_head(&head, repository);
  if (status == GIT_EUNBORNBRANCH || status == GIT_ENOTFOUND) return {};
  if (status < 0) return Failure("cannot read HEAD");
  const Reference owned(head);
  git_object* peeled = nullptr;
  if (git_reference_peel(&peeled, head, GIT_OBJECT_COMMIT) < 0) {
    return Failure("cannot read HEAD's commit");
  }
  out.reset(reinterpret_cast<git_commit*>(peeled));
  return {};
}

// The configured identity, else the program's own, both dated now.
Signature Author(git_repository* repository) {
  git_signature* signature = nullptr;
  if (git_signature_default(&signature, repository) < 0 &&
      git_signature_now(&signature, kFallbackName, kFallbackEmail) < 0) {
    return nullptr;
  }
  return Signature(signature);
}

// Stages the whole working directory and writes its tree; changed tells whether the tree
// differs from the parent's (or, without a parent, is not empty).
std::string Stage(git_repository* repository, const git_commit* parent, git_oid& tree,
                  bool& changed, Index& out) {
  git_index* index = nullptr;
  if (git_repository_index(&index, repository) < 0) return Failure("cannot read the index");
  out.reset(index);
  // Picks up new and modified files and drops the deleted ones, as `git add --all` does.
  if (git_index_add_all(index, nullptr, GIT_INDEX_ADD_DEFAULT, nullptr, nullptr) < 0) {
    return Failure("cannot stage the files");
  }
  if (git_index_write_tree(&tree, index) < 0) return Failure("cannot write the tree");
  changed = parent != nullptr ? !git_oid_equal(&tree, git_commit_tree_id(parent))
                              : git_index_entrycount(index) > 0;
  return {};
}

// git's own cleanup of a message: no trailing blanks, one final newline.
std::string Tidy(const std::string& message) {
  git_buf buffer = GIT_BUF_INIT;
  std::string tidy = message;
  if (git_message_prettify(&buffer, message.c_str(), 0, '#') == 0) tidy.assign(buffer.ptr);
  git_buf_dispose(&buffer);
  return tidy;
}

// Stages and, when that changed the tree, commits.
HistoryResult Record(const std::string& directory, const std::string& message) {
  HistoryResult result;
  Repository repository;
  Commit parent;
  Index index;
  git_oid treeId{};
  bool changed = false;
  result.error = Open(directory, true, repository);
  if (result.error.empty()) result.error = HeadCommit(repository.get(), parent);
  if (result.error.empty()) {
    result.error = Stage(repository.get(), parent.get(), treeId, changed, index);
  }
  if (!result.error.empty()) return result;
  if (!changed) {
    result.ok = true;
    return result;
  }

  if (git_index_write(index.get()) < 0) {
    result.error = Failure("cannot write the index");
    return result;
  }
  git_tree* tree = nullptr;
  if (git_tree_lookup(&tree, repository.get(), &treeId) < 0) {
    result.error = Failure("cannot read the new tree");
    return result;
  }
  const Tree ownedTree(tree);
  const Signature author = Author(repository.get());
  if (!author) {
    result.error = Failure("cannot make the commit's signature");
    return result;
  }
  const git_commit* parents[] = {parent.get()};
  git_oid commitId{};
  if (git_commit_create(&commitId, repository.get(), "HEAD", author.get(), author.get(), nullptr,
                        Tidy(message).c_str(), tree, parent ? 1 : 0, parents) < 0) {
    result.error = Failure("cannot commit");
    return result;
  }
  result.ok = true;
  result.committed = true;
  result.commitId = git_oid_tostr_s(&commitId);
  return result;
}

// Every file under directory, as added: what the first commit of a new repository would hold.
std::string ListAll(const std::string& directory, std::vector<PathChange>& out) {
  std::error_code error;
  fs::recursive_directory_iterator it(directory, error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path& path = it->path();
    if (path.filename() == ".git") {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_symlink(error) || it->is_regular_file(error)) {
      out.push_back({PathChange::Kind::Added, path.lexically_relative(directory).generic_string()});
    }
  }
  if (error) return directory + ": " + error.message();
  std::sort(out.begin(), out.end(),
            [](const PathChange& a, const PathChange& b) { return a.path < b.path; });
  return {};
}

// HEAD's tree against the working directory, the index serving only as a cache of file
// hashes; untracked files count as added, ignored ones not at all, as in a commit.
std::string Compare(git_repository* repository, std::vector<PathChange>& out) {
  Commit head;
  if (std::string error = HeadCommit(repository, head); !error.empty()) return error;
  git_tree* tree = nullptr;
  if (head && git_commit_tree(&tree, head.get()) < 0) return Failure("cannot read HEAD's tree");
  const Tree ownedTree(tree);
  git_diff_options options{};
  git_diff_options_init(&options, GIT_DIFF_OPTIONS_VERSION);
  options.flags =
      GIT_DIFF_INCLUDE_UNTRACKED | GIT_DIFF_RECURSE_UNTRACKED_DIRS | GIT_DIFF_INCLUDE_TYPECHANGE;
  git_diff* diff = nullptr;
  if (git_diff_tree_to_workdir(&diff, repository, tree, &options) < 0) {
    return Failure("cannot compare the files with HEAD");
  }
  const Diff ownedDiff(diff);
  for (std::size_t i = 0; i < git_diff_num_deltas(diff); ++i) {
    const git_diff_delta* delta = git_diff_get_delta(diff, i);
    switch (delta->status) {
      case GIT_DELTA_ADDED:
      case GIT_DELTA_UNTRACKED:
        out.push_back({PathChange::Kind::Added, delta->new_file.path});
        break;
      case GIT_DELTA_DELETED:
        out.push_back({PathChange::Kind::Deleted, delta->old_file.path});
        break;
      case GIT_DELTA_MODIFIED:
      case GIT_DELTA_TYPECHANGE:
        out.push_back({PathChange::Kind::Modified, delta->new_file.path});
        break;
      default:
        break;
    }
  }
  return {};
}

}  // namespace

HistoryResult CommitChanges(const std::string& directory, const std::string& message) {
  UseLibrary();
  if (std::string error = CheckDirectory(directory, true); !error.empty()) {
    return {.ok = false, .error = std::move(error), .committed = false, .commitId = {}};
  }
  return Record(directory, message);
}

std::optional<std::vector<PathChange>> PendingChanges(const std::string& directory,
                                                      std::string* error) {
  UseLibrary();
  std::vector<PathChange> changes;
  std::string failure = CheckDirectory(directory, false);
  Repository repository;
  if (failure.empty()) failure = Open(directory, false, repository);
  if (failure.empty()) {
    failure = repository ? Compare(repository.get(), changes) : ListAll(directory, changes);
  }
  if (failure.empty()) return changes;
  if (error != nullptr) *error = std::move(failure);
  return std::nullopt;
}

}  // namespace kelvo::history
