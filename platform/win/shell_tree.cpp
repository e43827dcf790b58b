#include "platform/win/shell_tree.h"

#include <shlwapi.h>

namespace platform::win {

void ShellTreeView::set_root(const std::string& root)
{
    if (lstrcmpiA(root.c_str(), root_.c_str()) == 0)
        return;
    root_ = root;
    TreeView_DeleteAllItems(handle());
    TVINSERTSTRUCTA item{};
    item.hParent = TVI_ROOT;
    item.hInsertAfter = TVI_LAST;
    item.item.mask = TVIF_TEXT;
    item.item.pszText = root_.data();
    const HTREEITEM top = reinterpret_cast<HTREEITEM>(
        SendMessageA(handle(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    TreeView_SelectItem(handle(), top);
}

std::string ShellTreeView::selected_path() const
{
    if (TreeView_GetSelection(handle()) == nullptr)
        return {};
    std::string path = root_;
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace platform::win
