// SPDX-License-Identifier: GPL-2.0-or-later
// The "Profile Setting" box of the System page: named profiles in the profile directory, saved
// from and loaded into the IP configuration, Wireless and Security pages, and a loaded profile
// pushed to the selected access point. User-interface thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pages/IpConfigPage.h"
#include "pages/SecurityPage.h"
#include "pages/SystemPage.h"
#include "pages/WirelessPage.h"
#include "profiles/ProfileFile.h"
#include "util/FileReplacer.h"

namespace kelvo::pages {

namespace profile_messages {
inline constexpr std::string_view kOverwriteQuestion =
    "The profile name is already exist! Do you want to rewrite it?";
inline constexpr std::string_view kLoadQuestion =
    "Do you  want to load this profile setting and upgrade to Agent?";
}  // namespace profile_messages

// The pages a profile is taken from and put into.
struct ProfilePages {
  SystemPage& system;  // the regulatory domain that maps "Channel ID:"
  IpConfigPage& ipConfig;
  WirelessPage& wireless;
  SecurityPage& security;
};

// Puts parsed values into the pages as a load does; writes nothing to the device.
void PutIntoPages(const profiles::ProfileContents& contents, ProfilePages pages);

class ProfileStore {
 public:
  ProfileStore(PageContext& context, ProfilePages pages);

  const std::string& Directory() const { return directory_; }
  std::string FileName(std::string_view name) const;

  // Rebuilds the list from the directory; the System page runs it on every show and hide.
  void RefreshProfileList();

  // The four buttons.
  void AddSave();
  void Save();
  void Load();
  void Del();

  // The file's bytes for the pages' current values; nullopt when a page refused them (it
  // said why).
  std::optional<std::string> FormatCurrent();
  // Saves the pages' current values; false when a page refused them (it said why) or the file
  // could not be written (silently). The old file survives a failed write.
  bool WriteProfile(const std::string& fileName);
  // Reads a file into the pages; false after "Can not open file!" or "Not correctly Kelvodesk
  // profile!", the pages untouched.
  bool ReadProfile(const std::string& fileName);
  // Writes the pages to the selected access point: groups 2 and 4, the authorised table, then
  // group 5, stopping when group 2 or 4 fails. Returns whether every write was taken.
  bool ApplyProfile();

  // Tests replace the file writer to fail part way; nullptr restores the real one.
  void SetFileReplacer(util::FileReplacer* replacer) {
    replacer_ = replacer != nullptr ? replacer : &defaultReplacer_;
  }

 private:
  // The selected entry's name, or nullptr without a selection.
  const std::string* SelectedName() const;
  ui::Prompter& Prompter() { return context_.session.Prompter(); }

  PageContext& context_;
  ProfilePages pages_;
  std::string directory_;
  util::FileReplacer defaultReplacer_;
  util::FileReplacer* replacer_ = &defaultReplacer_;
};

}  // namespace kelvo::pages
