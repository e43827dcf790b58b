#include "app/Unit2.h"

#include "app/Unit1.h"
#include "platform/files.h"
#include "platform/win/application.h"

using platform::win::message_box;

std::unique_ptr<TForm2> Form2;

TForm2::TForm2()
{
    create_dialog("New or rename folder", 319, 126);
    set_font("Segoe UI", 12);
    set_background(DialogGrey);

    Label1.create(*this, "Please enter a subfolder name for", 15, 10, 291, 20);
    Label1.set_font("Segoe UI", 13);
    Label1.set_colors(CreamText, DialogGrey);
    Label2.create(*this, "", 15, 32, 291, 25);
    Label2.set_font("Segoe UI", 13);
    Label2.set_colors(YellowText, DialogGrey);

    Edit1.create(*this, 15, 55, 291, 21);
    Edit1.OnKeyDown = [this](Object& Sender, unsigned short& Key) { Edit1KeyDown(Sender, Key); };

    Button1.create(*this, "OK", 79, 90, 75, 25);
    Button1.OnClick = [this](Object& Sender) { Button1Click(Sender); };
    Button2.create(*this, "Cancel", 169, 90, 75, 25);
    Button2.OnClick = [this](Object& Sender) { Button2Click(Sender); };

    set_active_control(&Edit1);
}

void TForm2::Prepare(const std::string& prompt, const std::string& folder, const std::string& base_folder)
{
    Label1.set_text(prompt);
    Edit1.set_text("");
    Label2.set_text(folder);
    DialogBaseFolder = base_folder;
}

// The close box ends the modal loop with the platform's cancel value, and a
// closing program with none: both count as Cancel, the one result at which
// the callers stop.
int TForm2::ShowModal() { return show_modal() == 1 ? 1 : -1; }

void TForm2::Button1Click(Object&)
{
    const std::string name = Edit1.text();
    if (name.empty())
        return;
    // Before any "New" there is no base folder, and the name is looked for
    // with a separator before it, as the check has always done.
    const std::string base = DialogBaseFolder.empty() ? "\\" : WithTrailingBackslash(DialogBaseFolder);
    if (platform::directory_exists(base + name)) {
        message_box("Folder exists already.", AppCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    if (!IsLegalFolderName(name)) {
        message_box("Illegal character in folder name.", AppCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    set_modal_result(1);
}

void TForm2::Button2Click(Object&) { set_modal_result(-1); }

void TForm2::Edit1KeyDown(Object& Sender, unsigned short& Key)
{
    if (Key == VK_RETURN)
        Button1Click(Sender);
}
