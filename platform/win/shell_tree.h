// The folder browser's controls over the shell's namespace: a folder tree
// and a folder drop-down that show the folders a Windows file dialog shows,
// with the shell's names and icons.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win/controls.h"

namespace platform::win {

// An item ID list the shell allocated; freed with CoTaskMemFree.
struct ItemIdListFree {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};
using ItemIdList = std::unique_ptr<ITEMIDLIST, ItemIdListFree>;

// A change-notification handle on one folder's subfolders; inactive when
// the folder cannot be watched.
class FolderWatch {
public:
    FolderWatch() = default;
    explicit FolderWatch(const std::string& folder);

    [[nodiscard]] bool active() const { return handle_ != nullptr; }
    // True once when a subfolder was created, renamed or removed since the
    // last call; the watch then waits for the next change.
    [[nodiscard]] bool changed();

private:
    struct Close {
        void operator()(HANDLE handle) const { FindCloseChangeNotification(handle); }
    };
    std::unique_ptr<void, Close> handle_;
};

// One folder of the namespace as the controls show it.
struct ShellFolderItem {
    ItemIdList absolute;  // from the desktop
    std::string name;  // as the shell shows it
    std::string path;  // as the shell gives it for parsing
    bool has_subfolders = false;
    int icon = 0;
    int open_icon = 0;
};

class ShellTreeView : public TreeView {
public:
    ShellTreeView();
    ~ShellTreeView() override;

    void create(Container& parent, int left, int top, int width, int height);

    // What the tree shows at its top: a folder given by its path, or one of
    // the shell's two virtual folders.
    enum class Root { path, desktop, computer };
    // Setting the current root again (a path in any case) does nothing; a new
    // root becomes the only top node, expanded one level and selected, which
    // runs OnChange. A path the shell cannot show raises its error text.
    void set_root(Root root);  // desktop or computer
    void set_root(const std::string& path);
    [[nodiscard]] Root root() const { return root_; }
    // The path as set_root was given it; empty for a virtual folder.
    [[nodiscard]] const std::string& root_path() const { return root_path_; }
    // The selected folder's parsing path: no trailing separator except at a
    // drive's root; empty when nothing is selected.
    [[nodiscard]] std::string selected_path() const { return path_of(TreeView_GetSelection(handle())); }
    // For tests: the same for any item of the tree.
    [[nodiscard]] std::string path_of(HTREEITEM item) const;

    // The menu a right click opens once the folder under the pointer is
    // selected.
    void set_popup_menu(PopupMenu* menu) { popup_menu_ = menu; }

    // Brings the shown folders up to date with what their watches tell; a
    // timer does the same twice a second while the tree is shown. A folder
    // that cannot be watched (a share, no right to list it) is listed again
    // only when it is opened or selected again: polling it would cost a
    // listing, over the network perhaps, twice a second, to learn what no
    // watch tells of.
    void check_for_changes();
    // Closes the watches on a folder and the folders below it, so that it
    // can be renamed (all of them for an empty path: the tree is hidden);
    // they are opened again at the next check.
    void release_watches_under(const std::string& path);
    // For tests: the watches open now; none while the tree is hidden.
    [[nodiscard]] int open_watch_count() const;

    LRESULT handle_notify(NMHDR& header) override;

private:
    struct Node {
        ShellFolderItem folder;
        HTREEITEM item = nullptr;
        bool enumerated = false;
        FolderWatch watch;
        bool watch_closed = false;  // closed for a rename or while hidden: reopen and re-list
    };

    void show_root(ShellFolderItem top, Root root, const std::string& path);
    HTREEITEM insert(HTREEITEM parent, ShellFolderItem folder);
    void fill_children(HTREEITEM item);
    void refresh_children(HTREEITEM item);
    // Which of the fresh listing is shown already; renames those, removes
    // the shown folders not in it.
    std::vector<bool> keep_or_remove_shown(HTREEITEM item, const std::vector<ShellFolderItem>& fresh);
    void remove_vanished(HTREEITEM parent, HTREEITEM child);
    void add_new(const Node& parent, std::vector<ShellFolderItem>& fresh, const std::vector<bool>& shown);
    void set_has_children(HTREEITEM item, bool has_children);
    [[nodiscard]] Node* node_of(HTREEITEM item) const;
    void open_menu(POINT point);  // in the tree's client coordinates
    void refresh_unwatched(HTREEITEM item);
    static LRESULT CALLBACK subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                          DWORD_PTR self);

    Root root_ = Root::path;
    std::string root_path_;  // empty before the first set_root
    // Keyed by the address each tree item holds: the tree hands back items
    // (in notifications, and after a refresh removed their folders) whose
    // node may be gone already, so an item's pointer is used only once this
    // map shows that the node is still there.
    std::unordered_map<Node*, std::unique_ptr<Node>> nodes_;
    bool quiet_ = false;  // no OnChange while the tree is rebuilt
    PopupMenu* popup_menu_ = nullptr;
    Timer watch_timer_;
};

// A drop-down of the desktop, the computer, its drives and the folders above
// the current one, indented under each other with their icons.
class ShellComboBox : public Control {
    struct Entry {
        ShellFolderItem folder;
        int indent = 0;
    };

public:
    void create(Container& parent, int left, int top, int width);

    // The folder of the selected entry; empty when none is selected.
    [[nodiscard]] std::string selected_path() const;
    // Makes a folder the current entry, with the folders above it listed (the
    // desktop for an empty path).
    void set_path(const std::string& path);

    // For tests: the entries as listed, with their indents.
    [[nodiscard]] int entry_count() const { return static_cast<int>(entries_.size()); }
    [[nodiscard]] const ShellFolderItem& entry(int index) const { return entry_at(index).folder; }
    [[nodiscard]] int entry_indent(int index) const { return entry_at(index).indent; }
    [[nodiscard]] int item_index() const { return static_cast<int>(SendMessageA(handle(), CB_GETCURSEL, 0, 0)); }
    void set_item_index(int index) { SendMessageA(handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

    // The user chose an entry.
    NotifyEvent OnChange;
    void handle_command(unsigned code) override;

private:
    [[nodiscard]] const Entry& entry_at(int index) const { return entries_.at(static_cast<std::size_t>(index)); }

    std::vector<Entry> entries_;
};

}  // namespace platform::win
