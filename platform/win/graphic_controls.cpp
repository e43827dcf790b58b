// The controls their parent draws: pictures and speed buttons.
#include <windows.h>

#include <uxtheme.h>
#include <vssym32.h>

#include "platform/win/application.h"
#include "platform/win/controls.h"

namespace platform::win {

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
    bounds_ = scaled_rect(left, top, width, height);
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
    const MemoryDC source(dc, picture_.get());
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, area.left, area.top, width, height, source.get(), 0, 0, picture_.width(), picture_.height(),
               SRCCOPY);
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
    // Drawn released before the click runs: a handler may work for a long
    // while (a download, a modal dialog) and the button must not look held
    // down meanwhile.
    repaint();
    if (inside)
        click();
}

void SpeedButton::paint(HDC dc)
{
    RECT area = bounds();
    if (!flat_ || pressed_) {
        const HTHEME theme = parent() != nullptr ? parent()->button_theme() : nullptr;
        if (theme != nullptr) {
            const int state = !enabled() ? PBS_DISABLED : pressed_ ? PBS_PRESSED : PBS_NORMAL;
            DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &area, nullptr);
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
        const MemoryDC source(dc, glyph_.get());
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, left, top, width, height, source.get(), 0, 0, glyph_.width(), glyph_.height(), SRCCOPY);
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
