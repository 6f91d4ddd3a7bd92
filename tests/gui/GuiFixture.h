// SPDX-License-Identifier: GPL-2.0-or-later
// Helpers of the view tests: waiting with the event loop running, and acting on the modal
// window that a model opens from inside its own call.
#pragma once

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <functional>

namespace kelvo::test {

// Runs the event loop until done() holds or the time-out passes; returns done().
bool SpinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Runs action on the next modal window of type W once it is on screen (checked every 20 ms,
// for at most 5 s). The action runs inside the modal window's own event loop.
void OnModal(std::function<void(QWidget*)> action);

template <typename W>
void OnModalOf(std::function<void(W*)> action) {
  OnModal([action = std::move(action)](QWidget* widget) { action(qobject_cast<W*>(widget)); });
}

}  // namespace kelvo::test
