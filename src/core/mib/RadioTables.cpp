// SPDX-License-Identifier: GPL-2.0-or-later
#include "mib/RadioTables.h"

#include <iterator>
#include <limits>

namespace kelvo::mib {
namespace {

bool InDomains(int domain) {
  return domain >= 0 && domain < static_cast<int>(std::size(kChannelPlan));
}

bool InAuthentications(int index) {
  return index >= 0 && index < static_cast<int>(std::size(kEncryptionChoices));
}

// The position a value stands for in a list of device values; a value outside the list is
// taken as a position itself, and one beyond an int as none.
template <std::size_t N>
int ValuePosition(const std::array<int, N>& values, long value) {
  for (std::size_t i = 0; i < N; ++i) {
    if (values[i] == value) return static_cast<int>(i);
  }
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
    return -1;
  }
  return static_cast<int>(value);
}

}  // namespace

std::vector<std::string> ChannelEntries(int domain) {
  std::vector<std::string> entries;
  if (!InDomains(domain)) return entries;
  for (const int channel : kChannelPlan[domain]) {
    if (channel < 0) continue;
    entries.push_back(channel == 0 ? std::string("Auto") : "Channel " + std::to_string(channel));
  }
  return entries;
}

std::vector<std::string> AllChannelEntries() {
  std::vector<std::string> entries;
  for (int channel = 1; channel <= 14; ++channel) {
    entries.push_back("Channel " + std::to_string(channel));
  }
  return entries;
}

std::optional<int> ChannelAt(int domain, int position) {
  if (!InDomains(domain) || position < 0 || position >= 15) return std::nullopt;
  const int channel = kChannelPlan[domain][position];
  if (channel < 0) return std::nullopt;
  return channel;
}

int ChannelPosition(int domain, long channel) {
  if (!InDomains(domain)) return -1;
  for (int position = 0; position < 15; ++position) {
    if (kChannelPlan[domain][position] == channel && channel >= 0) return position;
  }
  return -1;
}

int OperationModePosition(long mode) { return ValuePosition(kOperationModes, mode); }

int WepModePosition(long mode) { return ValuePosition(kWepModes, mode); }

int BasicRatesPosition(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4) return -1;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
  for (std::size_t i = 0; i < kBasicRateCodes.size(); ++i) {
    if (value == static_cast<std::uint32_t>(kBasicRateCodes[i]) << (8 * i)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::vector<std::string> EncryptionEntries(int authenticationIndex) {
  std::vector<std::string> entries;
  if (!InAuthentications(authenticationIndex)) return entries;
  for (const int value : kEncryptionChoices[authenticationIndex]) {
    if (value < 0) continue;
    entries.emplace_back(kEncryptionNames[static_cast<std::size_t>(value)]);
  }
  return entries;
}

std::optional<int> EncryptionAt(int authenticationIndex, int position) {
  if (!InAuthentications(authenticationIndex) || position < 0 || position >= 5) {
    return std::nullopt;
  }
  const int value = kEncryptionChoices[authenticationIndex][position];
  if (value < 0) return std::nullopt;
  return value;
}

int EncryptionPosition(int authenticationIndex, int value) {
  if (!InAuthentications(authenticationIndex)) return -1;
  for (int position = 0; position < 5; ++position) {
    if (kEncryptionChoices[authenticationIndex][position] == value && value >= 0) return position;
  }
  return -1;
}

}  // namespace kelvo::mib
