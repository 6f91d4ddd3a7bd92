// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "pages/PasswordPrompt.h"
#include "snmp/WaitHook.h"
#include "support/TestSupport.h"

namespace kelvo::pages {
namespace {

class PasswordPromptTest : public ::testing::Test {
 protected:
  snmp::PollWaitHook wait_;
  test::RecordingPrompter prompter_;
  test::CountingBusy busy_;
  snmp::AgentSession session_{snmp::SnmpComponent::Create(wait_), prompter_, busy_};
  PasswordPrompt prompt_{session_};
};

TEST_F(PasswordPromptTest, OkAuthorisesWithTheTextAsTyped) {
  prompt_.Open();
  EXPECT_TRUE(prompt_.IsOpen());
  EXPECT_EQ(prompt_.Password().Text(), "");
  prompt_.Password().Type(" s3cret with spaces and more");
  EXPECT_EQ(prompt_.Password().Text(), " s3cret with sp") << "typing stops at 15 characters";
  EXPECT_TRUE(prompt_.Ok());
  EXPECT_FALSE(prompt_.IsOpen());
  EXPECT_TRUE(session_.Authorised());
  EXPECT_EQ(session_.WriteCommunity(), " s3cret with sp");

  // An empty password is a valid community too.
  prompt_.Open();
  EXPECT_TRUE(prompt_.Ok());
  EXPECT_EQ(session_.WriteCommunity(), "");
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(PasswordPromptTest, EscapeKeepsTheEarlierPasswordAndCloseBoxWithdrawsAuthorisation) {
  prompt_.Open();
  prompt_.Password().Type("admin");
  prompt_.Ok();
  prompt_.Open();
  prompt_.Password().Type("other");
  prompt_.Escape();
  EXPECT_FALSE(prompt_.IsOpen());
  EXPECT_TRUE(session_.Authorised());
  EXPECT_EQ(session_.WriteCommunity(), "admin");

  prompt_.Open();
  prompt_.CloseBox();
  EXPECT_FALSE(session_.Authorised());
  EXPECT_EQ(session_.WriteCommunity(), "admin");
}

TEST_F(PasswordPromptTest, OverlongTextSetOtherwiseIsRefusedAndThePromptStays) {
  prompt_.Open();
  prompt_.Password().SetText(std::string(16, 'x'));
  EXPECT_FALSE(prompt_.Ok());
  EXPECT_TRUE(prompt_.IsOpen());
  EXPECT_FALSE(session_.Authorised());
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{"Please enter no more than 15 characters."}));
}

}  // namespace
}  // namespace kelvo::pages
