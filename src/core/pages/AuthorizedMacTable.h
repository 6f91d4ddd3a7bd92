// SPDX-License-Identifier: GPL-2.0-or-later
// The whole authorised MAC table moved to and from an access point, one record exchange per
// entry. Neither direction reports anything: the device's answers are taken as they come.
#pragma once

#include <string>
#include <vector>

namespace kelvo::snmp {
class AgentSession;
}

namespace kelvo::pages {

// The device keeps at most this many authorised stations.
inline constexpr int kAuthorizedTableLimit = 128;

// Asks for the table's size with a fetch of entry 1, then fetches entries 1, 2, ... for as
// long as the latest reply counts that many. Returns the addresses as 12 upper-case hex
// digits; an entry whose exchange failed reads as twelve zeros. Empty when the size is below
// 1 or above the limit; never more than the limit even if later replies count more.
// *complete, when given, says whether the device answered every exchange.
std::vector<std::string> FetchAuthorizedAddresses(snmp::AgentSession& session,
                                                  const std::string& host,
                                                  bool* complete = nullptr);

// Stores the entries in order, each record carrying the table's size and the entry's 1-based
// index; an empty table is stored as one record with count and index 0. Entries that are not
// exactly 12 hex digits are left out (the count and indices cover the others only), and
// entries past the limit are not sent. Returns whether the device took every record.
bool StoreAuthorizedAddresses(snmp::AgentSession& session, const std::string& host,
                              const std::vector<std::string>& entries);

}  // namespace kelvo::pages
