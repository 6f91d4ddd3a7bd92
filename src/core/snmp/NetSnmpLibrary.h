// SPDX-License-Identifier: GPL-2.0-or-later
// One-time, quiet start-up of Net-SNMP's library for message encoding and decoding.
#pragma once

#include <functional>
#include <string_view>

namespace kelvo::snmp {

// Initialises the library once per process: reads no configuration files, loads no MIBs,
// writes no persistent files and prints nothing; library log lines go to the sink set below
// (dropped by default). Safe to call any number of times from one thread. Returns false only
// when the library could not be initialised.
bool EnsureNetSnmpLibrary();

// Where the library's log lines go; an empty function drops them.
void SetNetSnmpLogSink(std::function<void(int priority, std::string_view line)> sink);

}  // namespace kelvo::snmp
