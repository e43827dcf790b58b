#include "platform/win/registry.h"

#include <utility>
#include <vector>

namespace platform::win {

namespace {

[[noreturn]] void fail(const char* format, const std::string& name)
{
    std::string message = format;
    message.replace(message.find("%s"), 2, name);
    throw RegistryError(message);
}

// Windows XP has no RegDeleteTreeA, and RegDeleteKeyA refuses a key that has
// subkeys: the subkeys go first, each with its own subkeys, then the key.
LSTATUS delete_tree(HKEY parent, const char* path)
{
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(parent, path, 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return status;
    char name[256];  // a key name has at most 255 characters
    do {
        DWORD length = sizeof(name);
        // Always the first subkey: the one before it has just gone.
        status = RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            status = delete_tree(key, name);
    } while (status == ERROR_SUCCESS);
    RegCloseKey(key);
    if (status != ERROR_NO_MORE_ITEMS)
        return status;
    return RegDeleteKeyA(parent, path);
}

}  // namespace

std::optional<RegistryKey> RegistryKey::open_current_user(const std::string& path, REGSAM access)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryKey(key);
}

bool RegistryKey::delete_current_user(const std::string& path)
{
    const LSTATUS status = delete_tree(HKEY_CURRENT_USER, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool RegistryKey::value_exists(const std::string& name) const
{
    return RegQueryValueExA(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::int32_t RegistryKey::read_integer(const std::string& name) const
{
    // The data must fit the integer before its type is looked at.
    std::int32_t value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        fail("Failed to get data for '%s'", name);
    if (type != REG_DWORD)
        fail("Invalid data type for '%s'", name);
    return value;
}

bool RegistryKey::read_bool(const std::string& name) const { return read_integer(name) != 0; }

std::string RegistryKey::read_string(const std::string& name) const
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        fail("Invalid data type for '%s'", name);
    std::vector<char> buffer(size + 1, '\0');
    if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        fail("Failed to get data for '%s'", name);
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        fail("Invalid data type for '%s'", name);
    buffer[size] = '\0';
    return std::string(buffer.data());
}

void RegistryKey::write_integer(const std::string& name, std::int32_t value)
{
    const DWORD data = static_cast<DWORD>(value);
    if (RegSetValueExA(key_.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)) !=
        ERROR_SUCCESS)
        fail("Failed to set data for '%s'", name);
}

void RegistryKey::write_string(const std::string& name, const std::string& value)
{
    if (RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
        fail("Failed to set data for '%s'", name);
}

}  // namespace platform::win
