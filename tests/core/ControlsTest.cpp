// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "ui/Controls.h"

namespace kelvo::ui {
namespace {

TEST(Controls, ChoiceListSelectionMayBeNone) {
  ChoiceList list({"Enabled", "Disabled"}, 0);
  EXPECT_EQ(list.SelectedText(), "Enabled");
  const unsigned before = list.Revision();
  EXPECT_FALSE(list.Select(2)) << "outside the list clears the selection";
  EXPECT_EQ(list.Selection(), ChoiceList::kNone);
  EXPECT_EQ(list.SelectedText(), "");
  EXPECT_GT(list.Revision(), before);
  EXPECT_TRUE(list.Select(1));
  list.Insert(0, "First");
  EXPECT_EQ(list.SelectedText(), "Disabled") << "the selection stays on its entry";
  list.SetEntries({"A"});
  EXPECT_FALSE(list.HasSelection());
  const unsigned unchanged = list.Revision();
  list.Select(-1);
  EXPECT_EQ(list.Revision(), unchanged) << "no change, no refresh";
}

TEST(Controls, TextLimitsStopTypingAndRefuseLongerTexts) {
  test::RecordingPrompter prompter;
  TextField password(15);
  password.Type("0123456789abcdefXYZ");
  EXPECT_EQ(password.Text(), "0123456789abcde");
  EXPECT_EQ(password.Take(prompter), "0123456789abcde");
  password.SetText("0123456789abcdefXYZ");
  EXPECT_EQ(password.Take(prompter), std::nullopt);
  ASSERT_EQ(prompter.Shown().size(), 1U);
  EXPECT_EQ(prompter.Shown()[0].text, "Please enter no more than 15 characters.");
  TextField unlimited;
  unlimited.Type(std::string(300, 'x'));
  EXPECT_EQ(unlimited.Text().size(), 300U);
}

TEST(Controls, NumberBoxesKeepTheirLastNumber) {
  test::RecordingPrompter prompter;
  NumberField beacon(100);
  EXPECT_EQ(beacon.Text(), "100");
  const struct {
    const char* text;
    bool taken;
    long number;
  } cases[] = {{"250", true, 250}, {"", false, 250}, {"12a", false, 250},
               {" 30 ", true, 30}, {"-5", true, -5}, {"99999999999", false, -5},
               {"+7", true, 7},    {"+-7", false, 7}};
  for (const auto& c : cases) {
    beacon.SetText(c.text);
    bool taken = false;
    EXPECT_EQ(beacon.Take(prompter, &taken), c.number) << c.text;
    EXPECT_EQ(taken, c.taken) << c.text;
  }
  EXPECT_EQ(prompter.Texts(), (std::vector<std::string>(4, "Please enter an integer.")));
  EXPECT_EQ(prompter.Shown()[0].icon, MessageIcon::Warning);
}

TEST(Controls, AddressBoxesTellBlankFromZero) {
  AddressField address;
  EXPECT_TRUE(address.IsBlank());
  EXPECT_EQ(address.Address(), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
  address.SetAddress({0, 0, 0, 0});
  EXPECT_FALSE(address.IsBlank());
  address.SetParts({std::uint8_t{10}, std::nullopt, std::nullopt, std::uint8_t{1}});
  EXPECT_EQ(address.Address(), (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
  address.Blank();
  EXPECT_TRUE(address.IsBlank());
}

TEST(Controls, ListBoxRemovalKeepsTheSelectionOnItsItem) {
  ListBox list;
  for (const char* item : {"A", "B", "C"}) list.Add(item);
  list.Select(2);
  list.Remove(0);
  EXPECT_EQ(list.Selection(), 1);
  list.Remove(1);
  EXPECT_EQ(list.Selection(), ChoiceList::kNone);
  list.Remove(7);
  EXPECT_EQ(list.Count(), 1);
}

}  // namespace
}  // namespace kelvo::ui
