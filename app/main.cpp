// Program start: the three windows in order, then the message loop until the
// main window has closed.
#include <windows.h>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "platform/win/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    auto& application = platform::win::application();
    application.initialize();
    application.set_title(AppCaption);
    try {
        Form1 = std::make_unique<TForm1>();
        Form2 = std::make_unique<TForm2>();
        Form3 = std::make_unique<TForm3>();
    } catch (const std::exception& error) {
        application.show_exception(error.what());
        return 1;
    }
    Form1->show();
    // In front of the window it was started from (a browser, a file
    // manager), where the user looks for it.
    SetForegroundWindow(Form1->handle());
    application.run();
    // In the reverse order of creation: the main window owns the dialog,
    // whose window would go with it, and must outlive it.
    Form3.reset();
    Form2.reset();
    Form1.reset();
    return 0;
}
