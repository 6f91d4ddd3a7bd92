// SPDX-License-Identifier: GPL-2.0-or-later
// What start-up decides before any window exists: the command-line options, the settings
// path with the profile directory, and the guard that keeps a second copy from running.
#pragma once

#include <QLockFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::gui {

struct StartOptions {
  std::uint16_t agentPort = 161;
  std::uint16_t listenPort = 161;
  // Empty: the limited broadcast and every interface's directed broadcast.
  std::vector<std::string> discoveryTargets;
  // Where the firmware server listens during an upgrade.
  std::uint16_t tftpPort = 69;
  // Overrides the per-machine setting when given.
  std::optional<QString> settingsPath;
  // Where the single-instance lock lives; empty means the user's runtime directory.
  QString lockDirectory;
  // Not for users: write pictures of the windows there, then quit.
  QString screenshotDirectory;
};

struct ParsedOptions {
  std::optional<StartOptions> options;  // nullopt when the command line is wrong
  QString error;
};

// arguments without the program name; --help and --version are answered before Qt starts,
// by main.
ParsedOptions ParseStartOptions(const QStringList& arguments);
QString StartOptionsUsage();

// The per-machine "Path" setting (system scope, Norvane/Kelvodesk); empty when missing.
QString ReadSettingsPath();
// The settings path of a run: the one given on the command line; else the per-machine
// setting; else the user's data directory, where Profile/ and Firmware/ are made on first use.
QString ChooseSettingsPath(const std::optional<QString>& given);
// The profile store's directory for a settings path: the path followed by "Profile/", the
// relative "Profile/" when the path is empty.
QString ProfileDirectory(const QString& settingsPath);

// Held for the whole run. A lock left behind by a copy that crashed does not count.
class InstanceGuard {
 public:
  static constexpr const char* kLockName = "KV5521.lock";
  // nullopt when another copy holds the lock.
  static std::unique_ptr<InstanceGuard> Acquire(const QString& directory);
  static QString DefaultDirectory();

  explicit InstanceGuard(const QString& path);

 private:
  QLockFile lock_;
};

}  // namespace kelvo::gui
