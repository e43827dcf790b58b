// Under Wine on an X server without a window manager, hiding a window that a
// manager would handle waits two seconds for the manager's answer. The tests
// hide and destroy many windows, so Wine is told to leave the windows of this
// program unmanaged. Wine reads that setting when the process starts, so the
// first run in a fresh prefix sets it and runs the tests in a child process.
// On Windows nothing happens. Any test program that shows windows can link
// this file; the setting is kept per program name.
#include <windows.h>

#include <string>

namespace {

// Wine's per-program settings of its X11 driver, for this program's file name.
std::string SettingsKey()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    name.erase(0, name.find_last_of("\\/") + 1);
    return "Software\\Wine\\AppDefaults\\" + name + "\\X11 Driver";
}

bool RunningUnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

bool WindowsAreUnmanaged()
{
    char value[8] = {};
    DWORD size = sizeof(value);
    return RegGetValueA(HKEY_CURRENT_USER, SettingsKey().c_str(), "Managed", RRF_RT_REG_SZ, nullptr, value, &size) ==
        ERROR_SUCCESS &&
        (value[0] == 'N' || value[0] == 'n');
}

const bool unmanaged_windows = [] {
    if (!RunningUnderWine() || WindowsAreUnmanaged())
        return true;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const char no[] = "N";
    const bool written =
        RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(no), sizeof(no)) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!written)
        return false;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    std::string command = GetCommandLineA();
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child))
        return false;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    ExitProcess(code);
}();

}  // namespace
