// The release notes: the notes files among the installed text files, in name
// order, joined on the "Release notes" page.
#include "app/Unit1.h"

#include <algorithm>
#include <stdexcept>

#include "platform/files.h"

namespace {

// "1_release.txt", "10_changes.txt": one or two characters, then "_".
bool IsNotesFileName(const std::string& name) { return name.size() > 3 && (name[1] == '_' || name[2] == '_'); }

// The file's text up to its first NUL, every line break made CR LF.
std::string ReadNotesText(const std::string& path)
{
    platform::File file = platform::File::open_read(path);
    if (!file.is_open())
        throw std::runtime_error("Cannot open file " + path);
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const std::int64_t got = file.read(buffer, sizeof(buffer));
        if (got < 0)
            throw std::runtime_error("Cannot open file " + path);
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    bytes.resize(std::min(bytes.find('\0'), bytes.size()));

    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            text += "\r\n";
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            text += c;
        }
    }
    return text;
}

}  // namespace

void TForm1::CollectFileNames(const std::string& mask)
{
    for (const std::string& name : platform::find_entries(mask, FileAttributeFilter)) ListBox1.add_item(name);
}

void TForm1::LoadReleaseNotes(platform::win::Memo& view, const std::string& mask)
{
    CollectFileNames(mask);
    for (int i = 0; i < ListBox1.item_count(); ++i) {
        const std::string name = ListBox1.item(i);
        if (!IsNotesFileName(name))
            continue;
        Memo5.set_text(ReadNotesText(TargetFolder + name));
        view.set_text(view.text() + Memo5.text());
        view.add_line("");
        AddLogLine(name);
    }
}
