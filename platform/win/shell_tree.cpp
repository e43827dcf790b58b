// The shell folder tree and drop-down, over IShellFolder and item ID lists.
#include "platform/win/shell_tree.h"

#include "platform/files.h"
#include "platform/win/application.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <windowsx.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace platform::win {

namespace {

// An owned COM interface pointer.
struct ComRelease {
    void operator()(IUnknown* pointer) const { pointer->Release(); }
};
template <class T>
using ComRef = std::unique_ptr<T, ComRelease>;

ComRef<IShellFolder> desktop()
{
    IShellFolder* opened = nullptr;
    const HRESULT result = SHGetDesktopFolder(&opened);
    ComRef<IShellFolder> folder(opened);
    if (FAILED(result))
        throw std::runtime_error("The shell's desktop folder is not available: " +
                                 error_text(static_cast<DWORD>(result)));
    return folder;
}

ComRef<IShellFolder> bind(const ITEMIDLIST* absolute)
{
    ComRef<IShellFolder> top = desktop();
    if (absolute == nullptr || absolute->mkid.cb == 0)  // the desktop itself
        return top;
    void* folder = nullptr;
    if (FAILED(top->BindToObject(absolute, nullptr, IID_IShellFolder, &folder)))
        return {};
    return ComRef<IShellFolder>(static_cast<IShellFolder*>(folder));
}

std::string display_name(IShellFolder& folder, const ITEMIDLIST* relative, SHGDNF flags)
{
    STRRET name{};
    if (FAILED(folder.GetDisplayNameOf(relative, flags, &name)))
        return {};
    char buffer[MAX_PATH * 2] = {};
    if (FAILED(StrRetToBufA(&name, relative, buffer, sizeof(buffer))))
        return {};
    return buffer;
}

// False for a folder whose path the ANSI code page cannot hold: the program
// would name, create and fill another folder in its place.
bool ansi_can_name(IShellFolder& folder, const ITEMIDLIST* relative)
{
    STRRET name{};
    wchar_t buffer[MAX_PATH * 2] = {};
    if (FAILED(folder.GetDisplayNameOf(relative, SHGDN_FORPARSING, &name)) ||
        FAILED(StrRetToBufW(&name, relative, buffer, MAX_PATH * 2)))
        return true;
    return platform::exact_ansi(buffer).has_value();
}

// Names, path, icons and whether it holds folders, of a folder whose parent
// is open already.
ShellFolderItem describe(IShellFolder& parent, const ITEMIDLIST* relative, ItemIdList absolute)
{
    ShellFolderItem item;
    item.name = display_name(parent, relative, SHGDN_INFOLDER);
    item.path = display_name(parent, relative, SHGDN_FORPARSING);
    SFGAOF attributes = SFGAO_HASSUBFOLDER;
    item.has_subfolders =
        SUCCEEDED(parent.GetAttributesOf(1, &relative, &attributes)) && (attributes & SFGAO_HASSUBFOLDER) != 0;
    const auto icon = [&](UINT open, int otherwise) {
        SHFILEINFOA info{};
        return SHGetFileInfoA(reinterpret_cast<const char*>(absolute.get()), 0, &info, sizeof(info),
                              SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | open) != 0
            ? info.iIcon
            : otherwise;
    };
    item.icon = icon(0, 0);
    item.open_icon = icon(SHGFI_OPENICON, item.icon);
    item.absolute = std::move(absolute);
    return item;
}

ShellFolderItem describe(const ITEMIDLIST* absolute)
{
    void* opened = nullptr;
    const ITEMIDLIST* last = nullptr;
    const HRESULT result = SHBindToParent(absolute, IID_IShellFolder, &opened, &last);
    const ComRef<IShellFolder> parent(static_cast<IShellFolder*>(opened));
    if (FAILED(result))
        throw std::runtime_error("The shell cannot show this folder: " + error_text(static_cast<DWORD>(result)));
    return describe(*parent.get(), last, ItemIdList(ILClone(absolute)));
}

// Below zero when `a` comes before `b` in the shell's own order of the
// folder that holds both.
int shell_order(IShellFolder& folder, const ShellFolderItem& a, const ShellFolderItem& b)
{
    return static_cast<short>(
        HRESULT_CODE(folder.CompareIDs(0, ILFindLastID(a.absolute.get()), ILFindLastID(b.absolute.get()))));
}

// The folders directly in a folder, in the shell's own order. Zip archives
// and the like, which the shell also shows as folders, are left out: nothing
// can be installed into them. So are folders the program cannot name.
std::vector<ShellFolderItem> subfolders(const ITEMIDLIST* absolute, HWND owner)
{
    std::vector<ShellFolderItem> result;
    ComRef<IShellFolder> folder = bind(absolute);
    if (!folder)
        return result;
    IEnumIDList* listed = nullptr;
    const HRESULT listing = folder->EnumObjects(owner, SHCONTF_FOLDERS, &listed);
    const ComRef<IEnumIDList> list(listed);
    if (listing != S_OK || !list)
        return result;
    ITEMIDLIST* relative = nullptr;
    while (list->Next(1, &relative, nullptr) == S_OK) {
        const ItemIdList owned(relative);
        SFGAOF attributes = SFGAO_FOLDER | SFGAO_STREAM;
        const ITEMIDLIST* one = relative;
        if (FAILED(folder->GetAttributesOf(1, &one, &attributes)) || (attributes & SFGAO_FOLDER) == 0 ||
            (attributes & SFGAO_STREAM) != 0 || !ansi_can_name(*folder.get(), relative))
            continue;
        result.push_back(describe(*folder.get(), relative, ItemIdList(ILCombine(absolute, relative))));
    }
    std::stable_sort(result.begin(), result.end(), [&](const ShellFolderItem& a, const ShellFolderItem& b) {
        return shell_order(*folder.get(), a, b) < 0;
    });
    return result;
}

// What a shell call located, or its reason for failing as an exception.
ItemIdList located(HRESULT result, ITEMIDLIST* found)
{
    if (FAILED(result))
        throw std::runtime_error(error_text(static_cast<DWORD>(result)));
    return ItemIdList(found);
}

// The desktop or the computer, or a folder path, as an item ID list from the
// desktop.
ItemIdList locate(ShellTreeView::Root root)
{
    ITEMIDLIST* found = nullptr;
    const int which = root == ShellTreeView::Root::desktop ? CSIDL_DESKTOP : CSIDL_DRIVES;
    const HRESULT result = SHGetSpecialFolderLocation(nullptr, which, &found);
    return located(result, found);
}

ItemIdList locate(const std::string& path)
{
    ITEMIDLIST* found = nullptr;
    std::wstring wide = platform::ansi_to_wide(path);
    const HRESULT result = desktop()->ParseDisplayName(nullptr, nullptr, wide.data(), nullptr, &found, nullptr);
    return located(result, found);
}

[[nodiscard]] bool is_drive_root(const std::string& path)
{
    return path.size() == 3 && path[1] == ':' && path[2] == '\\';
}

// The parsing path without the separator the shell may leave at its end.
std::string trimmed(std::string path)
{
    if (path.size() > 1 && path.back() == '\\' && !is_drive_root(path))
        path.pop_back();
    return path;
}

// True when `path` is `folder` or lies below it.
[[nodiscard]] bool is_at_or_under(const std::string& path, const std::string& folder)
{
    const std::string base = trimmed(folder);
    const int length = static_cast<int>(base.size());
    if (base.empty() || path.size() < base.size() ||
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path.c_str(), length, base.c_str(), length) !=
            CSTR_EQUAL)
        return false;
    return path.size() == base.size() || path[base.size()] == '\\' || base.back() == '\\';
}

// How often the shown folders' watches are read.
constexpr unsigned watch_interval_ms = 500;
// The folder drop-down: its height at 96 DPI until the entries' height is
// known; then the field's frame and the list's border (real pixels around the
// field's and the entries' heights) and the entries the open list shows.
constexpr int combo_first_height = 300;
constexpr int combo_field_frame = 6;
constexpr int combo_list_frame = 2;
constexpr int combo_shown_entries = 8;

HIMAGELIST system_small_icons()
{
    SHFILEINFOA info{};
    ITEMIDLIST empty{};
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(reinterpret_cast<const char*>(&empty), 0, &info, sizeof(info),
                                                       SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}

}  // namespace

// FolderWatch -------------------------------------------------------------------

FolderWatch::FolderWatch(const std::string& folder)
{
    // A virtual folder (the computer, the desktop's own items) has no path to watch.
    if (!platform::directory_exists(folder))
        return;
    const HANDLE handle = FindFirstChangeNotificationA(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_DIR_NAME);
    if (handle != INVALID_HANDLE_VALUE)
        handle_.reset(handle);
}

bool FolderWatch::changed()
{
    if (!active() || WaitForSingleObject(handle_.get(), 0) != WAIT_OBJECT_0)
        return false;
    FindNextChangeNotification(handle_.get());
    return true;
}

// ShellTreeView ---------------------------------------------------------------------

ShellTreeView::ShellTreeView()
{
    watch_timer_.set_interval(watch_interval_ms);
    watch_timer_.OnTimer = [this](Object&) { check_for_changes(); };
}

ShellTreeView::~ShellTreeView()
{
    if (created())
        RemoveWindowSubclass(handle(), subclass_proc, 1);
}

void ShellTreeView::create(Container& parent, int left, int top, int width, int height)
{
    TreeView::create(parent, left, top, width, height);
    TreeView_SetImageList(handle(), system_small_icons(), TVSIL_NORMAL);
    SetWindowSubclass(handle(), subclass_proc, 1, reinterpret_cast<DWORD_PTR>(this));
    watch_timer_.set_enabled(true);
}

void ShellTreeView::set_root(Root root)
{
    if (root == Root::path)
        throw std::invalid_argument("A folder root is set by its path");
    if (root_ == root)
        return;
    show_root(describe(locate(root).get()), root, {});
}

void ShellTreeView::set_root(const std::string& path)
{
    if (root_ == Root::path && !root_path_.empty() && lstrcmpiA(path.c_str(), root_path_.c_str()) == 0)
        return;
    // Both may raise: the tree stays as it was.
    show_root(describe(locate(path).get()), Root::path, path);
}

void ShellTreeView::show_root(ShellFolderItem top, Root root, const std::string& path)
{
    // Windows reports the old selection's removal as a change: that is no
    // change of folder the handler should see.
    quiet_ = true;
    struct EndQuiet {
        bool& flag;
        ~EndQuiet() { flag = false; }
    } end_quiet{quiet_};
    TreeView_DeleteAllItems(handle());
    root_ = root;
    root_path_ = path;
    const HTREEITEM item = insert(TVI_ROOT, std::move(top));
    fill_children(item);
    TreeView_Expand(handle(), item, TVE_EXPAND);
    quiet_ = false;
    TreeView_SelectItem(handle(), item);
}

std::string ShellTreeView::path_of(HTREEITEM item) const
{
    const Node* node = node_of(item);
    return node == nullptr ? std::string() : trimmed(node->folder.path);
}

ShellTreeView::Node* ShellTreeView::node_of(HTREEITEM item) const
{
    if (item == nullptr)
        return nullptr;
    TVITEMA info{};
    info.mask = TVIF_PARAM | TVIF_HANDLE;
    info.hItem = item;
    if (!TreeView_GetItem(handle(), &info))
        return nullptr;
    auto* node = reinterpret_cast<Node*>(info.lParam);
    return nodes_.contains(node) ? node : nullptr;
}

HTREEITEM ShellTreeView::insert(HTREEITEM parent, ShellFolderItem folder)
{
    auto owned = std::make_unique<Node>();
    Node* node = owned.get();
    node->folder = std::move(folder);
    nodes_.emplace(node, std::move(owned));

    TVINSERTSTRUCTA entry{};
    entry.hParent = parent;
    entry.hInsertAfter = TVI_LAST;
    entry.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
    entry.item.pszText = node->folder.name.data();
    entry.item.iImage = node->folder.icon;
    entry.item.iSelectedImage = node->folder.open_icon;
    entry.item.cChildren = node->folder.has_subfolders ? 1 : 0;
    entry.item.lParam = reinterpret_cast<LPARAM>(node);
    node->item =
        reinterpret_cast<HTREEITEM>(SendMessageA(handle(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry)));
    if (node->item == nullptr) {
        nodes_.erase(node);
        return nullptr;
    }
    return node->item;
}

void ShellTreeView::fill_children(HTREEITEM item)
{
    Node* node = node_of(item);
    if (node == nullptr)
        return;
    node->enumerated = true;
    std::vector<ShellFolderItem> children = subfolders(node->folder.absolute.get(), handle());
    for (ShellFolderItem& child : children) insert(item, std::move(child));
    set_has_children(item, !children.empty());
    node->watch = FolderWatch(node->folder.path);
}

// A listing again, in three steps: the folders still there keep their nodes
// (and take a new name), the vanished ones go, the new ones are added.
void ShellTreeView::refresh_children(HTREEITEM item)
{
    Node* node = node_of(item);
    if (node == nullptr)
        return;
    std::vector<ShellFolderItem> fresh = subfolders(node->folder.absolute.get(), handle());
    const std::vector<bool> shown = keep_or_remove_shown(item, fresh);
    add_new(*node, fresh, shown);
    set_has_children(item, TreeView_GetChild(handle(), item) != nullptr);
}

std::vector<bool> ShellTreeView::keep_or_remove_shown(HTREEITEM item, const std::vector<ShellFolderItem>& fresh)
{
    std::vector<bool> shown(fresh.size(), false);
    for (HTREEITEM child = TreeView_GetChild(handle(), item); child != nullptr;) {
        const HTREEITEM next = TreeView_GetNextSibling(handle(), child);
        Node* node = node_of(child);
        std::size_t match = fresh.size();
        for (std::size_t i = 0; node != nullptr && i < fresh.size(); ++i) {
            if (!shown[i] && lstrcmpiA(fresh[i].path.c_str(), node->folder.path.c_str()) == 0) {
                match = i;
                break;
            }
        }
        if (match == fresh.size()) {
            remove_vanished(item, child);
        } else {
            shown[match] = true;
            if (fresh[match].name != node->folder.name) {
                node->folder.name = fresh[match].name;
                TVITEMA text{};
                text.mask = TVIF_TEXT | TVIF_HANDLE;
                text.hItem = child;
                text.pszText = node->folder.name.data();
                TreeView_SetItem(handle(), &text);
            }
        }
        child = next;
    }
    return shown;
}

void ShellTreeView::remove_vanished(HTREEITEM parent, HTREEITEM child)
{
    // A selection inside the vanished folder moves up to its parent.
    for (HTREEITEM up = TreeView_GetSelection(handle()); up != nullptr; up = TreeView_GetParent(handle(), up)) {
        if (up == child) {
            TreeView_SelectItem(handle(), parent);
            break;
        }
    }
    TreeView_DeleteItem(handle(), child);
}

void ShellTreeView::add_new(const Node& parent, std::vector<ShellFolderItem>& fresh, const std::vector<bool>& shown)
{
    bool added = false;
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        if (!shown[i])
            added = insert(parent.item, std::move(fresh[i])) != nullptr || added;
    }
    ComRef<IShellFolder> folder = added ? bind(parent.folder.absolute.get()) : ComRef<IShellFolder>();
    if (!folder)
        return;
    // The new ones went in last; the shell's order puts them in place.
    TVSORTCB sort{};
    sort.hParent = parent.item;
    sort.lParam = reinterpret_cast<LPARAM>(folder.get());
    sort.lpfnCompare = [](LPARAM a, LPARAM b, LPARAM order) CALLBACK -> int {
        return shell_order(*reinterpret_cast<IShellFolder*>(order), reinterpret_cast<Node*>(a)->folder,
                           reinterpret_cast<Node*>(b)->folder);
    };
    TreeView_SortChildrenCB(handle(), &sort, FALSE);
}

void ShellTreeView::set_has_children(HTREEITEM item, bool has_children)
{
    TVITEMA info{};
    info.mask = TVIF_CHILDREN | TVIF_HANDLE;
    info.hItem = item;
    info.cChildren = has_children ? 1 : 0;
    TreeView_SetItem(handle(), &info);
}

void ShellTreeView::check_for_changes()
{
    if (!created())
        return;
    // A page in front of the tree hides it without telling it.
    if (!IsWindowVisible(handle())) {
        release_watches_under({});
        return;
    }
    std::vector<Node*> stale;
    for (auto& [node, owned] : nodes_) {
        if (!node->enumerated)
            continue;
        if (node->watch.changed()) {
            stale.push_back(node);
        } else if (node->watch_closed) {
            // Changes may have been missed while it was closed.
            node->watch_closed = false;
            node->watch = FolderWatch(node->folder.path);
            stale.push_back(node);
        }
    }
    for (Node* node : stale) {
        // An earlier refresh may have removed it, and a new folder may have
        // taken its place in memory.
        if (nodes_.contains(node) && node->enumerated)
            refresh_children(node->item);
    }
}

void ShellTreeView::release_watches_under(const std::string& path)
{
    for (auto& [node, owned] : nodes_) {
        if (node->watch.active() && (path.empty() || is_at_or_under(trimmed(node->folder.path), path))) {
            node->watch = FolderWatch();
            node->watch_closed = true;
        }
    }
}

void ShellTreeView::refresh_unwatched(HTREEITEM item)
{
    // No watch tells of this folder's changes: the user opening or choosing
    // it again is when it is listed again, and its watch tried again.
    Node* node = node_of(item);
    if (node == nullptr || !node->enumerated || node->watch.active() || node->watch_closed)
        return;
    refresh_children(item);
    if (nodes_.contains(node))
        node->watch = FolderWatch(node->folder.path);
}

int ShellTreeView::open_watch_count() const
{
    return static_cast<int>(
        std::count_if(nodes_.begin(), nodes_.end(), [](const auto& each) { return each.first->watch.active(); }));
}

LRESULT ShellTreeView::handle_notify(NMHDR& header)
{
    auto& info = reinterpret_cast<NMTREEVIEWA&>(header);
    switch (header.code) {
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW:
        // Children are looked up when a folder is first opened, not before.
        if ((info.action & TVE_EXPAND) != 0) {
            Node* node = node_of(info.itemNew.hItem);
            if (node != nullptr && !node->enumerated)
                fill_children(info.itemNew.hItem);
            else
                refresh_unwatched(info.itemNew.hItem);
        }
        return FALSE;
    case TVN_DELETEITEMA:
    case TVN_DELETEITEMW:
        nodes_.erase(reinterpret_cast<Node*>(info.itemOld.lParam));
        return 0;
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
        if (quiet_)
            return 0;
        refresh_unwatched(info.itemNew.hItem);
        break;
    default:
        break;
    }
    return TreeView::handle_notify(header);
}

void ShellTreeView::open_menu(POINT point)
{
    ClientToScreen(handle(), &point);
    if (popup_menu_ != nullptr)
        popup_menu_->popup(point.x, point.y);
}

LRESULT CALLBACK ShellTreeView::subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                              DWORD_PTR self_data)
{
    auto* self = reinterpret_cast<ShellTreeView*>(self_data);
    switch (message) {
    case WM_RBUTTONDOWN: {
        // The folder under the pointer is selected first, so the menu acts
        // on it; the tree's own drag tracking and menu are left out.
        TVHITTESTINFO hit{};
        hit.pt = POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        const HTREEITEM item = TreeView_HitTest(window, &hit);
        if (item != nullptr && (hit.flags & TVHT_ONITEM) != 0)
            TreeView_SelectItem(window, item);
        SetFocus(window);
        self->open_menu(hit.pt);
        return 0;
    }
    case WM_RBUTTONUP:
        return 0;
    case WM_SHOWWINDOW:
        // Watches and their timer only while the tree is shown.
        self->watch_timer_.set_enabled(wparam != FALSE);
        if (wparam == FALSE)
            self->release_watches_under({});
        return DefSubclassProc(window, message, wparam, lparam);
    case WM_CONTEXTMENU:
        // From the keyboard: the menu opens at the selected folder.
        if (lparam == -1) {
            RECT area{};
            const HTREEITEM selected = TreeView_GetSelection(window);
            if (selected != nullptr)
                TreeView_GetItemRect(window, selected, &area, TRUE);
            self->open_menu(POINT{area.left, area.bottom});
        }
        return 0;
    default:
        return DefSubclassProc(window, message, wparam, lparam);
    }
}

// ShellComboBox ---------------------------------------------------------------------

void ShellComboBox::create(Container& parent, int left, int top, int width)
{
    create_child(parent, WC_COMBOBOXEXA, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, left, top, width,
                 combo_first_height);
    SendMessageA(handle(), CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(system_small_icons()));
    set_path({});
    // The window's height is that of the control with its list dropped down.
    const auto field = static_cast<int>(SendMessageA(handle(), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    const auto entry = static_cast<int>(SendMessageA(handle(), CB_GETITEMHEIGHT, 0, 0));
    const int height = field + combo_field_frame + combo_shown_entries * entry + combo_list_frame;
    SetWindowPos(handle(), nullptr, 0, 0, scale(width), height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const auto list = reinterpret_cast<HWND>(SendMessageA(handle(), CBEM_GETCOMBOCONTROL, 0, 0));
    if (list != nullptr)
        SetWindowPos(list, nullptr, 0, 0, scale(width), height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string ShellComboBox::selected_path() const
{
    const int index = item_index();
    if (index < 0 || index >= entry_count())
        return {};
    return trimmed(entries_[static_cast<std::size_t>(index)].folder.path);
}

void ShellComboBox::set_path(const std::string& current)
{
    entries_.clear();
    const auto add = [&](ShellFolderItem folder, int indent) { entries_.push_back(Entry{std::move(folder), indent}); };
    add(describe(locate(ShellTreeView::Root::desktop).get()), 0);
    const ItemIdList computer = locate(ShellTreeView::Root::computer);
    add(describe(computer.get()), 1);
    const std::string wanted = trimmed(current);
    for (ShellFolderItem& drive : subfolders(computer.get(), handle())) {
        if (!is_drive_root(drive.path))
            continue;
        const std::string drive_path = drive.path;
        add(std::move(drive), 2);
        // The folders from this drive down to the current one.
        if (wanted.size() <= 3 || !is_at_or_under(wanted, drive_path))
            continue;
        int indent = 3;
        for (std::size_t end = wanted.find('\\', 3);; end = wanted.find('\\', end + 1)) {
            const std::string step = wanted.substr(0, end);
            try {
                add(describe(locate(step).get()), indent++);
            } catch (const std::runtime_error&) {
                break;  // a folder that vanished meanwhile ends the chain
            }
            if (end == std::string::npos)
                break;
        }
    }

    SendMessageA(handle(), CB_RESETCONTENT, 0, 0);
    int selected = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& each = entries_[i];
        COMBOBOXEXITEMA item{};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_INDENT;
        item.iItem = static_cast<INT_PTR>(i);
        item.pszText = each.folder.name.data();
        item.iImage = each.folder.icon;
        item.iSelectedImage = each.folder.icon;
        item.iIndent = each.indent;
        SendMessageA(handle(), CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        if (!wanted.empty() && lstrcmpiA(trimmed(each.folder.path).c_str(), wanted.c_str()) == 0)
            selected = static_cast<int>(i);
    }
    set_item_index(selected);
}

void ShellComboBox::handle_command(unsigned code)
{
    if (code == CBN_SELCHANGE && OnChange)
        OnChange(*this);
    // Once the list is closed, the folders above the chosen one are listed.
    const bool dropped = SendMessageA(handle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
    if ((code == CBN_SELCHANGE && !dropped) || code == CBN_CLOSEUP) {
        const std::string chosen = selected_path();
        if (!chosen.empty())
            set_path(chosen);
    }
}

}  // namespace platform::win
