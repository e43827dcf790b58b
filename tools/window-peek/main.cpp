// window-peek: prints what another program's windows show, as a person looking
// at the screen would read it, so scripts can drive a program with real
// clicks and keys and check the outcome without calling into it.
//
//   window-peek windows            the visible top-level windows, one a line:
//                                  left,top,right,bottom <TAB> class <TAB> title
//   window-peek controls TITLE     the visible top-level window titled TITLE:
//                                  first its outer rectangle and client origin,
//                                  then each child window, one a line:
//                                  N <TAB> class <TAB> shown <TAB> enabled <TAB>
//                                  left,top,right,bottom <TAB> text
//                                  (rectangles in screen pixels; the text's line
//                                  breaks shown as " | "; none for edits)
//   window-peek text TITLE N       the whole text of child N, line by line
//
// Exit status 0, or 1 when no such window or child is there (yet).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The target may be busy in a pause of up to a few seconds; longer means stuck.
constexpr UINT ReplyTimeoutMs = 5000;

std::string rect_text(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
        std::to_string(r.bottom);
}

std::string class_of(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string title_of(HWND window)
{
    char title[512] = {};
    GetWindowTextA(window, title, sizeof(title));  // read without a reply from the window's owner
    return title;
}

// The text of a control of another process: it has to answer the messages.
std::string text_of(HWND window)
{
    DWORD_PTR length = 0;
    if (SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, ReplyTimeoutMs, &length) == 0)
        return "?";
    std::string text(length + 1, '\0');
    DWORD_PTR got = 0;
    if (SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                            ReplyTimeoutMs, &got) == 0)
        return "?";
    text.resize(got);
    return text;
}

// What a listing shows of a control. Asking a busy program for each text
// costs up to its message delay, so only a drop-down list, whose choice is
// not its window text, is asked; an edit's content is left to `text`.
std::string listed_text(HWND window)
{
    const std::string name = class_of(window);
    if (name == "ComboBox")
        return text_of(window);
    if (name == "Edit" || name.rfind("RichEdit", 0) == 0)
        return {};
    return title_of(window);
}

std::vector<HWND> top_level_windows()
{
    std::vector<HWND> found;
    EnumWindows(
        [](HWND window, LPARAM list) CALLBACK -> BOOL {
            // A program's hidden owner window may be "visible" with no size.
            RECT outer{};
            GetWindowRect(window, &outer);
            if (IsWindowVisible(window) && outer.right > outer.left && outer.bottom > outer.top)
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Several windows may share a title (a hidden one among them); the visible
// one is what a person sees.
HWND find_shown(const std::string& title)
{
    for (const HWND window : top_level_windows())
        if (title_of(window) == title)
            return window;
    return nullptr;
}

std::vector<HWND> children_of(HWND parent)
{
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND window, LPARAM list) CALLBACK -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string one_line(const std::string& text)
{
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\n' || text[i] == '\r')
            line += " | ";
        else if (text[i] == '\t')
            line += ' ';
        else
            line += text[i];
    }
    return line;
}

int list_windows()
{
    for (const HWND window : top_level_windows()) {
        RECT outer{};
        GetWindowRect(window, &outer);
        std::printf("%s\t%s\t%s\n", rect_text(outer).c_str(), class_of(window).c_str(), title_of(window).c_str());
    }
    return 0;
}

int list_controls(const std::string& title)
{
    const HWND window = find_shown(title);
    if (window == nullptr)
        return 1;
    RECT outer{};
    GetWindowRect(window, &outer);
    POINT client{0, 0};
    ClientToScreen(window, &client);
    std::printf("window\t%s\t%ld,%ld\n", rect_text(outer).c_str(), client.x, client.y);
    int index = 0;
    for (const HWND child : children_of(window)) {
        RECT place{};
        GetWindowRect(child, &place);
        std::printf("%d\t%s\t%d\t%d\t%s\t%s\n", index++, class_of(child).c_str(), IsWindowVisible(child) ? 1 : 0,
                    IsWindowEnabled(child) ? 1 : 0, rect_text(place).c_str(), one_line(listed_text(child)).c_str());
    }
    return 0;
}

int print_text(const std::string& title, const std::string& which)
{
    const HWND window = find_shown(title);
    if (window == nullptr)
        return 1;
    const auto children = children_of(window);
    const auto index = std::strtoul(which.c_str(), nullptr, 10);
    if (index >= children.size())
        return 1;
    const std::string text = text_of(children[index]);
    // Edits break lines with CR LF, rich edits may use CR alone.
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "windows" && argc == 2)
        return list_windows();
    if (command == "controls" && argc == 3)
        return list_controls(argv[2]);
    if (command == "text" && argc == 4)
        return print_text(argv[2], argv[3]);
    std::fprintf(stderr, "usage: window-peek windows | controls TITLE | text TITLE N\n");
    return 2;
}
