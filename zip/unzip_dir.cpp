// The reading side of the library: finding an archive's central directory,
// walking its entries, recognising archives, and matching names against masks.
#include "zip/unzip.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace zip {
namespace {

using Signature = std::uint8_t[4];
constexpr Signature local_signature = {0x50, 0x4B, 0x03, 0x04};
constexpr Signature central_signature = {0x50, 0x4B, 0x01, 0x02};
constexpr Signature end_signature = {0x50, 0x4B, 0x05, 0x06};

constexpr std::int64_t end_record_size = 22;
constexpr std::int64_t central_header_size = 46;
constexpr std::int64_t end_search_window = 4096;
// The search for the first local header looks at three quarters of this much.
constexpr std::int64_t local_search_span = 262143;
constexpr std::size_t max_name_length = ZIP_NAME_SIZE - 1;
constexpr std::size_t max_mask_length = 255;

bool has_signature(const std::uint8_t* p, const Signature& signature)
{
    return std::memcmp(p, signature, sizeof signature) == 0;
}

std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct EndRecord {
    std::int64_t position = -1;  // -1: none found, or the search could not read
    std::uint32_t directory_size = 0;
    std::int32_t directory_offset = 0;
};

// Searches backwards in windows of 4096 bytes. Consecutive windows overlap by
// the record's fixed size, so a record across a window border is still seen
// whole in the earlier window.
EndRecord find_end_record(platform::File& file, std::int64_t length)
{
    EndRecord record;
    const std::int64_t window_size = std::min(length, end_search_window);
    std::vector<std::uint8_t> window(static_cast<std::size_t>(window_size));
    std::int64_t start = length - window_size;
    for (;;) {
        if (!file.seek(start) || file.read(window.data(), window.size()) != window_size)
            return record;
        for (std::int64_t at = window_size - end_record_size; at >= 0; --at) {
            const std::uint8_t* p = window.data() + at;
            if (has_signature(p, end_signature)) {
                record.position = start + at;
                record.directory_size = get32(p + 12);
                record.directory_offset = static_cast<std::int32_t>(get32(p + 16));
                return record;
            }
        }
        if (start == 0)
            return record;
        start = std::max<std::int64_t>(0, start - (window_size - end_record_size));
    }
}

struct Directory {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::int32_t size = 0;

    [[nodiscard]] bool starts_with(const Signature& signature) const
    {
        return size >= 4 && has_signature(bytes.get(), signature);
    }
};

// Loads everything from the directory offset up to and including the end
// record's signature. The offset comes from the file and is checked before it
// sizes an allocation: it must lie in the file before the end record, and the
// read must deliver every byte, or nothing is parsed.
std::int32_t load_directory(platform::File& file, std::int64_t offset, std::int64_t end_position, Directory& out)
{
    if (offset < 0 || offset > end_position + 4)
        return UZ_CANNOT_OPEN;
    const std::int64_t size = end_position - offset + 4;
    if (size >= std::numeric_limits<std::int32_t>::max())
        return UZ_BAD_ARCHIVE;
    std::unique_ptr<std::uint8_t[]> bytes;
    try {
        bytes = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size) + 1);
    } catch (const std::bad_alloc&) {
        return UZ_BAD_ARCHIVE;
    }
    if (!file.seek(offset))
        return UZ_CANNOT_OPEN;
    if (file.read(bytes.get(), static_cast<std::size_t>(size)) != size)
        return UZ_CANNOT_OPEN;
    bytes[static_cast<std::size_t>(size)] = 0;
    out.bytes = std::move(bytes);
    out.size = static_cast<std::int32_t>(size);
    return UZ_OK;
}

// Offset of the first local header signature within the first three quarters
// of the file's first 256 KiB, or -1. read_failed tells a failed read apart.
std::int32_t search_local_header(platform::File& file, std::int64_t length, bool& read_failed)
{
    read_failed = false;
    const std::int64_t span = std::min(length, local_search_span);
    std::vector<std::uint8_t> head(static_cast<std::size_t>(span - span / 4));
    if (!file.seek(0)) {
        read_failed = true;
        return -1;
    }
    const std::int64_t got = file.read(head.data(), head.size());
    if (got < 0) {
        read_failed = true;
        return -1;
    }
    if (got >= 4 && has_signature(head.data(), local_signature))
        return 0;
    for (std::int64_t at = 0; at + 5 <= got; ++at)
        if (has_signature(head.data() + at, local_signature))
            return static_cast<std::int32_t>(at);
    return -1;
}

// The stored directory offset is trusted first. Archives with data in front
// of them (a stub glued on without adjusting the offsets) or with bytes
// inserted before the directory keep it elsewhere; like other readers, look
// where the directory's own size says it ends at the end record, then at the
// stored offset shifted by the data in front of the first local header.
Directory relocate_directory(platform::File& file, std::int64_t length, const EndRecord& end)
{
    std::vector<std::int64_t> candidates;
    candidates.push_back(end.position - static_cast<std::int64_t>(end.directory_size));
    bool read_failed = false;
    const std::int32_t prefix = search_local_header(file, length, read_failed);
    if (prefix > 0)
        candidates.push_back(static_cast<std::int64_t>(end.directory_offset) + prefix);
    for (std::int64_t offset : candidates) {
        if (offset == end.directory_offset || offset < 0 || offset >= end.position)
            continue;
        Directory directory;
        if (load_directory(file, offset, end.position, directory) == UZ_OK && directory.starts_with(central_signature))
            return directory;
    }
    return {};
}

std::int32_t read_entry(ZipDirScan& scan)
{
    const std::int64_t remaining = static_cast<std::int64_t>(scan.buffer_size) - scan.position;
    if (scan.position < 0 || remaining < 4)
        return UZ_NO_MORE_ENTRIES;
    const std::uint8_t* p = scan.buffer.get() + scan.position;
    if (has_signature(p, end_signature))
        return UZ_NO_MORE_ENTRIES;
    if (remaining < central_header_size || !has_signature(p, central_signature))
        return UZ_NO_MORE_ENTRIES;
    const std::uint16_t name_length = get16(p + 28);
    const std::int64_t entry_length = central_header_size + name_length + get16(p + 30) + get16(p + 32);
    if (entry_length > remaining)
        return UZ_NO_MORE_ENTRIES;

    scan.gp_flags = get16(p + 8);
    scan.method = get16(p + 10);
    scan.date_time = get32(p + 12);
    scan.crc32 = get32(p + 16);
    scan.compressed_size = get32(p + 20);
    scan.size = get32(p + 24);
    scan.attributes = p[5] == 0 ? p[38] : 0;
    scan.header_offset = static_cast<std::int32_t>(get32(p + 42));
    const std::size_t kept = std::min<std::size_t>(name_length, max_name_length);
    std::memcpy(scan.name, p + central_header_size, kept);
    scan.name[kept] = '\0';
    slashes_to_backslashes(scan.name);
    scan.position += static_cast<std::int32_t>(entry_length);
    return UZ_OK;
}

// The matching rules of wild_match, followed literally, try every split of the
// name at every asterisk: exponential time for a mask with several asterisks.
// Every pair of name and pattern suffixes has one answer, so each is worked
// out once.
class WildMatcher {
public:
    WildMatcher(const char* name, const char* pattern)
        : name_(name), pattern_(pattern), name_length_(std::strlen(name)), pattern_length_(std::strlen(pattern)),
          known_((name_length_ + 1) * (pattern_length_ + 1), unknown)
    {}

    bool match(std::size_t n, std::size_t p)
    {
        if (pattern_length_ - p == 1 && pattern_[p] == '*')
            return true;
        if (n == name_length_)
            return p == pattern_length_;
        std::int8_t& answer = known_[n * (pattern_length_ + 1) + p];
        if (answer == unknown) {
            bool result = false;
            if (p < pattern_length_ && pattern_[p] == '*')
                result = match(n, p + 1) || match(n + 1, p);
            else if (p < pattern_length_ && (pattern_[p] == '?' || pattern_[p] == name_[n]))
                result = match(n + 1, p + 1);
            answer = result ? 1 : 0;
        }
        return answer == 1;
    }

private:
    static constexpr std::int8_t unknown = -1;
    const char* name_;
    const char* pattern_;
    std::size_t name_length_;
    std::size_t pattern_length_;
    std::vector<std::int8_t> known_;
};

std::string upper_ascii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Up to the first zero character and at most max_mask_length characters, as a
// fixed-size string buffer would hold it.
std::string bounded(const std::string& text)
{
    return std::string(text.c_str(), std::min(std::strlen(text.c_str()), max_mask_length));
}

}  // namespace

std::int32_t zip_dir_first(const char* archive_name, ZipDirScan& scan)
{
    zip_dir_close(scan);
    const std::string name = archive_name ? archive_name : "";
    platform::File file = platform::File::open_read(name);
    if (!file.is_open())
        return UZ_CANNOT_OPEN;
    const std::int64_t length = file.length();
    if (length < 0)
        throw IoError("cannot take the length of " + name);
    if (length == 0)
        return UZ_CANNOT_OPEN;

    const EndRecord end = find_end_record(file, length);
    if (end.position < 0)
        return UZ_CANNOT_OPEN;
    if (end.position < central_header_size)
        return UZ_BAD_ARCHIVE;

    Directory directory;
    const std::int32_t loaded = load_directory(file, end.directory_offset, end.position, directory);
    if (loaded != UZ_OK)
        return loaded;
    if (!directory.starts_with(central_signature) && !directory.starts_with(end_signature)) {
        Directory moved = relocate_directory(file, length, end);
        if (moved.bytes)
            directory = std::move(moved);
    }

    scan.buffer = std::move(directory.bytes);
    scan.buffer_size = directory.size;
    scan.position = 0;
    scan.archive = std::move(file);
    const std::int32_t result = read_entry(scan);
    if (result != UZ_OK)
        zip_dir_close(scan);
    return result;
}

std::int32_t zip_dir_next(ZipDirScan& scan)
{
    if (!scan.buffer)
        return UZ_NO_MORE_ENTRIES;
    const std::int32_t result = read_entry(scan);
    if (result != UZ_OK)
        zip_dir_close(scan);
    return result;
}

void zip_dir_close(ZipDirScan& scan)
{
    if (!scan.buffer)
        return;
    (void)scan.archive.close();
    scan.buffer.reset();
    scan.buffer_size = 0;
    scan.position = 0;
}

bool is_zip_archive(const char* file_name, std::int32_t* prefix_offset)
{
    if (prefix_offset)
        *prefix_offset = -1;
    const std::string name = file_name ? file_name : "";
    std::string as_directory = name;
    slashes_to_backslashes(as_directory.data());
    if (!as_directory.empty() && as_directory.back() == '\\')
        as_directory.pop_back();
    if (platform::directory_exists(as_directory))
        return false;

    platform::File file = platform::File::open_read(name);
    if (!file.is_open())
        return false;
    std::uint8_t head[4] = {};
    const std::int64_t got = file.read(head, sizeof head);
    (void)file.close();
    if (got < 0)
        return false;
    if (got == 4 && has_signature(head, local_signature)) {
        if (prefix_offset)
            *prefix_offset = 0;
        return true;
    }
    const std::int32_t found = find_local_header(file_name);
    if (prefix_offset)
        *prefix_offset = found;
    return found > 0;
}

std::int32_t find_local_header(const char* file_name, std::int32_t* out_value)
{
    if (out_value)
        *out_value = -1;
    if (!file_name || !*file_name)
        return -1;
    const std::string name = file_name;
    platform::File file = platform::File::open_read(name);
    if (!file.is_open())
        return -1;
    const std::int64_t length = file.length();
    if (length < 0)
        throw IoError("cannot take the length of " + name);
    if (out_value)
        *out_value =
            static_cast<std::int32_t>(std::min<std::int64_t>(length, std::numeric_limits<std::int32_t>::max()));
    if (length < 5) {
        if (!file.close())
            throw IoError("cannot close " + name);
        return -1;
    }
    bool read_failed = false;
    const std::int32_t found = search_local_header(file, length, read_failed);
    if (read_failed)
        throw IoError("cannot read " + name);
    if (!file.close())
        throw IoError("cannot close " + name);
    if (found == 0 && out_value)
        *out_value = 0;
    if (found < 0 && out_value)
        *out_value = -1;
    return found;
}

std::int64_t zip_total_sizes(const char* archive_name, std::int64_t& total_compressed)
{
    total_compressed = 0;
    if (!archive_name || !*archive_name)
        return 0;
    const std::string name = archive_name;
    platform::File file = platform::File::open_read(name);
    if (!file.is_open())
        return 0;
    const std::int64_t length = file.length();
    if (length < 0)
        throw IoError("cannot take the length of " + name);
    if (!file.close())
        throw IoError("cannot close " + name);

    std::int64_t result = length;
    total_compressed = length;
    if (is_zip_archive(archive_name)) {
        total_compressed = 0;
        std::int64_t total = 0;
        ZipDirScan scan;
        if (zip_dir_first(archive_name, scan) == UZ_OK) {
            do {
                total += scan.size;
                total_compressed += scan.compressed_size;
            } while (zip_dir_next(scan) == UZ_OK);
            zip_dir_close(scan);
            result = total;
        }
    }
    return result;
}

bool mask_matches(const std::string& mask, const std::string& name)
{
    const std::string bounded_mask = bounded(mask);
    if (bounded_mask.empty() || bounded_mask == "*.*")
        return true;
    const std::string upper_mask = upper_ascii(bounded_mask);
    const std::string upper_name = upper_ascii(bounded(name));
    return wild_match(upper_name.c_str(), upper_mask.c_str());
}

bool wild_match(const char* name, const char* pattern)
{
    WildMatcher matcher(name ? name : "", pattern ? pattern : "");
    return matcher.match(0, 0);
}

void slashes_to_backslashes(char* name)
{
    if (!name)
        return;
    for (; *name; ++name)
        if (*name == '/')
            *name = '\\';
}

std::string oem_to_ansi_name(const std::string& name) { return platform::oem_to_ansi(name); }

}  // namespace zip
