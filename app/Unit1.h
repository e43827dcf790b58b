// The main window: its four pages and every control on them, the shared state
// of the installer, and the handlers and operations of the installer's run.
// The definitions are split by concern over the Unit1*.cpp files.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "app/IdHTTP.h"
#include "platform/win/controls.h"
#include "platform/win/shell_tree.h"

using platform::win::Object;

// The installer's one registry key, under HKEY_CURRENT_USER.
inline constexpr char RegistryKeyPath[] = "Software\\Melqary\\ARVELON";

// The plain pause after a step of the run's log, so the user can follow the
// lines as they come; no message is processed meanwhile.
inline constexpr DWORD LogPause = 500;

// The application's title, and the caption of every message box it shows.
inline constexpr char AppCaption[] = "ARVELON IMU";

// Cream text on dark blue for the log and the guide text; the folder-name
// dialog shows the same cream and a yellow on the classic mid grey, where
// both read (about 3.8 : 1) as they would not on a dialog's light face.
inline constexpr COLORREF CreamText = RGB(255, 251, 240);
inline constexpr COLORREF LogBackground = RGB(0, 0, 64);
inline constexpr COLORREF DialogGrey = RGB(128, 128, 128);
inline constexpr COLORREF YellowText = RGB(255, 255, 0);

// Directory listings take read-only, hidden, system, volume-label and
// archive entries, and leave folders out.
inline constexpr std::uint32_t FileAttributeFilter = 0x2F;
// What the run's moves by mask ask of the shell: no progress window, replace
// without asking, files only, create the folder without asking. Nobody is
// there to answer the shell's questions in the middle of a run.
inline constexpr unsigned short MoveOptions = FOF_SILENT | FOF_NOCONFIRMATION | FOF_FILESONLY | FOF_NOCONFIRMMKDIR;

class TForm1 : public platform::win::Form {
public:
    // Creates the window with all its controls and runs FormCreate; the
    // window stays hidden until show().
    TForm1();
    ~TForm1() override;

    platform::win::PageControl PageControl1;
    platform::win::TabSheet TabSheet3;  // page 0, "Terms of use"
    platform::win::TabSheet TabSheet1;  // page 1, "Install and Update"
    platform::win::TabSheet TabSheet2;  // page 2, "Release notes"
    platform::win::TabSheet TabSheet4;  // page 3, "Internet"

    // Page 0.
    platform::win::Memo Memo3;
    platform::win::Button Button5;

    // Page 1, drawn controls first: they lie below every windowed control.
    platform::win::Image Image5;
    platform::win::SpeedButton SpeedButton1;
    platform::win::SpeedButton SpeedButton2;
    platform::win::SpeedButton SpeedButton4;
    platform::win::SpeedButton button2;
    platform::win::SpeedButton button4;
    platform::win::SpeedButton SpeedButton5;
    platform::win::Image Image2;
    platform::win::Image Image3;
    platform::win::Image Image4;
    platform::win::Image Image1;
    // Windowed controls; each lies above the ones before it.
    platform::win::Memo Memo1;
    platform::win::ShellTreeView stvw1;
    platform::win::ComboBox ComboBox1;
    platform::win::Button speedbutton3;
    platform::win::ShellComboBox ShellComboBox1;
    platform::win::Button Button3;
    platform::win::Memo Memo2;
    platform::win::Button Button1;
    platform::win::ProgressBar ProgressBar1;

    // Page 2.
    platform::win::RichEdit memo4;

    // Page 3: the links over their picture; the name list and the load
    // buffer of the release notes are never shown.
    platform::win::Image Image6;
    platform::win::SpeedButton SpeedButton6;
    platform::win::SpeedButton SpeedButton8;
    platform::win::SpeedButton SpeedButton9;
    platform::win::ListBox ListBox1;
    platform::win::Memo Memo5;

    platform::win::Timer Timer1;

    // The HTTP client of the downloads and of the connection probe.
    TIdHTTP IdHTTP1{*this};

    // Base URLs ("http://host[:port]", no path), fixed when the program is
    // built; tests point them elsewhere.
    std::string DownloadServer;
    std::string ManualsServer;
    // The SHA-256 that the fixed-version downloads must have, in lower-case
    // hex, or empty for no check; fixed when the program is built.
    std::string ZadigSha256;  // "/arvelon/zadig-2.4.exe"
    std::string ZadigXpSha256;  // "/arvelon/zadig_xp-2.2.exe"
    std::string DriversSha256;  // "/manuals/RelWithDebInfo.zip"

    // Handlers.
    void FormCreate(Object& Sender);
    void FormClose(Object& Sender);
    void Timer1Timer(Object& Sender);
    void Button5Click(Object& Sender);
    void PageControl1Changing(Object& Sender, bool& AllowChange);
    // The one handler of Button1 (YES), Button3 (OK) and speedbutton3.
    void Button2Click(Object& Sender);
    // The install and update run, for SpeedButton1 ("New Install") and
    // SpeedButton2 ("Update"); returns when the run has ended (Unit1_run.cpp).
    void Button1Click(Object& Sender);
    // The three links of the Internet page (Unit1_links.cpp).
    void SpeedButton6Click(Object& Sender);

    // Folder browser (Unit1_folders.cpp).
    platform::win::PopupMenu PopupMenu1;
    platform::win::MenuItem New1, Rename1;
    // The tree's selection changed: the log's folder line follows it.
    void stvw1Change(Object& Sender);
    // Re-roots the tree at the chosen entry when it is a usable folder.
    void ShellComboBox1Change(Object& Sender);
    void Button3Click(Object& Sender);  // button2: the desktop
    void Button4Click(Object& Sender);  // button4: the computer
    void SpeedButton4Click(Object& Sender);  // the parent folder
    void SpeedButton5Click(Object& Sender);  // the application folder
    void New1Click(Object& Sender);
    void Rename1Click(Object& Sender);
    // The tree, the drop-down, the four glyph buttons and OK, together.
    void SetFolderBrowserVisible(bool visible);

    // Operations.
    void AddLogLine(const std::string& text);
    [[nodiscard]] int VisibleLineCount(platform::win::Memo& memo);

    // Downloads (Unit1_download.cpp).
    // True when the whole body arrived with a 2xx status; raises "Cannot
    // create file %s" when the file cannot be created.
    bool DownloadFile(const std::string& url, const std::string& file);
    // The SHA-256 of the body that the last DownloadFile wrote, in lower-case
    // hex, taken as it arrived.
    std::string DownloadedSha256;
    // True when the pin is empty or is the SHA-256 of the last download,
    // saved as `local` under TargetFolder. Otherwise the file is deleted, the
    // user is told that it did not pass its integrity check, and the program
    // ends.
    [[nodiscard]] bool PassesIntegrityCheck(const std::string& local, const std::string& pin);
    void IdHTTP1WorkBegin(Object& Sender, platform::WorkMode AWorkMode, std::int32_t AWorkCountMax);
    void IdHTTP1Work(Object& Sender, platform::WorkMode AWorkMode, std::int32_t AWorkCount);

    // Unpacking and file operations (Unit1_files.cpp).
    // False when the unpacking failed: the library refused the archive, an
    // entry was not extracted, or an error escaped the library.
    bool UnzipArchive(const std::string& archive, const std::string& folder);
    // Moves every file matching the ";"-separated masks into the folder, one
    // shell operation a file. Gives the first file that could not be moved,
    // after which nothing more is moved; empty when all were.
    [[nodiscard]] std::string MoveFilesByMask(HWND owner, const std::string& sources, const std::string& folder,
                                              unsigned short options);
    // The files that this run downloaded or unpacked; only these are placed
    // in the target folder. Names as WrittenFileKey gives them.
    std::set<std::string> WrittenFiles;
    [[nodiscard]] bool WrittenByRun(const std::string& path) const;

    // Release notes (Unit1_notes.cpp). Raises "Cannot open file %s" when a
    // notes file vanished or is locked after it was listed.
    void LoadReleaseNotes(platform::win::Memo& view, const std::string& mask);
    void CollectFileNames(const std::string& mask);

    // Driver guide (Unit1_guide.cpp).
    // Docks the driver tool's window below this one and walks the user
    // through its seven steps, then tells the tool to quit and starts the
    // installed decoder. False when a wait ended because the program is
    // closing: the caller then stops at once.
    [[nodiscard]] bool RunDriverGuide();
    // The one click handler of Image1..Image4: pages through the pictures.
    void Image1Click(Object& Sender);
    // The main window has moved: the driver tool's window follows it.
    void WMMove(Object& Sender);
    // Moves the driver tool's window, at its size and to the top, under this
    // window's left + the guide pictures' left, one pixel below the bottom.
    void DockZadigWindow();

private:
    // The terms of use as the program carries them, with CR LF line breaks.
    [[nodiscard]] static std::string TermsText();
    // imuterms from the registry; anything unreadable counts as false.
    [[nodiscard]] static bool ReadTermsAccepted();
    void CreatePageTerms();
    void CreatePageInstall();
    void CreatePageReleaseNotes();
    void CreatePageInternet();

    // The run's steps (Unit1_run.cpp); each false return ends the run.
    [[nodiscard]] bool ProbeDownloadServer();
    [[nodiscard]] bool ConfirmWindowsVersion();
    [[nodiscard]] bool ConfirmTargetFolder();
    [[nodiscard]] bool StopRunningDecoder();
    [[nodiscard]] bool FetchAndUnpack(bool new_install);
    [[nodiscard]] bool PlaceFiles(bool new_install);
    // Shows an abort message with the error icon and ends the program.
    void Abort(const std::string& message);
    // True, with the program ending, once the main window has been closed:
    // the run then stops at its next step without a word.
    [[nodiscard]] bool EndIfClosed();
};

// Shared state of the module; zero, false or empty at start.
extern bool ButtonPressed;
extern bool CloseRequested;
extern bool TermsAccepted;
extern std::string ApplicationFolder;
extern std::string TargetFolder;
extern HWND DecoderWindow;
extern HWND ZadigWindow;
extern int FolderLineIndex;
// Roots the folder tree at a folder or at the shell's desktop or computer,
// which the program names "rfDesktop" and "rfMyComputer" (in any case) where
// it keeps a folder, as in ApplicationFolder.
void SetTreeRoot(platform::win::ShellTreeView& tree, const std::string& root);

extern std::unique_ptr<TForm1> Form1;

// The ";"-separated list as the shell takes it: NUL between the entries, two
// NULs at the end.
[[nodiscard]] std::string ToShellFileList(const std::string& list);
// The shell's "open" action: starts a program, opens an address in the browser.
void OpenWithShell(const std::string& path);
// A path as WrittenFiles holds it: backslashes, ASCII letters in lower case,
// as the file system compares names.
[[nodiscard]] std::string WrittenFileKey(const std::string& path);
// The file starts with the headers of a Windows program: "MZ", the "PE"
// signature where the DOS header points, and the headers that follow it.
[[nodiscard]] bool IsWindowsProgram(const std::string& path);
// An existing folder on a drive ("C:\...") or a tree root name ("rf...");
// network paths are not usable.
[[nodiscard]] bool IsUsableFolder(const std::string& path);

// Folder browser (Unit1_folders.cpp).
// The folder that the folder-name dialog looks in for an existing folder of
// the entered name.
extern std::string DialogBaseFolder;
// The folder containing `path`: a drive's root keeps its separator, a deeper
// folder ends in one.
[[nodiscard]] std::string ParentFolderOf(const std::string& path);
// The path with a backslash at its end, as a folder held for joining names
// to it; an empty path stays empty.
[[nodiscard]] std::string WithTrailingBackslash(const std::string& path);
// The path without a backslash at its end, as the folder tree gives paths;
// a drive's root ("C:\", three characters or fewer) keeps it.
[[nodiscard]] std::string WithoutTrailingBackslash(const std::string& path);
// False when the name holds one of  " * / : < > ? \ |
[[nodiscard]] bool IsLegalFolderName(const std::string& name);
