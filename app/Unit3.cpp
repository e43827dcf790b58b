#include "app/Unit3.h"

#include "app/Unit1.h"
#include "platform/win/application.h"

using platform::win::application;

std::unique_ptr<TForm3> Form3;

TForm3::TForm3() { create_form("Form3", 300, 200); }

bool TForm3::WaitForButton()
{
    // A press made before the wait began does not count.
    ButtonPressed = false;
    while (!ButtonPressed && !CloseRequested) {
        Sleep(200);
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
