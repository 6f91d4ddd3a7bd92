// SPDX-License-Identifier: GPL-2.0-or-later
// The core's texts are UTF-8 and reach Qt through this one conversion.
#pragma once

#include <QString>
#include <string_view>

namespace kelvo::gui {

inline QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace kelvo::gui
