// What the stand-in programs share: their window class, and their event log.
// When the environment variable IMU_STANDIN_LOG names a file, each event is
// appended to it as one line "<program> <event>". Several stand-ins may share
// one file, so each line is written with one append and the file is closed
// again at once.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

inline void log_event(const std::string& program, const std::string& event)
{
    char path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("IMU_STANDIN_LOG", path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        return;
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string line = program + " " + event + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

// A plain window class on the dialog colour.
inline void register_window_class(HINSTANCE instance, WNDPROC procedure, const char* name)
{
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = name;
    RegisterClassA(&window_class);
}

}  // namespace standin
