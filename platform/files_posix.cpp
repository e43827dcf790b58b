// The file layer on POSIX systems (the native Linux build of the library).
#include "platform/files.h"

#include <cerrno>
#include <dirent.h>
#include <fnmatch.h>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

std::string to_native(const std::string& path)
{
    std::string p = path;
    for (char& c : p)
        if (c == '\\')
            c = '/';
    return p;
}

std::string from_native(const std::string& path)
{
    std::string p = path;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

// Code page 437, bytes 0x80 to 0xFF, as Unicode code points.
constexpr std::uint16_t cp437_high[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void append_utf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int open_flags_cloexec(int flags) { return flags | O_CLOEXEC; }

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
    int fd = ::open(to_native(path).c_str(), open_flags_cloexec(O_RDONLY));
    if (fd >= 0) {
        struct stat st {};
        if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            fd = -1;
        }
    }
    return File(fd);
}

File File::open_read_write(const std::string& path)
{
    return File(::open(to_native(path).c_str(), open_flags_cloexec(O_RDWR)));
}

File File::create(const std::string& path)
{
    return File(::open(to_native(path).c_str(), open_flags_cloexec(O_RDWR | O_CREAT | O_TRUNC), 0666));
}

std::int64_t File::read(void* buffer, std::size_t count)
{
    auto* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(static_cast<int>(handle_), p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::write(const void* buffer, std::size_t count)
{
    const auto* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(static_cast<int>(handle_), p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;  // no progress: report the short write instead of spinning
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool File::seek(std::int64_t position)
{
    return position >= 0 && ::lseek(static_cast<int>(handle_), position, SEEK_SET) == position;
}

std::int64_t File::length()
{
    struct stat st {};
    if (fstat(static_cast<int>(handle_), &st) != 0)
        return -1;
    return st.st_size;
}

bool File::set_dos_date_time(std::uint32_t date_time)
{
    // Refuse what is not a date, as Windows does, rather than let mktime
    // carry month 0 or minute 63 into some other day.
    const std::uint32_t month = (date_time >> 21) & 0x0F;
    const std::uint32_t day = (date_time >> 16) & 0x1F;
    if (month < 1 || month > 12 || day < 1 || ((date_time >> 11) & 0x1F) > 23 || ((date_time >> 5) & 0x3F) > 59 ||
        (date_time & 0x1F) > 29)
        return false;
    std::tm tm{};
    tm.tm_sec = static_cast<int>((date_time & 0x1F) * 2);
    tm.tm_min = static_cast<int>((date_time >> 5) & 0x3F);
    tm.tm_hour = static_cast<int>((date_time >> 11) & 0x1F);
    tm.tm_mday = static_cast<int>((date_time >> 16) & 0x1F);
    tm.tm_mon = static_cast<int>((date_time >> 21) & 0x0F) - 1;
    tm.tm_year = static_cast<int>((date_time >> 25) & 0x7F) + 80;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return false;
    timespec times[2] = {{t, 0}, {t, 0}};
    return futimens(static_cast<int>(handle_), times) == 0;
}

bool File::close()
{
    if (handle_ == invalid)
        return true;
    int fd = static_cast<int>(std::exchange(handle_, invalid));
    return ::close(fd) == 0;
}

bool file_exists(const std::string& path)
{
    struct stat st {};
    return ::stat(to_native(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool directory_exists(const std::string& path)
{
    struct stat st {};
    return ::stat(to_native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool delete_file(const std::string& path) { return ::unlink(to_native(path).c_str()) == 0; }

bool create_directory(const std::string& path) { return ::mkdir(to_native(path).c_str(), 0777) == 0; }

bool remove_directory(const std::string& path) { return ::rmdir(to_native(path).c_str()) == 0; }

bool rename_path(const std::string& from, const std::string& to)
{
    return ::rename(to_native(from).c_str(), to_native(to).c_str()) == 0;
}

bool move_file_replacing(const std::string& from, const std::string& to) { return rename_path(from, to); }

namespace {

// The folder part of a mask (with its separator) and the pattern after it.
std::pair<std::string, std::string> split_mask(const std::string& mask)
{
    const std::size_t cut = mask.find_last_of('\\');
    if (cut == std::string::npos)
        return {"", mask};
    return {mask.substr(0, cut + 1), mask.substr(cut + 1)};
}

// Directory entries matching a mask, as the Windows layer lists them: without
// regard to case and with "." and ".." left out.
template <class Visit>
void for_each_match(const std::string& mask, Visit visit)
{
    const auto [folder, pattern] = split_mask(mask);
    DIR* dir = ::opendir(folder.empty() ? "." : to_native(folder).c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0)
            continue;
        if (!visit(name, get_file_attributes(folder + name)))
            break;
    }
    ::closedir(dir);
}

}  // namespace

bool file_exists_matching(const std::string& mask)
{
    bool found = false;
    for_each_match(mask, [&found](const std::string&, std::int32_t attributes) {
        found = attributes >= 0 && (attributes & attr_directory) == 0;
        return false;
    });
    return found;
}

std::vector<std::string> find_entries(const std::string& mask, std::uint32_t attribute_filter)
{
    std::vector<std::string> names;
    for_each_match(mask, [&](const std::string& name, std::int32_t attributes) {
        if (attributes >= 0 && (static_cast<std::uint32_t>(attributes) & ~attribute_filter & attr_directory) == 0)
            names.push_back(name);
        return true;
    });
    return names;
}

std::int32_t get_file_attributes(const std::string& path)
{
    struct stat st {};
    if (::stat(to_native(path).c_str(), &st) != 0)
        return -1;
    std::uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= attr_directory;
    if ((st.st_mode & 0222) == 0)
        attributes |= attr_read_only;
    return static_cast<std::int32_t>(attributes);
}

bool set_file_attributes(const std::string& path, std::uint32_t attributes)
{
    const std::string native = to_native(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    // As on Windows, read-only does not keep files out of a folder.
    if ((attributes & attr_read_only) && !S_ISDIR(st.st_mode))
        mode &= ~static_cast<mode_t>(0222);
    else
        mode |= S_IWUSR;
    return ::chmod(native.c_str(), mode) == 0;
}

std::string current_directory()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return from_native(buffer.data());
}

bool set_current_directory(const std::string& path) { return ::chdir(to_native(path).c_str()) == 0; }

std::string full_path(const std::string& path)
{
    if (path.empty())
        return path;  // as GetFullPathNameA, which fails on it
    std::string joined = to_native(path);
    if (joined.empty() || joined[0] != '/')
        joined = to_native(current_directory()) + "/" + joined;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos)
            end = joined.size();
        std::string part = joined.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    // A network share (\\server\share) keeps both leading backslashes, as
    // GetFullPathNameA leaves them, so that no caller takes it for a folder
    // under the root.
    const bool share = path.size() > 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
        path[2] != '\\' && path[2] != '/';
    std::string result = share ? "\\" : "";
    for (const auto& part : parts) result += "\\" + part;
    if (!joined.empty() && joined.back() == '/')
        result += "\\";
    return result.empty() ? "\\" : result;
}

std::uint32_t tick_count()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
}

std::string oem_to_ansi(const std::string& name)
{
    std::string out;
    out.reserve(name.size());
    for (unsigned char c : name) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            append_utf8(out, cp437_high[c - 0x80]);
    }
    return out;
}

std::string utf8_to_ansi(const std::string& name) { return name; }

bool is_plain_relative_path(const std::string&) { return true; }

}  // namespace platform
