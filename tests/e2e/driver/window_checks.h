// Driver commands about the Adjust-warp window as a user meets it: its layout at the present DPI and
// its keyboard use.
#pragma once

namespace kelvane::driver {

// Each child inside the client area, none overlapping another, each text (in the control's own
// font) inside its control; prints the DPI, the client size and every control. exit_fault on a fault.
int layout(const wchar_t* class_name);
// Posts a key ("down" or "up") to the window's focused control, or to the window without one.
int key(const wchar_t* class_name, const wchar_t* virtual_key, const wchar_t* direction);
// Prints the id of the window's focused control (-1: none).
int focus_id(const wchar_t* class_name);

}  // namespace kelvane::driver
