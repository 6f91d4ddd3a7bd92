// SPDX-License-Identifier: GPL-2.0-or-later
#include "statistics/CounterRates.h"

#include <algorithm>

#include "mib/MibVariables.h"
#include "statistics/LittleEndianReader.h"

namespace kelvo::statistics {
namespace {

constexpr std::uint64_t kWrap = std::uint64_t{1} << 32;

}  // namespace

bool ExtractCounterValues(snmp::AgentSession& session, CounterValues& values) {
  values.fill(std::nullopt);
  const snmp::SnmpMessage& reply = session.Component().Message();
  for (const CounterBlockLayout& block : kCounterBlocks) {
    const snmp::SnmpVariable* variable =
        reply.Item(mib::ReadPosition(mib::Group::Statistics, block.variable));
    if (variable == nullptr || variable->Tag() != snmp::ValueTag::OctetString) return false;
    const LittleEndianReader reader(variable->Bytes());
    for (std::size_t i = block.first; i < block.first + block.count; ++i) {
      values[i] = reader.U32(kCounters[i].offset);
    }
  }
  return true;
}

std::vector<std::string> CounterGroup::ReadIdentifiers() const {
  std::vector<std::string> oids;
  for (const mib::Variable variable : mib::ReadGroup(mib::Group::Statistics)) {
    oids.push_back(mib::FullOid(variable));
  }
  return oids;
}

bool CounterGroup::Extract(snmp::AgentSession& session) {
  replied_ = true;
  return ExtractCounterValues(session, values_);
}

std::optional<CounterValues> ReadCounters(snmp::AgentSession& session, const std::string& host) {
  CounterGroup group;
  snmp::AgentGroup* const kept = session.Handler(mib::Group::Statistics);
  const bool quiet = session.Quiet();
  session.AttachGroup(mib::Group::Statistics, &group);
  session.SetQuiet(true);
  session.ReadGroup(mib::Group::Statistics, host);
  session.SetQuiet(quiet);
  session.AttachGroup(mib::Group::Statistics, kept);
  if (!group.Replied() || session.Component().Message().ErrorStatus() != 0) return std::nullopt;
  const CounterValues& values = group.Values();
  const bool any = std::any_of(values.begin(), values.end(),
                               [](const auto& value) { return value.has_value(); });
  if (!any) return std::nullopt;
  return values;
}

std::optional<std::uint32_t> CounterAdvance(std::uint32_t before, std::uint32_t after) {
  const auto advance = static_cast<std::uint32_t>(after - before);
  if (after < before && advance >= kWrap / 2) return std::nullopt;
  return advance;
}

RateTracker::Sample RateTracker::Add(const CounterValues& values, Clock::time_point at) {
  Sample sample;
  bool previous = false;
  bool restarted = false;
  for (std::size_t i = 0; i < kCounterCount; ++i) {
    if (!values[i] || !last_[i]) continue;
    previous = true;
    if (!CounterAdvance(last_[i]->value, *values[i])) restarted = true;
  }
  if (restarted) {
    ++restarts_;
    sample.outcome = Outcome::Restarted;
    last_.fill(std::nullopt);
    totals_.fill(std::nullopt);
  } else if (previous) {
    sample.outcome = Outcome::Rates;
  }
  for (std::size_t i = 0; i < kCounterCount; ++i) {
    // A counter the reply lacked keeps its baseline for the next read that has it.
    if (!values[i]) continue;
    const std::uint32_t value = *values[i];
    if (last_[i]) {
      const std::uint32_t advance = *CounterAdvance(last_[i]->value, value);
      const std::chrono::duration<double> elapsed = at - last_[i]->at;
      // Two reads stamped alike (or out of order) give no rate; the newer value is kept.
      if (elapsed.count() > 0) sample.perSecond[i] = advance / elapsed.count();
      *totals_[i] += advance;
    } else {
      totals_[i] = value;
    }
    last_[i] = Last{value, at};
  }
  return sample;
}

}  // namespace kelvo::statistics
