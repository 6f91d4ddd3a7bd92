// SPDX-License-Identifier: GPL-2.0-or-later
// The selected access point's values in the form the next write sends them: filled by the
// pages' prepare steps, read by the write groups and the profile store. One record per run.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kelvo::mib {

struct AgentValues {
  // System (write group 1).
  std::string TrapEnable;
  std::string RegulatoryDomain;
  std::string SerialNumber;
  std::string NewPassword;
  bool NewPasswordGiven = false;

  // IP configuration (write group 2).
  std::string IpAddress;
  std::string SubnetMask;
  std::string Gateway;
  std::string DhcpClient;
  std::string PrimaryPort;
  std::array<std::uint8_t, 6> MacAddressBytes{};

  // Wireless (write group 4).
  std::string Channel;
  std::string Essid;
  std::string DeviceName;
  std::string BasicRatesIndex;  // "0".."3": the selection the profile stores
  std::array<std::uint8_t, 4> BasicRatesBytes{};
  std::string RateSetting;
  std::string DataRate;
  std::string OperationMode;
  std::array<std::uint8_t, 6> BssidBytes{};
  std::string PreambleType;
  std::string RtsThreshold;
  std::string FragmentationThreshold;
  std::string AuthorizedTableEnable;
  std::string BeaconInterval;
  std::string RejectBroadcastProbe;
  std::string WlanDisable;

  // Security (write group 5).
  std::array<std::uint8_t, 13> WepKeyBytes{};
  std::string WepMode;
  std::string ActiveKey;
  std::string AuthenticationType;
  std::string EncryptionType;
  std::string ReAuthEnabled;
  std::string ReAuthPeriod;
  std::array<std::string, 4> RadiusServer;
  std::array<std::string, 4> RadiusSecret;
  std::string WpaSupportStation;
  std::string WpaCipher;
  std::string PskAsciiMode;
  std::string PreSharedKey;
  std::array<std::uint8_t, 32> PskBytes{};
  std::string GroupKeyInterval;

  // Display texts that only reads fill.
  std::string SystemDescription;
  std::string MacAddressText;  // 12 upper-case hex digits
  std::string BssidText;
  std::string RegulatoryDomainName;
};

}  // namespace kelvo::mib
