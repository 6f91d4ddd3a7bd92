// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ApSimulator.h"
#include "DeviceVariation.h"
#include "WriteRules.h"
#include "mib/RadioTables.h"

namespace kelvo::apsim {
namespace {

using mib::Variable;

constexpr int kFleet = 250;

ApSimulator VariedFleet(std::uint32_t seed) {
  SimulatorSettings settings;
  settings.count = kFleet;
  settings.seed = seed;
  settings.vary = true;
  return ApSimulator(settings);
}

long Integer(const ApDevice& device, Variable variable) {
  return device.Read(variable, SimTime{0}).integer;
}
std::vector<std::uint8_t> Bytes(const ApDevice& device, Variable variable) {
  return device.Read(variable, SimTime{0}).bytes;
}
std::string Text(const ApDevice& device, Variable variable) {
  const auto bytes = Bytes(device, variable);
  return {bytes.begin(), bytes.end()};
}
std::vector<std::uint8_t> MacOf(int number) {
  const MacAddress mac = DeviceMacAddress(number);
  return {mac.begin(), mac.end()};
}
bool AllZero(const std::vector<std::uint8_t>& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// Every access point keeps the rules a device and its manager hold to, and a fleet shows each
// kind of setting the variation knows.
TEST(DeviceVariation, FleetsKeepTheDeviceRulesAndShowEveryKind) {
  for (const std::uint32_t seed : {1U, 2U, 4096U}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const ApSimulator fleet = VariedFleet(seed);
    std::set<std::string> names;
    std::map<std::string, int> firmware;
    std::set<long> domains, modes, channels;
    std::set<std::string> essids;
    int tablesInForce = 0, wpa = 0, wep = 0, dhcp = 0;
    for (int number = 1; number <= kFleet; ++number) {
      SCOPED_TRACE("access point " + std::to_string(number));
      const ApDevice& ap = fleet.Device(static_cast<std::size_t>(number - 1));
      const DeviceVariation variation = VaryDevice(number, seed);
      for (const auto& [variable, value] : variation.settings) {
        // The pre-shared key is kept as the 32 key bytes, not as the text a manager writes.
        if (variable == Variable::PreSharedKey) continue;
        EXPECT_EQ(CheckWrite(variable, value), kNoError) << mib::Info(variable).name;
      }
      EXPECT_TRUE(names.insert(Text(ap, Variable::DeviceName)).second);
      EXPECT_EQ(Bytes(ap, Variable::IpAddress), SnmpValue::Ip(ap.Address()).bytes);
      const std::string description = Text(ap, Variable::SystemDescription);
      ASSERT_TRUE(description.starts_with(kDescriptionPrefix)) << description;
      ++firmware[description.substr(kDescriptionPrefix.size())];
      essids.insert(Text(ap, Variable::Essid));

      const long domain = Integer(ap, Variable::RegulatoryDomain);
      const long channel = Integer(ap, Variable::Channel);
      EXPECT_GE(mib::ChannelPosition(static_cast<int>(domain), channel), 0) << channel;
      domains.insert(domain);
      channels.insert(channel);

      const long mode = Integer(ap, Variable::OperationMode);
      modes.insert(mode);
      if (mode == 3) {
        EXPECT_EQ(Integer(ap, Variable::DhcpClient), 2) << "a client needs a fixed address";
      }
      dhcp += Integer(ap, Variable::DhcpClient) == 1;
      const auto bssid = Bytes(ap, Variable::Bssid);
      if (mode == 1) {
        // The partner is a neighbour that names this one back and shares its radio.
        const int partner = bssid == MacOf(number + 1) ? number + 1 : number - 1;
        ASSERT_EQ(bssid, MacOf(partner));
        if (partner <= kFleet) {
          const ApDevice& other = fleet.Device(static_cast<std::size_t>(partner - 1));
          EXPECT_EQ(Integer(other, Variable::OperationMode), 1);
          EXPECT_EQ(Bytes(other, Variable::Bssid), MacOf(number));
          EXPECT_EQ(Integer(other, Variable::Channel), channel);
          EXPECT_EQ(Integer(other, Variable::RegulatoryDomain), domain);
        }
      } else {
        EXPECT_TRUE(AllZero(bssid));
      }

      const auto basic = mib::BasicRatesPosition(Bytes(ap, Variable::BasicRates));
      EXPECT_GE(basic, 0);
      EXPECT_LT(basic, Integer(ap, Variable::DataRate)) << "basic rate above the data rate";

      const long auth = Integer(ap, Variable::AuthenticationType);
      const long encryption = Integer(ap, Variable::EncryptionType);
      EXPECT_GE(mib::EncryptionPosition(static_cast<int>(auth - 1), static_cast<int>(encryption)),
                0);
      if (encryption == 1) {
        ++wep;
        constexpr Variable kKeys[] = {Variable::WepKey1, Variable::WepKey2, Variable::WepKey3,
                                      Variable::WepKey4};
        const auto key = Bytes(ap, kKeys[Integer(ap, Variable::ActiveKey) - 1]);
        EXPECT_EQ(key.size(), Integer(ap, Variable::WepMode) == 1 ? 5U : 13U);
        EXPECT_FALSE(AllZero(key));
      }
      if (auth == 4) {
        EXPECT_NE(Bytes(ap, Variable::RadiusServer1), std::vector<std::uint8_t>(4));
        EXPECT_FALSE(Text(ap, Variable::RadiusSecret1).empty());
        EXPECT_EQ(Integer(ap, Variable::ReAuthEnabled), 1);
      }
      wpa += !AllZero(Bytes(ap, Variable::PreSharedKey));

      const std::size_t table = ap.AuthorizedTable().size();
      EXPECT_LE(table, 20U);
      if (Integer(ap, Variable::AuthorizedTableEnable) == 1) {
        EXPECT_GT(table, 0U) << "a table in force admits someone";
        ++tablesInForce;
      }
    }
    ASSERT_EQ(firmware.size(), 3U);
    EXPECT_GT(firmware[std::string(kNewestFirmware)], kFleet / 2) << "most on the newest";
    EXPECT_GE(domains.size(), 5U);
    EXPECT_EQ(modes, (std::set<long>{1, 2, 3, 5}));
    EXPECT_GE(essids.size(), 6U);
    EXPECT_GE(channels.size(), 8U);
    for (const int count : {tablesInForce, wpa, wep, dhcp}) EXPECT_GT(count, 0);
  }
  // Deterministic for a seed, different for another.
  const DeviceVariation again = VaryDevice(17, 1);
  EXPECT_EQ(again.settings, VaryDevice(17, 1).settings);
  EXPECT_EQ(again.authorizedTable, VaryDevice(17, 1).authorizedTable);
  EXPECT_NE(again.settings, VaryDevice(17, 2).settings);
}

// LoadDefault returns the settings to the factory's, for the firmware and domain the device
// was made with: a channel of that domain, its description unchanged.
TEST(DeviceVariation, LoadDefaultKeepsFirmwareAndDomain) {
  ApSimulator fleet = VariedFleet(1);
  std::set<long> domainsSeen;
  for (std::size_t i = 0; i < fleet.Count(); ++i) {
    ApDevice& ap = fleet.Device(i);
    const long domain = Integer(ap, Variable::RegulatoryDomain);
    if (!domainsSeen.insert(domain).second) continue;
    const SnmpValue description = ap.Read(Variable::SystemDescription, SimTime{0});
    SnmpPdu reset;
    reset.type = PduType::SetRequest;
    reset.community = "admin";
    reset.variables = {
        {*ParseObjectId(mib::FullOid(Variable::LoadDefault)), SnmpValue::Integer(1)}};
    ASSERT_EQ(ap.Handle(reset, SimTime{0})->errorStatus, kNoError);
    EXPECT_EQ(ap.Read(Variable::SystemDescription, SimTime{0}), description);
    EXPECT_EQ(Integer(ap, Variable::RegulatoryDomain), domain);
    const long channel = Integer(ap, Variable::Channel);
    EXPECT_GT(mib::ChannelPosition(static_cast<int>(domain), channel), 0) << channel;
    EXPECT_EQ(Text(ap, Variable::Essid), "kelvo-wlan");
    EXPECT_TRUE(ap.AuthorizedTable().empty());
  }
  EXPECT_EQ(domainsSeen.size(), mib::kRegulatoryDomainNames.size());
}

}  // namespace
}  // namespace kelvo::apsim
