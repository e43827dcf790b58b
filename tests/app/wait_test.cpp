// The wait for the user's button, and the close of the main window.
#include "app_fixture.h"

namespace {

using WaitTest = AppTest;
using platform::win::application;

TEST_F(WaitTest, EachOfTheThreeButtonsEndsTheWaitWithTrue)
{
    SetTermsAcknowledged(1);
    Start();
    Deadline deadline("the wait to end on a press of each button");
    for (platform::win::Button* button : {&Form1->Button1, &Form1->Button3, &Form1->speedbutton3}) {
        button->show();
        PostMessageA(button->handle(), BM_CLICK, 0, 0);
        EXPECT_TRUE(Form3->WaitForButton());
        EXPECT_FALSE(ButtonPressed) << "the press is used up";
        button->hide();
    }
    EXPECT_FALSE(application().terminated());
}

TEST_F(WaitTest, PressBeforeTheWaitBeganDoesNotEndIt)
{
    SetTermsAcknowledged(1);
    Start();
    Form1->Button1.show();
    Form1->Button1.click();
    ASSERT_TRUE(ButtonPressed);
    Later press(700, [] { Form1->Button3.click(); });
    const DWORD start = GetTickCount();
    EXPECT_TRUE(Form3->WaitForButton());
    EXPECT_GE(GetTickCount() - start, 600u) << "the earlier press was discarded";
}

TEST_F(WaitTest, ClosingTheWindowDuringAWaitReturnsFalseAndEndsTheProgram)
{
    SetTermsAcknowledged(1);
    Start();
    Later close(300, [] { PostMessageA(Form1->handle(), WM_CLOSE, 0, 0); });
    EXPECT_FALSE(Form3->WaitForButton());
    EXPECT_TRUE(CloseRequested);
    EXPECT_TRUE(application().terminated());
    EXPECT_FALSE(IsWindowVisible(Form1->handle()));
}

TEST_F(WaitTest, CloseBeforeTheWaitMakesItReturnFalseAtOnce)
{
    Start();
    SendMessageA(Form1->handle(), WM_CLOSE, 0, 0);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(Form3->WaitForButton());
    EXPECT_LT(GetTickCount() - start, 150u) << "the flags are tested before the first sleep";
}

TEST_F(WaitTest, ClosingTheMainWindowSetsCloseRequestedAndHidesIt)
{
    Start();
    EXPECT_FALSE(CloseRequested);
    SendMessageA(Form1->handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(CloseRequested);
    EXPECT_FALSE(IsWindowVisible(Form1->handle()));
    EXPECT_TRUE(application().terminated());
}

TEST_F(WaitTest, ButtonPressedIsSetByAClickOutsideAWait)
{
    SetTermsAcknowledged(1);
    Start();
    Form1->speedbutton3.show();
    Form1->speedbutton3.click();
    EXPECT_TRUE(ButtonPressed);
}

struct ProgramWindowSearch {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM data)
{
    auto& wanted = *reinterpret_cast<ProgramWindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[64] = {};
    GetWindowTextA(window, title, sizeof(title));
    if (owner != wanted.process || std::string(title) != "ARVELON - IMU Installer and maintenance utility")
        return TRUE;
    wanted.window = window;
    return FALSE;
}

// The program itself: it opens on the terms page without a key, and ends once
// its main window is closed.
TEST_F(WaitTest, ProgramEndsWhenItsMainWindowIsClosed)
{
    std::string command = IMU_APP_EXE;
    for (char& c : command) {
        if (c == '/')
            c = '\\';
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    StartedProgram program;
    ASSERT_TRUE(
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program.info))
        << command;
    // Other test programs may show a main window of the same title; only the
    // child's own window counts. Its title comes before its controls, so the
    // wait is for the window shown with its tabs.
    ProgramWindowSearch search{program.info.dwProcessId, nullptr};
    HWND tabs = nullptr;
    const bool shown = WaitUntil("the program's main window with its tabs", [&] {
        if (WaitForSingleObject(program.info.hProcess, 0) == WAIT_OBJECT_0)
            return true;
        search.window = nullptr;
        EnumWindows(&FindProgramWindow, reinterpret_cast<LPARAM>(&search));
        if (search.window == nullptr || !IsWindowVisible(search.window))
            return false;
        tabs = FindWindowExA(search.window, nullptr, WC_TABCONTROLA, nullptr);
        return tabs != nullptr;
    });
    if (!shown || tabs == nullptr) {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(program.info.hProcess, &code);
        FAIL() << "the started program showed:" << ShownWindows(program.info.dwProcessId)
               << (code == STILL_ACTIVE ? "" : "\n  and ended with code " + std::to_string(code));
    }
    EXPECT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), 0);

    PostMessageA(search.window, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(program.info.hProcess, 10000), WAIT_OBJECT_0)
        << "the program still runs; it showed:" << ShownWindows(program.info.dwProcessId);
    DWORD code = 1;
    GetExitCodeProcess(program.info.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

}  // namespace
