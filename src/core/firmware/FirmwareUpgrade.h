// SPDX-License-Identifier: GPL-2.0-or-later
// The "Update Firmware" window: the file name, the file dialog and the upgrade sequence. The
// chosen image is staged as <settings>/Firmware/application.dlf, an in-process TFTP server lends
// it to the device, and the UpgradeServerAddress set tells the device where to fetch it from.
// Everything here runs on the user-interface thread; only the transfer runs on the server's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/TftpServer.h"
#include "snmp/AgentSession.h"
#include "ui/Controls.h"

namespace kelvo::firmware {

inline constexpr std::string_view kUpdateFirmwareTitle = "Update Firmware";
inline constexpr std::string_view kSelectFirmwareTitle = "Select firmware...";
inline constexpr std::uint16_t kDefaultTftpPort = 69;

namespace messages {
inline constexpr std::string_view kEmptyFileName = "Please select a file to upgrade firmware!";
inline constexpr std::string_view kFileError = "File error! Please select a new one.";
inline constexpr std::string_view kUpgradeSucceeded =
    "Upgrade firmware successfully! System will reboot now...";
inline constexpr std::string_view kUpgradeFailed = "Upgrade firmware fail!";
}  // namespace messages

// One entry of the open dialog's filter list. The pattern is a file name glob; the firmware
// entry's "*dlf" has no dot on purpose, so any name ending in "dlf" matches.
struct FileFilter {
  std::string description;
  std::string pattern;
};

struct FileDialogRequest {
  std::string title;
  std::vector<FileFilter> filters;
  std::string defaultSuffix;
};

// The dialog that picks an existing file. GUI thread.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // The chosen file's full path; nullopt when the dialog was cancelled.
  virtual std::optional<std::string> ChooseExistingFile(const FileDialogRequest& request) = 0;
};

// "Browser..." asks for this.
FileDialogRequest FirmwareDialogRequest();

// settings path + "Firmware", nothing inserted: the setting carries its own separator.
std::string FirmwareDirectory(const std::string& settingsPath);
// FirmwareDirectory + "/application.dlf".
std::string StagedImagePath(const std::string& settingsPath);

// Copies source over target atomically; the target's directory must exist already.
bool StageImage(const std::string& source, const std::string& target);

// Shown before kUpgradeFailed when the server cannot lend the image: the address and port it
// tried and why it could not.
std::string ServerStartFailure(const std::string& address, std::uint16_t port,
                               const std::string& reason);

// The "Update F/W" button's request: the device gets ready for an image. False after the
// session's message.
bool PrepareUpgrade(snmp::AgentSession& session, const std::string& host);
// Tells the device to fetch its image from the TFTP server at serverAddress, which must be
// serving already. The device answers once its download has ended: true when it took the image.
bool TriggerDownload(snmp::AgentSession& session, const std::string& host,
                     const std::string& serverAddress);

struct FirmwareUpgradeSetup {
  snmp::AgentSession& session;
  std::string host;          // the access point being upgraded
  std::string settingsPath;  // with its trailing separator, or empty
  std::uint16_t tftpPort = kDefaultTftpPort;
  FileChooser* chooser = nullptr;  // "Browser..." does nothing without one
};

class FirmwareUpgrade {
 public:
  explicit FirmwareUpgrade(FirmwareUpgradeSetup setup);
  ~FirmwareUpgrade();
  FirmwareUpgrade(const FirmwareUpgrade&) = delete;
  FirmwareUpgrade& operator=(const FirmwareUpgrade&) = delete;

  // "File Name:" as the user sees and types it; no limit of its own.
  ui::TextField& FileName() { return fileName_; }
  ui::Button& BrowseButton() { return browseButton_; }
  ui::Button& UpgradeButton() { return upgradeButton_; }
  ui::Button& CancelButton() { return cancelButton_; }

  // False from the start of a transfer to its end: the window takes no input.
  bool WindowEnabled() const { return windowEnabled_; }
  bool IsOpen() const { return open_; }
  const std::string& Host() const { return setup_.host; }

  // "Browser...": the chosen path becomes the stored name; either way the field shows the
  // stored name again, so a name typed since the last Browse or Upgrade is dropped.
  void Browse();
  // "Upgrade": the whole sequence with its messages. True when the device took the upgrade.
  bool Upgrade();
  // "Cancel" and the title-bar close.
  void Cancel() { open_ = false; }

  // The running transfer, or how the last one ended; nullopt before the first.
  std::optional<TftpProgress> TransferProgress() const;

  // Called on the GUI thread when the window is disabled for the transfer, when the server
  // has stopped (the progress is final) and when the window is enabled again.
  void SetStateListener(std::function<void()> listener) { stateListener_ = std::move(listener); }

 private:
  void Show(std::string_view text);
  void SetWindowEnabled(bool enabled);
  void StopServer();
  void Changed();
  // Starts the server on the address that reaches the device and sends the set; false with
  // the reason shown when the server could not start.
  bool ServeAndTrigger(const std::string& image);

  FirmwareUpgradeSetup setup_;
  ui::TextField fileName_;
  ui::Button browseButton_{"Browser..."};
  ui::Button upgradeButton_{"Upgrade"};
  ui::Button cancelButton_{"Cancel"};
  // What the field shows after every use of the dialog: the last chosen or upgraded name.
  std::string storedName_;
  bool windowEnabled_ = true;
  bool open_ = true;
  std::unique_ptr<TftpServer> server_;
  std::optional<TftpProgress> lastProgress_;
  std::function<void()> stateListener_;
};

}  // namespace kelvo::firmware
