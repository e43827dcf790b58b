// Containers, forms and the controls they draw themselves.
#include <windows.h>

#include <uxtheme.h>
#include <vssym32.h>

#include <commctrl.h>

#include <algorithm>

#include "platform/win/application.h"
#include "platform/win/controls.h"

namespace platform::win {

// Container -------------------------------------------------------------------

const char* Container::class_name() { return "ImuContainer"; }

Container::~Container()
{
    if (tooltip_ != nullptr)
        DestroyWindow(tooltip_);
    // The window goes first, so no message reaches a half-destroyed wrapper.
    destroy_window();
    for (GraphicControl* graphic : graphics_)
        graphic->parent_ = nullptr;
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

void Container::add_graphic(GraphicControl& control) { graphics_.push_back(&control); }

HWND Container::tooltip()
{
    if (tooltip_ == nullptr) {
        tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle(), nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    }
    return tooltip_;
}

void Container::set_child_hint(HWND child, const std::string& hint)
{
    std::string text = hint;
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = handle();
    tool.uId = reinterpret_cast<UINT_PTR>(child);
    tool.lpszText = text.data();
    SendMessageA(tooltip(), TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    if (!text.empty())
        SendMessageA(tooltip(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void Container::update_graphic_hint(GraphicControl& control)
{
    std::string text = control.hint();
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = handle();
    tool.uId = reinterpret_cast<UINT_PTR>(&control);
    tool.lpszText = text.data();
    // A hidden control has no area, so its tip never shows.
    if (control.visible())
        tool.rect = control.bounds();
    SendMessageA(tooltip(), TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    if (!text.empty())
        SendMessageA(tooltip(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
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
    const HDC buffer = CreateCompatibleDC(screen);
    const HBITMAP surface = CreateCompatibleBitmap(screen, client.right, client.bottom);
    const HGDIOBJ old_surface = SelectObject(buffer, surface);
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
    SelectObject(buffer, old_surface);
    DeleteObject(surface);
    DeleteDC(buffer);
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
    if (message == WM_NCCREATE) {
        // The wrapper is not attached yet; create_window does that on return.
        return DefWindowProcA(window, message, wparam, lparam);
    }
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

// Form ----------------------------------------------------------------------------

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
    RECT frame{0, 0, scale(client_width), scale(client_height)};
    AdjustWindowRectEx(&frame, style, FALSE, ex_style);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    create_container(style, ex_style, application().window(), RECT{left, top, left + width, top + height}, caption);
    if (application().main_window() == nullptr)
        application().set_main_window(handle());
}

void Form::create_dialog(const std::string& caption, int client_width, int client_height)
{
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
    const DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, scale(client_width), scale(client_height)};
    AdjustWindowRectEx(&frame, style, FALSE, ex_style);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT over{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    HWND owner = application().main_window();
    if (owner != nullptr)
        GetWindowRect(owner, &over);
    else
        owner = application().window();
    const int left = over.left + ((over.right - over.left) - width) / 2;
    const int top = over.top + ((over.bottom - over.top) - height) / 2;
    create_container(style, ex_style, owner, RECT{left, top, left + width, top + height}, caption);
    dialog_ = true;
}

void Form::centre_over_main_window()
{
    RECT frame{};
    GetWindowRect(handle(), &frame);
    RECT over{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const HWND main = application().main_window();
    if (main != nullptr && main != handle())
        GetWindowRect(main, &over);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(handle(), nullptr, over.left + ((over.right - over.left) - width) / 2,
                 over.top + ((over.bottom - over.top) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    while (modal_result_ == 0 && !application().terminated())
        application().handle_message();
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

// GraphicControl ------------------------------------------------------------------

GraphicControl::~GraphicControl()
{
    if (parent_ != nullptr) {
        invalidate();
        parent_->remove_graphic(*this);
    }
}

void GraphicControl::create(Container& parent, int left, int top, int width, int height)
{
    parent_ = &parent;
    const int x = scale(left);
    const int y = scale(top);
    bounds_ = RECT{x, y, x + scale(width), y + scale(height)};
    parent.add_graphic(*this);
    invalidate();
}

void GraphicControl::invalidate()
{
    if (parent_ != nullptr && parent_->handle() != nullptr)
        InvalidateRect(parent_->handle(), &bounds_, FALSE);
}

void GraphicControl::set_visible(bool visible)
{
    if (visible_ == visible)
        return;
    visible_ = visible;
    invalidate();
    if (!hint_.empty() && parent_ != nullptr)
        parent_->update_graphic_hint(*this);
}

void GraphicControl::set_hint(const std::string& hint)
{
    hint_ = hint;
    if (parent_ != nullptr)
        parent_->update_graphic_hint(*this);
}

void GraphicControl::set_enabled(bool enabled)
{
    enabled_ = enabled;
    invalidate();
}

void GraphicControl::repaint()
{
    invalidate();
    if (parent_ != nullptr && parent_->handle() != nullptr)
        UpdateWindow(parent_->handle());
}

void GraphicControl::mouse_down() { pressed_ = true; }

void GraphicControl::mouse_up(bool inside)
{
    pressed_ = false;
    if (inside)
        click();
}

void GraphicControl::click()
{
    if (OnClick)
        application().guard([&] { OnClick(*this); });
}

// Image -------------------------------------------------------------------------------

void Image::paint(HDC dc)
{
    if (!picture_)
        return;
    const RECT area = bounds();
    // Not stretched, a picture still grows with the DPI like the layout.
    const int width = stretch_ ? area.right - area.left : scale(picture_.width());
    const int height = stretch_ ? area.bottom - area.top : scale(picture_.height());
    const HDC source = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(source, picture_.get());
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, area.left, area.top, width, height, source, 0, 0, picture_.width(), picture_.height(), SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

// SpeedButton ---------------------------------------------------------------------------

void SpeedButton::set_font(const std::string& face, int pixel_height, bool bold)
{
    font_ = make_font(face, pixel_height, bold);
    invalidate();
}

void SpeedButton::mouse_down()
{
    GraphicControl::mouse_down();
    repaint();
}

void SpeedButton::mouse_up(bool inside)
{
    pressed_ = false;
    repaint();
    if (inside)
        click();
}

void SpeedButton::paint(HDC dc)
{
    RECT area = bounds();
    if (!flat_ || pressed_) {
        HTHEME theme = parent() != nullptr ? OpenThemeData(parent()->handle(), L"BUTTON") : nullptr;
        if (theme != nullptr) {
            const int state = !enabled() ? PBS_DISABLED : pressed_ ? PBS_PRESSED : PBS_NORMAL;
            DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &area, nullptr);
            CloseThemeData(theme);
        } else {
            DrawFrameControl(dc, &area, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed_ ? DFCS_PUSHED : 0));
        }
    }
    if (pressed_)
        OffsetRect(&area, 1, 1);
    if (glyph_) {
        const int width = scale(glyph_.width());
        const int height = scale(glyph_.height());
        const int left = area.left + ((area.right - area.left) - width) / 2;
        const int top = area.top + ((area.bottom - area.top) - height) / 2;
        const HDC source = CreateCompatibleDC(dc);
        const HGDIOBJ old = SelectObject(source, glyph_.get());
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, left, top, width, height, source, 0, 0, glyph_.width(), glyph_.height(), SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    }
    if (!caption_.empty()) {
        HGDIOBJ old_font = nullptr;
        if (font_)
            old_font = SelectObject(dc, font_.get());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, enabled() ? text_color_ : GetSysColor(COLOR_GRAYTEXT));
        DrawTextA(dc, caption_.c_str(), static_cast<int>(caption_.size()), &area,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (old_font != nullptr)
            SelectObject(dc, old_font);
    }
}

}  // namespace platform::win
