#include "platform/win/application.h"

#include <objbase.h>

#include <commctrl.h>

#include <stdexcept>

#include "platform/files.h"
#include "platform/win/controls.h"

namespace platform::win {

namespace {

MessageBoxHook message_box_hook;

int dpi_override = 0;

}  // namespace

Application& Application::instance()
{
    static Application application;
    return application;
}

void Application::initialize()
{
    if (initialized_)
        return;
    initialized_ = true;
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES |
                                      ICC_TREEVIEW_CLASSES | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    // The shell's file operations, its "open" action and its namespace
    // objects expect a single-threaded COM apartment on the calling thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // The rich edit class lives in its own library.
    LoadLibraryA("Msftedit.dll");

    WNDCLASSEXA container{};
    container.cbSize = sizeof(container);
    container.style = CS_DBLCLKS;
    container.lpfnWndProc = Container::window_proc;
    container.hInstance = GetModuleHandleA(nullptr);
    container.hCursor = LoadCursor(nullptr, IDC_ARROW);
    container.hIcon = LoadIconA(container.hInstance, MAKEINTRESOURCEA(1));
    container.lpszClassName = Container::class_name();
    RegisterClassExA(&container);

    WNDCLASSEXA owner = container;
    owner.style = 0;
    owner.lpfnWndProc = window_proc;
    owner.lpszClassName = "ImuApplication";
    RegisterClassExA(&owner);
    // No size: all the user sees of it is the task bar button.
    window_ = CreateWindowExA(0, owner.lpszClassName, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, owner.hInstance, nullptr);
}

void Application::set_title(const std::string& title)
{
    title_ = title;
    if (window_ != nullptr)
        SetWindowTextA(window_, title_.c_str());
}

void Application::minimize()
{
    if (window_ == nullptr)
        return;
    if (main_window_ != nullptr && IsWindowVisible(main_window_)) {
        hidden_by_minimize_ = true;
        ShowWindow(main_window_, SW_HIDE);
    }
    ShowWindow(window_, SW_MINIMIZE);
}

LRESULT CALLBACK Application::window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    const HWND main = instance().main_window_;
    switch (message) {
    case WM_ACTIVATE:
        // The button was clicked: the main window takes over.
        if (LOWORD(wparam) != WA_INACTIVE && main != nullptr && IsWindowVisible(main) && !IsIconic(window))
            SetActiveWindow(main);
        return 0;
    case WM_SIZE:
        if (wparam == SIZE_RESTORED && instance().hidden_by_minimize_) {
            instance().hidden_by_minimize_ = false;
            if (main != nullptr) {
                ShowWindow(main, SW_SHOW);
                SetActiveWindow(main);
            }
        }
        return 0;
    case WM_CLOSE:
        // "Close window" on the task bar button closes the main window.
        if (main != nullptr)
            PostMessageA(main, WM_CLOSE, 0, 0);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

std::optional<std::string> Application::exe_name() const
{
    if (!exe_path_override_.empty())
        return platform::exact_ansi(exe_path_override_);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return platform::exact_ansi(path);
        }
        path.resize(path.size() * 2);
    }
}

bool Application::dispatch(MSG& message)
{
    if (message.message == WM_QUIT) {
        terminated_ = true;
        return false;
    }
    // The Tab key moves the focus between controls, as in a dialog. Other keys
    // stay with the control: Return and Escape mean what its handlers say.
    const bool tab_key = (message.message == WM_KEYDOWN || message.message == WM_KEYUP || message.message == WM_CHAR) &&
        message.wParam == VK_TAB;
    const HWND top = tab_key ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (top != nullptr && Control::from_handle(top) != nullptr && IsDialogMessageA(top, &message))
        return true;
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return true;
}

void Application::process_messages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!dispatch(message))
            break;
    }
}

void Application::terminate()
{
    terminated_ = true;
    PostQuitMessage(0);
}

void Application::reset_terminated()
{
    terminated_ = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
}

void Application::handle_message()
{
    MSG message;
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        terminated_ = true;
        return;
    }
    dispatch(message);
}

void Application::run()
{
    while (!terminated_) handle_message();
}

void Application::show_exception(const std::string& message) noexcept
{
    try {
        message_box(message, title_, MB_OK | MB_ICONERROR);
    } catch (...) {}
}

std::string error_text(DWORD code)
{
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 ? std::string(buffer, length) : "System error " + std::to_string(code);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string load_resource_data(const char* name)
{
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC resource = FindResourceA(module, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
    const HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        throw std::runtime_error(std::string("Resource ") + name + " not found: " + error_text());
    return std::string(static_cast<const char*>(bytes), SizeofResource(module, resource));
}

int message_box(const std::string& text, const std::string& caption, unsigned flags)
{
    if (message_box_hook)
        return message_box_hook(text, caption, flags);
    HWND owner = application().main_window();
    if (owner != nullptr && !IsWindowVisible(owner))
        owner = nullptr;
    return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

void set_message_box_hook(MessageBoxHook hook) { message_box_hook = std::move(hook); }

int screen_dpi()
{
    if (dpi_override > 0)
        return dpi_override;
    static const int dpi = [] {
        const ScreenDC screen;
        const int value = GetDeviceCaps(screen.get(), LOGPIXELSY);
        return value > 0 ? value : 96;
    }();
    return dpi;
}

void set_screen_dpi_override(int dpi) { dpi_override = dpi; }

int scale(int pixels_at_96_dpi) { return MulDiv(pixels_at_96_dpi, screen_dpi(), 96); }

RECT scaled_rect(int left, int top, int width, int height)
{
    const int x = scale(left);
    const int y = scale(top);
    return RECT{x, y, x + scale(width), y + scale(height)};
}

}  // namespace platform::win
