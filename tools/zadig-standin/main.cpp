// zadig-standin: a window that looks like the Zadig USB driver tool, so the
// installer's driver guide can be tried and tested without the real tool and
// without a USB dongle. It installs nothing and drives nothing.
//
// Its one top-level window is titled "Zadig", 575 x 249 pixels outside, with
// the layout the guide pictures show: an Options menu holding "List All
// Devices", the device drop-down, the driver box reading WinUSB, the three
// USB ID fields 0BDA, 2838, 00 and the button "Reinstall Driver".
//
// It ends when it gets WM_QUIT (posted to its window or its thread) or when
// its window is closed. With IMU_STANDIN_LOG naming a file it appends one line
// per event: "zadig started", "zadig moved to X,Y" (the window's outer
// top-left corner in screen pixels), "zadig minimised", "zadig ended".
#include <windows.h>

#include <string>

#include "tools/standin.h"

namespace {

constexpr int OuterWidth = 575;
constexpr int OuterHeight = 249;
constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Client-area layout; tools/draw-pictures draws the same places.
struct Layout {
    static constexpr int devices_left = 12, devices_top = 10, devices_width = 508;
    static constexpr int label_left = 12, field_top_driver = 46, field_top_id = 80, field_height = 22;
    static constexpr int driver_left = 70, driver_width = 140;
    static constexpr int id_left[3] = {70, 126, 182};
    static constexpr int id_width[3] = {50, 50, 30};
    static constexpr int install_left = 250, install_top = 112, install_width = 200, install_height = 40;
    static constexpr int status_left = 12, status_from_bottom = 20;
};

enum MenuId : UINT { LoadPreset = 100, CreateDevice, ListAll, IgnoreHubs, CatalogFile, About };

void log_event(const std::string& event) { standin::log_event("zadig", event); }

bool started = false;
POINT last_place{-1, -1};

HMENU build_menu()
{
    const HMENU bar = CreateMenu();
    const HMENU device = CreatePopupMenu();
    AppendMenuA(device, MF_STRING, LoadPreset, "Load Preset Device");
    AppendMenuA(device, MF_STRING, CreateDevice, "Create New Device");
    const HMENU options = CreatePopupMenu();
    AppendMenuA(options, MF_STRING, ListAll, "List All Devices");
    AppendMenuA(options, MF_STRING, IgnoreHubs, "Ignore Hubs or Composite Parents");
    AppendMenuA(options, MF_STRING, CatalogFile, "Create a Catalog File");
    const HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, About, "About");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(device), "Device");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options), "Options");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "Help");
    return bar;
}

HWND child(HWND parent, const char* window_class, const char* text, DWORD style, int left, int top, int width,
           int height)
{
    const HWND window = CreateWindowExA(0, window_class, text, WS_CHILD | WS_VISIBLE | style, left, top, width, height,
                                        parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return window;
}

void create_controls(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    const HWND devices = child(window, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, Layout::devices_left,
                               Layout::devices_top, Layout::devices_width, 160);
    for (const char* name :
         {"USB Input Device", "Bulk-In, Interface (Interface 0)", "USB Receiver (Interface 1)", "Composite Parent"})
        SendMessageA(devices, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendMessageA(devices, CB_SETCURSEL, 1, 0);

    child(window, "STATIC", "Driver", SS_LEFT, Layout::label_left, Layout::field_top_driver + 4, 56, 16);
    child(window, "EDIT", "WinUSB (v6.1)", WS_BORDER | ES_READONLY, Layout::driver_left, Layout::field_top_driver,
          Layout::driver_width, Layout::field_height);
    child(window, "STATIC", "USB ID", SS_LEFT, Layout::label_left, Layout::field_top_id + 4, 56, 16);
    const char* ids[3] = {"0BDA", "2838", "00"};
    for (int i = 0; i < 3; ++i)
        child(window, "EDIT", ids[i], WS_BORDER | ES_READONLY | ES_CENTER, Layout::id_left[i], Layout::field_top_id,
              Layout::id_width[i], Layout::field_height);
    child(window, "BUTTON", "Reinstall Driver", BS_PUSHBUTTON | WS_TABSTOP, Layout::install_left, Layout::install_top,
          Layout::install_width, Layout::install_height);
    child(window, "STATIC", "4 devices found.", SS_LEFT, Layout::status_left,
          client.bottom - Layout::status_from_bottom, 300, 16);
}

void note_place(HWND window)
{
    if (!started || IsIconic(window))
        return;
    RECT outer{};
    GetWindowRect(window, &outer);
    if (outer.left == last_place.x && outer.top == last_place.y)
        return;
    last_place = POINT{outer.left, outer.top};
    log_event("moved to " + std::to_string(outer.left) + "," + std::to_string(outer.top));
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_MOVE:
        note_place(window);
        break;
    case WM_SIZE:
        if (wparam == SIZE_MINIMIZED && started)
            log_event("minimised");
        break;
    case WM_COMMAND:
        // The one menu entry the guide names is checkable, as in the real tool.
        if (LOWORD(wparam) == ListAll) {
            const HMENU menu = GetMenu(window);
            const bool checked = (GetMenuState(menu, ListAll, MF_BYCOMMAND) & MF_CHECKED) != 0;
            CheckMenuItem(menu, ListAll, MF_BYCOMMAND | (checked ? MF_UNCHECKED : MF_CHECKED));
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        // Read-only fields keep a white background, like the real tool's.
        if (reinterpret_cast<HWND>(lparam) != nullptr) {
            char window_class[16] = {};
            GetClassNameA(reinterpret_cast<HWND>(lparam), window_class, sizeof(window_class));
            if (lstrcmpiA(window_class, "EDIT") == 0)
                return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    constexpr char ClassName[] = "ZadigStandIn";
    standin::register_window_class(instance, window_proc, ClassName);

    const HWND window = CreateWindowExA(0, ClassName, "Zadig", Style, CW_USEDEFAULT, CW_USEDEFAULT, OuterWidth,
                                        OuterHeight, nullptr, build_menu(), instance, nullptr);
    if (window == nullptr)
        return 1;
    create_controls(window);
    ShowWindow(window, show);
    UpdateWindow(window);
    started = true;
    log_event("started");
    note_place(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    log_event("ended");
    return 0;
}
