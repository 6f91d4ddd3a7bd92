// SPDX-License-Identifier: GPL-2.0-or-later
// A page test's world: simulated access points over UDP, a session with a scripted prompter,
// timers fired by hand and the run's values record.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mib/AgentValues.h"
#include "pages/Page.h"
#include "snmp/AgentSession.h"
#include "snmp/WaitHook.h"
#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::test {

class PageFixture : public ::testing::Test {
 protected:
  explicit PageFixture(ApSimOptions options = {})
      : sim_(std::move(options)),
        session_(snmp::SnmpComponent::Create(wait_), prompter_, busy_),
        context_{session_, values_, timers_, {}} {
    session_.SetAgentPort(sim_.Port());
    session_.SetWriteCommunity("admin");
  }

  std::string Host() const { return sim_.Address(0); }
  // The prompter's texts so far, then forgets them.
  std::vector<std::string> TakeMessages() {
    auto texts = prompter_.Texts();
    prompter_.Clear();
    return texts;
  }

  ApSimProcess sim_;
  snmp::PollWaitHook wait_;
  RecordingPrompter prompter_;
  CountingBusy busy_;
  ManualTimers timers_;
  mib::AgentValues values_;
  snmp::AgentSession session_;
  pages::PageContext context_;
};

}  // namespace kelvo::test
