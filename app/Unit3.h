// A window that is never shown; it carries the wait for the user's button.
#pragma once

#include <memory>

#include "platform/win/controls.h"

class TForm3 : public platform::win::Form {
public:
    TForm3();

    // Waits until YES, OK or "Confirm Windows version" is pressed; a press
    // made before the wait began does not count. False when the program is
    // closing: the caller then stops at once.
    [[nodiscard]] bool WaitForButton();
};

extern std::unique_ptr<TForm3> Form3;
