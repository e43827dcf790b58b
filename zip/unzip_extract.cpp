// Extracting one entry, and the batch that extracts every entry matching a mask.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/pump.h"
#include "zip/extract_state.h"

namespace zip {

bool busy = false;
bool flatten_paths = false;
bool lower_case_names = false;

namespace {

constexpr std::uint32_t LOCAL_HEADER_SIGNATURE = 0x04034B50;
constexpr std::uint32_t DATA_DESCRIPTOR_SIGNATURE = 0x08074B50;
constexpr int LOCAL_HEADER_SIZE = 30;
constexpr std::uint32_t SUPPORTED_METHODS = 0x143;  // bit m: method m (0, 1, 6, 8)
constexpr std::int64_t UNKNOWN_SIZE = 0x7FFFFFFF;
constexpr std::int32_t DEAD_EXTRACTION_MS = 30000;
constexpr std::int32_t ESCAPE_KEY = 27;
// Names are handled as at most 255 characters when files are created.
constexpr std::size_t MAX_PATH_CHARS = 255;
constexpr std::uint16_t FLAG_ENCRYPTED = 0x0001;
constexpr std::uint16_t FLAG_DATA_DESCRIPTOR = 0x0008;
constexpr std::uint16_t FLAG_UTF8_NAME = 0x0800;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t le32(const std::uint8_t* p) { return le16(p) | (static_cast<std::uint32_t>(le16(p + 2)) << 16); }

std::uint32_t take_bits16()
{
    need_bits(16);
    const std::uint32_t value = G.bit_buf & 0xFFFF;
    dump_bits(16);
    return value;
}

std::uint32_t take_bits32()
{
    const std::uint32_t low = take_bits16();
    return low | (take_bits16() << 16);
}

// Whatever way extract_entry is left, the library ends up idle: not busy,
// no window, both files closed. An extraction that takes over from one taken
// as dead (still on the stack below, silent for too long) keeps that one's
// state aside and hands it back at the end, so the older one can still finish
// instead of running on with a window and files that are gone.
class ExtractionScope {
public:
    explicit ExtractionScope(bool taking_over) : window_(std::make_unique<std::uint8_t[]>(WINDOW_SIZE))
    {
        if (taking_over)
            outer_ = std::make_unique<ExtractState>(std::move(G));
        busy = true;
        G.slide = window_.get();
    }
    ExtractionScope(const ExtractionScope&) = delete;
    ExtractionScope& operator=(const ExtractionScope&) = delete;
    ~ExtractionScope()
    {
        G.in_file.close();
        G.out_file.close();
        G.slide = nullptr;
        busy = false;
        if (outer_) {
            G = std::move(*outer_);
            busy = true;
        }
    }

private:
    std::unique_ptr<std::uint8_t[]> window_;
    std::unique_ptr<ExtractState> outer_;
};

// Creates, one level at a time, the directories named before the last
// backslash of the path. Relative paths count from the current directory.
void create_parent_directories(const std::string& output)
{
    std::vector<char> copy(output.begin(), output.end());
    copy.push_back('\0');
    std::vector<std::string> parts;
    for (char* token = next_token(copy.data(), '\\'); token != nullptr; token = next_token(nullptr, '\\'))
        parts.emplace_back(token);
    if (parts.size() < 2)
        return;

    std::string path;
    std::size_t first = 0;
    if (parts[0].size() >= 2 && parts[0][1] == ':') {
        path = parts[0].substr(0, 2) + "\\";
        first = 1;
    } else if (output.rfind("\\\\", 0) == 0) {
        // A network share: the server and the share are its root, like a drive.
        if (parts.size() < 5)
            return;
        path = "\\\\" + parts[2] + "\\" + parts[3] + "\\";
        first = 4;
    } else if (parts[0].empty()) {
        path = "\\";
        first = 1;
    }
    for (std::size_t i = first; i + 1 < parts.size(); ++i) {
        if (parts[i].empty())
            continue;
        path += parts[i];
        if (!platform::directory_exists(path) && !platform::create_directory(path))
            return;
        path += '\\';
    }
}

// Length of the part of a full path that is never created: a drive root, a
// share, or the root of a POSIX path.
std::size_t root_length(const std::string& full)
{
    if (full.size() >= 3 && full[1] == ':' && full[2] == '\\')
        return 3;
    if (full.rfind("\\\\", 0) == 0) {
        std::size_t server_end = full.find('\\', 2);
        if (server_end == std::string::npos)
            return full.size();
        std::size_t share_end = full.find('\\', server_end + 1);
        return share_end == std::string::npos ? full.size() : share_end + 1;
    }
    if (!full.empty() && full[0] == '\\')
        return 1;
    return 0;
}

void copy_name(char (&target)[ZIP_NAME_SIZE], const std::string& text)
{
    const std::size_t length = std::min<std::size_t>(text.size(), ZIP_NAME_SIZE - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

std::int32_t low32(std::int64_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }

// True while an extraction runs that has pumped messages within the last 30
// seconds; one silent for longer counts as dead and may be taken over.
bool running_extraction_is_alive()
{
    if (!busy)
        return false;
    if (G.last_pump_tick == 0)
        return true;
    const auto since = static_cast<std::int32_t>(platform::tick_count() - G.last_pump_tick);
    return since >= -DEAD_EXTRACTION_MS && since <= DEAD_EXTRACTION_MS;
}

// Reads the local header at offset into in_buf. An offset outside the file
// is refused before any seek.
std::int32_t read_local_header(std::int64_t offset, std::int64_t file_length)
{
    if (offset < 0 || offset >= file_length || !G.in_file.seek(offset))
        return UZ_READ_ERROR;
    if (G.in_file.read(G.in_buf, LOCAL_HEADER_SIZE) != LOCAL_HEADER_SIZE || le32(G.in_buf) != LOCAL_HEADER_SIGNATURE)
        return UZ_FORMAT_ERROR;
    return UZ_OK;
}

// Deletes the output of an entry that did not succeed, however extract_entry
// is left: an exception from a report procedure included.
class PartialOutput {
public:
    explicit PartialOutput(const std::string& path) : path_(path) {}
    PartialOutput(const PartialOutput&) = delete;
    PartialOutput& operator=(const PartialOutput&) = delete;
    ~PartialOutput()
    {
        if (kept_)
            return;
        G.out_file.close();
        platform::delete_file(path_);
    }
    void keep() { kept_ = true; }

private:
    const std::string& path_;
    bool kept_ = false;
};

// The parts of the archive that entries extracted so far in a batch were read
// from: local header to end of data. Entries that share bytes are what an
// overlapping-entry bomb is made of (many central entries, one stream).
class CoveredSpans {
public:
    [[nodiscard]] bool overlaps(std::int64_t begin, std::int64_t end) const
    {
        // Spans never overlap each other, so only the last one starting
        // before `end` can reach into [begin, end).
        auto after = spans_.lower_bound(end);
        return after != spans_.begin() && std::prev(after)->second > begin;
    }
    void add(std::int64_t begin, std::int64_t end) { spans_[begin] = end; }

private:
    std::map<std::int64_t, std::int64_t> spans_;  // begin -> end
};

// extract_entry on names in the ANSI code page.
// Without a local header at header_offset, one at fallback_offset (when not
// negative) is taken instead. With `covered`, an entry that shares bytes with
// one covered already fails, and a good one is added to it.
std::int32_t extract_converted(const std::string& archive_name, std::string output, std::int64_t header_offset,
                               NotifyWindow notify_window, std::int32_t notify_code, const CentralValues* central,
                               std::int64_t fallback_offset = -1, CoveredSpans* covered = nullptr)
{
    const bool taking_over = busy;
    if (busy) {
        if (running_extraction_is_alive())
            return UZ_BUSY;
        busy = false;
    }
    ExtractionScope scope(taking_over);

    G.in_file = platform::File::open_read(archive_name);
    if (!G.in_file.is_open())
        return UZ_OPEN_ERROR;
    const std::int64_t file_length = G.in_file.length();
    std::int32_t found = read_local_header(header_offset, file_length);
    if (found != UZ_OK && fallback_offset >= 0 && read_local_header(fallback_offset, file_length) == UZ_OK) {
        found = UZ_OK;
        header_offset = fallback_offset;
    }
    if (found != UZ_OK)
        return found;

    const std::uint16_t flags = le16(G.in_buf + 6);
    const std::uint16_t method = le16(G.in_buf + 8);
    const std::uint32_t date_time = le32(G.in_buf + 10);
    const std::int64_t data_start = header_offset + LOCAL_HEADER_SIZE + le16(G.in_buf + 26) + le16(G.in_buf + 28);

    std::uint32_t expected_crc = 0;
    bool crc_follows_data = false;
    if ((flags & FLAG_DATA_DESCRIPTOR) == 0) {
        expected_crc = le32(G.in_buf + 14);
        G.csize = le32(G.in_buf + 18);
        G.ucsize = le32(G.in_buf + 22);
    } else if (central != nullptr) {
        expected_crc = central->crc32;
        G.csize = central->compressed_size;
        G.ucsize = central->size;
    } else {
        G.csize = UNKNOWN_SIZE;
        G.ucsize = UNKNOWN_SIZE;
        crc_follows_data = true;
    }

    // Where the two directories disagree on the size, the larger one counts:
    // a bomb must lie in both to hide an overlap, and the local one bounds
    // what the decoder reads. ZIP64 sizes reach no further than the file.
    const std::int64_t span_size = central != nullptr ? std::max(G.csize, central->compressed_size) : G.csize;
    const std::int64_t data_end = std::min(data_start + span_size, file_length);
    if (covered != nullptr && covered->overlaps(header_offset, data_end))
        return UZ_OVERLAPPING_ENTRY;

    if (method >= 32 || ((SUPPORTED_METHODS >> method) & 1) == 0)
        return UZ_UNSUPPORTED;
    G.gp_flags = flags;
    if (flags & FLAG_ENCRYPTED)
        return UZ_ENCRYPTED;

    G.bytes_read = 0;
    if (!G.in_file.seek(data_start))
        throw IoError("cannot seek to the data of an entry in " + archive_name);

    std::replace(output.begin(), output.end(), '/', '\\');
    // A longer name could only be cut into the name of another file.
    if (output.size() > MAX_PATH_CHARS)
        return UZ_WRITE_ERROR;
    const bool is_directory = !output.empty() && output.back() == '\\';
    if (!is_directory)
        G.out_file = platform::File::create(output);
    if (!G.out_file.is_open()) {
        create_parent_directories(output);
        if (is_directory)
            return UZ_OK;
        G.out_file = platform::File::create(output);
    }
    if (!G.out_file.is_open()) {
        const std::size_t cut = output.rfind('\\');
        const std::string directory = cut == std::string::npos ? std::string() : output.substr(0, cut);
        if (!directory.empty() && !platform::directory_exists(directory) && make_directory_path(directory) == 0)
            G.out_file = platform::File::create(output);
        if (!G.out_file.is_open())
            return UZ_WRITE_ERROR;
    }
    PartialOutput partial(output);

    G.aborted = false;
    G.input_exhausted = false;
    G.notify_window = notify_window;
    G.notify_code = notify_code;
    drain_message_queue();
    G.last_percent = 0;
    crc32_reset(G.crc);

    std::int32_t result;
    switch (method) {
    case 0:
        result = copy_stored_entry();
        break;
    case 1:
        result = unshrink_entry();
        break;
    case 6:
        result = explode_entry();
        break;
    default:
        result = inflate_entry();
        break;
    }

    if (result == UZ_OK && crc_follows_data) {
        dump_bits(G.bit_count & 7);
        expected_crc = take_bits32();
        // Most writers put a signature in front of the descriptor.
        if (expected_crc == DATA_DESCRIPTOR_SIGNATURE)
            expected_crc = take_bits32();
    }

    G.in_file.close();
    const std::uint32_t final_crc = crc32_finish(G.crc);
    const bool good = result == UZ_OK && final_crc == expected_crc;
    // The date goes on while the file is still open: reopening every file
    // only to date it would cost an open and a close per entry.
    if (good)
        G.out_file.set_dos_date_time(date_time);
    const bool closed = G.out_file.close();

    if (result != UZ_OK)
        return result;
    if (final_crc != expected_crc)
        return UZ_CRC_ERROR;
    if (!closed)
        throw IoError("cannot close " + output);
    partial.keep();
    if (covered != nullptr)
        covered->add(header_offset, data_end);
    G.last_percent = 100;
    if (notify_window != 0) {
        std::uint16_t percent = 100;
        platform::send_progress(notify_window, notify_code, &percent);
    }
    return UZ_OK;
}

void report_nothing(std::int32_t, ZipReport*) {}

bool is_fatal(std::int32_t code)
{
    switch (code) {
    case UZ_READ_ERROR:
    case UZ_FORMAT_ERROR:
    case UZ_ABORTED:
    case UZ_BUSY:
    case UZ_BAD_ARCHIVE:
    case UZ_CANNOT_OPEN:
    case UZ_OPEN_ERROR:
        return true;
    default:
        return false;
    }
}

bool is_reported_failure(std::int32_t code)
{
    return code == UZ_CRC_ERROR || code == UZ_WRITE_ERROR || code == UZ_UNSUPPORTED || code == UZ_ENCRYPTED ||
        code == UZ_OVERLAPPING_ENTRY;
}

bool batch_running = false;

// One batch from its start to however it is left. Once the directory is open
// the walk is closed and the procedures cleared at the end. A batch started
// while another one is on the stack (one that took over a dead extraction)
// hands that one back its procedures and report record.
class BatchScope {
public:
    BatchScope() : nested_(batch_running)
    {
        if (nested_) {
            outer_report_ = zip_report;
            outer_proc_ = report_proc;
            outer_query_ = overwrite_query;
        }
        batch_running = true;
    }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;
    ~BatchScope()
    {
        if (scan_ != nullptr) {
            zip_dir_close(*scan_);
            report_proc = nullptr;
            overwrite_query = nullptr;
        }
        if (nested_) {
            zip_report = outer_report_;
            report_proc = outer_proc_;
            overwrite_query = outer_query_;
        }
        batch_running = nested_;
    }
    void directory_opened(ZipDirScan& scan) { scan_ = &scan; }

private:
    bool nested_;
    ZipDirScan* scan_ = nullptr;
    ZipReport outer_report_{};
    ReportProc outer_proc_ = nullptr;
    OverwriteQuery outer_query_ = nullptr;
};

}  // namespace

std::int32_t extract_entry(const char* archive_name, const char* output_name, std::int32_t header_offset,
                           NotifyWindow notify_window, std::int32_t notify_code, const CentralValues* central)
{
    return extract_converted(archive_name, output_name, header_offset, notify_window, notify_code, central);
}

std::int32_t make_directory_path(const std::string& path)
{
    if (path.empty())
        return -1;
    const std::string full = platform::full_path(path);
    for (std::size_t i = root_length(full); i <= full.size(); ++i) {
        if (i < full.size() && full[i] != '\\')
            continue;
        if (i == 0 || full[i - 1] == '\\')
            continue;
        const std::string prefix = full.substr(0, i);
        if (!platform::directory_exists(prefix) && !platform::create_directory(prefix))
            return -1;
    }
    return 0;
}

std::uint8_t compression_ratio(std::int32_t compressed, std::int32_t size)
{
    std::int64_t c = compressed;
    std::int64_t u = size;
    if (c > 21474836) {
        c /= 100;
        u /= 100;
    }
    if (u == 0)
        return 0;
    return static_cast<std::uint8_t>(100 - (c * 100) / u);
}

std::string name_part(const std::string& path)
{
    const std::size_t cut = path.find_last_of("/:\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool entry_name_is_safe(const std::string& name)
{
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        const std::string part = name.substr(start, end - start);
        // Windows drops trailing dots and spaces from a component, so "..." or
        // ".. " would climb like "..".
        const bool only_dots_and_spaces = part.find_first_not_of(". ") == std::string::npos;
        if (only_dots_and_spaces && std::count(part.begin(), part.end(), '.') >= 2)
            return false;
        start = end + 1;
    }
    const std::size_t first = name.find_first_not_of("/\\");
    if (first != std::string::npos && first + 1 < name.size() && name[first + 1] == ':')
        return false;
    return platform::is_plain_relative_path(name);
}

bool set_flatten_paths(bool flatten) { return std::exchange(flatten_paths, flatten); }

std::int32_t extract_matching_ex(const char* archive_name, const char* target_directory, const char* mask,
                                 ReportProc report, OverwriteQuery query)
{
    if (archive_name == nullptr || *archive_name == '\0' || target_directory == nullptr || *target_directory == '\0')
        return UZ_BAD_ARGUMENT;

    // The caller's paths are ANSI already; only names from the archive are OEM.
    const std::string archive = archive_name;
    std::string target = target_directory;
    std::replace(target.begin(), target.end(), '/', '\\');
    if (target.back() != '\\')
        target += '\\';
    const std::string mask_text = std::string(mask == nullptr ? "" : mask).substr(0, 255);

    // A batch started from a handler while another runs would take over its
    // procedures and report record: refused, unless the running extraction
    // is dead and is being taken over.
    if (batch_running && !(busy && !running_extraction_is_alive()))
        return UZ_BUSY;
    // The walk outlives the batch's scope, which closes it however the batch
    // is left.
    ZipDirScan scan;
    BatchScope batch;

    std::int32_t prefix = 0;
    if (!is_zip_archive(archive_name, &prefix))
        return UZ_NOT_AN_ARCHIVE;
    zip_report = {};

    if (zip_dir_first(archive_name, scan) != 0)
        return UZ_BAD_ARCHIVE;
    batch.directory_opened(scan);

    if (report != nullptr) {
        std::int64_t total_compressed = 0;
        const std::int64_t total_size = zip_total_sizes(archive_name, total_compressed);
        zip_report.is_directory = 0;
        copy_name(zip_report.name, archive);
        zip_report.size = total_size;
        zip_report.compressed_size = total_compressed;
        zip_report.ratio = compression_ratio(low32(total_compressed), low32(total_size));
        zip_report.status = REPORT_ARCHIVE_BEGIN;
        report(REPORT_ARCHIVE_BEGIN, &zip_report);
    }
    // The batch's own events go to the procedure it was started with, whatever
    // a handler registers meanwhile.
    const ReportProc own = report != nullptr ? report : report_nothing;
    report_proc = own;

    CoveredSpans covered;
    std::int64_t matched_size = 0;
    std::int64_t matched_compressed = 0;
    std::int32_t count = 0;
    do {
        if (!mask_matches(mask_text, scan.name))
            continue;
        matched_size += scan.size;
        matched_compressed += scan.compressed_size;
        // Most self-extractors store offsets that already count the data in
        // front; others count from the first local header.
        const std::int64_t header_offset = scan.header_offset < 0 ? -1 : std::int64_t{scan.header_offset} + prefix;
        const std::int64_t fallback_offset = prefix > 0 ? scan.header_offset : -1;

        std::string entry_name =
            (scan.gp_flags & FLAG_UTF8_NAME) ? platform::utf8_to_ansi(scan.name) : oem_to_ansi_name(scan.name);
        if (lower_case_names)
            for (char& c : entry_name)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
        const std::string output = target + (flatten_paths ? name_part(entry_name) : entry_name);
        const bool is_directory = output.back() == '/' || output.back() == '\\';
        const bool announce = !(flatten_paths && is_directory);

        zip_report.date_time = static_cast<std::int32_t>(scan.date_time);
        zip_report.size = scan.size;
        zip_report.compressed_size = scan.compressed_size;
        zip_report.method = scan.method;
        zip_report.attributes = scan.attributes;
        copy_name(zip_report.name, output);
        zip_report.ratio = compression_ratio(low32(scan.compressed_size), low32(scan.size));
        zip_report.is_directory = is_directory ? 1 : 0;
        zip_report.status = REPORT_ENTRY_BEGIN;
        if (announce)
            own(REPORT_ENTRY_BEGIN, &zip_report);

        std::int32_t result;
        const bool exists = platform::file_exists(output);
        if (!entry_name_is_safe(entry_name) || output.size() > MAX_PATH_CHARS) {
            result = UZ_WRITE_ERROR;
        } else if (exists && query != nullptr && !query(&zip_report)) {
            zip_report.status = REPORT_BYTES_WRITTEN;
            zip_report.method = REPORT_METHOD_SKIPPED;
            own(low32(scan.size), &zip_report);
            result = UZ_OK;
        } else {
            if (exists)
                platform::set_file_attributes(output, 0);
            const CentralValues central{scan.compressed_size, scan.size, scan.crc32};
            report_proc = own;
            result =
                extract_converted(archive, output, header_offset, 0, ESCAPE_KEY, &central, fallback_offset, &covered);
            if (result == UZ_OK)
                platform::set_file_attributes(output, scan.attributes);
        }

        if (result == UZ_OK) {
            ++count;
            zip_report.status = REPORT_ENTRY_DONE;
            if (announce)
                own(REPORT_ENTRY_DONE, &zip_report);
            continue;
        }
        zip_report.status = REPORT_ENTRY_FAILED;
        if (is_reported_failure(result)) {
            own(result, &zip_report);
        } else if (is_fatal(result)) {
            zip_report.status = result;
            own(REPORT_FATAL, &zip_report);
            return result;
        }
    } while (zip_dir_next(scan) == 0);

    zip_dir_close(scan);
    zip_report.date_time = -1;
    zip_report.attributes = -1;
    zip_report.method = 0;
    zip_report.size = matched_size;
    zip_report.compressed_size = matched_compressed;
    copy_name(zip_report.name, archive);
    zip_report.ratio = compression_ratio(low32(matched_compressed), low32(matched_size));
    zip_report.status = REPORT_ARCHIVE_END;
    own(REPORT_ARCHIVE_END, &zip_report);
    return count;
}

std::int32_t extract_matching(const char* archive_name, const char* target_directory, const char* mask)
{
    return extract_matching_ex(archive_name, target_directory, mask, report_proc, overwrite_query);
}

}  // namespace zip
