// The two flags behind WaitForButton: a press of YES, OK or "Confirm Windows
// version", and the close of the main window.
#include "app/Unit1.h"

void TForm1::Button2Click(Object&) { ButtonPressed = true; }

void TForm1::FormClose(Object&) { CloseRequested = true; }
