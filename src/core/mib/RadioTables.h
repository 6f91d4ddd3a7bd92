// SPDX-License-Identifier: GPL-2.0-or-later
// The fixed tables behind the radio and security lists: regulatory domains with their channel
// plans, and the encryption choices each authentication type allows.
#pragma once

#include <array>
#include <optional>
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
// The channel value at a list position of a domain; nullopt outside the row or at -1.
std::optional<int> ChannelAt(int domain, int position);
// The list position of a channel value in a domain's row; -1 when it is not there.
int ChannelPosition(int domain, int channel);

// The "Encry." list texts for an authentication list index; empty outside the table.
std::vector<std::string> EncryptionEntries(int authenticationIndex);
// The encryption value at a list position; nullopt outside the row or at -1.
std::optional<int> EncryptionAt(int authenticationIndex, int position);
// The first list position holding the value; -1 when there is none.
int EncryptionPosition(int authenticationIndex, int value);

}  // namespace kelvo::mib
