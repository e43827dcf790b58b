#include "app/Unit3.h"

#include "app/Unit1.h"
#include "platform/win/application.h"

using platform::win::application;

std::unique_ptr<TForm3> Form3;

namespace {

// Short enough for a click to end the wait at once as far as the user can
// tell, long enough to leave the processor idle between looks.
constexpr DWORD PollInterval = 200;

}  // namespace

TForm3::TForm3() { create_form("Form3", 300, 200); }

bool TForm3::WaitForButton()
{
    // A press made before the wait began does not count.
    ButtonPressed = false;
    while (!ButtonPressed && !CloseRequested) {
        Sleep(PollInterval);
        application().process_messages();
    }
    if (CloseRequested) {
        application().terminate();
        Form1->close();
        return false;
    }
    ButtonPressed = false;
    return true;
}
