#pragma once

class QKeyEvent;

// Keys the sign-in screen's own buttons answer besides Space.
namespace OrvalenKeys {

// Return or Enter (the keypad's) without a modifier other than the keypad's own: what a
// person presses on a focused button to press it.
bool isActivation(const QKeyEvent *event);

} // namespace OrvalenKeys
