// SPDX-License-Identifier: GPL-2.0-or-later
// Settings that differ from one simulated access point to the next, as installers would leave
// a fleet: a handful of networks each with its own security, channels within each domain's
// plan, most devices on the newest firmware, a few bridge links, clients and repeaters, and
// authorised MAC tables of every size. Derived from the access point's number and the seed
// alone, so that a fleet is the same on every run and on every platform.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "ApDevice.h"

namespace kelvo::apsim {

struct DeviceVariation {
  FactoryIdentity identity;
  // Stored over the factory settings.
  std::vector<std::pair<mib::Variable, SnmpValue>> settings;
  std::vector<MacAddress> authorizedTable;
};

// number is 1-based. Two neighbours may form a bridge link: each then names the other's MAC
// address as its BSSID, and both share the link's domain and channel.
DeviceVariation VaryDevice(int number, std::uint32_t seed);

// A device with its varied settings in place of the uniform ones.
ApDevice MakeVariedDevice(int number, std::uint32_t address, std::string writeCommunity,
                          std::uint32_t seed);

}  // namespace kelvo::apsim
