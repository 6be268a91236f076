#pragma once

#include <windows.h>

namespace zvu::test {

// Puts the cursor on a point of a window's client area and returns once it
// has stayed there for three polls in a row, with the thread's messages and
// input handled between them (false when it did not within 5 s). Controls
// read a click's place from the message's cursor position, which a posted
// message takes from the moment it is posted; under Wine the display follows
// SetCursorPos a moment later, and motion events from before can still move
// the cursor back when they are handled. The window may still be settling on
// a fresh desktop: the target is worked out again on every poll.
bool MoveCursorTo(HWND window, POINT clientPoint);

}  // namespace zvu::test
