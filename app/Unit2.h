// The folder-name dialog; an empty, hidden window for now.
#pragma once

#include <memory>

#include "platform/win/controls.h"

class TForm2 : public platform::win::Form {
public:
    TForm2();
};

extern std::unique_ptr<TForm2> Form2;
