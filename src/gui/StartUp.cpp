// SPDX-License-Identifier: GPL-2.0-or-later
#include "StartUp.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <chrono>

#include "QtText.h"
#include "profiles/ProfileFile.h"
#include "util/UserDirectories.h"

namespace kelvo::gui {
namespace {

std::optional<std::uint16_t> ParsePort(const QString& text, bool allowZero) {
  bool ok = false;
  const uint value = text.toUInt(&ok);
  if (!ok || value > 65535 || (value == 0 && !allowZero)) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

QString StartOptionsUsage() {
  return QStringLiteral(
      "usage: kelvo [--agent-port P] [--listen-port P] [--discover-to ADDRESS]...\n"
      "             [--settings-path DIR] [--tftp-port T]\n"
      "       kelvo --help | --version\n"
      "  --agent-port P        the access points' SNMP port (161)\n"
      "  --listen-port P       the local port to listen on (161)\n"
      "  --tftp-port T         the port the firmware is served from during an upgrade (69)\n"
      "  --discover-to ADDRESS where discovery broadcasts go (repeatable; default: the\n"
      "                        limited broadcast and every interface's broadcast)\n"
      "  --settings-path DIR   where profiles and the firmware image are kept, instead of\n"
      "                        the per-machine Path setting or ~/.local/share/kelvo/\n"
      "  --version             print the version and end\n");
}

ParsedOptions ParseStartOptions(const QStringList& arguments) {
  StartOptions options;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& name = arguments[i];
    if (i + 1 >= arguments.size()) return {std::nullopt, name + QStringLiteral(" needs a value")};
    const QString& value = arguments[++i];
    if (name == QLatin1String("--agent-port") || name == QLatin1String("--listen-port")) {
      const auto port = ParsePort(value, name == QLatin1String("--listen-port"));
      if (!port) return {std::nullopt, QStringLiteral("not a port: ") + value};
      (name == QLatin1String("--agent-port") ? options.agentPort : options.listenPort) = *port;
    } else if (name == QLatin1String("--tftp-port")) {
      const auto port = ParsePort(value, false);
      if (!port) return {std::nullopt, QStringLiteral("not a port: ") + value};
      options.tftpPort = *port;
    } else if (name == QLatin1String("--discover-to")) {
      options.discoveryTargets.push_back(value.toStdString());
    } else if (name == QLatin1String("--settings-path")) {
      // A directory given here may lack the separator the setting carries.
      options.settingsPath =
          value.isEmpty() || value.endsWith(QLatin1Char('/')) ? value : value + QLatin1Char('/');
    } else if (name == QLatin1String("--screenshot-dir")) {
      options.screenshotDirectory = value;
    } else {
      return {std::nullopt, QStringLiteral("unknown option: ") + name};
    }
  }
  return {std::move(options), {}};
}

QString ReadSettingsPath() {
  const QSettings settings(QSettings::SystemScope, QStringLiteral("Norvane"),
                           QStringLiteral("Kelvodesk"));
  return settings.value(QStringLiteral("Path")).toString();
}

QString ChooseSettingsPath(const std::optional<QString>& given) {
  if (given) return *given;
  if (QString configured = ReadSettingsPath(); !configured.isEmpty()) return configured;
  return QString::fromStdString(util::PreparedDefaultSettingsPath());
}

QString ProfileDirectory(const QString& settingsPath) {
  return FromView(profiles::ProfileDirectory(settingsPath.toStdString()));
}

QString InstanceGuard::DefaultDirectory() {
  // $XDG_RUNTIME_DIR, else a private directory Qt makes under /tmp. Should neither be usable,
  // the user's data directory: never the directory the program was started in.
  QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (runtime.isEmpty()) runtime = QString::fromStdString(util::DefaultSettingsPath());
  return runtime;
}

InstanceGuard::InstanceGuard(const QString& path) : lock_(path) {
  // A lock is stale when its holder no longer runs. Age must never count, since the first copy
  // may run for weeks; a stale time of 0 would switch off the holder check as well.
  lock_.setStaleLockTime(std::chrono::hours(24 * 365 * 10));
}

std::unique_ptr<InstanceGuard> InstanceGuard::Acquire(const QString& directory) {
  const QString dir = directory.isEmpty() ? DefaultDirectory() : directory;
  QDir().mkpath(dir);
  auto guard = std::make_unique<InstanceGuard>(QDir(dir).filePath(QLatin1String(kLockName)));
  if (!guard->lock_.tryLock(0)) return nullptr;
  return guard;
}

}  // namespace kelvo::gui
