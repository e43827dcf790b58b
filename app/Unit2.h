// The folder-name dialog: asks for the name of a new folder or the new name
// of a folder, and turns away a name that exists already or cannot be a
// folder's name.
#pragma once

#include <memory>
#include <string>

#include "platform/win/controls.h"

using platform::win::Object;

class TForm2 : public platform::win::Form {
public:
    TForm2();

    platform::win::Label Label1;  // the prompt
    platform::win::Label Label2;  // the folder concerned
    platform::win::Edit Edit1;  // the name
    platform::win::Button Button1;
    platform::win::Button Button2;

    // Readies the dialog for one question: the prompt, the folder concerned,
    // an empty name field, and the folder in which an entered name must not
    // exist yet (DialogBaseFolder).
    void Prepare(const std::string& prompt, const std::string& folder, const std::string& base_folder);
    // Centred over the main window with the name field focused; 1 when the
    // name was accepted, -1 when cancelled or closed.
    [[nodiscard]] int ShowModal();

    void Button1Click(Object& Sender);
    void Button2Click(Object& Sender);
    // Return in the name field acts as OK.
    void Edit1KeyDown(Object& Sender, unsigned short& Key);
};

extern std::unique_ptr<TForm2> Form2;
