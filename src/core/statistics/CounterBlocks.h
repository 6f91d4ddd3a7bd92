// SPDX-License-Identifier: GPL-2.0-or-later
// The access point's traffic counters: three octet strings of 32-bit little-endian counters
// (read group 3), where each counter sits on the Statistic page, and how the blocks of a reply
// become the page's 44 value texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "mib/MibVariables.h"

namespace kelvo::snmp {
class AgentSession;
}

namespace kelvo::statistics {

// The page shows the Ethernet or the wireless counters, never both.
enum class View { Ethernet, Wireless };

// Each view has a receive column on the left and a transmit column on the right.
enum class Column { EthernetReceive, EthernetTransmit, WirelessReceive, WirelessTransmit };

constexpr View ViewOf(Column column) {
  return column == Column::EthernetReceive || column == Column::EthernetTransmit ? View::Ethernet
                                                                                 : View::Wireless;
}

// One counter: where it is in its block and where the page shows it. Control identifiers are
// those of the page's dialog template.
struct CounterSlot {
  int block;           // 0..2, the counter block's position in the reply
  std::size_t offset;  // byte offset of the counter in its block
  std::string_view label;
  int labelId;
  int valueId;
  Column column;
  int row;  // top to bottom within the column
  // The counter's name outside the page: lower-case words joined by underscores, unique.
  // Rates, exported metrics and the simulator's switches name counters by it.
  std::string_view key;
};

// One counter block; its counters are kCounters[first .. first + count) in block order.
struct CounterBlockLayout {
  mib::Variable variable;
  std::size_t first;
  std::size_t count;
  constexpr std::size_t Bytes() const { return 4 * count; }
};

inline constexpr std::size_t kCounterCount = 44;

inline constexpr std::array<CounterBlockLayout, 3> kCounterBlocks = {{
    {mib::Variable::EthernetRxCounters, 0, 16},
    {mib::Variable::EthernetTxCounters, 16, 14},
    {mib::Variable::WirelessCounters, 30, 14},
}};

// Every counter in reply order: block 1, block 2, block 3, each from counter 0 upwards. The
// wireless block carries its transmit counters before its receive counters.
inline constexpr std::array<CounterSlot, kCounterCount> kCounters = {{
    {0, 0, "TotalBytesRx:", 1036, 1070, Column::EthernetReceive, 0, "ethernet_rx_bytes"},
    {0, 4, "TotalPktRx:", 1037, 1071, Column::EthernetReceive, 1, "ethernet_rx_packets"},
    {0, 8, "CRCErrorRx:", 1038, 1072, Column::EthernetReceive, 2, "ethernet_rx_crc_errors"},
    {0, 12, "Multicast:", 1040, 1073, Column::EthernetReceive, 3, "ethernet_rx_multicast"},
    {0, 16, "Broadcast:", 1041, 1074, Column::EthernetReceive, 4, "ethernet_rx_broadcast"},
    {0, 20, "ControlFrames:", 1042, 1075, Column::EthernetReceive, 5, "ethernet_rx_control_frames"},
    {0, 24, "PauseFrames:", 1043, 1076, Column::EthernetReceive, 6, "ethernet_rx_pause_frames"},
    {0, 28, "UnknownOPC:", 1044, 1077, Column::EthernetReceive, 7, "ethernet_rx_unknown_opcodes"},
    {0, 32, "AlignmentErr:", 1048, 1078, Column::EthernetReceive, 8,
     "ethernet_rx_alignment_errors"},
    {0, 36, "OutOfRange:", 1049, 1079, Column::EthernetReceive, 9, "ethernet_rx_out_of_range"},
    {0, 40, "CodeErrorRx:", 1050, 1080, Column::EthernetReceive, 10, "ethernet_rx_code_errors"},
    {0, 44, "FlaseCarrierRx:", 1051, 1081, Column::EthernetReceive, 11,
     "ethernet_rx_false_carrier"},
    {0, 48, "Undersize:", 1052, 1082, Column::EthernetReceive, 12, "ethernet_rx_undersize"},
    {0, 52, "Oversize:", 1053, 1083, Column::EthernetReceive, 13, "ethernet_rx_oversize"},
    {0, 56, "TotalFragments:", 1054, 1084, Column::EthernetReceive, 14, "ethernet_rx_fragments"},
    {0, 60, "TotalJabber:", 1055, 1085, Column::EthernetReceive, 15, "ethernet_rx_jabbers"},

    {1, 0, "TotalBytesTx:", 1056, 1086, Column::EthernetTransmit, 0, "ethernet_tx_bytes"},
    {1, 4, "TotalPackets:", 1057, 1087, Column::EthernetTransmit, 1, "ethernet_tx_packets"},
    {1, 8, "CRCError:", 1058, 1088, Column::EthernetTransmit, 2, "ethernet_tx_crc_errors"},
    {1, 12, "Multicast:", 1059, 1089, Column::EthernetTransmit, 3, "ethernet_tx_multicast"},
    {1, 16, "Broadcast:", 1060, 1090, Column::EthernetTransmit, 4, "ethernet_tx_broadcast"},
    {1, 20, "Unicast:", 1061, 1091, Column::EthernetTransmit, 5, "ethernet_tx_unicast"},
    {1, 24, "PauseFrames:", 1062, 1092, Column::EthernetTransmit, 6, "ethernet_tx_pause_frames"},
    {1, 28, "SingleDefer:", 1063, 1093, Column::EthernetTransmit, 7,
     "ethernet_tx_single_deferrals"},
    {1, 32, "MultiDefer:", 1064, 1094, Column::EthernetTransmit, 8,
     "ethernet_tx_multiple_deferrals"},
    {1, 36, "SingleCollisions:", 1065, 1095, Column::EthernetTransmit, 9,
     "ethernet_tx_single_collisions"},
    {1, 40, "MultiCollisions:", 1066, 1096, Column::EthernetTransmit, 10,
     "ethernet_tx_multiple_collisions"},
    {1, 44, "LateCollisions:", 1067, 1097, Column::EthernetTransmit, 11,
     "ethernet_tx_late_collisions"},
    {1, 48, "Excessive:", 1068, 1098, Column::EthernetTransmit, 12,
     "ethernet_tx_excessive_collisions"},
    {1, 52, "TotalCollisions:", 1069, 1099, Column::EthernetTransmit, 13, "ethernet_tx_collisions"},

    {2, 0, "Unicast:", 1107, 1127, Column::WirelessTransmit, 0, "wireless_tx_unicast"},
    {2, 4, "Broadcast:", 1108, 1128, Column::WirelessTransmit, 1, "wireless_tx_broadcast"},
    {2, 8, "Multicast:", 1109, 1129, Column::WirelessTransmit, 2, "wireless_tx_multicast"},
    {2, 12, "TxBeacon:", 1110, 1130, Column::WirelessTransmit, 3, "wireless_tx_beacons"},
    {2, 16, "TxACK:", 1111, 1131, Column::WirelessTransmit, 4, "wireless_tx_acks"},
    {2, 20, "TxRTS:", 1112, 1132, Column::WirelessTransmit, 5, "wireless_tx_rts"},
    {2, 24, "TxCTS:", 1113, 1133, Column::WirelessTransmit, 6, "wireless_tx_cts"},
    {2, 28, "Unicast:", 1100, 1114, Column::WirelessReceive, 0, "wireless_rx_unicast"},
    {2, 32, "Broadcast:", 1101, 1121, Column::WirelessReceive, 1, "wireless_rx_broadcast"},
    {2, 36, "Multicast:", 1102, 1122, Column::WirelessReceive, 2, "wireless_rx_multicast"},
    {2, 40, "RxBeacon:", 1103, 1123, Column::WirelessReceive, 3, "wireless_rx_beacons"},
    {2, 44, "RxACK:", 1104, 1124, Column::WirelessReceive, 4, "wireless_rx_acks"},
    {2, 48, "RxRTS:", 1105, 1125, Column::WirelessReceive, 5, "wireless_rx_rts"},
    {2, 52, "RxCTS:", 1106, 1126, Column::WirelessReceive, 6, "wireless_rx_cts"},
}};

// The counter with this key; nullopt for any other text.
std::optional<std::size_t> CounterByKey(std::string_view key);

// The 44 value texts, indexed like kCounters.
using CounterTexts = std::array<std::string, kCounterCount>;

// The counter in decimal without sign, separators or padding; reuses the text's storage.
void FormatCounter(std::uint32_t value, std::string& text);

// Formats one block's counters from the received bytes into its share of texts. A counter
// that the bytes do not wholly cover becomes empty; bytes past the last counter are ignored.
// Returns how many counters the bytes covered.
std::size_t DecodeCounterBlock(std::span<const std::uint8_t> bytes, const CounterBlockLayout& block,
                               CounterTexts& texts);

// The extraction of read group 3: reply variables 1 to 3, in order, into texts. Stops with
// false at the first variable that is missing or not an octet string; the blocks decoded
// before it keep their new texts.
bool ExtractStatistics(snmp::AgentSession& session, CounterTexts& texts);

}  // namespace kelvo::statistics
