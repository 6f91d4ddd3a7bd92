// SPDX-License-Identifier: GPL-2.0-or-later
// The program icon and the main window's banner, drawn from the vector artwork in the
// resources so they stay sharp at every scale factor.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace kelvo::gui {

QIcon ProgramIcon();
// The banner at size (logical pixels) for a screen with the given device pixel ratio.
QPixmap Banner(QSize size, qreal devicePixelRatio);
inline constexpr QSize kBannerSize{456, 106};

}  // namespace kelvo::gui
