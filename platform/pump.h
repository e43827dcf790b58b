// What a long extraction needs of the user interface: running pending window
// messages, a synchronous progress notification that can answer "stop", and a
// test whether a key is held down.
//
// On Windows these are the thread's message queue, WM_COMMAND and the
// asynchronous key state. Elsewhere there is no message queue, so each
// operation is a hook a caller can set (tests use them to act in the middle of
// an extraction); unset hooks do nothing.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// A window handle at the platform's full width; 0 = none.
using WindowHandle = std::uintptr_t;

// Dispatches every pending message of the calling thread. Messages meant for
// the dialog (when not 0) go through its keyboard handling first.
void pump_messages(WindowHandle dialog);

// Sends WM_COMMAND with wParam = code and lParam = the address of percent, and
// waits for the receiver, which may overwrite *percent (0xFFFF asks to stop).
void send_progress(WindowHandle window, std::int32_t code, std::uint16_t* percent);

// True when the key with this virtual-key code is down right now; on Windows
// only while a window of this program is the foreground window.
[[nodiscard]] bool key_down(std::int32_t virtual_key);

#ifndef _WIN32
struct PumpHooks {
    std::function<void(WindowHandle dialog)> pump;
    std::function<void(WindowHandle window, std::int32_t code, std::uint16_t* percent)> progress;
    std::function<bool(std::int32_t virtual_key)> key_down;
};

// Installs the hooks and hands back the ones that were in force.
PumpHooks set_pump_hooks(PumpHooks hooks);
#endif

}  // namespace platform
