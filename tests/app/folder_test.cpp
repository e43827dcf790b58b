// The target folder browser and the folder-name dialog with the real window
// under Wine: roots, buttons, the right-click menu, the dialog's checks, the
// drop-down, and folders changed by another program.
#include "tests/app/app_fixture.h"
#include "tests/platform/temp_folder.h"
#include "platform/files.h"

#include <shellapi.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {

using Paths = std::vector<std::string>;
constexpr char ComputerId[] = "::{20d04fe0-3aea-1069-a2d8-08002b30309d}";

TEST(FolderNames, ParentFolderOfADeepFolderEndsInASeparatorAndOfATopFolderIsTheDrive)
{
    EXPECT_EQ(ParentFolderOf("C:\\data\\sub"), "C:\\data\\");
    EXPECT_EQ(ParentFolderOf("C:\\data\\sub\\"), "C:\\data\\");
    EXPECT_EQ(ParentFolderOf("C:\\data"), "C:\\");
    EXPECT_EQ(ParentFolderOf("C:\\"), "C:") << "a drive's root loses its separator";
}

TEST(FolderNames, ExactlyNineCharactersAreIllegal)
{
    for (const char illegal : std::string("\"*/:<>?\\|"))
        EXPECT_FALSE(IsLegalFolderName(std::string("a") + illegal + "b")) << illegal;
    EXPECT_TRUE(IsLegalFolderName(" x. y#%&()[]{}'+,;=@~"));
    EXPECT_TRUE(IsLegalFolderName("tab\there"));
    EXPECT_TRUE(IsLegalFolderName(""));
}

bool Exists(const std::string& path) { return std::filesystem::is_directory(path); }

// Runs a command line in another process and waits for it to end.
void RunOtherProgram(const std::string& command)
{
    std::string line = "C:\\windows\\system32\\cmd.exe /c " + command;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &child));
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}

class Folders : public AppTest {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(data.file("sub"));
        AppTest::SetUp();
        SetTermsAcknowledged(1);
        Start();
        // What the run's folder step shows.
        for (platform::win::GraphicControl* button :
             {&Form1->button2, &Form1->button4, &Form1->SpeedButton4, &Form1->SpeedButton5})
            button->show();
        Form1->stvw1.show();
        Form1->ShellComboBox1.show();
        Form1->Memo1.clear();
        Form1->AddLogLine("before");
        FolderLineIndex = Form1->Memo1.add_line("folder line");
        Form1->AddLogLine("after");
        const auto handler = Form1->stvw1.OnChange;
        Form1->stvw1.OnChange = [this, handler](Object& Sender) {
            ++changes;
            handler(Sender);
        };
    }

    static HWND Tree() { return Form1->stvw1.handle(); }
    static HTREEITEM Top() { return TreeView_GetRoot(Tree()); }

    static Paths ChildrenOf(HTREEITEM item)
    {
        Paths paths;
        for (HTREEITEM child = TreeView_GetChild(Tree(), item); child != nullptr;
             child = TreeView_GetNextSibling(Tree(), child))
            paths.push_back(Form1->stvw1.path_of(child));
        return paths;
    }

    static HTREEITEM ChildAt(HTREEITEM item, const std::string& path)
    {
        for (HTREEITEM child = TreeView_GetChild(Tree(), item); child != nullptr;
             child = TreeView_GetNextSibling(Tree(), child))
            if (Form1->stvw1.path_of(child) == path)
                return child;
        return nullptr;
    }

    static bool Shows(HTREEITEM item, const std::string& path) { return ChildAt(item, path) != nullptr; }

    static std::string FolderLine() { return Form1->Memo1.lines().at(FolderLineIndex); }

    static void ClickGlyph(platform::win::SpeedButton& button)
    {
        const RECT area = button.bounds();
        ClickAt(Form1->TabSheet1.handle(), POINT{(area.left + area.right) / 2, (area.top + area.bottom) / 2});
    }

    // A right click on a folder of the tree; `in_menu` runs while the menu is open.
    static void RightClick(HTREEITEM item, const std::function<void()>& in_menu)
    {
        RECT area{};
        ASSERT_TRUE(TreeView_GetItemRect(Tree(), item, &area, TRUE));
        Later inside(300, in_menu);
        SendMessageA(Tree(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(area.left + 4, (area.top + area.bottom) / 2));
        SendMessageA(Tree(), WM_RBUTTONUP, 0, MAKELPARAM(area.left + 4, (area.top + area.bottom) / 2));
        Pump();
    }

    // Picks a menu entry with the keyboard, as a user may.
    static void ChooseMenuEntry(int index)
    {
        for (int i = 0; i <= index; ++i) PostMessageA(Form1->handle(), WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(Form1->handle(), WM_KEYDOWN, VK_RETURN, 0);
    }

    static void Type(const std::string& name) { Form2->Edit1.set_text(name); }
    static void PressKey(WPARAM key)
    {
        PostMessageA(Form2->Edit1.handle(), WM_KEYDOWN, key, 0);
        PostMessageA(Form2->Edit1.handle(), WM_CHAR, key, 0);
        Pump();
    }
    // A pixel of a window as painted on screen, in its client coordinates.
    static COLORREF PaintedPixel(HWND window, int x, int y)
    {
        UpdateWindow(window);
        const HDC dc = GetDC(window);
        const COLORREF pixel = GetPixel(dc, x, y);
        ReleaseDC(window, dc);
        return pixel;
    }
    [[nodiscard]] static bool DialogOpen() { return IsWindowVisible(Form2->handle()) != FALSE; }

    void ChooseComboEntry(const std::string& path)
    {
        auto& combo = Form1->ShellComboBox1;
        int index = -1;
        for (int i = 0; i < combo.entry_count(); ++i)
            if (combo.entry(i).path == path)
                index = i;
        ASSERT_GE(index, 0) << path;
        combo.set_item_index(index);
        SendMessageA(Form1->TabSheet1.handle(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo.handle()));
        Pump();
    }

    // Directly under C:\, where the drive's tree shows it.
    imu_test::TempFolder data{"folders", "C:\\"};
    int changes = 0;
};

TEST_F(Folders, RootsFromTheButtonsAndTheTreesRules)
{
    auto& tree = Form1->stvw1;
    EXPECT_EQ(tree.root(), platform::win::ShellTreeView::Root::desktop) << "the desktop from the start";
    char desktop[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
    EXPECT_EQ(tree.selected_path(), desktop);
    EXPECT_TRUE(Shows(Top(), ComputerId)) << "the desktop lists the computer";

    ClickGlyph(Form1->button2);
    EXPECT_EQ(changes, 0) << "the desktop again changes nothing";
    EXPECT_EQ(FolderLine(), "folder line");

    ClickGlyph(Form1->button4);
    EXPECT_EQ(tree.root(), platform::win::ShellTreeView::Root::computer);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(tree.selected_path(), ComputerId);
    EXPECT_EQ(TreeView_GetSelection(Tree()), Top());
    EXPECT_EQ(TreeView_GetNextSibling(Tree(), Top()), nullptr) << "the root is the only top node";
    EXPECT_NE(TreeView_GetItemState(Tree(), Top(), TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    EXPECT_TRUE(Shows(Top(), "C:\\")) << "the computer lists its drives";
    EXPECT_EQ(FolderLine(), ComputerId);
    EXPECT_EQ(Form1->Memo1.lines(), (Paths{"before", ComputerId, "after"}));

    // No parent for a virtual folder or a drive's root.
    ClickGlyph(Form1->SpeedButton4);
    EXPECT_EQ(tree.root(), platform::win::ShellTreeView::Root::computer);
    tree.set_root("C:\\");
    changes = 0;
    ClickGlyph(Form1->SpeedButton4);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(tree.root_path(), "C:\\");
    EXPECT_TRUE(Shows(Top(), data.path().string()));

    tree.set_root(data.file("sub"));
    EXPECT_EQ(tree.selected_path(), data.file("sub"));
    ClickGlyph(Form1->SpeedButton4);
    EXPECT_EQ(tree.root_path(), data.path().string() + "\\");
    EXPECT_EQ(tree.selected_path(), data.path().string()) << "no separator at the end";
    EXPECT_EQ(FolderLine(), data.path().string());
    ClickGlyph(Form1->SpeedButton4);
    EXPECT_EQ(tree.root_path(), "C:\\");
    EXPECT_EQ(tree.selected_path(), "C:\\");

    // Names compared without regard to case.
    changes = 0;
    tree.set_root("c:\\");
    EXPECT_EQ(changes, 0);

    ClickGlyph(Form1->SpeedButton5);
    EXPECT_EQ(tree.root_path(), ApplicationFolder);
    EXPECT_EQ(tree.selected_path() + "\\", ApplicationFolder);
    ClickGlyph(Form1->button2);
    EXPECT_EQ(tree.root(), platform::win::ShellTreeView::Root::desktop);

    // A root the shell cannot show raises, and the tree stays.
    EXPECT_THROW(tree.set_root(data.file("missing")), std::runtime_error);
    EXPECT_EQ(tree.root(), platform::win::ShellTreeView::Root::desktop);
    EXPECT_EQ(TreeView_GetSelection(Tree()), Top());
}

TEST_F(Folders, FoldersAreEnumeratedWhenOpenedWithTheShellsNamesAndIcons)
{
    std::filesystem::create_directories(data.file("sub\\deeper"));
    std::filesystem::create_directories(data.file("empty"));
    std::ofstream(data.file("file.txt")) << "not a folder";
    ASSERT_TRUE(
        CreateDirectoryW((platform::ansi_to_wide(data.path().string()) + L"\\\u0141\u00f3d\u017a").c_str(), nullptr));
    Form1->stvw1.set_root(data.path().string());
    EXPECT_EQ(ChildrenOf(Top()), (Paths{data.file("empty"), data.file("sub")}))
        << "folders only, those the code page can name, in the shell's order";
    const HTREEITEM sub = ChildAt(Top(), data.file("sub"));
    EXPECT_EQ(TreeView_GetChild(Tree(), sub), nullptr) << "not enumerated before it is opened";

    char text[MAX_PATH] = {};
    TVITEMA item{};
    item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_CHILDREN | TVIF_HANDLE;
    item.hItem = sub;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    ASSERT_TRUE(TreeView_GetItem(Tree(), &item));
    EXPECT_STREQ(text, "sub");
    EXPECT_EQ(item.cChildren, 1) << "shows that it can be opened";
    SHFILEINFOA icon{};
    SHGetFileInfoA((data.file("sub")).c_str(), 0, &icon, sizeof(icon), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    EXPECT_EQ(item.iImage, icon.iIcon) << "the shell's own folder icon";
    EXPECT_NE(TreeView_GetImageList(Tree(), TVSIL_NORMAL), nullptr);

    TreeView_Expand(Tree(), sub, TVE_EXPAND);
    EXPECT_EQ(ChildrenOf(sub), (Paths{data.file("sub\\deeper")}));
    TreeView_Expand(Tree(), ChildAt(Top(), data.file("empty")), TVE_EXPAND);
    EXPECT_EQ(ChildrenOf(ChildAt(Top(), data.file("empty"))), Paths{});
}

TEST_F(Folders, RightClickSelectsThenNewCreatesTheFolderAndReRoots)
{
    auto& tree = Form1->stvw1;
    tree.set_root(data.path().string());
    changes = 0;
    std::string selected_in_menu;
    std::string line_in_menu;
    std::string prompt;
    std::string folder_label;
    bool focused = false;
    COLORREF face = 0, behind_path = 0, in_field = 0, on_button = 0;
    Later dialog(900, [&] {
        prompt = Form2->Label1.text();
        folder_label = Form2->Label2.text();
        focused = GetFocus() == Form2->Edit1.handle();
        face = PaintedPixel(Form2->handle(), 5, 5);
        behind_path = PaintedPixel(Form2->Label2.handle(), 285, 12);  // right of the path's text
        in_field = PaintedPixel(Form2->Edit1.handle(), 280, 10);
        on_button = PaintedPixel(Form2->Button1.handle(), 8, 12);
        Type("x");
        Form2->Button1.click();
    });
    RightClick(ChildAt(Top(), data.file("sub")), [&] {
        selected_in_menu = tree.selected_path();
        line_in_menu = FolderLine();
        ChooseMenuEntry(0);
    });
    EXPECT_EQ(selected_in_menu, data.file("sub")) << "selected before the menu opens";
    EXPECT_EQ(line_in_menu, data.file("sub")) << "and the log's folder line follows";
    EXPECT_EQ(prompt, "Please enter a subfolder name for");
    EXPECT_EQ(folder_label, data.file("sub"));
    EXPECT_TRUE(focused);
    // Mid grey behind the cream and yellow texts; the field and the buttons
    // as the system draws them (a theme may draw the buttons in any light tone).
    EXPECT_EQ(face, RGB(128, 128, 128));
    EXPECT_EQ(behind_path, RGB(128, 128, 128));
    EXPECT_EQ(in_field, GetSysColor(COLOR_WINDOW));
    EXPECT_NE(on_button, RGB(128, 128, 128));
    EXPECT_NE(on_button, CLR_INVALID);
    EXPECT_TRUE(Exists(data.file("sub\\x")));
    EXPECT_EQ(DialogBaseFolder, data.file("sub\\x\\"));
    EXPECT_EQ(tree.root_path(), data.file("sub")) << "re-rooted where the folder was made";
    EXPECT_EQ(ChildrenOf(Top()), (Paths{data.file("sub\\x")}));
    EXPECT_EQ(FolderLine(), data.file("sub"));
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Folders, DialogChecksTheNameInOrderAndOnlyOkOrReturnAccepts)
{
    auto& tree = Form1->stvw1;
    tree.set_root(data.path().string());
    // The main window moved since the dialog was made: it opens over it still.
    SetWindowPos(Form1->handle(), nullptr, 20, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    std::filesystem::create_directories(data.file("a\\b"));
    std::vector<std::string> shown;
    RECT frame{};
    RECT main{};
    bool open_after_escape = false;
    bool open_after_empty = false;
    Later dialog(300, [&] {
        GetWindowRect(Form2->handle(), &frame);
        GetWindowRect(Form1->handle(), &main);
        Form2->Button1.click();
        open_after_empty = DialogOpen();
        for (const char* name : {"sub", "a/b", "c/d", "e<"}) {
            Type(name);
            Form2->Button1.click();
            shown.push_back(messages.empty() ? "" : messages.back().text);
        }
        PressKey(VK_ESCAPE);
        open_after_escape = DialogOpen();
        Type(" y");
        PressKey(VK_RETURN);
    });
    Form1->New1Click(Form1->New1);
    EXPECT_TRUE(open_after_empty) << "an empty name keeps the dialog open";
    EXPECT_EQ(shown,
              (Paths{"Folder exists already.", "Folder exists already.", "Illegal character in folder name.",
                     "Illegal character in folder name."}));
    ASSERT_EQ(messages.size(), 4u);
    for (const ShownMessage& each : messages) {
        EXPECT_EQ(each.caption, "ARVELON IMU");
        EXPECT_EQ(each.flags, static_cast<unsigned>(MB_OK | MB_ICONWARNING));
    }
    EXPECT_TRUE(open_after_escape) << "Escape has no binding";
    EXPECT_TRUE(Exists(data.file(" y"))) << "Return is OK, and the name is used as typed";
    EXPECT_FALSE(DialogOpen());
    EXPECT_LE(std::abs((frame.left + frame.right) - (main.left + main.right)), 1);
    EXPECT_LE(std::abs((frame.top + frame.bottom) - (main.top + main.bottom)), 1);
}

TEST_F(Folders, DialogResultsAndWhatTheCallersDoAfterACancel)
{
    DialogBaseFolder = data.path().string();
    Later accept(200, [&] {
        Type("new");
        Form2->Button1.click();
    });
    EXPECT_EQ(Form2->ShowModal(), 1);
    Later cancel(200, [&] { Form2->Button2.click(); });
    EXPECT_EQ(Form2->ShowModal(), -1);
    Later close(200, [&] { SendMessageA(Form2->handle(), WM_CLOSE, 0, 0); });
    EXPECT_EQ(Form2->ShowModal(), -1) << "the close box cancels";

    // The callers do nothing after a cancel.
    Form1->stvw1.set_root(data.path().string());
    Later cancel_new(200, [&] {
        Type("never");
        SendMessageA(Form2->handle(), WM_CLOSE, 0, 0);
    });
    Form1->New1Click(Form1->New1);
    EXPECT_FALSE(Exists(data.file("never")));
    TreeView_SelectItem(Tree(), ChildAt(Top(), data.file("sub")));
    Later cancel_rename(200, [&] {
        Type("never");
        Form2->Button2.click();
    });
    Form1->Rename1Click(Form1->Rename1);
    EXPECT_TRUE(Exists(data.file("sub")));
    EXPECT_TRUE(messages.empty());

    // Nothing selected: neither opens the dialog.
    TreeView_SelectItem(Tree(), nullptr);
    Form1->New1Click(Form1->New1);
    Form1->Rename1Click(Form1->Rename1);
    EXPECT_FALSE(DialogOpen());
}

TEST_F(Folders, RenameLooksBesideTheFolderAndReRootsAtTheNewName)
{
    auto& tree = Form1->stvw1;
    std::filesystem::create_directories(data.file("other"));
    std::filesystem::create_directories(data.file("sub\\inner"));
    tree.set_root(data.path().string());
    TreeView_Expand(Tree(), ChildAt(Top(), data.file("sub")), TVE_EXPAND);  // watched while renamed
    std::string prompt;
    std::string folder_label;
    Later dialog(900, [&] {
        prompt = Form2->Label1.text();
        folder_label = Form2->Label2.text();
        Type("other");
        Form2->Button1.click();
        Type("renamed");
        Form2->Button1.click();
    });
    RightClick(ChildAt(Top(), data.file("sub")), [] { ChooseMenuEntry(1); });
    EXPECT_EQ(prompt, "Please enter a new name for");
    EXPECT_EQ(folder_label, data.file("sub"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Folder exists already.") << "the name is taken beside it";
    EXPECT_FALSE(Exists(data.file("sub")));
    EXPECT_TRUE(Exists(data.file("renamed\\inner")));
    EXPECT_EQ(tree.root_path(), data.file("renamed\\"));
    EXPECT_EQ(tree.selected_path(), data.file("renamed"));
    EXPECT_EQ(FolderLine(), data.file("renamed"));

    // A drive cannot be renamed.
    messages.clear();
    tree.set_root("C:\\");
    Later fails(200, [&] {
        Type("drive");
        Form2->Button1.click();
    });
    Form1->Rename1Click(Form1->Rename1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error on renaming new folder");
    EXPECT_EQ(messages[0].flags, static_cast<unsigned>(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(tree.root_path(), "C:\\");
}

TEST_F(Folders, NewInAVirtualFolderFailsWithAWarning)
{
    Form1->stvw1.set_root(platform::win::ShellTreeView::Root::computer);
    Later dialog(200, [&] {
        Type("x");
        Form2->Button1.click();
    });
    Form1->New1Click(Form1->New1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error on creating new folder");
    EXPECT_EQ(messages[0].caption, "ARVELON IMU");
    EXPECT_EQ(messages[0].flags, static_cast<unsigned>(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(Form1->stvw1.root(), platform::win::ShellTreeView::Root::computer);
}

TEST_F(Folders, DropDownListsDesktopComputerAndDrivesAndReRootsOnlyAtUsableFolders)
{
    auto& combo = Form1->ShellComboBox1;
    ASSERT_GE(combo.entry_count(), 3);
    EXPECT_EQ(combo.entry(0).path, Form1->stvw1.selected_path()) << "the desktop first";
    EXPECT_EQ(combo.entry_indent(0), 0);
    EXPECT_EQ(combo.entry(1).path, ComputerId);
    EXPECT_EQ(combo.entry_indent(1), 1);
    EXPECT_EQ(combo.entry(2).path, "C:\\");
    EXPECT_EQ(combo.entry_indent(2), 2);
    EXPECT_EQ(combo.item_index(), 0);
    RECT dropped{};
    SendMessageA(combo.handle(), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    EXPECT_EQ((dropped.bottom - dropped.top) / SendMessageA(combo.handle(), CB_GETITEMHEIGHT, 0, 0), 8);

    ChooseComboEntry(ComputerId);
    EXPECT_EQ(Form1->stvw1.root(), platform::win::ShellTreeView::Root::desktop) << "the computer entry is ignored";
    EXPECT_EQ(changes, 0);
    ChooseComboEntry("C:\\");
    EXPECT_EQ(Form1->stvw1.root_path(), "C:\\");
    EXPECT_EQ(Form1->stvw1.selected_path(), "C:\\");
    EXPECT_EQ(FolderLine(), "C:\\");
    EXPECT_EQ(combo.selected_path(), "C:\\");

    // The folders above the current one, each under the one before.
    combo.set_path(data.file("sub"));
    const int drive = 2;
    EXPECT_EQ(combo.entry(drive + 1).path, data.path().string());
    EXPECT_EQ(combo.entry_indent(drive + 1), 3);
    EXPECT_EQ(combo.entry(drive + 2).path, data.file("sub"));
    EXPECT_EQ(combo.entry_indent(drive + 2), 4);
    EXPECT_EQ(combo.selected_path(), data.file("sub"));
    ChooseComboEntry(data.path().string());
    EXPECT_EQ(Form1->stvw1.root_path(), data.path().string());
    EXPECT_EQ(combo.selected_path(), data.path().string());
}

TEST_F(Folders, FoldersChangedByAnotherProgramShowWithinTwoSeconds)
{
    auto& tree = Form1->stvw1;
    std::filesystem::create_directories(data.file("sub\\old"));
    tree.set_root(data.path().string());
    const HTREEITEM sub = ChildAt(Top(), data.file("sub"));
    TreeView_Expand(Tree(), sub, TVE_EXPAND);
    TreeView_SelectItem(Tree(), sub);
    changes = 0;

    RunOtherProgram("mkdir \"" + data.file("made") + "\"");
    EXPECT_TRUE(WaitUntil(
        "the new folder \"made\" in the tree", [&] { return Shows(Top(), data.file("made")); }, 2000));
    RunOtherProgram("mkdir \"" + data.file("sub\\inner") + "\"");
    EXPECT_TRUE(WaitUntil(
        "the new folder \"inner\" in an opened folder", [&] { return Shows(sub, data.file("sub\\inner")); }, 2000));
    RunOtherProgram("ren \"" + data.file("sub\\old") + "\" new");
    EXPECT_TRUE(WaitUntil(
        "\"old\" renamed to \"new\" in the tree",
        [&] { return Shows(sub, data.file("sub\\new")) && !Shows(sub, data.file("sub\\old")); }, 2000));
    RunOtherProgram("rmdir \"" + data.file("made") + "\"");
    EXPECT_TRUE(WaitUntil(
        "\"made\" gone from the tree", [&] { return !Shows(Top(), data.file("made")); }, 2000));
    EXPECT_EQ(TreeView_GetSelection(Tree()), sub) << "the selection is kept";
    EXPECT_EQ(changes, 0);

    // A selected folder that vanishes leaves the selection on its parent.
    TreeView_SelectItem(Tree(), ChildAt(sub, data.file("sub\\new")));
    RunOtherProgram("rmdir \"" + data.file("sub\\new") + "\"");
    EXPECT_TRUE(WaitUntil(
        "\"sub\" selected", [&] { return tree.selected_path() == data.file("sub"); }, 2000));
    EXPECT_EQ(FolderLine(), data.file("sub"));
}

TEST_F(Folders, AFolderThatCouldNotBeWatchedIsListedWhenChosenAgainAndWatchesCloseWhileHidden)
{
    auto& tree = Form1->stvw1;
    std::filesystem::create_directories(data.file("locked\\old"));
    tree.set_root(data.path().string());
    // Held open unshared, it can be neither watched nor listed when it is opened.
    const HANDLE held = CreateFileA((data.file("locked")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const HTREEITEM locked = ChildAt(Top(), data.file("locked"));
    TreeView_Expand(Tree(), locked, TVE_EXPAND);
    const int watched = tree.open_watch_count();
    CloseHandle(held);
    PumpFor(1500);
    EXPECT_FALSE(Shows(locked, data.file("locked\\old"))) << "not polled";
    TreeView_SelectItem(Tree(), locked);
    EXPECT_TRUE(Shows(locked, data.file("locked\\old"))) << "listed when chosen again";
    EXPECT_EQ(tree.open_watch_count(), watched + 1) << "and watched from then on";

    tree.hide();
    EXPECT_EQ(tree.open_watch_count(), 0);
    tree.show();
    EXPECT_TRUE(WaitUntil(
        "one more watch", [&] { return tree.open_watch_count() == watched + 1; }, 2000));
    Form1->TabSheet1.hide();
    PumpFor(700);
    EXPECT_EQ(tree.open_watch_count(), 0) << "hidden with its page";
    Form1->TabSheet1.show();
}

TEST_F(Folders, ALongFolderPathReplacesItsLogLineWhole)
{
    std::string deep = data.path().string();
    for (const char* part : {"a-rather-long-folder-name", "and-another-long-folder-name", "and-a-third-one-here"})
        deep += std::string("\\") + part;
    std::filesystem::create_directories(deep);
    ASSERT_GT(deep.size(), 60u) << "wider than the log";
    Form1->stvw1.set_root(deep);
    EXPECT_EQ(Form1->Memo1.lines(), (Paths{"before", deep, "after"}));
    Form1->stvw1.set_root(data.path().string());
    EXPECT_EQ(Form1->Memo1.lines(), (Paths{"before", data.path().string(), "after"}));
}

// Not a check: tools/screenshot runs it to picture the folder step, and ends
// the process once the picture is taken.
TEST_F(Folders, DISABLED_FolderStepStaysOnScreen)
{
    std::filesystem::remove_all(data.path().string());  // the process ends without tidying up
    Form1->Button3.show();
    Form1->Memo1.clear();
    Form1->FormCreate(*Form1);
    FolderLineIndex = Form1->Memo1.add_line("");
    Form1->stvw1.set_root(platform::win::ShellTreeView::Root::computer);
    const HTREEITEM drive = ChildAt(Top(), "C:\\");
    ASSERT_NE(drive, nullptr);
    TreeView_Expand(Tree(), drive, TVE_EXPAND);
    TreeView_SelectItem(Tree(), ChildAt(drive, "C:\\users"));
    SetForegroundWindow(Form1->handle());
    Form1->stvw1.set_focus();
    PumpFor(60000);
}

// Not a check either: tools/screenshot pictures the folder-name dialog as
// "New" opens it on a folder, a name typed.
TEST_F(Folders, DISABLED_FolderNameDialogStaysOnScreen)
{
    std::filesystem::remove_all(data.path().string());
    Form1->stvw1.set_root("C:\\users");
    Later type(300, [] { Type("ARVELON"); });
    Later cancel(60000, [] { Form2->Button2.click(); });
    Form1->New1Click(Form1->New1);
}

}  // namespace
