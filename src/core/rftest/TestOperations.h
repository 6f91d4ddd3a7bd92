// SPDX-License-Identifier: GPL-2.0-or-later
// The requests of the manufacturing test, made through the session's component with its
// communities: set a test variable, get the packet parameters or the counters, and read the
// register blocks back; plus the local interface checks of the test window. Each runs on the
// user-interface thread, blocks it for at most its time-out and reports failures through the
// session's prompter (error icon, caption "Kelvo"). No request is retried.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "rftest/TestBlocks.h"

namespace kelvo::snmp {
class AgentSession;
}

namespace kelvo::rftest {

inline constexpr int kTestRequestTimeoutMs = 2000;
inline constexpr int kRegisterReadTimeoutMs = 10000;

// Receives the first variable's bytes of a reply, on the user-interface thread.
using TestReplyHandler = std::function<void(std::span<const std::uint8_t>)>;

// Group 1 sends blocks.mode as an INTEGER; groups 2, 4, 5 and 7 send their block as an OCTET
// STRING, with the write community. True when the agent accepted it; false after "Snmp set to
// Agent error! ..." (refused) or "Snmp Time out! ..." (no reply). Other groups send nothing
// and return false.
bool SetTestVariable(snmp::AgentSession& session, TestGroup group, const std::string& host,
                     const TestBlocks& blocks);

// Group 2 (RfTestParameters) or 6 (RfTestCounters) with the read community. The reply's bytes
// go to `received` before its error status is looked at; an accepted reply without readable
// bytes shows "Snmp extract vairable error! ...". A refusal shows "Snmp get error! ..." alone
// and no reply "Snmp Time out! ...", both for group 2 only: the counters are polled, so a
// silent or refusing device must not produce a stream of messages.
void GetTestVariable(snmp::AgentSession& session, TestGroup group, const std::string& host,
                     const TestReplyHandler& received);

// Group 4, 5 or 7: sends the block with its operation set to Read and the write community,
// waits up to 10000 ms, hands the reply's bytes to `received` (decode them with
// DecodeBaseband, DecodePower or DecodeSynthesizer), then reports a refusal with "Snmp set to
// Agent error! ..."; no reply or no readable bytes shows "Snmp Time out! ..." and leaves
// `received` uncalled. Other groups send nothing.
void ReadTestRegisters(snmp::AgentSession& session, TestGroup group, const std::string& host,
                       const TestBlocks& blocks, const TestReplyHandler& received);

// Binds the session's component to the Ethernet interface address, port 0, so that the test
// requests leave from it. False when the component refused (nothing is shown; the component
// keeps its previous socket).
bool UseLocalAddress(snmp::AgentSession& session, const std::string& address);

// Whether a UDP socket can be bound to the address (port 0) on this computer; the socket is
// closed again in every case.
bool ProbeLocalAddress(const std::string& address);

}  // namespace kelvo::rftest
