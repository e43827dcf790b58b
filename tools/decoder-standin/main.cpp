// decoder-standin: a window that stands in for the ARVELON decoder, so the
// installer's start of the decoder and its shutdown of a running one can be
// tried and tested. It decodes nothing. It needs no arguments, so it can be
// shipped as "arvelon.exe" in demo archives.
//
// Its main window is titled "arvelon - melqary". It ends when it gets
// WM_QUIT or when its window is closed, except with the option below.
//
// Option: the argument --ignore-quit, or the environment variable
// IMU_DECODER_IGNORE_QUIT set to 1, makes it carry on after WM_QUIT, as a
// decoder that hangs would; only closing its window ends it then.
//
// With IMU_STANDIN_LOG naming a file it appends one line per event:
// "decoder started", "decoder quit ignored", "decoder ended".
#include <windows.h>

#include <cstring>
#include <string>

#include "tools/standin.h"

namespace {

void log_event(const std::string& event) { standin::log_event("decoder", event); }

bool window_gone = false;

bool ignore_quit_asked(const char* command_line)
{
    if (std::strstr(command_line, "--ignore-quit") != nullptr)
        return true;
    char value[8] = {};
    const DWORD length = GetEnvironmentVariableA("IMU_DECODER_IGNORE_QUIT", value, sizeof(value));
    return length > 0 && length < sizeof(value) && std::strcmp(value, "1") == 0;
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(window, &paint);
        RECT client{};
        GetClientRect(window, &client);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, "ARVELON decoder (demo stand-in)", -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        window_gone = true;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show)
{
    const bool ignore_quit = ignore_quit_asked(command_line);

    constexpr char ClassName[] = "ArvelonDecoderStandIn";
    standin::register_window_class(instance, window_proc, ClassName);

    const HWND window = CreateWindowExA(0, ClassName, "arvelon - melqary", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                        CW_USEDEFAULT, 480, 240, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    log_event("started");

    MSG message;
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got < 0)
            break;
        if (got == 0) {
            if (ignore_quit && !window_gone) {
                log_event("quit ignored");
                continue;
            }
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    log_event("ended");
    return 0;
}
