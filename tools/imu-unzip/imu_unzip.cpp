// imu-unzip [-l] ARCHIVE [-d DIR] [MASK]
//
// Lists the entries of an archive, or extracts those that match the mask
// (default "*.*") into DIR (default the current directory) with the library's
// batch, one line per entry. Exits with 1 when the batch fails or any entry
// failed, and with 2 on a usage error.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "zip/unzip.h"

namespace {

const char* code_text(std::int32_t code)
{
    switch (code) {
    case zip::UZ_CRC_ERROR:
        return "CRC mismatch";
    case zip::UZ_WRITE_ERROR:
        return "cannot write the output";
    case zip::UZ_READ_ERROR:
        return "compressed data ran out or could not be read";
    case zip::UZ_FORMAT_ERROR:
        return "invalid header or compressed data";
    case zip::UZ_ABORTED:
        return "aborted";
    case zip::UZ_UNSUPPORTED:
        return "unsupported compression method";
    case zip::UZ_ENCRYPTED:
        return "encrypted";
    case zip::UZ_BUSY:
        return "another extraction is running";
    case zip::UZ_BAD_ARCHIVE:
        return "the central directory cannot be used";
    case zip::UZ_CANNOT_OPEN:
        return "cannot open the archive";
    case zip::UZ_NOT_AN_ARCHIVE:
        return "not a ZIP archive";
    case zip::UZ_OPEN_ERROR:
        return "cannot open the archive for extraction";
    case zip::UZ_OVERLAPPING_ENTRY:
        return "overlaps an entry extracted before";
    case zip::UZ_BAD_ARGUMENT:
        return "missing archive or target directory";
    default:
        return "failed";
    }
}

// The library spells paths with backslashes; show them as the system does.
std::string shown(std::string path)
{
#ifndef _WIN32
    for (char& c : path)
        if (c == '\\')
            c = '/';
#endif
    return path;
}

struct Tally {
    int done = 0;
    int failed = 0;
};
Tally tally;

void print_report(std::int32_t value, zip::ZipReport* report)
{
    switch (value) {
    case zip::REPORT_ENTRY_DONE:
        ++tally.done;
        std::printf("  %s: %s\n",
                    report->method == 9        ? "kept"
                        : report->is_directory ? "created"
                                               : "extracted",
                    shown(report->name).c_str());
        break;
    case zip::REPORT_FATAL:
        std::printf("  stopped at %s: %s (%d)\n", shown(report->name).c_str(), code_text(report->status),
                    report->status);
        break;
    default:
        // The entry's result code arrives as the value of a failed-entry report.
        if (report->status == zip::REPORT_ENTRY_FAILED) {
            ++tally.failed;
            std::printf("  failed: %s: %s (%d)\n", shown(report->name).c_str(), code_text(value), value);
        }
        break;
    }
}

std::string dos_date_text(std::uint32_t date_time)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", 1980 + ((date_time >> 25) & 0x7F),
                  (date_time >> 21) & 0x0F, (date_time >> 16) & 0x1F, (date_time >> 11) & 0x1F,
                  (date_time >> 5) & 0x3F);
    return text;
}

int list_archive(const std::string& archive)
{
    zip::ZipDirScan scan;
    const std::int32_t result = zip::zip_dir_first(archive.c_str(), scan);
    if (result != 0) {
        std::fprintf(stderr, "imu-unzip: %s: %s (%d)\n", archive.c_str(), code_text(result), result);
        return 1;
    }
    std::printf("%12s %12s %6s %-16s %s\n", "Size", "Compressed", "Method", "Date", "Name");
    int entries = 0;
    std::int64_t total = 0;
    do {
        const std::string name =
            (scan.gp_flags & 0x0800) ? platform::utf8_to_ansi(scan.name) : zip::oem_to_ansi_name(scan.name);
        std::printf("%12lld %12lld %6u %-16s %s\n", static_cast<long long>(scan.size),
                    static_cast<long long>(scan.compressed_size), scan.method, dos_date_text(scan.date_time).c_str(),
                    shown(name).c_str());
        ++entries;
        total += scan.size;
    } while (zip::zip_dir_next(scan) == 0);
    std::printf("%12lld %12s %6s %-16s %d entries\n", static_cast<long long>(total), "", "", "", entries);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: imu-unzip [-l] ARCHIVE [-d DIR] [MASK]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    bool list = false;
    std::string archive;
    std::string directory = ".";
    std::string mask = "*.*";
    bool have_mask = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-l") {
            list = true;
        } else if (arg == "-d") {
            if (++i >= argc)
                return usage();
            directory = argv[i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage();
        } else if (archive.empty()) {
            archive = arg;
        } else if (!have_mask) {
            mask = arg;
            have_mask = true;
        } else {
            return usage();
        }
    }
    if (archive.empty())
        return usage();
    if (list)
        return list_archive(archive);

    std::printf("Archive: %s\n", archive.c_str());
    zip::set_report_proc(print_report);
    std::int32_t result;
    try {
        result = zip::extract_matching(archive.c_str(), directory.c_str(), mask.c_str());
    } catch (const zip::IoError& error) {
        std::fprintf(stderr, "imu-unzip: %s\n", error.what());
        return 1;
    }
    if (result < 0) {
        std::fprintf(stderr, "imu-unzip: %s: %s (%d)\n", archive.c_str(), code_text(result), result);
        return 1;
    }
    std::printf("%d entries extracted, %d failed\n", result, tally.failed);
    return tally.failed == 0 ? 0 : 1;
}
