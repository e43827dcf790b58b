// The application object: title, own path and resources, the message loop
// and the nested pump that long work uses to keep the window alive, the
// top-level error handler, message boxes and the screen's DPI.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace platform::win {

class Application {
public:
    static Application& instance();

    // Registers the window classes, loads the common controls and starts
    // GDI+. Safe to call more than once.
    void initialize();

    // The title names the program on the task bar and captions its message
    // boxes.
    void set_title(const std::string& title);
    // The window behind the task bar button: it owns every form, so the forms
    // themselves have no button, and it is shown while the main window is.
    [[nodiscard]] HWND window() const { return window_; }
    // Minimising the application hides the main window until the task bar
    // button restores it.
    void minimize();
    [[nodiscard]] bool minimized() const { return hidden_by_minimize_; }
    // Full path of the program's own executable; none when the ANSI code
    // page cannot hold it exactly (a Polish folder name on a Western system).
    [[nodiscard]] std::optional<std::string> exe_name() const;
    // For tests: the program starts as if from another path; empty for its own.
    void set_exe_path_override(std::wstring path) { exe_path_override_ = std::move(path); }

    // The first form created becomes the main one; closing it ends the program.
    void set_main_window(HWND window) { main_window_ = window; }
    [[nodiscard]] HWND main_window() const { return main_window_; }

    // Handles every message waiting in the queue, then returns. A quit message
    // found here marks the application as terminated.
    void process_messages();
    // Asks the message loop to end: it returns once control is back in it.
    void terminate();
    [[nodiscard]] bool terminated() const { return terminated_; }
    // Waits for one message and handles it.
    void handle_message();
    // The message loop; returns when the application has terminated.
    void run();
    // For tests: forgets a termination, so that the next program life can start in
    // the same process.
    void reset_terminated();

    // Runs an event handler. An error escaping it is shown in a message box
    // and ends the handler; the windows stay as they are. False when it threw.
    template <class F>
    bool guard(F&& handler) noexcept
    {
        try {
            handler();
            return true;
        } catch (const std::exception& error) {
            show_exception(error.what());
        } catch (...) {
            show_exception("Unknown error");
        }
        return false;
    }
    void show_exception(const std::string& message) noexcept;

private:
    Application() = default;
    bool dispatch(MSG& message);

    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    std::string title_;
    std::wstring exe_path_override_;
    HWND window_ = nullptr;
    HWND main_window_ = nullptr;
    bool hidden_by_minimize_ = false;
    bool terminated_ = false;
    bool initialized_ = false;
};

inline Application& application() { return Application::instance(); }

// The system's text for an error code (GetLastError's by default, or an
// HRESULT), without its line break: what a message about a failed system call
// ends with.
[[nodiscard]] std::string error_text(DWORD code = GetLastError());

// The bytes of an RCDATA resource of the running program; throws when absent.
[[nodiscard]] std::string load_resource_data(const char* name);

// A message box owned by the main window. Returns the button pressed (IDOK,
// IDCANCEL, IDYES, IDNO).
int message_box(const std::string& text, const std::string& caption, unsigned flags);

// For tests: message boxes answered through a hook instead of a real, blocking
// box. An empty hook restores the real one.
using MessageBoxHook = std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;
void set_message_box_hook(MessageBoxHook hook);

// Layout is given in pixels at 96 DPI and scaled by the screen's DPI, so the
// window keeps its proportions and stays sharp on a high-DPI screen.
[[nodiscard]] int screen_dpi();
// For tests: forms laid out as if on another screen; 0 returns to the real DPI.
void set_screen_dpi_override(int dpi);
[[nodiscard]] int scale(int pixels_at_96_dpi);
// A control's bounds laid out at 96 DPI, scaled.
[[nodiscard]] RECT scaled_rect(int left, int top, int width, int height);

}  // namespace platform::win
