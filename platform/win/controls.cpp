// The windowed controls.
#include "platform/win/controls.h"

#include <richedit.h>

#include <map>
#include <string_view>

#include "platform/win/application.h"

namespace platform::win {

namespace {

constexpr char wrapper_property[] = "imu.control";

// An item of a combo box's or a list box's list, which differ only in the
// messages' names; empty when there is no such item.
std::string item_text(HWND window, UINT length_message, UINT text_message, int index)
{
    const auto length = SendMessageA(window, length_message, static_cast<WPARAM>(index), 0);
    if (length < 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(window, text_message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace

// Control ------------------------------------------------------------------

void Control::destroy_window()
{
    if (window_ == nullptr)
        return;
    const HWND window = window_;
    window_ = nullptr;
    if (IsWindow(window)) {
        RemovePropA(window, wrapper_property);
        DestroyWindow(window);
    }
}

void Control::attach(HWND window)
{
    window_ = window;
    SetPropA(window, wrapper_property, this);
}

Control* Control::from_handle(HWND window)
{
    if (window == nullptr)
        return nullptr;
    return static_cast<Control*>(GetPropA(window, wrapper_property));
}

void Control::create_window(const char* window_class, DWORD style, DWORD ex_style, HWND parent, RECT bounds,
                            const std::string& text)
{
    const HWND window = CreateWindowExA(ex_style, window_class, text.c_str(), style, bounds.left, bounds.top,
                                        bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr)
        throw std::runtime_error(std::string("Cannot create a window of class ") + window_class + ": " + error_text());
    attach(window);
    // Controls take their parent's font unless given one of their own.
    if (parent != nullptr) {
        const auto inherited = static_cast<WPARAM>(SendMessageA(parent, WM_GETFONT, 0, 0));
        if (inherited != 0)
            SendMessageA(window, WM_SETFONT, inherited, FALSE);
    }
    // A later control lies above the ones created before it.
    if ((style & WS_CHILD) != 0)
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Control::create_child(Container& parent, const char* window_class, DWORD style, DWORD ex_style, int left, int top,
                           int width, int height, const std::string& text)
{
    create_window(window_class, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, ex_style, parent.handle(),
                  scaled_rect(left, top, width, height), text);
}

void Control::bring_to_front()
{
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Control::repaint()
{
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

std::string Control::text() const
{
    const int length = GetWindowTextLengthA(window_);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void Control::set_font(const std::string& face, int pixel_height, bool bold)
{
    font_ = make_font(face, pixel_height, bold);
    SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
}

void Control::set_colors(COLORREF text, COLORREF background)
{
    text_color_ = text;
    background_color_ = background;
    background_ = Brush(CreateSolidBrush(background));
    InvalidateRect(window_, nullptr, TRUE);
}

HBRUSH Control::handle_ctl_color(HDC dc)
{
    if (!background_)
        return nullptr;
    SetTextColor(dc, text_color_);
    SetBkColor(dc, background_color_);
    return background_.get();
}

RECT Control::bounds() const
{
    RECT rect{};
    GetWindowRect(window_, &rect);
    MapWindowPoints(nullptr, GetParent(window_), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Control::set_hint(const std::string& hint)
{
    if (auto* parent = dynamic_cast<Container*>(from_handle(GetParent(window_))))
        parent->set_child_hint(window_, hint);
}

void Control::fill_parent()
{
    RECT area{};
    GetClientRect(GetParent(window_), &area);
    SetWindowPos(window_, nullptr, 0, 0, area.right, area.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

// PageControl -------------------------------------------------------------

void PageControl::create(Container& parent, int left, int top, int width, int height)
{
    // The pages are the tab control's children; Tab moves into them.
    create_child(parent, WC_TABCONTROLA, WS_CLIPCHILDREN | WS_TABSTOP, WS_EX_CONTROLPARENT, left, top, width, height);
}

void PageControl::add_page(TabSheet& page, const std::string& caption)
{
    std::string text = caption;
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    const auto index = static_cast<WPARAM>(pages_.size());
    SendMessageA(handle(), TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item));
    pages_.push_back(&page);

    RECT area{};
    GetClientRect(handle(), &area);
    SendMessageA(handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    page.create_container(WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, handle(), area, {});
    // Every page keeps its own size when later tabs are added.
    for (TabSheet* each : pages_)
        SetWindowPos(each->handle(), nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    show_only_active();
}

void PageControl::set_active_page_index(int index)
{
    SendMessageA(handle(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    show_only_active();
}

int PageControl::active_page_index() const { return static_cast<int>(SendMessageA(handle(), TCM_GETCURSEL, 0, 0)); }

void PageControl::show_only_active()
{
    // The new page shows before the others hide: the other order would leave
    // the tab control bare for a moment, and its empty face would flash.
    const int active = active_page_index();
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (static_cast<int>(i) == active)
            ShowWindow(pages_[i]->handle(), SW_SHOW);
    }
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (static_cast<int>(i) != active)
            ShowWindow(pages_[i]->handle(), SW_HIDE);
    }
}

LRESULT PageControl::handle_notify(NMHDR& header)
{
    if (header.code == TCN_SELCHANGING) {
        bool allow = true;
        if (OnChanging)
            OnChanging(*this, allow);
        return allow ? FALSE : TRUE;
    }
    if (header.code == TCN_SELCHANGE)
        show_only_active();
    return 0;
}

// Memo ----------------------------------------------------------------------

void Memo::create(Container& parent, int left, int top, int width, int height, Options options)
{
    DWORD style = WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL;
    if (options.read_only)
        style |= ES_READONLY;
    if (options.vertical_scroll_bar)
        style |= WS_VSCROLL;
    if (!options.word_wrap)
        style |= ES_AUTOHSCROLL;
    create_child(parent, rich_ ? "RICHEDIT50W" : "EDIT", style, WS_EX_CLIENTEDGE, left, top, width, height);
    if (rich_) {
        SendMessageA(handle(), EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
        SendMessageA(handle(), EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    } else {
        SendMessageA(handle(), EM_SETLIMITTEXT, 0, 0);
    }
}

// The line operations work on the text, not on the control's rows: a long
// line that the control shows wrapped over several rows is still one line.
std::vector<Memo::LineSpan> Memo::line_spans(const std::string& text) const
{
    // A rich edit keeps a lone CR but may hand its text out with CR LF.
    std::vector<LineSpan> spans;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = rich_ ? text.find_first_of("\r\n", start) : text.find("\r\n", start);
        if (end == std::string::npos) {
            spans.push_back({start, text.size() - start});
            break;
        }
        spans.push_back({start, end - start});
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return spans;
}

std::vector<std::string> Memo::lines() const
{
    const std::string all = text();
    std::vector<std::string> result;
    for (const LineSpan& span : line_spans(all)) result.push_back(all.substr(span.start, span.length));
    return result;
}

int Memo::add_line(const std::string& text)
{
    const std::string all = this->text();
    const int count = static_cast<int>(line_spans(all).size());
    const std::string_view separator = line_break();
    std::string inserted;
    if (all.empty() || all.back() == '\n' || all.ends_with(separator)) {
        inserted = text;
        inserted += separator;
    } else {
        // The last line has no line break yet: end it, and the new line
        // stays without one, as the last line was.
        inserted = separator;
        inserted += text;
    }
    const auto end = static_cast<WPARAM>(all.size());
    SendMessageA(handle(), EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageA(handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(inserted.c_str()));
    return count;
}

void Memo::set_line(int index, const std::string& text)
{
    const auto spans = line_spans(this->text());
    if (index < 0 || static_cast<std::size_t>(index) >= spans.size())
        return;
    const LineSpan& span = spans[static_cast<std::size_t>(index)];
    SendMessageA(handle(), EM_SETSEL, static_cast<WPARAM>(span.start), static_cast<LPARAM>(span.start + span.length));
    SendMessageA(handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

int Memo::first_visible_line() const { return static_cast<int>(SendMessageA(handle(), EM_GETFIRSTVISIBLELINE, 0, 0)); }

RECT Memo::formatting_rect() const
{
    RECT rect{};
    SendMessageA(handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

// Button, ComboBox, ProgressBar, TreeView, ListBox ----------------------------

void Button::create(Container& parent, const std::string& caption, int left, int top, int width, int height)
{
    create_child(parent, "BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, left, top, width, height, caption);
}

void Button::handle_command(unsigned code)
{
    if (code == BN_CLICKED && OnClick)
        OnClick(*this);
}

void ComboBox::create(Container& parent, int left, int top, int width)
{
    // The height is that of the dropped-down list; the edit part sizes itself.
    create_child(parent, "COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, left, top, width, 200);
}

void ComboBox::add_item(const std::string& text)
{
    SendMessageA(handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string ComboBox::item(int index) const { return item_text(handle(), CB_GETLBTEXTLEN, CB_GETLBTEXT, index); }

void ProgressBar::create(Container& parent, int left, int top, int width, int height)
{
    create_child(parent, PROGRESS_CLASSA, 0, 0, left, top, width, height);
    SendMessageA(handle(), PBM_SETRANGE32, 0, 100);
}

void Label::create(Container& parent, const std::string& caption, int left, int top, int width, int height)
{
    create_child(parent, "STATIC", SS_LEFT | SS_NOPREFIX, 0, left, top, width, height, caption);
}

Edit::~Edit()
{
    if (created())
        RemoveWindowSubclass(handle(), subclass_proc, 1);
}

void Edit::create(Container& parent, int left, int top, int width, int height)
{
    create_child(parent, "EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, left, top, width, height);
    SetWindowSubclass(handle(), subclass_proc, 1, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK Edit::subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                     DWORD_PTR self_data)
{
    auto* self = reinterpret_cast<Edit*>(self_data);
    if (message == WM_KEYDOWN && self->OnKeyDown) {
        auto key = static_cast<unsigned short>(wparam);
        application().guard([&] { self->OnKeyDown(*self, key); });
        if (key == 0)
            return 0;
        wparam = key;
    }
    // A one-line field only beeps at Return and Escape.
    if (message == WM_CHAR && (wparam == '\r' || wparam == 27))
        return 0;
    return DefSubclassProc(window, message, wparam, lparam);
}

void TreeView::create(Container& parent, int left, int top, int width, int height)
{
    create_child(parent, WC_TREEVIEWA, WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                 WS_EX_CLIENTEDGE, left, top, width, height);
}

LRESULT TreeView::handle_notify(NMHDR& header)
{
    if ((header.code == TVN_SELCHANGEDA || header.code == TVN_SELCHANGEDW) && OnChange)
        OnChange(*this);
    return 0;
}

void ListBox::create(Container& parent, int left, int top, int width, int height, bool sorted)
{
    create_child(parent, "LISTBOX", WS_VSCROLL | LBS_HASSTRINGS | (sorted ? LBS_SORT : 0), WS_EX_CLIENTEDGE, left, top,
                 width, height);
}

void ListBox::add_item(const std::string& text)
{
    SendMessageA(handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string ListBox::item(int index) const { return item_text(handle(), LB_GETTEXTLEN, LB_GETTEXT, index); }

// PopupMenu -------------------------------------------------------------------

PopupMenu::PopupMenu() : menu_(CreatePopupMenu()) {}

PopupMenu::~PopupMenu()
{
    if (menu_ != nullptr)
        DestroyMenu(menu_);
}

void PopupMenu::add_item(MenuItem& item, const std::string& caption)
{
    items_.push_back(&item);
    // Command ids count from 1: TrackPopupMenu returns 0 for "nothing chosen".
    AppendMenuA(menu_, MF_STRING, items_.size(), caption.c_str());
}

void PopupMenu::popup(int screen_x, int screen_y)
{
    const HWND owner = application().main_window();
    if (owner != nullptr)
        SetForegroundWindow(owner);
    const auto chosen = static_cast<std::size_t>(TrackPopupMenu(
        menu_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD, screen_x, screen_y, 0, owner, nullptr));
    if (chosen == 0 || chosen > items_.size())
        return;
    MenuItem& item = *items_[chosen - 1];
    if (item.OnClick)
        application().guard([&] { item.OnClick(item); });
}

// Timer -----------------------------------------------------------------------

namespace {

// Thread timers carry no window; their ids lead back to the wrappers.
std::map<UINT_PTR, Timer*>& live_timers()
{
    static std::map<UINT_PTR, Timer*> timers;
    return timers;
}

}  // namespace

Timer::~Timer()
{
    enabled_ = false;
    restart();
}

void Timer::set_interval(unsigned milliseconds)
{
    interval_ = milliseconds;
    restart();
}

void Timer::set_enabled(bool enabled)
{
    enabled_ = enabled;
    restart();
}

void Timer::restart()
{
    if (id_ != 0) {
        KillTimer(nullptr, id_);
        live_timers().erase(id_);
        id_ = 0;
    }
    if (enabled_ && interval_ > 0) {
        id_ = SetTimer(nullptr, 0, interval_, timer_proc);
        if (id_ != 0)
            live_timers()[id_] = this;
    }
}

void CALLBACK Timer::timer_proc(HWND, UINT, UINT_PTR id, DWORD)
{
    const auto found = live_timers().find(id);
    if (found == live_timers().end())
        return;
    Timer& timer = *found->second;
    if (timer.OnTimer)
        application().guard([&] { timer.OnTimer(timer); });
}

}  // namespace platform::win
