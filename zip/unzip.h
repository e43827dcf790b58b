// The ZIP extraction library: reading an archive's central directory, matching
// entry names against masks, and extracting entries into a folder.
//
// Paths handed in (archives, targets, output names) are in the ANSI code page
// and used as given; only entry names read from an archive are converted from
// its OEM code page (or from UTF-8 when flagged so). Inside the library the backslash is the path separator.
// The library is single-threaded and, during an extraction, not re-entrant.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/files.h"
#include "zip/ziptypes.h"

namespace zip {

// ---- Archive directory and entry enumeration ----

// One walk over an archive's central directory, owned by the caller.
struct ZipDirScan {
    std::unique_ptr<std::uint8_t[]> buffer;  // the directory and the end record's signature; null when closed
    std::int32_t buffer_size = 0;
    std::int32_t position = 0;  // offset in buffer of the entry read next
    std::uint32_t date_time = 0;  // DOS time (low 16 bits) and date (high 16 bits)
    std::int64_t size = 0;
    std::int64_t compressed_size = 0;
    std::int32_t header_offset = 0;
    char name[ZIP_NAME_SIZE] = {};  // stored name, slashes made backslashes, at most 259 characters
    std::uint16_t method = 0;
    std::uint8_t attributes = 0;  // DOS attributes when made on host 0, else 0
    platform::File archive;
    std::uint16_t gp_flags = 0;  // general purpose flags of the central header (bit 11: UTF-8 name)
    std::uint32_t crc32 = 0;  // CRC-32 of the central header
};

// 0 with the walk open and the first entry read; UZ_BAD_ARCHIVE,
// UZ_NO_MORE_ENTRIES or UZ_CANNOT_OPEN with nothing left open. Throws IoError
// when the archive's length cannot be taken. A directory that is not at its
// stored offset (data glued in front, bytes inserted before it) is looked for
// where its size or the data in front put it; local header offsets stay as
// stored either way.
[[nodiscard]] std::int32_t zip_dir_first(const char* archive_name, ZipDirScan& scan);
// 0 with the next entry read; UZ_NO_MORE_ENTRIES when the walk has ended (it is then closed).
[[nodiscard]] std::int32_t zip_dir_next(ZipDirScan& scan);
void zip_dir_close(ZipDirScan& scan);

// True when the file is a ZIP archive; prefix_offset gets the offset of its
// first local header (data in front of an archive), or -1.
[[nodiscard]] bool is_zip_archive(const char* file_name, std::int32_t* prefix_offset = nullptr);
// Offset of the first local header within the first three quarters of the
// file's first 256 KiB, or -1. out_value gets 0 for a header at the start, -1
// when none is found, else the file's length. Throws IoError when the file
// cannot be read or closed.
[[nodiscard]] std::int32_t find_local_header(const char* file_name, std::int32_t* out_value = nullptr);
// Total uncompressed size of all entries; total_compressed gets the compressed
// total. A file that is not an archive gives its own length for both; one
// whose directory cannot be read, its length and 0. Throws IoError when the
// file's length cannot be taken or it cannot be closed.
[[nodiscard]] std::int64_t zip_total_sizes(const char* archive_name, std::int64_t& total_compressed);

// "*.*" and the empty mask match every name; otherwise the first 255
// characters of both are compared by wild_match, letters a to z without case.
[[nodiscard]] bool mask_matches(const std::string& mask, const std::string& name);
// "*" matches any run of characters and "?" one character; once the name is
// used up only an empty pattern or a lone "*" is left to match it.
[[nodiscard]] bool wild_match(const char* name, const char* pattern);
void slashes_to_backslashes(char* name);
[[nodiscard]] std::string oem_to_ansi_name(const std::string& name);

// ---- Entry extraction and the unzip operations ----

// The notify window, at the platform's full handle width; 0 = none.
using NotifyWindow = std::uintptr_t;

extern bool busy;
extern bool flatten_paths;
extern bool lower_case_names;

// What the central directory says of an entry. A local header with flag bit
// 3 leaves its sizes and CRC-32 to a data descriptor; these stand in for them.
struct CentralValues {
    std::int64_t compressed_size = 0;
    std::int64_t size = 0;
    std::uint32_t crc32 = 0;
};

// Extracts the entry whose local header is at header_offset into output_name
// (a trailing separator makes it a directory entry). Without a notify window,
// notify_code is the virtual-key code that aborts when held down.
[[nodiscard]] std::int32_t extract_entry(const char* archive_name, const char* output_name, std::int32_t header_offset,
                                         NotifyWindow notify_window, std::int32_t notify_code,
                                         const CentralValues* central = nullptr);
// The number of entries extracted, or a negative result code.
std::int32_t extract_matching_ex(const char* archive_name, const char* target_directory, const char* mask,
                                 ReportProc report, OverwriteQuery query);
std::int32_t extract_matching(const char* archive_name, const char* target_directory, const char* mask);
bool set_flatten_paths(bool flatten);

// 0 when every directory of the path exists or was created, else -1.
[[nodiscard]] std::int32_t make_directory_path(const std::string& path);
// 100 minus compressed size in percent of size, in 8 bits (growth wraps).
[[nodiscard]] std::uint8_t compression_ratio(std::int32_t compressed, std::int32_t size);
// The characters after the last slash, colon or backslash.
[[nodiscard]] std::string name_part(const std::string& path);
// False for a stored name that could reach outside the target directory: a
// ".." component or a drive prefix.
[[nodiscard]] bool entry_name_is_safe(const std::string& name);

}  // namespace zip
