// SPDX-License-Identifier: GPL-2.0-or-later
#include "DeviceVariation.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "mib/RadioTables.h"

namespace kelvo::apsim {
namespace {

using mib::Variable;

// Each aspect draws its own numbers, so that one aspect's rows can change without reshuffling
// the others.
enum class Aspect : std::uint64_t {
  Roles = 1,
  Firmware,
  Domain,
  Channel,
  Network,
  Location,
  Dhcp,
  DataRate,
  BasicRate,
  Beacon,
  Rts,
  Fragmentation,
  Preamble,
  HiddenEssid,
  TableSize,
  TableEnable,
  TableEntry,
  WepKey,
  ActiveKey,
  RadiusServers,
  ReAuthPeriod,
  Stations,
  Cipher,
  GroupKeyInterval,
  PreSharedKey,
  RadiusSecret,
};

// What a draw is about besides an access point: a bridge link (by its first access point) or
// a network (by its name).
constexpr std::uint64_t kLinkSubject = 1ULL << 32;
constexpr std::uint64_t kNetworkSubject = 2ULL << 32;

// SplitMix64: the same numbers from every compiler and standard library, which the <random>
// distributions do not promise.
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

std::uint64_t Draw(std::uint32_t seed, Aspect aspect, std::uint64_t subject) {
  return Mix(Mix(Mix(seed) ^ static_cast<std::uint64_t>(aspect)) ^ subject);
}

template <typename T>
struct Weighted {
  T value;
  unsigned weight;
};

template <typename T, std::size_t N>
const T& Pick(const Weighted<T> (&rows)[N], std::uint64_t draw) {
  std::uint64_t total = 0;
  for (const auto& row : rows) total += row.weight;
  std::uint64_t ticket = draw % total;
  for (const auto& row : rows) {
    if (ticket < row.weight) return row.value;
    ticket -= row.weight;
  }
  return rows[N - 1].value;
}

enum class Security { Open, SharedWep64, BothWep128, Radius, Wpa };
// Whether the network's access points admit only the stations of their authorised table.
enum class TableUse { Never, Sometimes, Always };

struct Network {
  std::string_view essid;
  Security security;
  TableUse table;
};

constexpr Weighted<Network> kNetworks[] = {
    {{"office", Security::Radius, TableUse::Sometimes}, 6},
    {{"warehouse", Security::SharedWep64, TableUse::Sometimes}, 4},
    {{"guest", Security::Open, TableUse::Never}, 3},
    {{"staff", Security::Wpa, TableUse::Sometimes}, 3},
    {{"lab", Security::BothWep128, TableUse::Sometimes}, 2},
    {{"scanners", Security::Open, TableUse::Always}, 2},
};
// Both ends of every bridge link.
constexpr Network kBackhaul = {"backhaul", Security::BothWep128, TableUse::Never};

constexpr Weighted<std::string_view> kFirmware[] = {
    {kNewestFirmware, 14}, {"1.0.2", 4}, {"0.9.8", 2}};
// Domain codes index mib::kRegulatoryDomainNames: mostly FCC, then ETSI, a few of the others.
constexpr Weighted<long> kDomains[] = {{0, 12}, {2, 5}, {1, 2}, {4, 1}, {3, 1}, {5, 1}, {6, 1}};
constexpr std::string_view kLocations[] = {"lobby", "floor1", "floor2",  "floor3", "dock",
                                           "yard",  "lab",    "canteen", "stores", "roof"};
constexpr Weighted<long> kDhcp[] = {{2, 3}, {1, 1}};
// DataRate 4 is 11 Mb; the basic rate is a list position (0 is 1 Mb) no faster than the data rate.
constexpr Weighted<long> kDataRates[] = {{4, 14}, {3, 2}, {2, 2}, {1, 1}};
constexpr Weighted<long> kBasicRates[] = {{0, 3}, {1, 4}, {2, 1}};
constexpr Weighted<long> kBeaconIntervals[] = {{100, 12}, {50, 1}, {200, 2}, {250, 1}, {500, 1}};
constexpr Weighted<long> kRtsThresholds[] = {{2347, 10}, {2000, 1}, {1000, 2}, {500, 2}, {256, 1}};
constexpr Weighted<long> kFragmentationThresholds[] = {{2346, 12}, {1500, 2}, {1024, 2}, {512, 1}};
constexpr Weighted<long> kPreambles[] = {{2, 3}, {1, 2}};
constexpr Weighted<long> kReAuthPeriods[] = {{3600, 3}, {1800, 2}, {900, 1}};
// WpaSupportStation 3 is "WPA+1X", 1 "WPA"; WpaCipher 1 TKIP, 2 AES, 3 both.
constexpr Weighted<long> kStations[] = {{3, 2}, {1, 1}};
constexpr Weighted<long> kCiphers[] = {{1, 2}, {2, 1}, {3, 1}};
constexpr Weighted<long> kGroupKeyIntervals[] = {{600, 1}, {1800, 1}, {3600, 1}};
// The site's RADIUS servers, 10.20.0.10 and 10.20.0.11.
constexpr std::uint32_t kRadiusServers[] = {0x0A14000A, 0x0A14000B};
// The first three bytes of the stations' addresses: a few makers of 802.11b cards.
constexpr std::uint8_t kStationMakers[][3] = {
    {0x00, 0x02, 0x2D}, {0x00, 0x40, 0x96}, {0x00, 0x90, 0x4B}, {0x00, 0x0C, 0x41}};
constexpr unsigned kLargestTable = 20;

// Out of every twelve access points in a row: one bridge link (two devices), one client and
// one repeater; the seed decides where the rows start.
enum class Role { Ap, BridgeFirst, BridgeSecond, Client, Repeater };

Role RoleOf(int number, std::uint32_t seed) {
  const std::uint64_t slot =
      (static_cast<std::uint64_t>(number) + Draw(seed, Aspect::Roles, 0)) % 12;
  switch (slot) {
    case 0:
      return Role::BridgeFirst;
    case 1:
      // Access point 1 has no neighbour before it.
      return number > 1 ? Role::BridgeSecond : Role::Ap;
    case 5:
      return Role::Client;
    case 9:
      return Role::Repeater;
    default:
      return Role::Ap;
  }
}

long OperationModeOf(Role role) {
  switch (role) {
    case Role::BridgeFirst:
    case Role::BridgeSecond:
      return 1;
    case Role::Client:
      return 3;
    case Role::Repeater:
      return 5;
    case Role::Ap:
      break;
  }
  return 2;
}

// Mostly the non-overlapping channels 1, 6 and 11 where the plan has them, some any channel of
// the plan, a few automatic (0).
long ChannelOf(long domain, std::uint64_t draw) {
  std::vector<long> channels;
  std::vector<long> preferred;
  for (int position = 1; position < 15; ++position) {
    const auto channel = mib::ChannelAt(static_cast<int>(domain), position);
    if (!channel) continue;
    channels.push_back(*channel);
    if (*channel == 1 || *channel == 6 || *channel == 11) preferred.push_back(*channel);
  }
  const std::uint64_t kind = draw % 10;
  if (kind == 0 || channels.empty()) return 0;
  const std::vector<long>& from = kind < 3 || preferred.empty() ? channels : preferred;
  return from[(draw / 10) % from.size()];
}

std::uint64_t NetworkSubject(std::string_view essid) {
  std::uint64_t hash = 0;
  for (const char c : essid) hash = hash * 131 + static_cast<unsigned char>(c);
  return kNetworkSubject | (hash & 0xFFFFFFFF);
}

std::vector<std::uint8_t> DrawnBytes(std::uint64_t draw, std::size_t count) {
  std::vector<std::uint8_t> bytes;
  while (bytes.size() < count) {
    draw = Mix(draw);
    for (int shift = 0; shift < 64 && bytes.size() < count; shift += 8) {
      bytes.push_back(static_cast<std::uint8_t>(draw >> shift));
    }
  }
  return bytes;
}

std::string ZeroPadded(int number, std::size_t width) {
  std::string text = std::to_string(number);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

class Settings {
 public:
  explicit Settings(std::vector<std::pair<Variable, SnmpValue>>& out) : out_(out) {}
  void Integer(Variable variable, long value) {
    out_.emplace_back(variable, SnmpValue::Integer(value));
  }
  void Text(Variable variable, std::string_view value) {
    out_.emplace_back(variable, SnmpValue::Text(value));
  }
  void Bytes(Variable variable, std::vector<std::uint8_t> value) {
    out_.emplace_back(variable, SnmpValue::Bytes(std::move(value)));
  }
  void Ip(Variable variable, std::uint32_t value) {
    out_.emplace_back(variable, SnmpValue::Ip(value));
  }

 private:
  std::vector<std::pair<Variable, SnmpValue>>& out_;
};

// The network's keys are the same on each of its access points.
void PutWep(Settings& put, std::uint32_t seed, std::uint64_t network, bool longKeys) {
  constexpr Variable kKeys[] = {Variable::WepKey1, Variable::WepKey2, Variable::WepKey3,
                                Variable::WepKey4};
  put.Integer(Variable::WepMode, longKeys ? 3 : 1);
  for (std::size_t i = 0; i < std::size(kKeys); ++i) {
    // A 64-bit key is kept as 5 key bytes and 8 zero bytes, as a manager writes it.
    std::vector<std::uint8_t> key = DrawnBytes(Draw(seed, Aspect::WepKey, network + i), 13);
    if (!longKeys) std::fill(key.begin() + 5, key.end(), 0);
    key[0] |= 0x01;  // never the all-zero key a manager leaves out
    put.Bytes(kKeys[i], std::move(key));
  }
  put.Integer(Variable::ActiveKey,
              1 + static_cast<long>(Draw(seed, Aspect::ActiveKey, network) % 4));
}

void PutRadius(Settings& put, std::uint32_t seed, std::uint64_t network) {
  constexpr Variable kServers[] = {Variable::RadiusServer1, Variable::RadiusServer2};
  constexpr Variable kSecrets[] = {Variable::RadiusSecret1, Variable::RadiusSecret2};
  put.Integer(Variable::ReAuthEnabled, 1);
  put.Integer(Variable::ReAuthPeriod,
              Pick(kReAuthPeriods, Draw(seed, Aspect::ReAuthPeriod, network)));
  // The site shares one secret among its servers.
  std::string secret = "radius-";
  for (const std::uint8_t byte : DrawnBytes(Draw(seed, Aspect::RadiusSecret, 0), 5)) {
    constexpr char kDigits[] = "0123456789abcdef";
    secret += kDigits[byte >> 4];
    secret += kDigits[byte & 15];
  }
  const std::size_t servers = 1 + Draw(seed, Aspect::RadiusServers, network) % 2;
  for (std::size_t i = 0; i < servers; ++i) {
    put.Ip(kServers[i], kRadiusServers[i]);
    put.Text(kSecrets[i], secret);
  }
}

void PutSecurity(Settings& put, std::uint32_t seed, const Network& network) {
  const std::uint64_t subject = NetworkSubject(network.essid);
  switch (network.security) {
    case Security::Open:
      put.Integer(Variable::AuthenticationType, 1);
      put.Integer(Variable::EncryptionType, 0);
      return;
    case Security::SharedWep64:
      put.Integer(Variable::AuthenticationType, 2);
      put.Integer(Variable::EncryptionType, 1);
      PutWep(put, seed, subject, false);
      return;
    case Security::BothWep128:
      put.Integer(Variable::AuthenticationType, 3);
      put.Integer(Variable::EncryptionType, 1);
      PutWep(put, seed, subject, true);
      return;
    case Security::Radius:
    case Security::Wpa:
      break;
  }
  // 802.1X with EAP and keys from the exchange; WPA adds its station types, cipher and key.
  put.Integer(Variable::AuthenticationType, 4);
  put.Integer(Variable::EncryptionType, 2);
  PutRadius(put, seed, subject);
  if (network.security != Security::Wpa) return;
  put.Integer(Variable::WpaSupportStation, Pick(kStations, Draw(seed, Aspect::Stations, subject)));
  put.Integer(Variable::WpaCipher, Pick(kCiphers, Draw(seed, Aspect::Cipher, subject)));
  put.Integer(Variable::PskAsciiMode, 1);
  put.Bytes(Variable::PreSharedKey, DrawnBytes(Draw(seed, Aspect::PreSharedKey, subject), 32));
  put.Integer(Variable::GroupKeyInterval,
              Pick(kGroupKeyIntervals, Draw(seed, Aspect::GroupKeyInterval, subject)));
}

std::vector<MacAddress> AuthorizedTable(int number, std::uint32_t seed, unsigned size) {
  std::vector<MacAddress> table;
  for (unsigned i = 0; i < size; ++i) {
    const std::uint64_t subject = static_cast<std::uint64_t>(number) << 8 | i;
    const std::uint64_t draw = Draw(seed, Aspect::TableEntry, subject);
    const auto& maker = kStationMakers[draw % std::size(kStationMakers)];
    const std::vector<std::uint8_t> station = DrawnBytes(draw, 3);
    table.push_back({maker[0], maker[1], maker[2], station[0], station[1], station[2]});
  }
  return table;
}

}  // namespace

DeviceVariation VaryDevice(int number, std::uint32_t seed) {
  const auto ap = static_cast<std::uint64_t>(number);
  const Role role = RoleOf(number, seed);
  const bool bridge = role == Role::BridgeFirst || role == Role::BridgeSecond;
  const int partner = role == Role::BridgeFirst ? number + 1 : number - 1;
  // A bridge link's ends must hear each other: they share domain and channel.
  const std::uint64_t radio =
      bridge ? kLinkSubject | static_cast<std::uint64_t>(std::min(number, partner)) : ap;
  const Network& network = bridge ? kBackhaul : Pick(kNetworks, Draw(seed, Aspect::Network, ap));

  DeviceVariation variation;
  variation.identity.firmware = std::string(Pick(kFirmware, Draw(seed, Aspect::Firmware, ap)));
  variation.identity.regulatoryDomain = Pick(kDomains, Draw(seed, Aspect::Domain, radio));
  Settings put(variation.settings);

  const long domain = variation.identity.regulatoryDomain;
  put.Integer(Variable::Channel, ChannelOf(domain, Draw(seed, Aspect::Channel, radio)));
  put.Text(Variable::Essid, network.essid);
  const std::string_view location =
      kLocations[Draw(seed, Aspect::Location, ap) % std::size(kLocations)];
  put.Text(Variable::DeviceName, std::string(location) + '-' + ZeroPadded(number, 3));

  put.Integer(Variable::OperationMode, OperationModeOf(role));
  if (bridge) {
    const MacAddress mac = DeviceMacAddress(partner);
    put.Bytes(Variable::Bssid, {mac.begin(), mac.end()});
  }
  // A client takes no address from DHCP: the device refuses the mode without a fixed one.
  put.Integer(Variable::DhcpClient,
              role == Role::Client ? 2 : Pick(kDhcp, Draw(seed, Aspect::Dhcp, ap)));

  const long dataRate = Pick(kDataRates, Draw(seed, Aspect::DataRate, ap));
  put.Integer(Variable::DataRate, dataRate);
  const auto basic = static_cast<std::size_t>(
      std::min(Pick(kBasicRates, Draw(seed, Aspect::BasicRate, ap)), dataRate - 1));
  std::vector<std::uint8_t> basicRates(4);
  basicRates[basic] = mib::kBasicRateCodes[basic];
  put.Bytes(Variable::BasicRates, std::move(basicRates));
  put.Integer(Variable::BeaconInterval, Pick(kBeaconIntervals, Draw(seed, Aspect::Beacon, ap)));
  put.Integer(Variable::RtsThreshold, Pick(kRtsThresholds, Draw(seed, Aspect::Rts, ap)));
  put.Integer(Variable::FragmentationThreshold,
              Pick(kFragmentationThresholds, Draw(seed, Aspect::Fragmentation, ap)));
  put.Integer(Variable::PreambleType, Pick(kPreambles, Draw(seed, Aspect::Preamble, ap)));
  if (network.security != Security::Open) {
    put.Integer(Variable::RejectBroadcastProbe,
                Draw(seed, Aspect::HiddenEssid, ap) % 5 == 0 ? 1 : 0);
  }

  PutSecurity(put, seed, network);

  // A third of the access points keep no table; the others up to 20 stations.
  const std::uint64_t sizeDraw = Draw(seed, Aspect::TableSize, ap);
  unsigned size = 0;
  bool inForce = false;
  switch (network.table) {
    case TableUse::Never:
      break;
    case TableUse::Sometimes:
      size = sizeDraw % 3 == 0 ? 0 : 1 + static_cast<unsigned>(sizeDraw / 3 % kLargestTable);
      inForce = size > 0 && Draw(seed, Aspect::TableEnable, ap) % 2 == 0;
      break;
    case TableUse::Always:
      size = 5 + static_cast<unsigned>(sizeDraw % (kLargestTable - 4));
      inForce = true;
      break;
  }
  variation.authorizedTable = AuthorizedTable(number, seed, size);
  put.Integer(Variable::AuthorizedTableEnable, inForce ? 1 : 2);
  return variation;
}

ApDevice MakeVariedDevice(int number, std::uint32_t address, std::string writeCommunity,
                          std::uint32_t seed) {
  DeviceVariation variation = VaryDevice(number, seed);
  ApDevice device(number, address, std::move(writeCommunity), std::move(variation.identity));
  for (auto& [variable, value] : variation.settings) device.Store(variable, std::move(value));
  device.SetAuthorizedTable(std::move(variation.authorizedTable));
  return device;
}

}  // namespace kelvo::apsim
