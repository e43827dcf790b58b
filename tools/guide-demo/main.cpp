// guide-demo: starts the installer's windows as the program does and runs the
// driver guide at once, as a new installation would after starting the
// driver tool; then shows the release notes page as the run does. The
// decoder it starts is "arvelon.exe" beside this program. Start
// tools/zadig-standin first to see the tool docked. A demo, not the product.
#include <windows.h>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "platform/win/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    auto& application = platform::win::application();
    application.initialize();
    application.set_title("ARVELON IMU");
    Form1 = std::make_unique<TForm1>();
    Form2 = std::make_unique<TForm2>();
    Form3 = std::make_unique<TForm3>();
    Form1->show();
    SetForegroundWindow(Form1->handle());
    application.process_messages();
    TargetFolder = ApplicationFolder;
    if (Form1->RunDriverGuide()) {
        Form1->PageControl1.set_active_page_index(2);
        application.process_messages();
        application.run();
    }
    Form3.reset();
    Form2.reset();
    Form1.reset();
    return 0;
}
