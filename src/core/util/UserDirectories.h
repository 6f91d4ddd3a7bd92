// SPDX-License-Identifier: GPL-2.0-or-later
// Where an installed program keeps a user's files when no settings path is configured: the
// XDG data directory, never the directory the program happened to be started in.
#pragma once

#include <string>

namespace kelvo::util {

// $XDG_DATA_HOME/kelvo/ when XDG_DATA_HOME is an absolute path, else $HOME/.local/share/kelvo/;
// with its trailing separator. Empty when neither variable gives an absolute path.
std::string DefaultSettingsPath();

// Creates the settings path with its Profile/ and Firmware/ directories, those that are
// missing, private to the user (mode 0700, as profiles hold keys and passwords). False with
// errno set when one could not be made.
bool CreateSettingsDirectories(const std::string& settingsPath);

// The default settings path with its directories made, for a program whose user named none.
// Should they be impossible to make, the path is still returned: the first save or staging
// there reports the failure as any failed write does.
std::string PreparedDefaultSettingsPath();

}  // namespace kelvo::util
