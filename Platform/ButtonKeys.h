#pragma once

#include <Qt>

class QKeyEvent;

// What the application's own buttons take from the keyboard besides Space.
namespace ButtonKeys {

// Return or Enter (the keypad's) without a modifier other than the keypad's own: what a
// person presses on a focused button to press it.
bool isActivation(const QKeyEvent *event);

// A focus the keyboard gave (Tab, Backtab, a shortcut). Only such a focus shows a ring, and
// only there does Return press: a focus handed out as a window came up shows nothing, so a
// Return typed into it must not start anything.
bool isFromKeyboard(Qt::FocusReason reason);

} // namespace ButtonKeys
