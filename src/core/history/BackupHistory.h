// SPDX-License-Identifier: GPL-2.0-or-later
// The history of a backup directory: a git repository in the directory itself, one commit per
// backup that changed something. Works through libgit2, so no git program is needed, and on
// repositories made by git(1) as well as on the ones it creates.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvo::history {

struct HistoryResult {
  bool ok = false;
  // Why it failed, with libgit2's own reason when it has one; empty when ok.
  std::string error;
  bool committed = false;
  // The new commit's full hexadecimal id; empty when nothing was committed.
  std::string commitId;
};

// Opens the repository at directory (only there, never one of its parents), creating a
// non-bare one on branch "main" when the directory has none. Stages every file under the
// directory that is not ignored (additions, modifications, deletions) and commits with
// message when the staged tree differs from HEAD's, or, with no commit yet, is not empty.
// Author and committer come from git's configuration (user.name, user.email), else
// "kelvo-cli <kelvo-cli@localhost>".
[[nodiscard]] HistoryResult CommitChanges(const std::string& directory, const std::string& message);

struct PathChange {
  enum class Kind { Added, Modified, Deleted };
  Kind kind;
  // Relative to the directory, '/'-separated.
  std::string path;

  bool operator==(const PathChange&) const = default;
};

// The files whose content differs between the directory and its last commit, sorted by path;
// empty when there is nothing to commit. Without a repository every file counts as added and
// none is created. nullopt, with the reason in *error when error is not null, on failure.
[[nodiscard]] std::optional<std::vector<PathChange>> PendingChanges(const std::string& directory,
                                                                    std::string* error);

}  // namespace kelvo::history
