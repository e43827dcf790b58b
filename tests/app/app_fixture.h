// Shared set-up of the window tests: a clean registry key and shared state,
// the three windows created as the program start creates them, message boxes
// recorded instead of shown, and helpers that pump the message queue.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "platform/win/application.h"
#include "platform/win/controls.h"
#include "platform/win/registry.h"

struct ShownMessage {
    std::string text;
    std::string caption;
    unsigned flags;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto& application = platform::win::application();
        application.initialize();
        application.set_title("ARVELON IMU");
        application.reset_terminated();
        ASSERT_TRUE(platform::win::RegistryKey::delete_current_user(RegistryKeyPath));
        ButtonPressed = false;
        CloseRequested = false;
        TermsAccepted = false;
        ApplicationFolder.clear();
        TargetFolder.clear();
        DecoderWindow = nullptr;
        ZadigWindow = nullptr;
        FolderLineIndex = 0;
        platform::win::set_message_box_hook([this](const std::string& text, const std::string& caption,
                                                   unsigned flags) {
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

    // Pumps until the condition holds; false when it did not within the time.
    static bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds)
    {
        const DWORD start = GetTickCount();
        while (!condition()) {
            if (GetTickCount() - start >= milliseconds)
                return false;
            Pump();
            Sleep(10);
        }
        return true;
    }

    static void SetTermsValue(DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, RegistryKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
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
        const RECT tab = Form1->PageControl1.tab_rect(index);
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
    RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Managed", REG_SZ, "N", 2);
}

// Runs `action` once, `delay` milliseconds into the wait that follows.
class Later {
public:
    Later(unsigned delay, std::function<void()> action) : action_(std::move(action))
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
};
