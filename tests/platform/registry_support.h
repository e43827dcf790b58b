// What the tests do to the registry and the program never does, with the
// system's own calls: a key removed with everything below it, and a value
// looked for without opening (so creating) its key.
#pragma once

#include <windows.h>

#include <shlwapi.h>

#include <string>

namespace regtest {

// True once the key under HKEY_CURRENT_USER is gone, also when it never was.
inline bool DeleteCurrentUserKey(const std::string& path)
{
    const LSTATUS status = SHDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

inline bool CurrentUserValueExists(const std::string& path, const std::string& name)
{
    return SHGetValueA(HKEY_CURRENT_USER, path.c_str(), name.c_str(), nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace regtest
