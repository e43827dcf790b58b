// The target folder browser: the tree's root buttons, the drop-down, the log's
// folder line, and "New" and "Rename" through the folder-name dialog.
#include "app/Unit1.h"
#include "app/Unit2.h"

#include "platform/files.h"
#include "platform/win/application.h"

using platform::win::message_box;
using platform::win::ShellTreeView;

std::string DialogBaseFolder;

namespace {

constexpr char IllegalFolderNameChars[] = "\"*/:<>?\\|";

void ShowFolderWarning(const std::string& text) { message_box(text, "ARVELON IMU", MB_OK | MB_ICONWARNING); }

// A path that has a drive and lies below the drive's root.
bool HasParentOnDrive(const std::string& path) { return path.size() > 3 && path.compare(1, 2, ":\\") == 0; }

}  // namespace

std::string ParentFolderOf(const std::string& path)
{
    std::size_t n = path.size();
    if (n > 0 && path[n - 1] == '\\')
        --n;
    while (n > 3 && path[n - 1] != '\\')
        --n;
    return path.substr(0, n);
}

bool IsLegalFolderName(const std::string& name)
{
    return name.find_first_of(IllegalFolderNameChars) == std::string::npos;
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
    Form2->Label1.set_text("Please enter a subfolder name for");
    Form2->Edit1.set_text("");
    DialogBaseFolder = selected;
    Form2->Label2.set_text(DialogBaseFolder);
    if (Form2->ShowModal() == -1)
        return;
    if (!DialogBaseFolder.empty() && DialogBaseFolder.back() != '\\')
        DialogBaseFolder += '\\';
    DialogBaseFolder += Form2->Edit1.text() + "\\";
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
    Form2->Label1.set_text("Please enter a new name for");
    Form2->Edit1.set_text("");
    Form2->Label2.set_text(old_path);
    // The new name would appear beside the old one, so that is where a
    // folder of that name must not exist yet.
    DialogBaseFolder = ParentFolderOf(old_path);
    if (Form2->ShowModal() == -1)
        return;
    const std::string new_path = ParentFolderOf(old_path) + Form2->Edit1.text() + "\\";
    // Open watches on the folder would keep Windows from renaming it.
    stvw1.release_watches_under(old_path);
    // The separator at the end names the same folder; the rename is asked
    // without it, which every file system takes.
    if (!platform::rename_path(old_path, new_path.substr(0, new_path.size() - 1))) {
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
