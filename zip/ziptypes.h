// What the ZIP library shares with its callers: result codes, the report
// record and its events, and the two callbacks a batch can be given.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zip {

// Result codes. 0 is success; inflate may also return the positive codes 1
// and 3, which callers treat like any unknown failure.
inline constexpr std::int32_t UZ_OK = 0;
inline constexpr std::int32_t UZ_CRC_ERROR = -1;
inline constexpr std::int32_t UZ_WRITE_ERROR = -2;
inline constexpr std::int32_t UZ_READ_ERROR = -3;
inline constexpr std::int32_t UZ_FORMAT_ERROR = -4;
inline constexpr std::int32_t UZ_ABORTED = -5;
inline constexpr std::int32_t UZ_UNSUPPORTED = -6;
inline constexpr std::int32_t UZ_ENCRYPTED = -7;
inline constexpr std::int32_t UZ_BUSY = -8;
inline constexpr std::int32_t UZ_BAD_ARCHIVE = -9;
inline constexpr std::int32_t UZ_NO_MORE_ENTRIES = -10;
inline constexpr std::int32_t UZ_CANNOT_OPEN = -11;
inline constexpr std::int32_t UZ_NOT_AN_ARCHIVE = -12;
inline constexpr std::int32_t UZ_OPEN_ERROR = -14;
// The entry's local header or data lies inside an entry extracted before in
// the same batch (an overlapping-entry bomb); it costs only that entry.
inline constexpr std::int32_t UZ_OVERLAPPING_ENTRY = -15;
inline constexpr std::int32_t UZ_BAD_ARGUMENT = -500;

// Report events: the value a report procedure receives and the record's status.
inline constexpr std::int32_t REPORT_ENTRY_BEGIN = -1000;
inline constexpr std::int32_t REPORT_BYTES_WRITTEN = -1001;
inline constexpr std::int32_t REPORT_ENTRY_DONE = -1002;
inline constexpr std::int32_t REPORT_ENTRY_FAILED = -1003;
inline constexpr std::int32_t REPORT_ARCHIVE_BEGIN = -1004;
inline constexpr std::int32_t REPORT_ARCHIVE_END = -1005;
inline constexpr std::int32_t REPORT_FATAL = -100;
// The record's method for an entry the overwrite query made the batch skip.
inline constexpr std::uint16_t REPORT_METHOD_SKIPPED = 9;

// Room for a name in the report record and in a directory walk: 259
// characters and the terminating zero.
inline constexpr int ZIP_NAME_SIZE = 260;

struct ZipReport {
    char name[ZIP_NAME_SIZE];
    std::int32_t date_time;  // DOS time in the low half, date in the high half
    std::int64_t size;
    std::int64_t compressed_size;
    std::int32_t attributes;
    std::uint16_t method;
    std::uint8_t ratio;
    std::int32_t status;
    std::uint8_t is_directory;
};

using ReportProc = void (*)(std::int32_t value, ZipReport* report);
using OverwriteQuery = bool (*)(ZipReport* report);

// The procedures in force and the one report record. A batch sets both
// procedures back to null once it has opened the archive's directory.
extern ReportProc report_proc;
extern OverwriteQuery overwrite_query;
extern ZipReport zip_report;

// Store a procedure and hand back the previous one.
ReportProc set_report_proc(ReportProc proc);
OverwriteQuery set_overwrite_query(OverwriteQuery query);

// The run-time I/O errors that leave the library as exceptions instead of
// result codes (taking a length, a seek, closing a file).
class IoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace zip
