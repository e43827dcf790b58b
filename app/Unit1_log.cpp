// The progress log on page 1.
#include "app/Unit1.h"

void TForm1::AddLogLine(const std::string& text) { Memo1.add_line(text); }
