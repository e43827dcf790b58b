// Thin wrappers over the Win32 controls the installer uses. Each wrapper is
// created empty and then placed on its parent with create(); positions and
// sizes are given in pixels at 96 DPI and scaled (see scale()). Events are
// plain functions that receive the control that raised them, so one handler
// can serve several controls and tell them apart by address.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <uxtheme.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win/gdi.h"

namespace platform::win {

// The common base of everything that raises events.
class Object {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() = default;
};

using NotifyEvent = std::function<void(Object& Sender)>;

class Container;

// A control with a window of its own.
class Control : public Object {
public:
    ~Control() override { destroy_window(); }

    [[nodiscard]] HWND handle() const { return window_; }
    [[nodiscard]] bool created() const { return window_ != nullptr; }

    void set_visible(bool visible) { ShowWindow(window_, visible ? SW_SHOW : SW_HIDE); }
    void show() { set_visible(true); }
    void hide() { set_visible(false); }
    [[nodiscard]] bool visible() const { return (GetWindowLongPtrA(window_, GWL_STYLE) & WS_VISIBLE) != 0; }
    void set_enabled(bool enabled) { EnableWindow(window_, enabled ? TRUE : FALSE); }
    [[nodiscard]] bool enabled() const { return IsWindowEnabled(window_) != FALSE; }
    void bring_to_front();
    void set_focus() { SetFocus(window_); }
    // Redraws the control and its children now.
    void repaint();

    void set_text(const std::string& text) { SetWindowTextA(window_, text.c_str()); }
    [[nodiscard]] std::string text() const;

    // Pixel height at 96 DPI, scaled like the layout.
    void set_font(const std::string& face, int pixel_height, bool bold = false);
    [[nodiscard]] HFONT font() const { return reinterpret_cast<HFONT>(SendMessageA(window_, WM_GETFONT, 0, 0)); }
    // Text and background colours; the control's parent applies them.
    void set_colors(COLORREF text, COLORREF background);

    // Bounds in the parent's client coordinates, in real (scaled) pixels.
    [[nodiscard]] RECT bounds() const;
    // A tip shown while the pointer rests on the control.
    void set_hint(const std::string& hint);
    // Covers the parent's whole client area.
    void fill_parent();

    // The wrapper of a window created by this layer, or null.
    [[nodiscard]] static Control* from_handle(HWND window);

    // Hooks for the parent's message routing.
    virtual void handle_command(unsigned /*code*/) {}
    virtual LRESULT handle_notify(NMHDR& /*header*/) { return 0; }
    // Returns the brush for WM_CTLCOLOR*, or null for the default.
    HBRUSH handle_ctl_color(HDC dc);

protected:
    Control() = default;
    // Bounds in real pixels; the controls' create() scale their layout first.
    void create_window(const char* window_class, DWORD style, DWORD ex_style, HWND parent, RECT bounds,
                       const std::string& text = {});
    // A visible child of `parent`, its layout at 96 DPI.
    void create_child(Container& parent, const char* window_class, DWORD style, DWORD ex_style, int left, int top,
                      int width, int height, const std::string& text = {});
    void attach(HWND window);
    // Destroys the window early; used by forms, whose window owns the others.
    void destroy_window();

private:
    HWND window_ = nullptr;
    Font font_;
    COLORREF text_color_ = 0;
    COLORREF background_color_ = 0;
    Brush background_;  // null until set_colors
};

// A control drawn by its parent instead of owning a window. Drawn controls
// always lie below the windowed controls of the same parent; among
// themselves a later one is drawn over an earlier one.
class GraphicControl : public Object {
public:
    ~GraphicControl() override;

    void create(Container& parent, int left, int top, int width, int height);

    void set_visible(bool visible);
    void show() { set_visible(true); }
    void hide() { set_visible(false); }
    [[nodiscard]] bool visible() const { return visible_; }
    void set_enabled(bool enabled);
    [[nodiscard]] bool enabled() const { return enabled_; }
    // Redraws the control's area now.
    void repaint();
    [[nodiscard]] RECT bounds() const { return bounds_; }
    [[nodiscard]] Container* parent() const { return parent_; }
    // A tip shown while the pointer rests on the control and it is visible.
    void set_hint(const std::string& hint);
    [[nodiscard]] const std::string& hint() const { return hint_; }

    NotifyEvent OnClick;

    virtual void paint(HDC dc) = 0;
    // Mouse handling, in the parent's client coordinates; the parent routes
    // a press to the topmost visible control under the pointer.
    virtual void mouse_down() { pressed_ = true; }
    virtual void mouse_up(bool inside);
    // Runs OnClick as a click by the user would.
    void click();

protected:
    GraphicControl() = default;
    void invalidate();
    bool pressed_ = false;

private:
    friend class Container;

    Container* parent_ = nullptr;
    std::string hint_;
    RECT bounds_{};
    bool visible_ = true;
    bool enabled_ = true;
};

// A window of this layer's own class that holds other controls: it routes
// their notifications back to their wrappers and paints the drawn controls.
class Container : public Control {
public:
    ~Container() override;
    void add_graphic(GraphicControl& control) { graphics_.push_back(&control); }
    void remove_graphic(GraphicControl& control);
    // For tests: the drawn controls, bottom first.
    [[nodiscard]] const std::vector<GraphicControl*>& graphics() const { return graphics_; }
    void set_background(COLORREF color);
    // Tips of the controls on this container.
    void set_child_hint(HWND child, const std::string& hint);
    void update_graphic_hint(GraphicControl& control);
    // The theme of push buttons, for the drawn buttons; opened at the first
    // paint and again after the theme changes; null without visual styles.
    [[nodiscard]] HTHEME button_theme();

    // The window procedure of the class; public for the class registration.
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static const char* class_name() { return "ImuContainer"; }

protected:
    Container() = default;
    virtual LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    void create_container(DWORD style, DWORD ex_style, HWND parent, RECT bounds, const std::string& text);

private:
    void paint();
    void release_capture(bool inside);
    GraphicControl* graphic_at(POINT point) const;
    std::vector<GraphicControl*> graphics_;
    HWND tooltip();
    void replace_tip(TTTOOLINFOA tool, std::string text);
    void close_theme();
    GraphicControl* captured_ = nullptr;
    HTHEME button_theme_ = nullptr;
    bool theme_opened_ = false;
    HWND tooltip_ = nullptr;
    Brush background_brush_;
    HFONT inherited_font_ = nullptr;
};

// A top-level window.
class Form : public Container {
public:
    ~Form() override;

    // A window with a single fixed border whose client area has the given
    // size, centred on the primary screen; hidden until show().
    void create_form(const std::string& caption, int client_width, int client_height);
    // Same, with a dialog frame; show_modal() centres it over the main window.
    void create_dialog(const std::string& caption, int client_width, int client_height);

    // Closes the window as the user's close button does: OnClose runs, the
    // window hides, and if it is the main window the application terminates.
    void close();
    // Shows the window as a modal dialog and returns its modal result once a
    // handler has set one (or the application terminates: 0).
    int show_modal();
    void set_modal_result(int result) { modal_result_ = result; }
    // The control that gets the focus when the form shows as a dialog.
    void set_active_control(Control* control) { active_control_ = control; }

    NotifyEvent OnClose;
    // The window has moved (WM_MOVE).
    NotifyEvent OnMove;

protected:
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam) override;

private:
    // Dialogs open centred over the main window, wherever it is by then.
    void centre_over_main_window();
    int modal_result_ = 0;
    bool in_modal_ = false;
    bool dialog_ = false;
    Control* active_control_ = nullptr;
};

// One page of a PageControl.
class TabSheet : public Container {
    friend class PageControl;
};

class PageControl : public Control {
public:
    // The pages are added in order; their indices are what the program uses.
    void create(Container& parent, int left, int top, int width, int height);
    void add_page(TabSheet& page, const std::string& caption);
    // For tests: how many pages there are.
    [[nodiscard]] int page_count() const { return static_cast<int>(pages_.size()); }
    [[nodiscard]] TabSheet& page(int index) { return *pages_.at(static_cast<std::size_t>(index)); }

    // Selecting a page from the program passes no guard.
    void set_active_page_index(int index);
    [[nodiscard]] int active_page_index() const;

    // The user clicked a tab; setting AllowChange to false keeps the page.
    std::function<void(Object& Sender, bool& AllowChange)> OnChanging;

    LRESULT handle_notify(NMHDR& header) override;

private:
    void show_only_active();
    std::vector<TabSheet*> pages_;
};

// A multi-line edit control, seen as a list of lines.
class Memo : public Control {
public:
    Memo() = default;
    struct Options {
        bool read_only = false;
        bool vertical_scroll_bar = false;
        bool word_wrap = true;
    };
    void create(Container& parent, int left, int top, int width, int height, Options options);

    // Lines as a list: a text ending in a line break has no empty last line.
    [[nodiscard]] int line_count() const { return static_cast<int>(line_spans(text()).size()); }
    [[nodiscard]] std::vector<std::string> lines() const;
    // Appends a line and returns its index; the caret follows, so the new
    // line scrolls into view.
    int add_line(const std::string& text);
    // Replaces line `index`; out of range does nothing.
    void set_line(int index, const std::string& text);
    void clear() { set_text({}); }

    [[nodiscard]] int first_visible_line() const;
    // The formatting rectangle, in the control's client coordinates.
    [[nodiscard]] RECT formatting_rect() const;

protected:
    // A rich edit control, which ends its lines with a lone CR.
    explicit Memo(bool rich) : rich_(rich) {}

private:
    const bool rich_ = false;
    [[nodiscard]] const char* line_break() const { return rich_ ? "\r" : "\r\n"; }
    // Where each line lies in the text, in characters, without its break.
    struct LineSpan {
        std::size_t start;
        std::size_t length;
    };
    [[nodiscard]] std::vector<LineSpan> line_spans(const std::string& text) const;
};

// A rich edit control used for plain text only.
class RichEdit : public Memo {
public:
    RichEdit() : Memo(true) {}
};

class Button : public Control {
public:
    void create(Container& parent, const std::string& caption, int left, int top, int width, int height);
    // Clicks the button as the user would.
    void click() { SendMessageA(handle(), BM_CLICK, 0, 0); }
    NotifyEvent OnClick;
    void handle_command(unsigned code) override;
};

// A drop-down list; the items cannot be edited.
class ComboBox : public Control {
public:
    void create(Container& parent, int left, int top, int width);
    void add_item(const std::string& text);
    [[nodiscard]] int item_count() const { return static_cast<int>(SendMessageA(handle(), CB_GETCOUNT, 0, 0)); }
    [[nodiscard]] std::string item(int index) const;
    [[nodiscard]] int item_index() const { return static_cast<int>(SendMessageA(handle(), CB_GETCURSEL, 0, 0)); }
    void set_item_index(int index) { SendMessageA(handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
};

class ProgressBar : public Control {
public:
    void create(Container& parent, int left, int top, int width, int height);
    void set_max(int value) { SendMessageA(handle(), PBM_SETRANGE32, static_cast<WPARAM>(min()), value); }
    void set_position(int value) { SendMessageA(handle(), PBM_SETPOS, static_cast<WPARAM>(value), 0); }
    // For tests: the range and the position.
    [[nodiscard]] int min() const { return static_cast<int>(SendMessageA(handle(), PBM_GETRANGE, TRUE, 0)); }
    [[nodiscard]] int max() const { return static_cast<int>(SendMessageA(handle(), PBM_GETRANGE, FALSE, 0)); }
    [[nodiscard]] int position() const { return static_cast<int>(SendMessageA(handle(), PBM_GETPOS, 0, 0)); }
};

// A static text, drawn in the colours set_colors gives.
class Label : public Control {
public:
    void create(Container& parent, const std::string& caption, int left, int top, int width, int height);
};

// A one-line edit field.
class Edit : public Control {
public:
    ~Edit() override;
    void create(Container& parent, int left, int top, int width, int height);
    // A key went down while the field had the focus. A handler that sets Key
    // to 0 keeps the key from the field.
    std::function<void(Object& Sender, unsigned short& Key)> OnKeyDown;

private:
    static LRESULT CALLBACK subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                          DWORD_PTR self);
};

// A tree of items, the base of the folder tree.
class TreeView : public Control {
public:
    void create(Container& parent, int left, int top, int width, int height);
    NotifyEvent OnChange;
    LRESULT handle_notify(NMHDR& header) override;
};

// A hidden list that keeps its items in the order of the sorted list box
// (case-insensitive).
class ListBox : public Control {
public:
    void create(Container& parent, int left, int top, int width, int height, bool sorted);
    void add_item(const std::string& text);
    [[nodiscard]] int item_count() const { return static_cast<int>(SendMessageA(handle(), LB_GETCOUNT, 0, 0)); }
    [[nodiscard]] std::string item(int index) const;
};

// A picture drawn by its parent.
class Image : public GraphicControl {
public:
    void set_picture(Bitmap picture)
    {
        picture_ = std::move(picture);
        invalidate();
    }
    // For tests: the picture set.
    [[nodiscard]] const Bitmap& picture() const { return picture_; }
    // Stretch the picture over the whole control instead of drawing it at its
    // own size.
    void set_stretch(bool stretch) { stretch_ = stretch; }
    void paint(HDC dc) override;

private:
    Bitmap picture_;
    bool stretch_ = false;
};

// A button drawn by its parent, with a caption or a small picture.
class SpeedButton : public GraphicControl {
public:
    void set_caption(const std::string& caption)
    {
        caption_ = caption;
        invalidate();
    }
    // For tests: the caption set.
    [[nodiscard]] const std::string& caption() const { return caption_; }
    void set_font(const std::string& face, int pixel_height, bool bold = false);
    void set_text_color(COLORREF color) { text_color_ = color; }
    void set_glyph(Bitmap glyph)
    {
        glyph_ = std::move(glyph);
        invalidate();
    }
    // A flat button shows its frame only while pressed.
    void set_flat(bool flat) { flat_ = flat; }
    void paint(HDC dc) override;
    void mouse_down() override;
    void mouse_up(bool inside) override;

private:
    std::string caption_;
    Font font_;
    COLORREF text_color_ = 0;
    Bitmap glyph_;
    bool flat_ = false;
};

// An item of a pop-up menu.
class MenuItem : public Object {
public:
    NotifyEvent OnClick;
};

// A menu that opens at a point of the screen; items are chosen with the left
// button, and the chosen item's OnClick runs before popup() returns.
class PopupMenu : public Object {
public:
    PopupMenu();
    ~PopupMenu() override;
    void add_item(MenuItem& item, const std::string& caption);
    void popup(int screen_x, int screen_y);

private:
    HMENU menu_ = nullptr;
    std::vector<MenuItem*> items_;
};

// A periodic timer on the user-interface thread.
class Timer : public Object {
public:
    ~Timer() override;
    void set_interval(unsigned milliseconds);
    void set_enabled(bool enabled);
    [[nodiscard]] bool enabled() const { return enabled_; }
    NotifyEvent OnTimer;

private:
    void restart();
    static void CALLBACK timer_proc(HWND window, UINT message, UINT_PTR id, DWORD time);
    UINT_PTR id_ = 0;
    unsigned interval_ = 1000;
    bool enabled_ = false;
};

}  // namespace platform::win
