// The run's folder step and its browser: the folder remembered in the
// registry, the browser shown and hidden, the tree's root buttons, the
// drop-down, the log's folder line, and "New" and "Rename" through the
// folder-name dialog.
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"

#include <initializer_list>

#include "platform/files.h"
#include "platform/win/application.h"
#include "platform/win/registry.h"

using platform::win::application;
using platform::win::message_box;
using platform::win::ShellTreeView;

std::string DialogBaseFolder;

namespace {

constexpr char IllegalFolderNameChars[] = "\"*/:<>?\\|";

void ShowFolderWarning(const std::string& text) { message_box(text, AppCaption, MB_OK | MB_ICONWARNING); }

// A path that has a drive and lies below the drive's root.
bool HasParentOnDrive(const std::string& path) { return path.size() > 3 && path.compare(1, 2, ":\\") == 0; }

std::string ReadRememberedFolder()
{
    const auto key = platform::win::RegistryKey::open_current_user(RegistryKeyPath);
    if (!key)
        return {};
    try {
        return key->read_string("imudir");
    } catch (const platform::win::RegistryError&) {
        // A value of another type would stop every run for good; it counts
        // as no folder remembered.
        return {};
    }
}

void WriteRememberedFolder(const std::string& folder)
{
    if (auto key = platform::win::RegistryKey::open_current_user(RegistryKeyPath))
        key->write_string("imudir", folder);
}

}  // namespace

std::string ParentFolderOf(const std::string& path)
{
    std::size_t n = path.size();
    if (n > 0 && path[n - 1] == '\\')
        --n;
    while (n > 3 && path[n - 1] != '\\') --n;
    return path.substr(0, n);
}

std::string WithTrailingBackslash(const std::string& path)
{
    return path.empty() || path.back() == '\\' ? path : path + '\\';
}

std::string WithoutTrailingBackslash(const std::string& path)
{
    return path.size() > 3 && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}

bool IsLegalFolderName(const std::string& name)
{
    return name.find_first_of(IllegalFolderNameChars) == std::string::npos;
}

void TForm1::SetFolderBrowserVisible(bool visible)
{
    // OK, the control just pressed, goes first; the others follow in the
    // reverse of the order they came in.
    const auto set_glyphs = [this, visible] {
        for (platform::win::SpeedButton* glyph : {&button2, &button4, &SpeedButton4, &SpeedButton5})
            glyph->set_visible(visible);
    };
    if (visible) {
        stvw1.show();
        ShellComboBox1.show();
        set_glyphs();
        Button3.show();
    } else {
        Button3.hide();
        set_glyphs();
        ShellComboBox1.hide();
        stvw1.hide();
    }
}

bool TForm1::ConfirmTargetFolder()
{
    Memo1.clear();
    AddLogLine("");
    AddLogLine("Please confirm/select the installation target folder now. You can create a new folder with a right "
               "click popup menu.");
    AddLogLine("");
    FolderLineIndex = Memo1.line_count();
    AddLogLine(stvw1.selected_path());

    TargetFolder = ReadRememberedFolder();
    if (TargetFolder.empty() || !IsUsableFolder(TargetFolder))
        TargetFolder = ApplicationFolder;
    const std::string starting_folder = TargetFolder;
    SetTreeRoot(stvw1, TargetFolder);

    SetFolderBrowserVisible(true);
    application().process_messages();
    if (!Form3->WaitForButton())
        return false;

    TargetFolder = stvw1.selected_path();
    if (TargetFolder.empty()) {
        message_box("Error occurred in folder dialog.", AppCaption, MB_OK);
        application().terminate();
        return false;
    }
    // The starting folder may end in a separator where the browser's path
    // does not; the same folder confirmed again is not written.
    if (TargetFolder != WithoutTrailingBackslash(starting_folder))
        WriteRememberedFolder(TargetFolder);

    SetFolderBrowserVisible(false);

    Memo1.clear();
    AddLogLine("");
    AddLogLine("Thank you. We will continue downloading the required files ...");
    TargetFolder = WithTrailingBackslash(TargetFolder);
    if (!IsUsableFolder(TargetFolder))
        platform::create_directory(TargetFolder);
    AddLogLine("The target folder is: " + TargetFolder);
    AddLogLine("");
    return true;
}

void TForm1::stvw1Change(Object&) { Memo1.set_line(FolderLineIndex, stvw1.selected_path()); }

void TForm1::ShellComboBox1Change(Object&)
{
    const std::string path = ShellComboBox1.selected_path();
    if (IsUsableFolder(path))
        stvw1.set_root(path);
}

void TForm1::Button3Click(Object&) { stvw1.set_root(ShellTreeView::Root::desktop); }

void TForm1::Button4Click(Object&) { stvw1.set_root(ShellTreeView::Root::computer); }

void TForm1::SpeedButton4Click(Object&)
{
    // A drive's root and the shell's virtual folders have no parent to go to.
    const std::string selected = stvw1.selected_path();
    if (HasParentOnDrive(selected))
        stvw1.set_root(ParentFolderOf(selected));
}

void TForm1::SpeedButton5Click(Object&) { SetTreeRoot(stvw1, ApplicationFolder); }

void TForm1::New1Click(Object&)
{
    const std::string selected = stvw1.selected_path();
    if (selected.empty())
        return;
    Form2->Prepare("Please enter a subfolder name for", selected, selected);
    if (Form2->ShowModal() == -1)
        return;
    DialogBaseFolder = WithTrailingBackslash(DialogBaseFolder) + Form2->Edit1.text() + "\\";
    if (platform::create_directory(DialogBaseFolder))
        stvw1.set_root(selected);
    else
        ShowFolderWarning("Error on creating new folder");
}

void TForm1::Rename1Click(Object&)
{
    const std::string old_path = stvw1.selected_path();
    if (old_path.empty())
        return;
    // The new name would appear beside the old one, so that is where a
    // folder of that name must not exist yet.
    Form2->Prepare("Please enter a new name for", old_path, ParentFolderOf(old_path));
    if (Form2->ShowModal() == -1)
        return;
    const std::string new_path = ParentFolderOf(old_path) + Form2->Edit1.text() + "\\";
    // Open watches on the folder would keep Windows from renaming it.
    stvw1.release_watches_under(old_path);
    // The separator at the end names the same folder; the rename is asked
    // without it, which every file system takes.
    if (!platform::rename_path(old_path, WithoutTrailingBackslash(new_path))) {
        ShowFolderWarning("Error on renaming new folder");
        return;
    }
    if (IsUsableFolder(new_path))
        stvw1.set_root(new_path);
}

void SetTreeRoot(ShellTreeView& tree, const std::string& root)
{
    if (lstrcmpiA(root.c_str(), "rfDesktop") == 0)
        tree.set_root(ShellTreeView::Root::desktop);
    else if (lstrcmpiA(root.c_str(), "rfMyComputer") == 0)
        tree.set_root(ShellTreeView::Root::computer);
    else
        tree.set_root(root);
}
