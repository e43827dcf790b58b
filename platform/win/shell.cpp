#include "platform/win/shell.h"

#include <shellapi.h>

#include <utility>

namespace platform::win {

namespace {

ShellOpenHook open_hook;
ShellMoveHook move_hook;

}  // namespace

void shell_open(const std::string& path)
{
    if (open_hook) {
        open_hook(path);
        return;
    }
    ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void set_shell_open_hook(ShellOpenHook hook) { open_hook = std::move(hook); }

ShellMoveResult shell_move(HWND owner, const std::string& sources, const std::string& destination, unsigned short flags)
{
    if (move_hook)
        return move_hook(sources, destination);
    SHFILEOPSTRUCTA operation{};
    operation.hwnd = owner;
    operation.wFunc = FO_MOVE;
    operation.pFrom = sources.c_str();
    operation.pTo = destination.c_str();
    operation.fFlags = flags;
    ShellMoveResult result;
    result.code = SHFileOperationA(&operation);
    result.aborted = operation.fAnyOperationsAborted != FALSE;
    return result;
}

void set_shell_move_hook(ShellMoveHook hook) { move_hook = std::move(hook); }

}  // namespace platform::win
