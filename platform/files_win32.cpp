// The file layer on Windows, through the Win32 "A" functions.
#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace platform {
namespace {

HANDLE as_handle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

std::intptr_t open_handle(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return reinterpret_cast<std::intptr_t>(h);
}

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::string convert_code_page(const std::string& text, UINT from, UINT to)
{
    if (text.empty())
        return text;
    int wide_len = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wide_len <= 0)
        return text;
    std::wstring wide(static_cast<std::size_t>(wide_len), L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), wide_len);
    int out_len = WideCharToMultiByte(to, 0, wide.data(), wide_len, nullptr, 0, nullptr, nullptr);
    if (out_len <= 0)
        return text;
    std::string out(static_cast<std::size_t>(out_len), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wide_len, out.data(), out_len, nullptr, nullptr);
    return out;
}

}  // namespace

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, invalid)) {}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, invalid);
    }
    return *this;
}

File::~File() { close(); }

File File::open_read(const std::string& path)
{
    return File(open_handle(path, GENERIC_READ, share_all, OPEN_EXISTING));
}

File File::open_read_write(const std::string& path)
{
    return File(open_handle(path, GENERIC_READ | GENERIC_WRITE, share_all, OPEN_EXISTING));
}

File File::create(const std::string& path)
{
    return File(open_handle(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS));
}

std::int64_t File::read(void* buffer, std::size_t count)
{
    auto* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(as_handle(handle_), p + done, chunk, &got, nullptr))
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::write(const void* buffer, std::size_t count)
{
    const auto* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(as_handle(handle_), p + done, chunk, &put, nullptr))
            return -1;
        if (put == 0)
            break;
        done += put;
    }
    return static_cast<std::int64_t>(done);
}

bool File::seek(std::int64_t position)
{
    if (position < 0)
        return false;
    LARGE_INTEGER to{};
    to.QuadPart = position;
    return SetFilePointerEx(as_handle(handle_), to, nullptr, FILE_BEGIN) != 0;
}

std::int64_t File::length()
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(as_handle(handle_), &size))
        return -1;
    return size.QuadPart;
}

bool File::set_dos_date_time(std::uint32_t date_time)
{
    FILETIME local{}, utc{};
    if (!DosDateTimeToFileTime(static_cast<WORD>(date_time >> 16), static_cast<WORD>(date_time & 0xFFFF), &local))
        return false;
    if (!LocalFileTimeToFileTime(&local, &utc))
        return false;
    return SetFileTime(as_handle(handle_), nullptr, nullptr, &utc) != 0;
}

bool File::close()
{
    if (handle_ == invalid)
        return true;
    return CloseHandle(as_handle(std::exchange(handle_, invalid))) != 0;
}

bool file_exists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool directory_exists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool delete_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool create_directory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool remove_directory(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool rename_path(const std::string& from, const std::string& to) { return MoveFileA(from.c_str(), to.c_str()) != 0; }

// MoveFileA alone fails when the destination exists.
bool move_file_replacing(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool file_exists_matching(const std::string& mask)
{
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(mask.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> find_entries(const std::string& mask, std::uint32_t attribute_filter)
{
    // Hidden, system and folder entries must be asked for; the others always come.
    constexpr DWORD must_be_asked_for = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(ansi_to_wide(mask).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if ((found.dwFileAttributes & ~attribute_filter & must_be_asked_for) != 0)
            continue;
        if (std::optional<std::string> name = exact_ansi(found.cFileName))
            names.push_back(std::move(*name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::int32_t get_file_attributes(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a == INVALID_FILE_ATTRIBUTES ? -1 : static_cast<std::int32_t>(a);
}

bool set_file_attributes(const std::string& path, std::uint32_t attributes)
{
    // To the file system, no attribute bits at all mean "leave them as they
    // are"; clearing them (read-only above all) takes the normal attribute.
    if (attributes == 0)
        attributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesA(path.c_str(), attributes) != 0;
}

std::string current_directory()
{
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    if (needed == 0)
        return {};
    std::string dir(needed, '\0');
    DWORD got = GetCurrentDirectoryA(needed, dir.data());
    dir.resize(got);
    return dir;
}

bool set_current_directory(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

std::string full_path(const std::string& path)
{
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::string full(needed, '\0');
    DWORD got = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
    full.resize(got);
    return full;
}

std::uint32_t tick_count() { return GetTickCount(); }

std::string oem_to_ansi(const std::string& name)
{
    std::string out = name;
    if (!out.empty())
        OemToCharBuffA(out.data(), out.data(), static_cast<DWORD>(out.size()));
    return out;
}

std::string utf8_to_ansi(const std::string& name) { return convert_code_page(name, CP_UTF8, CP_ACP); }

bool is_plain_relative_path(const std::string& path)
{
    if (path.find(':') != std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = path.size();
        std::string base = path.substr(start, std::min(path.find('.', start), end) - start);
        while (!base.empty() && base.back() == ' ') base.pop_back();
        for (char& c : base)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
            return false;
        if (base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) && base[3] >= '1' &&
            base[3] <= '9')
            return false;
        start = end + 1;
    }
    return true;
}

std::wstring ansi_to_wide(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::optional<std::string> exact_ansi(const std::wstring& name)
{
    if (name.empty())
        return std::string();
    // UTF-8 as the ANSI code page holds every name, and takes no flags.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    const int size = static_cast<int>(name.size());
    const int length =
        WideCharToMultiByte(CP_ACP, flags, name.data(), size, nullptr, 0, nullptr, utf8 ? nullptr : &used_default);
    if (length <= 0 || used_default)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, flags, name.data(), size, text.data(), length, nullptr, nullptr);
    // Not every system refuses every look-alike: the way back must give the name.
    if (ansi_to_wide(text) != name)
        return std::nullopt;
    return text;
}

}  // namespace platform
