// The main window's construction and layout, its creation handler, the log,
// and the shared state of the module with the two flags behind WaitForButton.
#include "app/Unit1.h"

#include "platform/win/application.h"
#include "platform/win/registry.h"
#include "settings.h"

using platform::win::application;
using platform::win::decode_picture;
using platform::win::load_resource_data;
using platform::win::Memo;

bool ButtonPressed = false;
bool CloseRequested = false;
bool TermsAccepted = false;
std::string ApplicationFolder;
std::string TargetFolder;
HWND DecoderWindow = nullptr;
HWND ZadigWindow = nullptr;
int FolderLineIndex = 0;

std::unique_ptr<TForm1> Form1;

// The two flags behind WaitForButton: a press of YES, OK or "Confirm Windows
// version", and the close of the main window.
void TForm1::Button2Click(Object&) { ButtonPressed = true; }

void TForm1::FormClose(Object&) { CloseRequested = true; }

TForm1::TForm1()
{
    DownloadServer = IMU_DOWNLOAD_SERVER;
    ManualsServer = IMU_MANUALS_SERVER;
    ZadigSha256 = IMU_ZADIG_SHA256;
    ZadigXpSha256 = IMU_ZADIG_XP_SHA256;
    DriversSha256 = IMU_DRIVERS_SHA256;
    create_form("ARVELON - IMU Installer and maintenance utility", 726, 460);
    set_font("Segoe UI", 12);

    PageControl1.create(*this, 0, 0, 726, 460);
    PageControl1.add_page(TabSheet3, "Terms of use");
    PageControl1.add_page(TabSheet1, "Install and Update");
    PageControl1.add_page(TabSheet2, "Release notes");
    PageControl1.add_page(TabSheet4, "Internet");
    PageControl1.OnChanging = [this](Object& Sender, bool& AllowChange) { PageControl1Changing(Sender, AllowChange); };

    CreatePageTerms();
    CreatePageInstall();
    CreatePageReleaseNotes();
    CreatePageInternet();

    OnClose = [this](Object& Sender) { FormClose(Sender); };
    OnMove = [this](Object& Sender) { WMMove(Sender); };

    Timer1.set_interval(1000);
    Timer1.OnTimer = [this](Object& Sender) { Timer1Timer(Sender); };
    Timer1.set_enabled(true);

    FormCreate(*this);
}

TForm1::~TForm1() = default;

void TForm1::CreatePageTerms()
{
    Memo3.create(TabSheet3, 0, 0, 100, 100,
                 Memo::Options{.read_only = true, .vertical_scroll_bar = true, .word_wrap = false});
    Memo3.fill_parent();
    Memo3.set_font("Segoe UI", 13);
    Memo3.set_colors(GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW));
    Memo3.set_text(TermsText());

    Button5.create(TabSheet3, "Acknowledge and continue", 490, 375, 200, 35);
    Button5.set_enabled(false);
    Button5.OnClick = [this](Object& Sender) { Button5Click(Sender); };
}

void TForm1::CreatePageInstall()
{
    // Drawn controls, below every windowed control of the page.
    Image5.create(TabSheet1, 0, -44, 723, 440);
    Image5.set_stretch(true);
    Image5.set_picture(decode_picture(load_resource_data("BACKGROUND")));

    SpeedButton1.create(TabSheet1, 520, 30, 161, 80);
    SpeedButton1.set_caption("New Install");
    SpeedButton1.set_font("Tahoma", 21);
    SpeedButton2.create(TabSheet1, 520, 125, 161, 80);
    SpeedButton2.set_caption("Update");
    SpeedButton2.set_font("Tahoma", 21);
    SpeedButton1.OnClick = [this](Object& Sender) { Button1Click(Sender); };
    SpeedButton2.OnClick = [this](Object& Sender) { Button1Click(Sender); };

    // The folder browser's buttons stand in one row under the tree: desktop,
    // computer, parent folder, application folder.
    struct GlyphButton {
        platform::win::SpeedButton& button;
        int left;
        const char* glyph;
        const char* hint;
    };
    for (const GlyphButton& each :
         {GlyphButton{SpeedButton4, 605, "GLYPH_PARENT", "Go to parent folder"},
          GlyphButton{button2, 485, "GLYPH_DESKTOP", "Go to Desktop folder"},
          GlyphButton{button4, 545, "GLYPH_COMPUTER", "Go to MyComputer folder"},
          GlyphButton{SpeedButton5, 665, "GLYPH_APPFOLDER", "Return to application folder"}}) {
        each.button.create(TabSheet1, each.left, 350, 55, 36);
        each.button.set_flat(true);
        each.button.set_glyph(decode_picture(load_resource_data(each.glyph)));
        each.button.set_hint(each.hint);
    }
    button2.OnClick = [this](Object& Sender) { Button3Click(Sender); };
    button4.OnClick = [this](Object& Sender) { Button4Click(Sender); };
    SpeedButton4.OnClick = [this](Object& Sender) { SpeedButton4Click(Sender); };
    SpeedButton5.OnClick = [this](Object& Sender) { SpeedButton5Click(Sender); };

    struct GuidePicture {
        platform::win::Image& image;
        const char* picture;
    };
    for (const GuidePicture& each : {GuidePicture{Image2, "ZADIG_OPTIONS"}, GuidePicture{Image3, "ZADIG_DEVICES"},
                                     GuidePicture{Image4, "ZADIG_USBID"}, GuidePicture{Image1, "ZADIG_INSTALL"}}) {
        each.image.create(TabSheet1, 10, 130, 575, 249);
        each.image.set_stretch(true);
        each.image.set_picture(decode_picture(load_resource_data(each.picture)));
        each.image.hide();
        each.image.OnClick = [this](Object& Sender) { Image1Click(Sender); };
    }

    // Windowed controls, each above the ones before it.
    Memo1.create(TabSheet1, 5, 5, 476, 386, Memo::Options{.read_only = true, .vertical_scroll_bar = true});
    Memo1.set_font("Lucida Console", 13);
    Memo1.set_colors(CreamText, LogBackground);

    stvw1.create(TabSheet1, 485, 30, 236, 311);
    stvw1.set_hint("Right click for NEW FOLDER and RENAME");
    // Rooted before the handler is connected: the log has no folder line yet.
    stvw1.set_root(platform::win::ShellTreeView::Root::desktop);
    stvw1.OnChange = [this](Object& Sender) { stvw1Change(Sender); };
    PopupMenu1.add_item(New1, "New");
    PopupMenu1.add_item(Rename1, "Rename");
    New1.OnClick = [this](Object& Sender) { New1Click(Sender); };
    Rename1.OnClick = [this](Object& Sender) { Rename1Click(Sender); };
    stvw1.set_popup_menu(&PopupMenu1);

    ComboBox1.create(TabSheet1, 20, 235, 181);
    ComboBox1.add_item("Windows XP");
    ComboBox1.add_item("Windows Vista, 7, 8");
    ComboBox1.set_item_index(1);
    ComboBox1.hide();

    speedbutton3.create(TabSheet1, "Confirm Windows version", 220, 235, 171, 46);
    speedbutton3.OnClick = [this](Object& Sender) { Button2Click(Sender); };
    speedbutton3.hide();

    ShellComboBox1.create(TabSheet1, 485, 5, 236);
    ShellComboBox1.OnChange = [this](Object& Sender) { ShellComboBox1Change(Sender); };

    Button3.create(TabSheet1, "OK", 20, 105, 101, 36);
    Button3.OnClick = [this](Object& Sender) { Button2Click(Sender); };
    // The browser is shown only during the run's folder step.
    SetFolderBrowserVisible(false);

    Memo2.create(TabSheet1, 5, 5, 701, 116, Memo::Options{});
    Memo2.set_font("Lucida Console", 13);
    Memo2.set_colors(CreamText, LogBackground);
    Memo2.hide();

    Button1.create(TabSheet1, "YES", 10, 85, 96, 31);
    Button1.OnClick = [this](Object& Sender) { Button2Click(Sender); };
    Button1.hide();

    ProgressBar1.create(TabSheet1, 5, 400, 716, 26);
    ProgressBar1.hide();
}

void TForm1::CreatePageReleaseNotes()
{
    memo4.create(TabSheet2, 0, 0, 100, 100, Memo::Options{.read_only = true, .vertical_scroll_bar = true});
    memo4.fill_parent();
}

void TForm1::CreatePageInternet()
{
    Image6.create(TabSheet4, 0, 0, 726, 440);
    Image6.set_stretch(true);
    Image6.set_picture(decode_picture(load_resource_data("INTERNET")));

    struct Link {
        platform::win::SpeedButton& button;
        const char* caption;
        int top;
        int height;
    };
    for (const Link& each : {Link{SpeedButton6, IMU_PRODUCT_CAPTION, 70, 121},
                             Link{SpeedButton8, IMU_MAKER_CAPTION, 210, 51}, Link{SpeedButton9, "", 280, 51}}) {
        each.button.create(TabSheet4, 90, each.top, 531, each.height);
        each.button.set_flat(true);
        each.button.set_caption(each.caption);
        each.button.set_font("Segoe UI", 24);
        each.button.set_text_color(RGB(0, 0, 0));
        each.button.OnClick = [this](Object& Sender) { SpeedButton6Click(Sender); };
    }
    SpeedButton9.set_glyph(decode_picture(load_resource_data("GROUP_LINK")));

    ListBox1.create(TabSheet4, 0, 0, 100, 100, true);
    ListBox1.hide();
    Memo5.create(TabSheet4, 0, 0, 100, 100, Memo::Options{.word_wrap = false});
    Memo5.hide();
}

void TForm1::AddLogLine(const std::string& text) { Memo1.add_line(text); }

void TForm1::FormCreate(Object&)
{
    // A folder the ANSI code page cannot name can be neither shown nor
    // installed into: the folder step starts at the computer instead.
    const std::optional<std::string> exe = application().exe_name();
    ApplicationFolder = exe ? exe->substr(0, exe->find_last_of('\\') + 1) : "rfMyComputer";

    AddLogLine("");
    AddLogLine("Welcome to the ARVELON installer.");
    AddLogLine("=================================");
    AddLogLine("");
    AddLogLine("Please follow the instructions.");
    AddLogLine("");
    AddLogLine("Now select NEW INSTALL for a clean setup  or UPDATE if you run ARVELON already and want to install "
               "the latest release.");
    AddLogLine("");
    AddLogLine("");

    TermsAccepted = ReadTermsAccepted();

    if (TermsAccepted) {
        PageControl1.set_active_page_index(1);
        Button5.hide();
    } else {
        PageControl1.set_active_page_index(0);
        Button5.show();
    }
}
