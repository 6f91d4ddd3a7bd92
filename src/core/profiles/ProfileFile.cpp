// SPDX-License-Identifier: GPL-2.0-or-later
#include "profiles/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "mib/Conversions.h"
#include "util/Parse.h"

namespace kelvo::profiles {
namespace {

constexpr std::size_t kMacDigits = 12;

// The file cut into the lines the reader sees: at LF, without the LF and a CR just before it,
// long lines in chunks of kLineChunk bytes. A line's content ends at a NUL byte, as the C
// string it is read into would.
std::vector<std::string_view> SplitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    std::string_view line = bytes.substr(0, lf);
    bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
    if (lf != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    do {
      std::string_view chunk = line.substr(0, kLineChunk);
      line.remove_prefix(chunk.size());
      chunk = chunk.substr(0, chunk.find('\0'));
      lines.push_back(chunk);
    } while (!line.empty());
  }
  return lines;
}

bool Significant(std::string_view line) { return !line.empty() && line.front() != ' '; }

// Walks the lines as the reader does: a section is found by its first matching line, then each
// key uses up exactly one significant line.
class LineCursor {
 public:
  explicit LineCursor(const std::vector<std::string_view>& lines) : lines_(lines) {}

  bool FindSection(std::string_view header) {
    for (next_ = 0; next_ < lines_.size(); ++next_) {
      if (lines_[next_].starts_with(header)) {
        ++next_;
        return true;
      }
    }
    return false;
  }

  std::optional<std::string_view> NextSignificant() {
    while (next_ < lines_.size()) {
      const std::string_view line = lines_[next_++];
      if (Significant(line)) return line;
    }
    return std::nullopt;
  }

  // The value of the next significant line when it carries the key.
  std::optional<std::string> Fetch(std::string_view key) {
    const auto line = NextSignificant();
    if (!line || !line->starts_with(key)) return std::nullopt;
    return std::string(line->substr(key.size()));
  }

 private:
  const std::vector<std::string_view>& lines_;
  std::size_t next_ = 0;
};

void ReadKeys(LineCursor& cursor, Key first, Key last, ProfileContents& contents) {
  for (auto i = static_cast<std::size_t>(first); i <= static_cast<std::size_t>(last); ++i) {
    contents.values[i] = cursor.Fetch(kKeyTexts[i]);
  }
}

void ReadAuthorizedMacs(LineCursor& cursor, ProfileContents& contents) {
  const auto count = cursor.Fetch(kMacListKey);
  if (!count) return;
  std::vector<std::string> macs;
  // Every fetched line counts towards the number, whether it is an address or not.
  for (long n = mib::LeadingInteger(*count); n > 0; --n) {
    const auto line = cursor.NextSignificant();
    if (!line) break;
    if (StartsWithTwelveHexDigits(*line)) macs.emplace_back(line->substr(0, kMacDigits));
  }
  contents.authorizedMacs = std::move(macs);
}

void AppendLine(std::string& out, std::string_view key, std::string_view value = {}) {
  out.append(key);
  out.append(value);
  out.append("\r\n");
}

}  // namespace

std::string ProfileDirectory(const std::string& settingsPath) { return settingsPath + "Profile/"; }

bool StartsWithTwelveHexDigits(std::string_view text) {
  return text.size() >= kMacDigits && std::ranges::all_of(text.substr(0, kMacDigits), [](char c) {
           return util::HexDigit(c).has_value();
         });
}

std::array<std::uint8_t, 4> ProfileAddress(std::string_view text) {
  std::array<std::uint8_t, 4> bytes{};
  for (std::uint8_t& byte : bytes) {
    const std::size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    byte = static_cast<std::uint8_t>(
        static_cast<unsigned long>(mib::LeadingInteger(part.substr(0, 3))) & 0xFFu);
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  return bytes;
}

std::optional<ProfileContents> ParseProfile(std::string_view bytes) {
  const std::vector<std::string_view> lines = SplitLines(bytes);
  if (lines.empty() || !lines.front().starts_with(kProfileHeader)) return std::nullopt;

  ProfileContents contents;
  LineCursor cursor(lines);
  if (cursor.FindSection(kSectionHeaders[0])) {
    contents.sections[0] = true;
    ReadKeys(cursor, Key::IpAddress, Key::PrimaryPort, contents);
  }
  if (cursor.FindSection(kSectionHeaders[1])) {
    contents.sections[1] = true;
    ReadKeys(cursor, Key::WlanEnable, Key::AuthorizedEnable, contents);
    ReadAuthorizedMacs(cursor, contents);
  }
  if (cursor.FindSection(kSectionHeaders[2])) {
    contents.sections[2] = true;
    ReadKeys(cursor, Key::ActiveKey, Key::EncryptionType, contents);
  }
  return contents;
}

std::string FormatProfile(const mib::AgentValues& values,
                          const std::vector<std::string>& authorizedMacs) {
  std::string out;
  out.reserve(512 + authorizedMacs.size() * 14);
  AppendLine(out, kProfileHeader);
  AppendLine(out, kSectionHeaders[0]);
  const auto line = [&out](Key key, std::string_view value) {
    AppendLine(out, KeyText(key), value);
  };
  line(Key::IpAddress, values.IpAddress);
  line(Key::SubnetMask, values.SubnetMask);
  line(Key::Gateway, values.Gateway);
  line(Key::Dhcp, values.DhcpClient);
  line(Key::PrimaryPort, values.PrimaryPort);
  AppendLine(out, kSectionHeaders[1]);
  line(Key::WlanEnable, values.WlanDisable);
  line(Key::RejectBroadcastSsid, values.RejectBroadcastProbe);
  line(Key::ChannelId, values.Channel);
  line(Key::Essid, values.Essid);
  line(Key::ApName, values.DeviceName);
  line(Key::BasicRates, values.BasicRatesIndex);
  line(Key::DataRates, values.DataRate);
  line(Key::PreambleType, values.PreambleType);
  line(Key::BeaconInterval, values.BeaconInterval);
  line(Key::RtsThreshold, values.RtsThreshold);
  line(Key::FragmentationThreshold, values.FragmentationThreshold);
  line(Key::OperationMode, values.OperationMode);
  line(Key::Bssid, mib::HexText(values.BssidBytes));
  line(Key::AuthorizedEnable, values.AuthorizedTableEnable);
  AppendLine(out, kMacListKey, std::to_string(authorizedMacs.size()));
  for (const std::string& mac : authorizedMacs) AppendLine(out, mac);
  AppendLine(out, kSectionHeaders[2]);
  line(Key::ActiveKey, values.ActiveKey);
  line(Key::WepType, values.WepMode);
  line(Key::AuthType, values.AuthenticationType);
  line(Key::EncryptionType, values.EncryptionType);
  AppendLine(out, kEndMarker);
  return out;
}

ReadResult ReadProfileFile(const std::string& path) {
  ReadResult result;
  // Non-blocking so that a FIFO under a profile's name cannot hang the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return result;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return result;
  }
  std::string bytes;
  char buffer[8192];
  bool failed = false;
  while (bytes.size() < kReadLimit) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed = true;
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  if (failed) return result;
  if (bytes.size() > kReadLimit) bytes.resize(kReadLimit);

  auto contents = ParseProfile(bytes);
  if (!contents) {
    result.status = ReadStatus::NotProfile;
    return result;
  }
  result.status = ReadStatus::Ok;
  result.contents = std::move(*contents);
  return result;
}

}  // namespace kelvo::profiles
