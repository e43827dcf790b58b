// The event log of the stand-in programs: when the environment variable
// IMU_STANDIN_LOG names a file, each event is appended to it as one line
// "<program> <event>". Several stand-ins may share one file, so each line is
// written with one append and the file is closed again at once.
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

}  // namespace standin
