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

TEST(Controls, DeviceTextsHoldLatin1OneBytePerCharacter) {
  const struct {
    const char* utf8;
    std::optional<std::string> latin1;
  } cases[] = {{"Lab Net", "Lab Net"},        {"caf\u00e9", "caf\xE9"},
               {"\u00ff\u0080", "\xFF\x80"},  {"\u20ac", std::nullopt},
               {"a\U0001F600", std::nullopt}, {"\xC3", std::nullopt},
               {"\xE9t\xE9", std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(Latin1FromUtf8(c.utf8), c.latin1) << c.utf8;
    if (c.latin1) {
      EXPECT_EQ(Utf8FromLatin1(*c.latin1), c.utf8);
    }
  }
  // "é" is one character and one byte, so fifteen of them fill the password's limit.
  TextField password(15);
  std::string typed;
  for (int i = 0; i < 16; ++i) typed += "\u00e9";
  EXPECT_TRUE(password.TypeDisplayed(typed));
  EXPECT_EQ(password.Text(), std::string(15, '\xE9'));
  EXPECT_EQ(password.DisplayText(), typed.substr(0, 30));
  test::RecordingPrompter prompter;
  EXPECT_EQ(password.Take(prompter), std::string(15, '\xE9'));
  EXPECT_FALSE(password.TypeDisplayed("\u20ac"));
  EXPECT_EQ(password.Text(), std::string(15, '\xE9'));
  // A name on this computer stays UTF-8 and is never cut inside a character.
  TextField name(3);
  name.SetEncoding(TextEncoding::Local);
  EXPECT_TRUE(name.TypeDisplayed("a\u00e9\u00e9"));
  EXPECT_EQ(name.Text(), "a\u00e9");
  EXPECT_TRUE(prompter.Shown().empty());
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
  EXPECT_EQ(prompter.Shown()[0].icon, MessageIcon::Error);
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
