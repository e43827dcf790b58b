// The install and update run: one click on "New Install" or "Update" runs it
// from the connection probe to the completion, inside that click's handler.
#include "app/Unit1.h"

#include "app/Unit3.h"
#include "platform/files.h"
#include "platform/win/application.h"

#include <vector>

using platform::win::application;
using platform::win::message_box;

namespace {

constexpr char DecoderTitle[] = "arvelon - melqary";
// How long a decoder told to quit may take to end before its files are replaced.
constexpr DWORD DecoderShutdownMs = 10000;

// GetVersion's low byte: 5 for Windows XP, 6 or more for Vista and later.
int WindowsMajorVersion() { return LOBYTE(LOWORD(GetVersion())); }

}  // namespace

void TForm1::Abort(const std::string& message)
{
    message_box(message, AppCaption, MB_ICONERROR | MB_OK);
    application().terminate();
}

bool TForm1::EndIfClosed()
{
    if (!CloseRequested)
        return false;
    application().terminate();
    return true;
}

void TForm1::Button1Click(Object& Sender)
{
    const bool new_install = &Sender == &SpeedButton1;

    if (!ProbeDownloadServer())
        return;

    SpeedButton1.hide();
    SpeedButton2.hide();
    AddLogLine(new_install ? "Starting installation run..." : "Starting update/maintenance run...");
    AddLogLine("");

    if (new_install && !ConfirmWindowsVersion())
        return;
    if (!ConfirmTargetFolder())
        return;

    if (!new_install && !platform::file_exists(TargetFolder + "arvelon.exe")) {
        if (message_box("Warning for update: your ARVELON.EXE file was NOT FOUND in your installation folder. "
                        "Continue?",
                        AppCaption, MB_ICONWARNING | MB_YESNO) == IDNO) {
            application().terminate();
            return;
        }
    }

    if (!StopRunningDecoder())
        return;

    if (!IsUsableFolder(TargetFolder + "tmp"))
        platform::create_directory(TargetFolder + "tmp");

    if (!FetchAndUnpack(new_install) || EndIfClosed())
        return;
    // Once begun, the moves finish: half an installation is worse than none.
    if (!PlaceFiles(new_install))
        return;
    // A close that came during the moves starts nothing more.
    application().process_messages();
    if (EndIfClosed())
        return;

    LoadReleaseNotes(memo4, TargetFolder + "*.txt");
    Sleep(LogPause);

    if (new_install) {
        AddLogLine("Executing zadig.exe...");
        AddLogLine("");
        OpenWithShell(TargetFolder + "zadig.exe");
        // The tool takes a moment to open the window that the guide docks.
        Sleep(1000);
        AddLogLine("Install completed.");
        AddLogLine("");
        if (!RunDriverGuide())
            return;
        PageControl1.set_active_page_index(2);
        application().process_messages();
    } else {
        AddLogLine("Update completed.");
        AddLogLine("");
        Memo1.clear();
        AddLogLine("Update completed.");
        PageControl1.set_active_page_index(2);
        application().process_messages();
    }
}

bool TForm1::ProbeDownloadServer()
{
    // A second click while the probe waits for the server would start a second run.
    SpeedButton1.set_enabled(false);
    SpeedButton2.set_enabled(false);
    std::string body;
    const platform::HttpResult result = IdHTTP1.get_text(DownloadServer, body);
    SpeedButton1.set_enabled(true);
    SpeedButton2.set_enabled(true);
    if (EndIfClosed())
        return false;
    if (!result.ok() || body.empty()) {
        Abort("Aborting: an internet connection must be present, but was not found.");
        return false;
    }
    return true;
}

bool TForm1::ConfirmWindowsVersion()
{
    AddLogLine("Please confirm your Windows version from the listbox now.");
    AddLogLine("");
    speedbutton3.show();
    speedbutton3.bring_to_front();
    ComboBox1.show();
    ComboBox1.bring_to_front();
    application().process_messages();
    ComboBox1.set_item_index(WindowsMajorVersion() >= 6 ? 1 : 0);
    if (!Form3->WaitForButton())
        return false;
    speedbutton3.hide();
    ComboBox1.hide();
    return true;
}

bool TForm1::StopRunningDecoder()
{
    DecoderWindow = FindWindowA(nullptr, DecoderTitle);
    // No window has a handle this small: the test counts them, like 0, as
    // no decoder running.
    if (reinterpret_cast<std::uintptr_t>(DecoderWindow) <= 32)
        return true;
    if (message_box("Aborting: an instance of ARVELON.EXE file was found. Can we shut it down?.", AppCaption,
                    MB_ICONERROR | MB_OKCANCEL) == IDCANCEL) {
        application().terminate();
        return false;
    }
    CloseWindow(DecoderWindow);
    PostMessageA(DecoderWindow, WM_QUIT, 0, 0);
    // Its program file cannot be replaced while it runs.
    const DWORD start = GetTickCount();
    while (IsWindow(DecoderWindow) && GetTickCount() - start < DecoderShutdownMs && !CloseRequested) {
        application().process_messages();
        Sleep(50);
    }
    if (EndIfClosed())
        return false;
    if (IsWindow(DecoderWindow)) {
        Abort("Aborting: ARVELON.EXE did not shut down. Please close it and start again.");
        return false;
    }
    return true;
}

bool TForm1::FetchAndUnpack(bool new_install)
{
    // A run that could not fetch or unpack a file moves nothing, so the
    // installation is never left half old and half new.
    const auto fetch = [this](const std::string& url, const std::string& local, bool program = false) {
        const bool fetched = DownloadFile(url, TargetFolder + local);
        if (EndIfClosed())
            return false;
        if (fetched && (!program || IsWindowsProgram(TargetFolder + local)))
            return true;
        Abort("Aborting: " + local + " could not be downloaded.");
        return false;
    };
    const auto unpack = [this](const std::string& local) {
        const bool unpacked = UnzipArchive(TargetFolder + local, TargetFolder + "tmp");
        if (EndIfClosed())
            return false;
        if (unpacked)
            return true;
        Abort("Aborting: " + local + " could not be unpacked.");
        return false;
    };

    ProgressBar1.show();
    if (!fetch(DownloadServer + "/arvelon/arvelon.zip", "tmp\\arvelon.zip") || !unpack("tmp\\arvelon.zip"))
        return false;
    if (!new_install)
        return true;
    if (!fetch(ManualsServer + "/manuals/RelWithDebInfo.zip", "tmp\\rtlsdr.zip") ||
        !PassesIntegrityCheck("tmp\\rtlsdr.zip", DriversSha256) || !unpack("tmp\\rtlsdr.zip"))
        return false;
    const bool vista = ComboBox1.item_index() == 1;
    const std::string zadig = vista ? "/arvelon/zadig-2.4.exe" : "/arvelon/zadig_xp-2.2.exe";
    // The driver tool is started through the shell: a page or a broken file
    // saved under its name must not get that far.
    if (!fetch(DownloadServer + zadig, "tmp\\zadig.exe", true) ||
        !PassesIntegrityCheck("tmp\\zadig.exe", vista ? ZadigSha256 : ZadigXpSha256))
        return false;
    ProgressBar1.hide();
    application().process_messages();
    return true;
}

bool TForm1::PlaceFiles(bool new_install)
{
    const std::string tmp = TargetFolder + "tmp\\";
    const auto not_placed = [this](const std::string& name) {
        Abort("Aborting: " + name + " could not be placed in the target folder.");
        return false;
    };
    // Only what this run wrote is placed: whatever else lies in the work
    // folder (an earlier run's files, the user's own) stays where it is.
    const auto ready = [this](const std::string& path) { return WrittenByRun(path) && platform::file_exists(path); };

    struct SingleMove {
        const char* source;  // under tmp
        const char* name;  // in the target folder, and the log line
        bool log_before;
        bool required;  // an installation without it does not work
        bool pause;
    };
    std::vector<SingleMove> moves;
    if (new_install)
        moves = {{"msvcr100.dll", "msvcr100.dll", false, false, true},
                 {"rtl-sdr-release\\x32\\rtlsdr.dll", "rtlsdr.dll", false, true, true},
                 {"rtl-sdr-release\\x32\\libusb-1.0.dll", "libusb-1.0.dll", false, true, true},
                 {"terms_of_use.pdf", "terms_of_use.pdf", true, false, true},
                 {"zadig.exe", "zadig.exe", true, true, true}};
    moves.push_back({"arvelon.exe", "arvelon.exe", false, true, false});
    // Checked before anything moves, so a missing file leaves the target
    // folder as it was.
    for (const SingleMove& move : moves)
        if (move.required && !ready(tmp + move.source))
            return not_placed(move.name);

    if (new_install) {
        AddLogLine("Moving files...");
        AddLogLine("");
        Sleep(LogPause);
    }
    for (const SingleMove& move : moves) {
        // A line that comes before its move is written whether or not
        // there is anything to move.
        if (move.log_before)
            AddLogLine(move.name);
        if (!ready(tmp + move.source))
            continue;
        if (!platform::move_file_replacing(tmp + move.source, TargetFolder + move.name))
            return not_placed(move.name);
        if (!move.log_before)
            AddLogLine(move.name);
        if (move.pause)
            Sleep(LogPause);
    }

    for (const auto& [mask, line] : {std::pair{"*.txt", "txt files"}, std::pair{"arvelon*.dll", "plug-in files"}}) {
        AddLogLine(line);
        std::string sources;
        for (const std::string& name : platform::find_entries(tmp + mask, FileAttributeFilter)) {
            if (!WrittenByRun(tmp + name))
                continue;
            // The shell's list has no way to name a file with its separator.
            if (name.find(';') != std::string::npos)
                return not_placed(name);
            sources += (sources.empty() ? "" : ";") + tmp + name;
        }
        if (!sources.empty()) {
            const std::string left = MoveFilesByMask(handle(), sources, TargetFolder, MoveOptions);
            if (!left.empty())
                return not_placed(left.substr(tmp.size()));
        }
        Sleep(LogPause);
    }
    return true;
}
