// The guided configuration of the USB driver at the end of a new
// installation: the driver tool's window docked below the main window, seven
// steps of text and pictures each confirmed with YES, and the start of the
// installed decoder.
#include <initializer_list>

#include "app/Unit1.h"
#include "app/Unit3.h"
#include "platform/win/application.h"

using platform::win::application;
using platform::win::scale;

namespace {

// Room kept below the main window beyond the picture's height, so the docked
// tool fits on the screen.
constexpr int ScreenMargin = 30;
// Where the main window goes when the tool would not fit below it.
constexpr int RaisedTop = 100;

constexpr DWORD PlacingPause = 1000;

// One row a step, walked in order by RunDriverGuide. A step with a picture
// lets it paint and pauses for the user to look at it before YES appears; a
// text step shows YES at once and then pauses.
struct GuideStep {
    std::initializer_list<const char*> lines;  // Memo2, from a cleared text
    platform::win::Image TForm1::*picture;  // nullptr: text only
    DWORD pause;
    // Step 1 ends the log for good: shown, it would cover the pictures.
    bool hides_log;
};

const GuideStep GuideSteps[] = {
    {{"Configuring ZADIG...",
      "Please insert your USB ADS-B dongle now and cancel and ignore all messages asking to install a driver package.",
      "", "Are you ready now?"},
     nullptr,
     1000,
     true},
    {{"You should have an open ZADIG application in front of you. Pictures below will show the exact steps to follow "
      "for the ZADIG configuration. Please follow these steps in ZADIG. When a step is done click on YES to perform "
      "the next step.",
      "", "Are you ready now?"},
     nullptr,
     0,
     false},
    {{"Please go to OPTIONS and check LIST ALL DEVICES.", "", "Are you ready now?"}, &TForm1::Image2, 1000, false},
    {{"Please OPEN the DEVICE LIST and search for a BULK-IN INTERFACE (INTERFACE 0) entry (or similar). Select this "
      "entry from the list.",
      "If you cannot find such entry search for RTL2832UHIDIR.", "", "Have you found an entry like this?"},
     &TForm1::Image3,
     1000,
     false},
    {{"Please check the USB ID of your selection. It must be 0BDA:2838:00. ",
      "If you see another USB ID go back to the list and select another device. ", "",
      "Is your device id 0BDA:2838:00 (NOT 0BDA:2828:01!) ?"},
     &TForm1::Image4,
     1500,
     false},
    {{"Check the selected driver is WINUSB (not libusb-xxx)", "Now click to INSTALL WCID DRIVER or REINSTALL DRIVER. ",
      "Your configuration should be completed momentarily. ", "", "Everything complete?"},
     &TForm1::Image1,
     1500,
     false},
    {{"You may close ZADIG now.", "We will launch your ARVELON installation and we are ready and done!",
      "Please read the release notes and accept the Terms of Use.", "", "Thank you!"},
     &TForm1::Image1,
     1500,
     false},
};

}  // namespace

void TForm1::DockZadigWindow()
{
    if (ZadigWindow == nullptr)
        return;
    RECT outer{};
    GetWindowRect(handle(), &outer);
    SetWindowPos(ZadigWindow, HWND_TOP, outer.left + Image1.bounds().left, outer.bottom + 1, 0, 0, SWP_NOSIZE);
}

void TForm1::WMMove(Object&)
{
    if (ZadigWindow != nullptr)
        DockZadigWindow();
}

void TForm1::Image1Click(Object& Sender)
{
    if (&Sender == &Image1) {
        Image1.hide();
        Image2.show();
    } else if (&Sender == &Image2) {
        Image2.hide();
        Image3.show();
    } else if (&Sender == &Image3) {
        Image3.hide();
        Image4.show();
    } else if (&Sender == &Image4) {
        Image4.hide();
    }
}

bool TForm1::RunDriverGuide()
{
    // The placing: the tool's window must fit on the screen below ours.
    RECT outer{};
    GetWindowRect(handle(), &outer);
    const RECT picture = Image1.bounds();
    if (GetSystemMetrics(SM_CYSCREEN) < outer.bottom + (picture.bottom - picture.top) + scale(ScreenMargin))
        SetWindowPos(handle(), nullptr, outer.left, RaisedTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ZadigWindow = FindWindowA(nullptr, "Zadig");
    DockZadigWindow();
    Sleep(PlacingPause);

    platform::win::Image* before = nullptr;
    for (const GuideStep& step : GuideSteps) {
        // Each step hides the picture of the step before, whatever the
        // clicks on the pictures left visible.
        if (before != nullptr) {
            before->hide();
            application().process_messages();
        }
        Button1.hide();
        Memo2.clear();
        // The first step follows the placing's pause at once; every later
        // one lets the emptied text and the hidden YES paint first.
        if (&step != &GuideSteps[0])
            application().process_messages();
        Memo2.show();
        for (const char* line : step.lines) Memo2.add_line(line);
        if (step.picture != nullptr) {
            platform::win::Image& shown = this->*step.picture;
            shown.show();
            application().process_messages();
            Sleep(step.pause);
            Button1.show();
            application().process_messages();
            before = &shown;
        } else {
            Button1.show();
            if (step.pause != 0)
                Sleep(step.pause);
        }
        if (step.hides_log) {
            Memo1.hide();
            Memo1.clear();
        }
        if (!Form3->WaitForButton())
            return false;
    }

    // The tool is told to quit, not waited for; the decoder starts after it.
    if (ZadigWindow != nullptr) {
        CloseWindow(ZadigWindow);
        PostMessageA(ZadigWindow, WM_QUIT, 0, 0);
    }
    OpenWithShell(TargetFolder + "arvelon.exe");
    Button1.hide();
    Image1.hide();
    return true;
}
