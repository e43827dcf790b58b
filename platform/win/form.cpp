// Top-level windows: the main form and the dialogs, their closing and their
// modal loop.
#include <windows.h>

#include "platform/win/application.h"
#include "platform/win/controls.h"

namespace platform::win {

namespace {

// A rectangle of this size centred over `over`.
RECT centred(const RECT& over, int width, int height)
{
    const int left = over.left + ((over.right - over.left) - width) / 2;
    const int top = over.top + ((over.bottom - over.top) - height) / 2;
    return RECT{left, top, left + width, top + height};
}

RECT primary_screen() { return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

// The outer frame of a window of that style whose client area has the given
// size at 96 DPI, centred on the primary screen.
RECT centred_frame(int client_width, int client_height, DWORD style, DWORD ex_style)
{
    RECT frame{0, 0, scale(client_width), scale(client_height)};
    AdjustWindowRectEx(&frame, style, FALSE, ex_style);
    return centred(primary_screen(), frame.right - frame.left, frame.bottom - frame.top);
}

}  // namespace

Form::~Form()
{
    if (application().main_window() == handle() && handle() != nullptr) {
        application().set_main_window(nullptr);
        if (application().window() != nullptr)
            ShowWindow(application().window(), SW_HIDE);
    }
    destroy_window();
}

void Form::create_form(const std::string& caption, int client_width, int client_height)
{
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const DWORD ex_style = WS_EX_CONTROLPARENT;
    create_container(style, ex_style, application().window(),
                     centred_frame(client_width, client_height, style, ex_style), caption);
    if (application().main_window() == nullptr)
        application().set_main_window(handle());
}

void Form::create_dialog(const std::string& caption, int client_width, int client_height)
{
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
    const DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    const HWND main = application().main_window();
    create_container(style, ex_style, main != nullptr ? main : application().window(),
                     centred_frame(client_width, client_height, style, ex_style), caption);
    dialog_ = true;
}

void Form::centre_over_main_window()
{
    RECT over = primary_screen();
    const HWND main = application().main_window();
    if (main != nullptr && main != handle())
        GetWindowRect(main, &over);
    RECT frame{};
    GetWindowRect(handle(), &frame);
    const RECT place = centred(over, frame.right - frame.left, frame.bottom - frame.top);
    SetWindowPos(handle(), nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::close()
{
    if (OnClose)
        application().guard([&] { OnClose(*this); });
    if (in_modal_ && modal_result_ == 0)
        modal_result_ = IDCANCEL;
    hide();
    if (handle() != nullptr && handle() == application().main_window())
        application().terminate();
}

int Form::show_modal()
{
    const HWND owner = application().main_window();
    const bool disable_owner = owner != nullptr && owner != handle() && IsWindowEnabled(owner);
    modal_result_ = 0;
    in_modal_ = true;
    if (disable_owner)
        EnableWindow(owner, FALSE);
    if (dialog_)
        centre_over_main_window();
    show();
    SetActiveWindow(handle());
    if (active_control_ != nullptr)
        active_control_->set_focus();
    while (modal_result_ == 0 && !application().terminated()) application().handle_message();
    // The owner comes back before this window hides, so it gets the focus.
    if (disable_owner)
        EnableWindow(owner, TRUE);
    hide();
    in_modal_ = false;
    return modal_result_;
}

LRESULT Form::handle_message(UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CLOSE:
        close();
        return 0;
    case WM_MOVE:
        if (OnMove)
            OnMove(*this);
        return 0;
    case WM_SHOWWINDOW:
        // The task bar button comes and goes with the main window, except
        // while the application is minimised.
        if (lparam == 0 && !application().minimized() && handle() == application().main_window() &&
            application().window() != nullptr)
            ShowWindow(application().window(), wparam != FALSE ? SW_SHOWNOACTIVATE : SW_HIDE);
        break;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_MINIMIZE && handle() == application().main_window()) {
            application().minimize();
            return 0;
        }
        break;
    default:
        break;
    }
    return Container::handle_message(message, wparam, lparam);
}

}  // namespace platform::win
