// The folder browser's controls over the shell's namespace. For now a stand-in
// that shows the root alone; the real tree replaces it.
#pragma once

#include <string>

#include "platform/win/controls.h"

namespace platform::win {

class ShellTreeView : public TreeView {
public:
    // A folder path, "rfDesktop" or "rfMyComputer" (any case). Setting the
    // current root again does nothing; a new root is selected, which runs
    // OnChange.
    void set_root(const std::string& root);
    [[nodiscard]] const std::string& root() const { return root_; }
    // The selected folder's parsing path: no trailing separator except at a
    // drive's root; empty when nothing is selected.
    [[nodiscard]] std::string selected_path() const;

private:
    std::string root_;
};

class ShellComboBox : public ComboBox {
public:
    // The folder of the selected entry; empty when none is selected.
    [[nodiscard]] std::string selected_path() const { return item_index() < 0 ? std::string() : item(item_index()); }
};

}  // namespace platform::win
