// The container window: it routes its children's notifications back to their
// wrappers, keeps their tips, and paints and clicks the drawn controls.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "platform/win/application.h"
#include "platform/win/controls.h"

namespace platform::win {

Container::~Container()
{
    if (tooltip_ != nullptr)
        DestroyWindow(tooltip_);
    close_theme();
    // The window goes first, so no message reaches a half-destroyed wrapper.
    destroy_window();
    for (GraphicControl* graphic : graphics_) graphic->parent_ = nullptr;
}

void Container::create_container(DWORD style, DWORD ex_style, HWND parent, RECT bounds, const std::string& text)
{
    application().initialize();
    set_background(GetSysColor(COLOR_BTNFACE));
    create_window(class_name(), style, ex_style, parent, bounds, text);
}

void Container::set_background(COLORREF color)
{
    background_brush_ = Brush(CreateSolidBrush(color));
    if (handle() != nullptr)
        InvalidateRect(handle(), nullptr, TRUE);
}

HWND Container::tooltip()
{
    if (tooltip_ == nullptr) {
        tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle(), nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    }
    return tooltip_;
}

void Container::replace_tip(TTTOOLINFOA tool, std::string text)
{
    tool.cbSize = sizeof(tool);
    tool.hwnd = handle();
    tool.lpszText = text.data();
    SendMessageA(tooltip(), TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    if (!text.empty())
        SendMessageA(tooltip(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void Container::set_child_hint(HWND child, const std::string& hint)
{
    TTTOOLINFOA tool{};
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.uId = reinterpret_cast<UINT_PTR>(child);
    replace_tip(tool, hint);
}

void Container::update_graphic_hint(GraphicControl& control)
{
    TTTOOLINFOA tool{};
    tool.uFlags = TTF_SUBCLASS;
    tool.uId = reinterpret_cast<UINT_PTR>(&control);
    // A hidden control has no area, so its tip never shows.
    if (control.visible())
        tool.rect = control.bounds();
    replace_tip(tool, control.hint());
}

HTHEME Container::button_theme()
{
    if (!theme_opened_) {
        theme_opened_ = true;
        button_theme_ = OpenThemeData(handle(), L"BUTTON");
    }
    return button_theme_;
}

void Container::close_theme()
{
    if (button_theme_ != nullptr)
        CloseThemeData(button_theme_);
    button_theme_ = nullptr;
    theme_opened_ = false;
}

void Container::remove_graphic(GraphicControl& control)
{
    graphics_.erase(std::remove(graphics_.begin(), graphics_.end(), &control), graphics_.end());
    if (captured_ == &control)
        captured_ = nullptr;
}

GraphicControl* Container::graphic_at(POINT point) const
{
    for (auto it = graphics_.rbegin(); it != graphics_.rend(); ++it) {
        const RECT bounds = (*it)->bounds();
        if ((*it)->visible() && PtInRect(&bounds, point))
            return *it;
    }
    return nullptr;
}

void Container::paint()
{
    PAINTSTRUCT paint_info;
    const HDC screen = BeginPaint(handle(), &paint_info);
    RECT client{};
    GetClientRect(handle(), &client);
    // Drawn off screen first, so a picture under a button does not flicker.
    const MemoryDC off_screen(screen, client.right, client.bottom);
    const HDC buffer = off_screen.get();
    FillRect(buffer, &client, background_brush_.get());
    SetBkMode(buffer, TRANSPARENT);
    for (GraphicControl* graphic : graphics_) {
        if (!graphic->visible())
            continue;
        RECT bounds = graphic->bounds();
        RECT overlap{};
        if (!IntersectRect(&overlap, &bounds, &paint_info.rcPaint))
            continue;
        const int saved = SaveDC(buffer);
        IntersectClipRect(buffer, bounds.left, bounds.top, bounds.right, bounds.bottom);
        graphic->paint(buffer);
        RestoreDC(buffer, saved);
    }
    const RECT& area = paint_info.rcPaint;
    BitBlt(screen, area.left, area.top, area.right - area.left, area.bottom - area.top, buffer, area.left, area.top,
           SRCCOPY);
    EndPaint(handle(), &paint_info);
}

void Container::release_capture(bool inside)
{
    GraphicControl* control = captured_;
    captured_ = nullptr;
    if (GetCapture() == handle())
        ReleaseCapture();
    if (control != nullptr)
        control->mouse_up(inside);
}

LRESULT CALLBACK Container::window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    // Until create_window attaches the wrapper on return, the window has none.
    auto* self = dynamic_cast<Container*>(Control::from_handle(window));
    if (self == nullptr)
        return DefWindowProcA(window, message, wparam, lparam);
    // The one place where the messages of the forms and of their controls
    // are routed to handlers: an error must not unwind through the system's
    // window procedures (the common controls' among them), which end the
    // process instead of passing it on.
    LRESULT result = 0;
    if (!application().guard([&] { result = self->handle_message(message, wparam, lparam); }))
        return 0;
    return result;
}

LRESULT Container::handle_message(UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_COMMAND:
        if (Control* child = from_handle(reinterpret_cast<HWND>(lparam))) {
            child->handle_command(HIWORD(wparam));
            return 0;
        }
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lparam);
        if (Control* child = from_handle(header->hwndFrom))
            return child->handle_notify(*header);
        break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
        if (Control* child = from_handle(reinterpret_cast<HWND>(lparam))) {
            if (HBRUSH brush = child->handle_ctl_color(reinterpret_cast<HDC>(wparam)))
                return reinterpret_cast<LRESULT>(brush);
        }
        break;
    case WM_SETFONT:
        inherited_font_ = reinterpret_cast<HFONT>(wparam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(inherited_font_);
    case WM_THEMECHANGED:
        // Opened again at the next paint, in the new theme (or none).
        close_theme();
        InvalidateRect(handle(), nullptr, FALSE);
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const POINT point{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        GraphicControl* target = graphic_at(point);
        if (target != nullptr && target->enabled()) {
            captured_ = target;
            SetCapture(handle());
            target->mouse_down();
        }
        return 0;
    }
    case WM_LBUTTONUP:
        if (captured_ != nullptr) {
            const POINT point{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
            const RECT bounds = captured_->bounds();
            release_capture(PtInRect(&bounds, point) != FALSE);
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (captured_ != nullptr && reinterpret_cast<HWND>(lparam) != handle())
            release_capture(false);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(handle(), message, wparam, lparam);
}

}  // namespace platform::win
