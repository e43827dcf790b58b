// Unpacking and the file operations of the run: UnzipArchive, the moves by
// mask through the shell, the shell's "open" action and the target folder test.
#include "app/Unit1.h"

#include <cstring>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/win/application.h"
#include "platform/win/shell.h"
#include "zip/unzip.h"

using platform::win::application;

namespace {

// The entries of one unpacking that were not extracted, with the library's
// result code. The library takes a plain function as its report procedure, so
// the record lives here, for the one unpacking running at a time.
struct FailedEntry {
    std::string name;
    std::int32_t code;
};
std::vector<FailedEntry> failed_entries;
std::vector<std::string> written_entries;  // the files it wrote
std::string begun_entry;  // announced but neither done nor failed yet
bool entry_open = false;

// An entry the batch passed over without a report (a code outside its table).
void close_begun_entry()
{
    if (entry_open)
        failed_entries.push_back({begun_entry, 1});
    entry_open = false;
}

void RecordUnzipReport(std::int32_t value, zip::ZipReport* report)
{
    // The entry that ended the batch, with its reason in place of the event.
    if (value == zip::REPORT_FATAL) {
        if (entry_open)
            failed_entries.push_back({begun_entry, report->status});
        entry_open = false;
        return;
    }
    switch (report->status) {
    case zip::REPORT_ENTRY_BEGIN:
        close_begun_entry();
        begun_entry = report->name;
        entry_open = true;
        break;
    case zip::REPORT_ENTRY_DONE:
        if (!report->is_directory)
            written_entries.emplace_back(report->name);
        entry_open = false;
        break;
    case zip::REPORT_ENTRY_FAILED:
        failed_entries.push_back({report->name, value});
        entry_open = false;
        break;
    case zip::REPORT_ARCHIVE_END:
        close_begun_entry();
        break;

    default:
        break;
    }
}

std::string UnzipErrorText(std::int32_t code)
{
    switch (code) {
    case zip::UZ_CRC_ERROR:
        return "the data does not match its CRC-32";
    case zip::UZ_WRITE_ERROR:
        return "the file cannot be written";
    case zip::UZ_UNSUPPORTED:
        return "unsupported compression method";
    case zip::UZ_ENCRYPTED:
        return "the entry is encrypted";
    case zip::UZ_ABORTED:
        return "the unpacking was stopped with Escape";
    case zip::UZ_OVERLAPPING_ENTRY:
        return "the entry overlaps another entry of the archive";
    default:
        return "the entry cannot be decoded";
    }
}

}  // namespace

bool TForm1::UnzipArchive(const std::string& archive, const std::string& folder)
{
    if (platform::file_exists(archive)) {
        try {
            Sleep(LogPause);
            AddLogLine("Unzipping: " + archive);
            application().process_messages();

            failed_entries.clear();
            written_entries.clear();
            entry_open = false;
            zip::set_report_proc(RecordUnzipReport);
            const std::int32_t result = zip::extract_matching(archive.c_str(), folder.c_str(), "*.*");
            // A batch refused before it opened the directory leaves the procedure in place.
            zip::set_report_proc(nullptr);
            close_begun_entry();
            for (const std::string& name : std::exchange(written_entries, {}))
                WrittenFiles.insert(WrittenFileKey(name));

            // A negative result or any entry left behind is a failed unpacking:
            // the run must not go on as if the files were there.
            if (result < 0 || !failed_entries.empty()) {
                const std::string prefix = folder + "\\";
                for (const FailedEntry& entry : std::exchange(failed_entries, {})) {
                    const bool inside = entry.name.compare(0, prefix.size(), prefix) == 0;
                    AddLogLine("Unzip failed: " + (inside ? entry.name.substr(prefix.size()) : entry.name) + ": " +
                               UnzipErrorText(entry.code));
                }
                AddLogLine("Unzip failed: " + archive);
                AddLogLine("");
                return false;
            }
            AddLogLine("Unzip completed: " + folder);
        } catch (const std::exception&) {
            zip::set_report_proc(nullptr);
            AddLogLine("Unzip failed: " + archive);
            AddLogLine("");
            return false;
        }
    }
    application().process_messages();
    AddLogLine("");
    return true;
}

std::string ToShellFileList(const std::string& list)
{
    std::string shell_list = list;
    for (char& c : shell_list)
        if (c == ';')
            c = '\0';
    shell_list.append(2, '\0');
    return shell_list;
}

std::string TForm1::MoveFilesByMask(HWND owner, const std::string& sources, const std::string& folder,
                                    unsigned short options)
{
    const std::string destination = WithTrailingBackslash(folder);
    const std::string shell_destination = destination + std::string(2, '\0');
    // One file a shell operation: Wine's shell refuses two or more at once,
    // and an operation aborted on one file is then the user's Cancel in the
    // shell's own error box, after which nothing more may move.
    std::size_t start = 0;
    while (start < sources.size()) {
        std::size_t end = sources.find(';', start);
        if (end == std::string::npos)
            end = sources.size();
        const std::string mask = sources.substr(start, end - start);
        const std::string source_folder = mask.substr(0, mask.find_last_of('\\') + 1);
        for (const std::string& name : platform::find_entries(mask, FileAttributeFilter)) {
            const std::string from = source_folder + name;
            if (platform::win::shell_move(owner, ToShellFileList(from), shell_destination, options).aborted)
                return from;
            // The shell may leave a file behind and still report success
            // (Wine's does for a locked destination); it is moved here then.
            if (platform::file_exists(from) && !platform::move_file_replacing(from, destination + name))
                return from;
        }
        start = end + 1;
    }
    return {};
}

std::string WrittenFileKey(const std::string& path)
{
    std::string key = path;
    for (char& c : key) {
        if (c == '/')
            c = '\\';
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

bool TForm1::WrittenByRun(const std::string& path) const { return WrittenFiles.contains(WrittenFileKey(path)); }

bool IsWindowsProgram(const std::string& path)
{
    platform::File file = platform::File::open_read(path);
    unsigned char dos[64];
    if (!file.is_open() || file.read(dos, sizeof dos) != sizeof dos || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const std::int64_t pe = dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 | std::int64_t{dos[0x3F]} << 24;
    // The signature and the file header, whose last but one field gives the
    // optional header's size.
    unsigned char header[24];
    if (!file.seek(pe) || file.read(header, sizeof header) != sizeof header || std::memcmp(header, "PE\0\0", 4) != 0)
        return false;
    const int optional_size = header[20] | header[21] << 8;
    return optional_size > 0 && file.length() >= pe + static_cast<std::int64_t>(sizeof header) + optional_size;
}

void OpenWithShell(const std::string& path) { platform::win::shell_open(path); }

bool IsUsableFolder(const std::string& path)
{
    if (!platform::directory_exists(path) || path.size() < 2)
        return false;
    return path.find(":\\") == 1 || path.compare(0, 2, "rf") == 0;
}
