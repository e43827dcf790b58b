#include "platform/win/registry.h"

#include <vector>

namespace platform::win {

namespace {

[[noreturn]] void fail(const char* format, const std::string& name)
{
    std::string message = format;
    message.replace(message.find("%s"), 2, name);
    throw RegistryError(message);
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
