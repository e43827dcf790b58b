// The driver guide at the end of a new installation, run against the
// stand-ins of the driver tool and the decoder: docking, the seven steps, the
// paging through the pictures, and the end.
#include "app_fixture.h"

#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "platform/temp_folder.h"
#include "platform/win/shell.h"

namespace {

using platform::win::application;

// What the user is shown at each step, as the guide must write it.
const std::vector<std::vector<std::string>> StepLines = {
    {"Configuring ZADIG...",
     "Please insert your USB ADS-B dongle now and cancel and ignore all messages asking to install a driver package.",
     "", "Are you ready now?"},
    {"You should have an open ZADIG application in front of you. Pictures below will show the exact steps to follow "
     "for the ZADIG configuration. Please follow these steps in ZADIG. When a step is done click on YES to perform "
     "the next step.",
     "", "Are you ready now?"},
    {"Please go to OPTIONS and check LIST ALL DEVICES.", "", "Are you ready now?"},
    {"Please OPEN the DEVICE LIST and search for a BULK-IN INTERFACE (INTERFACE 0) entry (or similar). Select this "
     "entry from the list.",
     "If you cannot find such entry search for RTL2832UHIDIR.", "", "Have you found an entry like this?"},
    {"Please check the USB ID of your selection. It must be 0BDA:2838:00. ",
     "If you see another USB ID go back to the list and select another device. ", "",
     "Is your device id 0BDA:2838:00 (NOT 0BDA:2828:01!) ?"},
    {"Check the selected driver is WINUSB (not libusb-xxx)", "Now click to INSTALL WCID DRIVER or REINSTALL DRIVER. ",
     "Your configuration should be completed momentarily. ", "", "Everything complete?"},
    {"You may close ZADIG now.", "We will launch your ARVELON installation and we are ready and done!",
     "Please read the release notes and accept the Terms of Use.", "", "Thank you!"},
};
const std::vector<std::string> StepPicture = {"", "", "Image2", "Image3", "Image4", "Image1", "Image1"};
// From the previous YES (for step 1: from the start of the guide) to the
// next YES; the guide's own pauses, without the wait's polling.
const std::vector<DWORD> StepDelay = {2000, 0, 1000, 1000, 1500, 1500, 1500};

RECT OuterOf(HWND window)
{
    RECT outer{};
    GetWindowRect(window, &outer);
    return outer;
}

// True when `upper` comes before `lower` among the top-level windows.
bool IsAbove(HWND upper, HWND lower)
{
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        if (window == upper)
            return true;
        if (window == lower)
            return false;
    }
    return false;
}

// What a step showed when its YES appeared.
struct Seen {
    std::vector<std::string> lines;
    std::vector<std::string> pictures;
    DWORD delay;  // since the previous YES, or since the start of the guide
    bool log_visible;
    int log_lines;
};

class GuideTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        SetTermsAcknowledged(1);
        log_path = folder.file("standin.log");
        SetEnvironmentVariableA("IMU_STANDIN_LOG", log_path.c_str());
        TargetFolder = folder.path().string() + "\\";
        ASSERT_TRUE(
            CopyFileA(WindowsPath(IMU_DECODER_STANDIN_EXE).c_str(), (TargetFolder + "arvelon.exe").c_str(), FALSE));
        LeaveUnmanaged("zadig-standin.exe");
        LeaveUnmanaged("arvelon.exe");
        // The decoder is really started, and the tool's state at that moment kept.
        platform::win::set_shell_open_hook([this](const std::string& path) {
            opened.push_back(path);
            tool_minimised_at_open = ZadigWindow != nullptr && IsIconic(ZadigWindow);
            ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        });
        driver.set_interval(10);
        driver.OnTimer = [this](Object&) { Tick(); };
    }

    void TearDown() override
    {
        driver.set_enabled(false);
        platform::win::set_shell_open_hook({});
        SetEnvironmentVariableA("IMU_STANDIN_LOG", nullptr);
        if (tool.hProcess != nullptr) {
            if (WaitForSingleObject(tool.hProcess, 0) != WAIT_OBJECT_0)
                TerminateProcess(tool.hProcess, 1);
            WaitForSingleObject(tool.hProcess, 5000);
            CloseHandle(tool.hProcess);
            CloseHandle(tool.hThread);
        }
        EndDecoders();
        AppTest::TearDown();
    }

    static void EndDecoders()
    {
        while (const HWND window = FindWindowA(nullptr, "arvelon - melqary")) {
            DWORD id = 0;
            GetWindowThreadProcessId(window, &id);
            const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
            if (process == nullptr)
                break;
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }

    // Starts the driver-tool stand-in and waits for its window.
    HWND StartTool()
    {
        std::string command = WindowsPath(IMU_ZADIG_STANDIN_EXE);
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &tool))
            return nullptr;
        HWND window = nullptr;
        WaitUntil("the driver-tool stand-in's window \"Zadig\"",
                  [&] { return (window = FindWindowA(nullptr, "Zadig")) != nullptr; });
        return window;
    }

    [[nodiscard]] bool ToolRunning() const
    {
        return tool.hProcess != nullptr && WaitForSingleObject(tool.hProcess, 0) == WAIT_TIMEOUT;
    }

    [[nodiscard]] std::vector<std::string> LogLines() const
    {
        std::vector<std::string> lines;
        const std::string text = imu_test::read_whole_file(log_path);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    [[nodiscard]] bool Logged(const std::string& line) const
    {
        const auto lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    static std::vector<std::string> VisiblePictures()
    {
        std::vector<std::string> names;
        for (const auto& [image, name] : {std::pair{&Form1->Image2, "Image2"}, std::pair{&Form1->Image3, "Image3"},
                                          std::pair{&Form1->Image4, "Image4"}, std::pair{&Form1->Image1, "Image1"}})
            if (image->visible())
                names.push_back(name);
        return names;
    }

    // Waits until the other program's window stands where it is expected.
    static bool ToolAt(HWND window, int left, int top)
    {
        return WaitUntil(
            "the driver tool at " + std::to_string(left) + "," + std::to_string(top),
            [&] {
                const RECT outer = OuterOf(window);
                return outer.left == left && outer.top == top;
            },
            2000);
    }

    // A user's click on a point of page 1, without pumping.
    static void ClickPage(POINT point)
    {
        const LPARAM where = MAKELPARAM(point.x, point.y);
        SendMessageA(Form1->TabSheet1.handle(), WM_LBUTTONDOWN, MK_LBUTTON, where);
        SendMessageA(Form1->TabSheet1.handle(), WM_LBUTTONUP, 0, where);
    }

    // Runs the guide with the driver answering each step; on_step may act on
    // the step shown and returns whether YES is then pressed.
    bool Run()
    {
        guide_start = last_yes = GetTickCount();
        deadline.emplace("step 1's YES button");
        driver.set_enabled(true);
        const bool completed = Form1->RunDriverGuide();
        driver.set_enabled(false);
        deadline.reset();
        return completed;
    }

    void Tick()
    {
        if (in_tick)
            return;
        in_tick = true;
        if (Form1->Button1.visible()) {
            const auto lines = Form1->Memo2.lines();
            if (seen.empty() || seen.back().lines != lines) {
                seen.push_back({lines, VisiblePictures(), GetTickCount() - last_yes, Form1->Memo1.visible(),
                                Form1->Memo1.line_count()});
                deadline->restart("the guide to go on after step " + std::to_string(seen.size()));
                first_seen = GetTickCount();
                answered = false;
            } else if (!answered && GetTickCount() - first_seen >= 100) {
                // Only a later look than the first can be inside the step's wait.
                answered = true;
                const bool yes = on_step ? on_step(static_cast<int>(seen.size()) - 1) : true;
                last_yes = GetTickCount();
                if (yes)
                    Form1->Button1.click();
            }
        }
        in_tick = false;
    }

    void ExpectStepsAsGiven(std::size_t count)
    {
        ASSERT_EQ(seen.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            SCOPED_TRACE("step " + std::to_string(i + 1));
            EXPECT_EQ(seen[i].lines, StepLines[i]);
            const std::vector<std::string> pictures =
                StepPicture[i].empty() ? std::vector<std::string>{} : std::vector<std::string>{StepPicture[i]};
            EXPECT_EQ(seen[i].pictures, pictures);
            EXPECT_GE(seen[i].delay + 20, StepDelay[i]);
            EXPECT_LT(seen[i].delay, StepDelay[i] + 700);
            EXPECT_FALSE(seen[i].log_visible) << "the log is hidden from step 1 on";
            EXPECT_EQ(seen[i].log_lines, 0);
        }
    }

    imu_test::TempFolder folder;
    std::string log_path;
    PROCESS_INFORMATION tool{};
    platform::win::Timer driver;
    std::optional<Deadline> deadline;  // of the guide's wait for the next step
    std::function<bool(int step)> on_step;
    std::vector<Seen> seen;
    std::vector<std::string> opened;
    bool tool_minimised_at_open = false;
    DWORD guide_start = 0;
    DWORD last_yes = 0;
    DWORD first_seen = 0;
    bool answered = false;
    bool in_tick = false;
};

TEST_F(GuideTest, WithTheToolDockedTheStepsRunToTheDecodersStart)
{
    Start();
    const HWND zadig = StartTool();
    ASSERT_NE(zadig, nullptr);
    const RECT tool_before = OuterOf(zadig);
    // Placed so low that the tool would not fit below.
    const RECT main_before = OuterOf(Form1->handle());
    const int main_height = main_before.bottom - main_before.top;
    SetWindowPos(Form1->handle(), nullptr, 200, GetSystemMetrics(SM_CYSCREEN) - main_height - 100, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    Pump();

    std::vector<std::vector<std::string>> paging;
    on_step = [&](int step) {
        const RECT main = OuterOf(Form1->handle());
        if (step == 0) {
            EXPECT_EQ(main.left, 200);
            EXPECT_EQ(main.top, 100) << "raised so that the tool fits below";
            EXPECT_EQ(ZadigWindow, zadig);
            const RECT docked = OuterOf(zadig);
            EXPECT_EQ(docked.left, 210);
            EXPECT_EQ(docked.top, main.bottom + 1);
            EXPECT_EQ(docked.right - docked.left, tool_before.right - tool_before.left) << "not resized";
            EXPECT_EQ(docked.bottom - docked.top, tool_before.bottom - tool_before.top);
            EXPECT_TRUE(IsAbove(zadig, Form1->handle())) << "brought to the top";
        } else if (step == 1) {
            // The user drags the main window: the tool follows.
            SetWindowPos(Form1->handle(), nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            EXPECT_TRUE(ToolAt(zadig, 50, 30 + main_height + 1));
        } else if (step == 5) {
            // Clicks on the pictures page through them and leave none.
            for (int click = 0; click < 4; ++click) {
                ClickPage(POINT{300, 250});
                paging.push_back(VisiblePictures());
            }
        }
        return true;
    };
    EXPECT_TRUE(Run());

    ExpectStepsAsGiven(7);
    EXPECT_EQ(paging, (std::vector<std::vector<std::string>>{{"Image2"}, {"Image3"}, {"Image4"}, {}}));
    EXPECT_EQ(Form1->Memo2.lines(), StepLines[6]) << "the last step's text stays";
    EXPECT_FALSE(Form1->Button1.visible());
    EXPECT_TRUE(VisiblePictures().empty());
    EXPECT_FALSE(application().terminated());
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 1) << "the caller selects the next page";

    ASSERT_EQ(opened, std::vector<std::string>{TargetFolder + "arvelon.exe"});
    EXPECT_TRUE(tool_minimised_at_open) << "the tool is told to quit before the decoder starts";
    EXPECT_EQ(WaitForSingleObject(tool.hProcess, 10000), WAIT_OBJECT_0) << "the tool ended on WM_QUIT";
    ASSERT_TRUE(WaitUntil("\"decoder started\" in the stand-ins' log", [&] { return Logged("decoder started"); }));
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"zadig started",
                                        "zadig moved to " + std::to_string(tool_before.left) + "," +
                                            std::to_string(tool_before.top),
                                        "zadig moved to 210," + std::to_string(100 + main_height + 1),
                                        "zadig moved to 50," + std::to_string(30 + main_height + 1), "zadig minimised",
                                        "zadig ended", "decoder started"}));
    EXPECT_NE(FindWindowA(nullptr, "arvelon - melqary"), nullptr);

    // Later moves still dock a tool that is gone, to no effect.
    SetWindowPos(Form1->handle(), nullptr, 60, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    EXPECT_FALSE(IsWindow(zadig));
}

TEST_F(GuideTest, WithoutTheToolTheStepsRunUnchangedAndAHighWindowKeepsItsPlace)
{
    Start();
    ASSERT_EQ(FindWindowA(nullptr, "Zadig"), nullptr);
    SetWindowPos(Form1->handle(), nullptr, 30, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    const RECT placed = OuterOf(Form1->handle());
    ASSERT_LE(placed.bottom + 279, GetSystemMetrics(SM_CYSCREEN)) << "the screen is tall enough for this test";

    EXPECT_TRUE(Run());
    ExpectStepsAsGiven(7);
    EXPECT_EQ(ZadigWindow, nullptr);
    const RECT after = OuterOf(Form1->handle());
    EXPECT_EQ(after.left, 30);
    EXPECT_EQ(after.top, 0) << "the window keeps its place";
    ASSERT_EQ(opened, std::vector<std::string>{TargetFolder + "arvelon.exe"});
    ASSERT_TRUE(WaitUntil("\"decoder started\" in the stand-ins' log", [&] { return Logged("decoder started"); }));
    EXPECT_EQ(LogLines(), std::vector<std::string>{"decoder started"});
}

// Two complete flows in one: the docking by the scaled layout, and a close in
// the middle of the steps.
TEST_F(GuideTest, OnAHighDpiScreenTheToolDocksByTheScaledLayoutAndACloseLeavesItRunning)
{
    platform::win::set_screen_dpi_override(144);
    Start();
    const HWND zadig = StartTool();
    ASSERT_NE(zadig, nullptr);
    RECT main{};
    RECT docked{};
    on_step = [&](int step) {
        if (step == 0) {
            main = OuterOf(Form1->handle());
            docked = OuterOf(zadig);
        }
        if (step < 2)
            return true;
        PostMessageA(Form1->handle(), WM_CLOSE, 0, 0);
        return false;
    };
    EXPECT_FALSE(Run());
    // The scaled window is so tall that the tool only fits with it raised.
    EXPECT_EQ(main.top, 100);
    EXPECT_EQ(docked.left, main.left + 15) << "the picture's left at 144 DPI";
    EXPECT_EQ(docked.top, main.bottom + 1);

    EXPECT_EQ(seen.size(), 3u) << "no step after the close";
    EXPECT_TRUE(CloseRequested);
    EXPECT_TRUE(application().terminated());
    EXPECT_TRUE(opened.empty()) << "no decoder started";
    EXPECT_EQ(Form1->Memo2.lines(), StepLines[2]);
    PumpFor(500);
    EXPECT_TRUE(ToolRunning());
    EXPECT_FALSE(IsIconic(zadig));
    EXPECT_FALSE(Logged("zadig minimised"));
    EXPECT_EQ(FindWindowA(nullptr, "arvelon - melqary"), nullptr);
}

TEST_F(GuideTest, AClickOnAPictureOnlyTouchesItAndTheNext)
{
    Start();
    Form1->Image3.show();
    Form1->Image1.show();
    Form1->Image1.click();
    EXPECT_EQ(VisiblePictures(), (std::vector<std::string>{"Image2", "Image3"}));
    Form1->Image1Click(Form1->Image5);
    EXPECT_EQ(VisiblePictures(), (std::vector<std::string>{"Image2", "Image3"})) << "other senders do nothing";
}

}  // namespace
