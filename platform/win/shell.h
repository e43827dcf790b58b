// The Windows shell: its "open" action for programs and web addresses, and
// its file operation for moving files by mask.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace platform::win {

// ShellExecuteA with "open", no parameters, no folder, no owner, shown
// normally. The outcome is not reported: nothing waits for the program.
void shell_open(const std::string& path);

// For tests: what would be opened is recorded instead of started; an empty hook
// restores the shell.
using ShellOpenHook = std::function<void(const std::string& path)>;
void set_shell_open_hook(ShellOpenHook hook);

struct ShellMoveResult {
    int code = 0;  // SHFileOperationA's return value; 0 is success
    bool aborted = false;  // fAnyOperationsAborted
    [[nodiscard]] bool ok() const { return code == 0 && !aborted; }
};

// SHFileOperationA with FO_MOVE. Both lists are in the shell's form: entries
// separated by one NUL, the whole ended by two.
[[nodiscard]] ShellMoveResult shell_move(HWND owner, const std::string& sources, const std::string& destination,
                                         unsigned short flags);

// For tests: a stand-in for the shell's file operation, to play what Wine's shell
// never shows (a user's Cancel in its error box); an empty hook restores it.
using ShellMoveHook = std::function<ShellMoveResult(const std::string& sources, const std::string& destination)>;
void set_shell_move_hook(ShellMoveHook hook);

}  // namespace platform::win
