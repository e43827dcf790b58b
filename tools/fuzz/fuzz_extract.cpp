// extract_matching on a mutated archive, into a fresh folder inside a sandbox.
// Checks that nothing is written beside the target folder, that every code the
// batch reports or returns is one of the library's, that a failed entry leaves
// no output file behind, and that the library is not left busy.
#include <set>

#include "fuzz_common.h"

namespace fs = std::filesystem;

namespace {

std::string sandbox;
std::string target;

// The entry being extracted: its output path (as a POSIX path) and whether a
// file stood there before it.
std::string current_output;
bool current_existed = false;
bool current_open = false;

std::string posix_path(const char* name)
{
    std::string path = name;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

bool plain(const std::string& path)
{
    if (path.size() >= 250)
        return false;
    for (unsigned char c : path)
        if (c < 0x20 || c >= 0x7F)
            return false;
    return true;
}

void check_failed_entry_left_nothing()
{
    if (!current_open)
        return;
    current_open = false;
    if (current_existed || !plain(current_output) || current_output.empty() || current_output.back() == '/')
        return;
    struct stat st;
    if (lstat(current_output.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "a failed entry left its output behind: %s\n", current_output.c_str());
        std::abort();
    }
}

void report(std::int32_t value, zip::ZipReport* record)
{
    switch (record->status) {
    case zip::REPORT_ENTRY_BEGIN: {
        check_failed_entry_left_nothing();
        current_output = posix_path(record->name);
        struct stat st;
        current_existed = lstat(current_output.c_str(), &st) == 0;
        current_open = true;
        break;
    }
    case zip::REPORT_ENTRY_DONE:
        current_open = false;
        break;
    case zip::REPORT_ENTRY_FAILED:
        fuzz::expect_code(
            value,
            {zip::UZ_CRC_ERROR, zip::UZ_WRITE_ERROR, zip::UZ_UNSUPPORTED, zip::UZ_ENCRYPTED, zip::UZ_OVERLAPPING_ENTRY},
            "a failed entry's report");
        check_failed_entry_left_nothing();
        break;
    case zip::REPORT_BYTES_WRITTEN:
        if (value < 0 || value > zip::WINDOW_SIZE) {
            std::fprintf(stderr, "bytes written reported as %d\n", value);
            std::abort();
        }
        break;
    case zip::REPORT_ARCHIVE_BEGIN:
    case zip::REPORT_ARCHIVE_END:
        check_failed_entry_left_nothing();
        break;
    default:
        if (value == zip::REPORT_FATAL) {
            fuzz::expect_code(record->status, {-3, -4, -5, -8, -9, -11, -14}, "the fatal report's status");
            check_failed_entry_left_nothing();
            break;
        }
        std::fprintf(stderr, "unknown report status %d (value %d)\n", record->status, value);
        std::abort();
    }
}

// Entries whose names climb out of the target folder are kept away from this
// machine's files: they are the robustness test's business, in a controlled
// place.
bool climbs_out(const std::string& archive)
{
    bool climbs = false;
    try {
        zip::ZipDirScan scan;
        for (std::int32_t code = zip::zip_dir_first(archive.c_str(), scan); code == 0; code = zip::zip_dir_next(scan)) {
            std::string name = scan.name;
            if (name.find("..") != std::string::npos)
                climbs = true;
        }
        zip::zip_dir_close(scan);
    } catch (const zip::IoError&) {}
    return climbs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (sandbox.empty()) {
        sandbox = fuzz::scratch() + "/sandbox";
        target = sandbox + "/target";
    }
    const std::string archive = fuzz::scratch() + "/archive.zip";
    fuzz::write_file(archive, data, size);
    if (climbs_out(archive))
        return 0;

    fs::remove_all(sandbox);
    fs::create_directories(sandbox);

    current_open = false;
    zip::set_report_proc(report);
    std::int32_t result = 0;
    bool raised = false;
    try {
        result = zip::extract_matching(archive.c_str(), target.c_str(), "*.*");
    } catch (const zip::IoError&) {
        raised = true;
        zip::busy = false;  // the library leaves it set after a raised error, by design
        zip::set_report_proc(nullptr);
        zip::set_overwrite_query(nullptr);
    }
    if (!raised) {
        if (result < 0)
            fuzz::expect_code(result, {-3, -4, -5, -8, -9, -11, -12, -14}, "extract_matching");
        if (zip::busy) {
            std::fprintf(stderr, "the library is left busy\n");
            std::abort();
        }
        if (result >= 0)
            check_failed_entry_left_nothing();
    }
    current_open = false;

    for (const fs::directory_entry& e : fs::directory_iterator(sandbox)) {
        if (e.path().filename() != "target") {
            std::fprintf(stderr, "written outside the target folder: %s\n", e.path().c_str());
            std::abort();
        }
    }
    fs::remove_all(sandbox);
    return 0;
}
