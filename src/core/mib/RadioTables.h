// SPDX-License-Identifier: GPL-2.0-or-later
// The fixed tables behind the radio and security lists: regulatory domains with their channel
// plans, operation modes, rates, WEP types and the encryption choices each authentication type
// allows. Each mapping between a device value and a list position lives here once; the pages,
// the profile store and the RF test window all use it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::mib {

inline constexpr std::array<std::string_view, 7> kRegulatoryDomainNames = {
    "FCC", "IC", "ETSI", "Spain", "France", "MKK", "MKKII"};

// Per domain, 15 positions of the "Channel ID:" list: 0 automatic, n a channel, -1 empty.
inline constexpr int kChannelPlan[7][15] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -1, -1, -1},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -1, -1, -1},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, -1},
    {0, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 10, 11, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
};

inline constexpr std::array<std::string_view, 5> kEncryptionNames = {"None", "WEP", "802.1xKey",
                                                                     "TKIP", "AES"};

// Per authentication list index (AuthenticationType - 1), the encryption values of the
// "Encry." list in order; -1 empty. Index 4 (type 5) has no authentication list entry.
inline constexpr int kEncryptionChoices[5][5] = {
    {0, 1, -1, -1, -1},  {0, 1, -1, -1, -1}, {0, 1, -1, -1, -1},
    {2, -1, -1, -1, -1}, {0, 0, 0, 0, 0},
};

// The channel plan row of a domain as list texts ("Auto", "Channel 11"); empty for a domain
// outside the table.
std::vector<std::string> ChannelEntries(int domain);
// "Channel 1" to "Channel 14", every channel of the band: the Wireless page's list before the
// first domain is known, and the RF test window's list.
std::vector<std::string> AllChannelEntries();
// The channel value at a list position of a domain; nullopt outside the row or at -1.
std::optional<int> ChannelAt(int domain, int position);
// The list position of a channel value in a domain's row; -1 when it is not there.
int ChannelPosition(int domain, long channel);

// "Mode:" entry i stands for OperationMode kOperationModes[i]; the value 4 has no entry.
inline constexpr std::array<int, 4> kOperationModes = {1, 2, 3, 5};
inline constexpr std::array<std::string_view, 4> kOperationModeNames = {"Bridge", "AP", "AP Client",
                                                                        "Repeater"};
// The entry of an OperationMode. Any other value is taken as an entry position, so 4 selects
// none; a value beyond an int selects none.
int OperationModePosition(long mode);

// "WEP Type:" entry 0 is WepMode 1 (64-bit keys), entry 1 is WepMode 3 (128-bit keys).
inline constexpr std::array<int, 2> kWepModes = {1, 3};
// The entry of a WepMode; any other value is taken as an entry position, as for the modes.
int WepModePosition(long mode);

// "Basic Rates:" and "Data Rates:" entries in Mb/s; basic rate entry i sets byte i of the
// 4-byte BasicRates value to its code, the others stay 0.
inline constexpr std::array<std::string_view, 4> kRateNames = {"1", "2", "5.5", "11"};
inline constexpr std::array<std::uint8_t, 4> kBasicRateCodes = {0x82, 0x84, 0x8B, 0x96};
// The "Basic Rates:" entry whose single rate byte the value holds, read as a little-endian
// number from the first four bytes; -1 for any other value and for a value too short.
int BasicRatesPosition(std::span<const std::uint8_t> bytes);

// The "Encry." list texts for an authentication list index; empty outside the table.
std::vector<std::string> EncryptionEntries(int authenticationIndex);
// The encryption value at a list position; nullopt outside the row or at -1.
std::optional<int> EncryptionAt(int authenticationIndex, int position);
// The first list position holding the value; -1 when there is none.
int EncryptionPosition(int authenticationIndex, int value);

}  // namespace kelvo::mib
