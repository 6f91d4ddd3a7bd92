// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware/FirmwareUpgrade.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "mib/MibVariables.h"
#include "snmp/SnmpComponent.h"
#include "util/FileReplacer.h"

namespace kelvo::firmware {
namespace {

// The whole image, or nullopt when it cannot be read as a regular file. O_NONBLOCK: opening
// a FIFO must not wait for a writer (nor a device for its line); regular files ignore it.
std::optional<std::string> ReadImage(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    bytes.emplace();
    bytes->reserve(static_cast<std::size_t>(info.st_size));
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        bytes.reset();
        break;
      }
      if (n == 0) break;
      bytes->append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return bytes;
}

}  // namespace

FileDialogRequest FirmwareDialogRequest() {
  return {std::string(kSelectFirmwareTitle),
          {{"Firmware (*.dlf)", "*dlf"}, {"All Files (*.*)", "*.*"}},
          "dlf"};
}

std::string FirmwareDirectory(const std::string& settingsPath) { return settingsPath + "Firmware"; }

std::string StagedImagePath(const std::string& settingsPath) {
  return FirmwareDirectory(settingsPath) + "/" + std::string(kFirmwareFileName);
}

bool StageImage(const std::string& source, const std::string& target) {
  const auto bytes = ReadImage(source);
  if (!bytes) return false;
  // The replacer writes beside the target and never creates its directory.
  util::FileReplacer replacer;
  return replacer.Replace(target, *bytes);
}

std::string ServerStartFailure(const std::string& address, std::uint16_t port,
                               const std::string& reason) {
  const std::string endpoint = address + ":" + std::to_string(port);
  // The server names the endpoint in a bind failure too; it is said once.
  std::string_view why = reason;
  if (const std::string bind = "cannot bind " + endpoint + ": "; why.starts_with(bind)) {
    why.remove_prefix(bind.size());
  }
  return "TFTP server could not start on " + endpoint + ": " + std::string(why);
}

bool PrepareUpgrade(snmp::AgentSession& session, const std::string& host) {
  return session.SetSingleValue(snmp::SetKind::Integer, host,
                                mib::FullOid(mib::Variable::UpgradePrepare), "1");
}

bool TriggerDownload(snmp::AgentSession& session, const std::string& host,
                     const std::string& serverAddress) {
  return session.SetSingleValue(snmp::SetKind::IpAddress, host,
                                mib::FullOid(mib::Variable::UpgradeServerAddress), serverAddress);
}

FirmwareUpgrade::FirmwareUpgrade(FirmwareUpgradeSetup setup) : setup_(std::move(setup)) {
  // A path on this computer, not a text for the device.
  fileName_.SetEncoding(ui::TextEncoding::Local);
}

FirmwareUpgrade::~FirmwareUpgrade() = default;

void FirmwareUpgrade::Show(std::string_view text) {
  setup_.session.Prompter().ShowMessage(text, ui::kApplicationCaption, ui::MessageIcon::None);
}

void FirmwareUpgrade::Changed() {
  if (stateListener_) stateListener_();
}

void FirmwareUpgrade::SetWindowEnabled(bool enabled) {
  if (windowEnabled_ == enabled) return;
  windowEnabled_ = enabled;
  Changed();
}

void FirmwareUpgrade::StopServer() {
  if (!server_) return;
  server_->Stop();
  lastProgress_ = server_->Progress();
  server_.reset();
  Changed();
}

void FirmwareUpgrade::Browse() {
  if (setup_.chooser != nullptr) {
    if (auto chosen = setup_.chooser->ChooseExistingFile(FirmwareDialogRequest())) {
      storedName_ = std::move(*chosen);
    }
  }
  fileName_.SetText(storedName_);
}

bool FirmwareUpgrade::Upgrade() {
  storedName_ = fileName_.Text();
  if (storedName_.empty()) {
    Show(messages::kEmptyFileName);
    return false;
  }
  const std::string image = StagedImagePath(setup_.settingsPath);
  if (!StageImage(storedName_, image)) {
    Show(messages::kFileError);
    return false;
  }

  lastProgress_.reset();
  SetWindowEnabled(false);
  const bool accepted = ServeAndTrigger(image);
  // Whatever the outcome, the server and its port are gone before the verdict is shown.
  StopServer();
  Show(accepted ? messages::kUpgradeSucceeded : messages::kUpgradeFailed);
  SetWindowEnabled(true);
  return accepted;
}

bool FirmwareUpgrade::ServeAndTrigger(const std::string& image) {
  const std::string local = snmp::SnmpComponent::LocalAddress(setup_.host);
  if (local.empty()) {
    Show("TFTP server could not start: no local address reaches " + setup_.host);
    return false;
  }
  TftpServerOptions options;
  options.bindAddress = local;
  options.port = setup_.tftpPort;
  options.clientAddresses = {setup_.host};
  options.filePath = image;
  std::string error;
  server_ = TftpServer::Start(options, &error);
  if (!server_) {
    Show(ServerStartFailure(local, setup_.tftpPort, error));
    return false;
  }
  // The server is serving already, so the device may ask at once.
  return TriggerDownload(setup_.session, setup_.host, local);
}

std::optional<TftpProgress> FirmwareUpgrade::TransferProgress() const {
  if (!server_) return lastProgress_;
  return server_->Progress();
}

}  // namespace kelvo::firmware
