// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/AuthorizedMacTable.h"

#include <array>
#include <cstdint>

#include "mib/AuthorizedTableRecord.h"
#include "mib/Conversions.h"
#include "snmp/AgentSession.h"

namespace kelvo::pages {
namespace {

using Address = std::array<std::uint8_t, 6>;

mib::AuthorizedTableRecord Record(std::uint16_t operation, std::uint16_t count, std::uint16_t index,
                                  const Address& address = {}) {
  mib::AuthorizedTableRecord record;
  record.operation = operation;
  record.count = count;
  record.index = index;
  record.address = address;
  return record;
}

}  // namespace

std::vector<std::string> FetchAuthorizedAddresses(snmp::AgentSession& session,
                                                  const std::string& host, bool* complete) {
  std::vector<std::string> entries;
  std::uint16_t count = 0;
  Address address{};
  bool answered = mib::ExchangeAuthorizedRecord(
      session, host, Record(mib::AuthorizedTableRecord::kFetch, 0, 1), count, address);
  if (complete != nullptr) *complete = answered;
  if (count < 1 || count > kAuthorizedTableLimit) return entries;

  // The count carries over from one reply to the next, so an entry that got no answer reads
  // as zeros and the fetch goes on with the rest.
  for (std::uint16_t index = 1;
       index <= count && entries.size() < static_cast<std::size_t>(kAuthorizedTableLimit);
       ++index) {
    address = {};
    answered =
        mib::ExchangeAuthorizedRecord(
            session, host, Record(mib::AuthorizedTableRecord::kFetch, 0, index), count, address) &&
        answered;
    entries.push_back(mib::HexText(address));
  }
  if (complete != nullptr) *complete = answered;
  return entries;
}

bool StoreAuthorizedAddresses(snmp::AgentSession& session, const std::string& host,
                              const std::vector<std::string>& entries) {
  std::vector<Address> addresses;
  for (const std::string& entry : entries) {
    if (addresses.size() == static_cast<std::size_t>(kAuthorizedTableLimit)) break;
    Address address{};
    if (entry.size() == 12 && mib::ParseHex(entry, 12, address, session.Prompter())) {
      addresses.push_back(address);
    }
  }

  // Replies are not examined: the device's table is whatever it made of the records.
  std::uint16_t count = 0;
  Address reply{};
  if (addresses.empty()) {
    return mib::ExchangeAuthorizedRecord(
        session, host, Record(mib::AuthorizedTableRecord::kStore, 0, 0), count, reply);
  }
  bool stored = true;
  const auto total = static_cast<std::uint16_t>(addresses.size());
  for (std::uint16_t i = 0; i < total; ++i) {
    stored = mib::ExchangeAuthorizedRecord(session, host,
                                           Record(mib::AuthorizedTableRecord::kStore, total,
                                                  static_cast<std::uint16_t>(i + 1), addresses[i]),
                                           count, reply) &&
             stored;
  }
  return stored;
}

}  // namespace kelvo::pages
