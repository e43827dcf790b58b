#include "app/Unit2.h"

std::unique_ptr<TForm2> Form2;

TForm2::TForm2() { create_dialog("New or rename folder", 319, 126); }
