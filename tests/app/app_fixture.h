// Shared set-up of the window tests: a clean registry key and shared state,
// the three windows created as the program start creates them, message boxes
// recorded instead of shown, and the one wait that every test uses: with a
// deadline, so a flow that stalls fails in seconds and names what it waited
// for instead of holding the whole program until CTest ends it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "platform/win/application.h"
#include "platform/win/controls.h"
#include "platform/win/registry.h"
#include "tests/platform/registry_support.h"

struct ShownMessage {
    std::string text;
    std::string caption;
    unsigned flags;
};

// How long a wait of these tests lasts at most, unless its flow needs longer.
constexpr DWORD WaitDeadline = 30000;

// The message boxes of the running test, for the report of a failed wait.
inline const std::vector<ShownMessage>* RecordedMessages = nullptr;

struct ShownWindowList {
    DWORD process;
    std::string text;
};

inline BOOL CALLBACK AddShownWindow(HWND window, LPARAM data)
{
    auto& list = *reinterpret_cast<ShownWindowList*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != list.process || !IsWindowVisible(window))
        return TRUE;
    char title[128] = {};
    GetWindowTextA(window, title, sizeof(title));
    list.text += "\n  window \"" + std::string(title) + "\"";
    // A real message box holds its text in the static of id 0xFFFF.
    char box_text[512] = {};
    if (GetDlgItemTextA(window, 0xFFFF, box_text, sizeof(box_text)) > 0)
        list.text += ", saying \"" + std::string(box_text) + "\"";
    return TRUE;
}

// The shown top-level windows of a process, with a message box's text.
inline std::string ShownWindows(DWORD process = GetCurrentProcessId())
{
    ShownWindowList list{process, {}};
    EnumWindows(&AddShownWindow, reinterpret_cast<LPARAM>(&list));
    return list.text.empty() ? "\n  no window" : list.text;
}

inline std::string LastLines(const std::vector<std::string>& lines, std::size_t count)
{
    std::string text;
    for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
        text += "\n    | " + lines[i];
    return text;
}

// What the program shows at this moment: its shown windows, the log's last
// lines, the guide's text, and the last message box.
inline std::string WhatTheProgramShows()
{
    std::string shown = ShownWindows();
    if (Form1) {
        shown += "\n  the log ends with:" + LastLines(Form1->Memo1.lines(), 8);
        if (Form1->Memo2.visible())
            shown += "\n  the guide says:" + LastLines(Form1->Memo2.lines(), 5);
    }
    if (RecordedMessages != nullptr && !RecordedMessages->empty())
        shown += "\n  the last message box said \"" + RecordedMessages->back().text + "\"";
    else
        shown += "\n  no message box";
    return shown;
}

inline std::string Seconds(DWORD milliseconds) { return std::to_string(milliseconds / 1000.0).substr(0, 4) + " s"; }

// Pumps messages until `condition` holds. At the deadline the test fails with
// what it waited for and what the program showed instead; false then.
inline bool WaitUntil(const std::string& what, const std::function<bool()>& condition, DWORD deadline = WaitDeadline)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= deadline) {
            ADD_FAILURE() << "waited " << Seconds(deadline) << " for " << what
                          << "; the program showed:" << WhatTheProgramShows();
            return false;
        }
        platform::win::application().process_messages();
        Sleep(10);
    }
    return true;
}

// Ends a program the test started however the test ends: one left running
// would outlive the test program and stay on the screen of the tests after it.
struct StartedProgram {
    PROCESS_INFORMATION info{};
    ~StartedProgram()
    {
        if (info.hProcess == nullptr)
            return;
        if (WaitForSingleObject(info.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, 5000);
        }
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
};

// The deadline of a wait inside the program under test (the run's and the
// guide's waits for a button, a modal dialog, a pop-up menu), which the test
// cannot leave by itself. Once it passes, the test fails as WaitUntil fails,
// and the main window is closed: that ends every wait of the program, so the
// call returns and the next test runs.
class Deadline {
public:
    explicit Deadline(std::string what, DWORD milliseconds = WaitDeadline) : limit_(milliseconds)
    {
        restart(std::move(what));
        timer_.OnTimer = [this](Object&) {
            if (GetTickCount() - start_ < limit_)
                return;
            timer_.set_enabled(false);
            ADD_FAILURE() << "waited " << Seconds(limit_) << " for " << what_
                          << "; the program showed:" << WhatTheProgramShows();
            EndMenu();
            if (Form1 && !CloseRequested)
                Form1->close();
        };
        timer_.set_interval(200);
        timer_.set_enabled(true);
    }
    // A new wait begins: the time counts afresh.
    void restart(std::string what)
    {
        what_ = std::move(what);
        start_ = GetTickCount();
    }

private:
    std::string what_;
    DWORD limit_;
    DWORD start_ = 0;
    platform::win::Timer timer_;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto& application = platform::win::application();
        application.initialize();
        application.set_title("ARVELON IMU");
        application.reset_terminated();
        ASSERT_TRUE(regtest::DeleteCurrentUserKey(RegistryKeyPath));
        ButtonPressed = false;
        CloseRequested = false;
        TermsAccepted = false;
        ApplicationFolder.clear();
        TargetFolder.clear();
        DecoderWindow = nullptr;
        ZadigWindow = nullptr;
        FolderLineIndex = 0;
        RecordedMessages = &messages;
        platform::win::set_message_box_hook(
            [this](const std::string& text, const std::string& caption, unsigned flags) {
                messages.push_back({text, caption, flags});
                return IDOK;
            });
    }

    void TearDown() override
    {
        Form3.reset();
        Form2.reset();
        Form1.reset();
        platform::win::set_message_box_hook({});
        RecordedMessages = nullptr;
        platform::win::set_screen_dpi_override(0);
        platform::win::application().reset_terminated();
        Pump();
    }

    // The program start: the three windows in order, the main one shown.
    void Start()
    {
        Form1 = std::make_unique<TForm1>();
        Form2 = std::make_unique<TForm2>();
        Form3 = std::make_unique<TForm3>();
        Form1->show();
        Pump();
    }

    static void Pump() { platform::win::application().process_messages(); }

    static void PumpFor(DWORD milliseconds)
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < milliseconds) {
            Pump();
            Sleep(10);
        }
    }

    static void SetTermsValue(DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, RegistryKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "imuterms", 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    static void SetTermsAcknowledged(DWORD value) { SetTermsValue(REG_DWORD, &value, sizeof(value)); }

    // A left click by the user on a point of a window's client area.
    static void ClickAt(HWND window, POINT point)
    {
        const LPARAM where = MAKELPARAM(point.x, point.y);
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
        SendMessageA(window, WM_LBUTTONUP, 0, where);
        Pump();
    }

    // A click by the user on a drawn control: its window routes it, and
    // refuses it while the control is disabled.
    static void ClickControl(const platform::win::GraphicControl& control)
    {
        const RECT area = control.bounds();
        ClickAt(control.parent()->handle(), POINT{(area.left + area.right) / 2, (area.top + area.bottom) / 2});
    }

    static void ClickTab(int index)
    {
        RECT tab{};
        TabCtrl_GetItemRect(Form1->PageControl1.handle(), index, &tab);
        ClickAt(Form1->PageControl1.handle(), POINT{(tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2});
    }

    std::vector<ShownMessage> messages;
};

// A path as CMake gives it ("Z:/..."), with the system's separators.
inline std::string WindowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Wine hides and minimises the windows it lets an absent window manager
// handle only after a timeout; the stand-ins' windows are left unmanaged.
inline void LeaveUnmanaged(const std::string& program)
{
    const std::string key = "Software\\Wine\\AppDefaults\\" + program + "\\X11 Driver";
    if (auto settings = platform::win::RegistryKey::open_current_user(key))
        settings->write_string("Managed", "N");
}

// Runs `action` once, `delay` milliseconds into the wait that follows, which
// must end within the deadline after that.
class Later {
public:
    Later(unsigned delay, std::function<void()> action)
        : action_(std::move(action)),
          deadline_("the wait to end after the action planned " + std::to_string(delay) + " ms into it",
                    delay + WaitDeadline)
    {
        timer_.OnTimer = [this](Object&) {
            timer_.set_enabled(false);
            action_();
        };
        timer_.set_interval(delay);
        timer_.set_enabled(true);
    }

private:
    std::function<void()> action_;
    platform::win::Timer timer_;
    Deadline deadline_;
};
