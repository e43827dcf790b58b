// The file system as the ZIP library and the installer see it.
//
// Paths use the backslash as separator on every platform; the POSIX layer maps
// it to the slash on the way in and back on the way out. Texts are 8-bit
// strings in the ANSI code page (UTF-8 on POSIX).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// An open file. Move-only; closes itself when it goes out of scope, ignoring
// errors (call close() to see them).
class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // Read-only, shared with other readers and writers.
    [[nodiscard]] static File open_read(const std::string& path);
    // Read and write, existing file, shared with other readers and writers.
    [[nodiscard]] static File open_read_write(const std::string& path);
    // Creates the file or truncates an existing one; read and write, not shared.
    [[nodiscard]] static File create(const std::string& path);

    [[nodiscard]] bool is_open() const { return handle_ != invalid; }

    // Bytes read (0 at end of file), or -1 on an I/O error.
    [[nodiscard]] std::int64_t read(void* buffer, std::size_t count);
    // Bytes written, or -1 on an I/O error.
    [[nodiscard]] std::int64_t write(const void* buffer, std::size_t count);
    [[nodiscard]] bool seek(std::int64_t position);
    // The file's length in bytes, or -1 on an error.
    [[nodiscard]] std::int64_t length();
    // Sets the last-write time from a DOS date (high 16 bits) and time (low 16
    // bits), taken as local time.
    bool set_dos_date_time(std::uint32_t date_time);
    // False when closing reported an error. Closing a closed file succeeds.
    bool close();

private:
    using Handle = std::intptr_t;
    static constexpr Handle invalid = -1;
    explicit File(Handle handle) : handle_(handle) {}
    Handle handle_ = invalid;
};

[[nodiscard]] bool file_exists(const std::string& path);  // a file, not a directory
[[nodiscard]] bool directory_exists(const std::string& path);
bool delete_file(const std::string& path);
bool create_directory(const std::string& path);  // one level
bool remove_directory(const std::string& path);  // an empty one
bool rename_path(const std::string& from, const std::string& to);
// Moves one file, replacing a file of that name at the destination; across
// volumes it is copied and the source deleted.
bool move_file_replacing(const std::string& from, const std::string& to);

// True when the first directory entry that matches the path, which may hold
// the wildcards "*" and "?" in its last component, is a file and not a folder.
[[nodiscard]] bool file_exists_matching(const std::string& mask);
// The names (without folder) of the entries that match the mask and whose
// attributes the filter admits: an entry that is hidden, system or a folder
// is left out unless the filter holds that bit too. So is a name that the
// ANSI code page cannot hold: no path in that code page reaches it.
[[nodiscard]] std::vector<std::string> find_entries(const std::string& mask, std::uint32_t attribute_filter);

// DOS attribute bits as Windows keeps them; -1 when the path does not exist.
inline constexpr std::uint32_t attr_read_only = 0x01;
inline constexpr std::uint32_t attr_directory = 0x10;
[[nodiscard]] std::int32_t get_file_attributes(const std::string& path);
// Only the read-only bit has a POSIX meaning; the others are ignored there.
bool set_file_attributes(const std::string& path, std::uint32_t attributes);

[[nodiscard]] std::string current_directory();  // no trailing separator, except a root
bool set_current_directory(const std::string& path);
// The path made absolute against the current directory, with "." and ".."
// components resolved as the system does.
[[nodiscard]] std::string full_path(const std::string& path);

// False when a component of the relative path is not a plain file or folder
// name to the system. On Windows that is one with a colon (it would open an
// alternate data stream) or a device name: CON, PRN, AUX, NUL, COM1 to COM9
// and LPT1 to LPT9, whatever the case and extension, and with trailing blanks.
// POSIX has no such names.
[[nodiscard]] bool is_plain_relative_path(const std::string& path);

// Milliseconds since some fixed moment; wraps around at 2^32.
[[nodiscard]] std::uint32_t tick_count();

// Converts a name from the OEM code page (437 on POSIX) to the ANSI code page
// (UTF-8 on POSIX). Plain ASCII is unchanged.
[[nodiscard]] std::string oem_to_ansi(const std::string& name);
// Converts a UTF-8 name to the ANSI code page (unchanged on POSIX).
[[nodiscard]] std::string utf8_to_ansi(const std::string& name);

#ifdef _WIN32
// The name in the ANSI code page when that holds it exactly; none when the
// system would turn a letter of it into "?" or a look-alike.
[[nodiscard]] std::optional<std::string> exact_ansi(const std::wstring& name);
[[nodiscard]] std::wstring ansi_to_wide(const std::string& text);
#endif

}  // namespace platform
