// A key of the registry under HKEY_CURRENT_USER, opened with create-if-missing
// and closed when the object goes away. Reads and writes report failures as
// RegistryError with the texts the user sees.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace platform::win {

class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RegistryKey {
public:
    // Opens (creating if missing) the key under HKEY_CURRENT_USER; nothing
    // when it cannot be opened.
    [[nodiscard]] static std::optional<RegistryKey> open_current_user(const std::string& path,
                                                                      REGSAM access = KEY_ALL_ACCESS);
    // A 32-bit integer value. "Failed to get data for '%s'" when it cannot be
    // read (also when it is missing), "Invalid data type for '%s'" when it is
    // not a 32-bit integer.
    [[nodiscard]] std::int32_t read_integer(const std::string& name) const;
    [[nodiscard]] bool read_bool(const std::string& name) const { return read_integer(name) != 0; }
    // A string value; a missing value reads as empty, another type is
    // "Invalid data type for '%s'".
    [[nodiscard]] std::string read_string(const std::string& name) const;

    // "Failed to set data for '%s'" when the write fails.
    void write_integer(const std::string& name, std::int32_t value);
    void write_bool(const std::string& name, bool value) { write_integer(name, value ? 1 : 0); }
    void write_string(const std::string& name, const std::string& value);

private:
    struct KeyClose {
        void operator()(HKEY key) const { RegCloseKey(key); }
    };
    explicit RegistryKey(HKEY key) : key_(key) {}
    std::unique_ptr<HKEY__, KeyClose> key_;  // move-only, closed when it goes
};

}  // namespace platform::win
