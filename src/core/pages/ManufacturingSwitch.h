// SPDX-License-Identifier: GPL-2.0-or-later
// The manufacturing switch: a "manufacture.ini" in the settings path whose [Manufacture5521]
// section starts with "Enable5521=1" turns on the System page's MFG button.
#pragma once

#include <string>
#include <string_view>

namespace kelvo::pages {

inline constexpr std::string_view kManufacturingFileName = "manufacture.ini";

// Where the switch file lies for a settings path (with its trailing separator, or empty for the
// current directory).
std::string ManufacturingFilePath(std::string_view settingsPath);

// Whether the file turns the MFG button on. A file that cannot be opened, a missing section and
// any other first entry of the section all answer false; the caller then leaves the button as
// it is, since the switch only ever shows it.
//
// The file is read in lines of at most 63 characters, as the switch always has, so a longer line
// counts as several. After the section line, empty lines and lines that begin with a space are
// skipped; the next line decides. Its line break is dropped as the last character, which is why
// "Enable5521=1" as the file's last line without a line break does not count. A CR before the
// line break belongs to the line break, so files written on Windows read the same.
bool ManufacturingEnabled(const std::string& path);

}  // namespace kelvo::pages
