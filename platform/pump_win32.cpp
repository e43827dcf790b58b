// The message pump on Windows.
#include "platform/pump.h"

#include <windows.h>

namespace platform {

void pump_messages(WindowHandle dialog)
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (dialog != 0 && IsDialogMessageA(reinterpret_cast<HWND>(dialog), &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void send_progress(WindowHandle window, std::int32_t code, std::uint16_t* percent)
{
    SendMessageA(reinterpret_cast<HWND>(window), WM_COMMAND, static_cast<WPARAM>(code),
                 reinterpret_cast<LPARAM>(percent));
}

bool key_down(std::int32_t virtual_key)
{
    // A key pressed while another program is in front is meant for that one.
    DWORD owner = 0;
    const HWND foreground = GetForegroundWindow();
    if (foreground == nullptr || GetWindowThreadProcessId(foreground, &owner) == 0 || owner != GetCurrentProcessId())
        return false;
    return GetAsyncKeyState(virtual_key) < 0;
}

}  // namespace platform
