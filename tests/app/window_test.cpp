// The main window as built: pages, layout, fonts and colours, which controls
// show at start, the log, the top-level error handler and high-DPI scaling.
#include "app_fixture.h"

#include <stdexcept>

namespace {

using WindowTest = AppTest;
using platform::win::application;

RECT ClientOf(HWND window)
{
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

void ExpectBounds(const RECT& bounds, int left, int top, int width, int height)
{
    EXPECT_EQ(bounds.left, left);
    EXPECT_EQ(bounds.top, top);
    EXPECT_EQ(bounds.right - bounds.left, width);
    EXPECT_EQ(bounds.bottom - bounds.top, height);
}

LOGFONTA FontOf(HFONT font)
{
    LOGFONTA description{};
    GetObjectA(font, sizeof(description), &description);
    return description;
}

std::string TabCaption(int index)
{
    char text[64] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(Form1->PageControl1.handle(), TCM_GETITEMA, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
    return text;
}

TEST_F(WindowTest, ProgramStartCreatesThreeWindowsAndOnlyTheMainOneShows)
{
    Start();
    EXPECT_EQ(application().main_window(), Form1->handle());
    EXPECT_TRUE(IsWindowVisible(Form1->handle()));
    EXPECT_FALSE(IsWindowVisible(Form2->handle()));
    EXPECT_FALSE(IsWindowVisible(Form3->handle()));
    EXPECT_EQ(Form3->text(), "Form3");
    EXPECT_EQ(Form1->text(), "ARVELON - IMU Installer and maintenance utility");
}

TEST_F(WindowTest, TaskBarButtonCarriesTheApplicationTitle)
{
    Start();
    const HWND button = application().window();
    ASSERT_NE(button, nullptr);
    char title[64] = {};
    GetWindowTextA(button, title, sizeof(title));
    EXPECT_STREQ(title, "ARVELON IMU");
    EXPECT_TRUE(IsWindowVisible(button)) << "shown with the main window";
    EXPECT_EQ(GetWindow(Form1->handle(), GW_OWNER), button) << "the main window has no button of its own";
    SendMessageA(Form1->handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(button));
}

TEST_F(WindowTest, MinimisingTheMainWindowMinimisesTheApplication)
{
    Start();
    SendMessageA(Form1->handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Pump();
    EXPECT_TRUE(IsIconic(application().window()));
    EXPECT_FALSE(IsWindowVisible(Form1->handle()));
    ShowWindow(application().window(), SW_RESTORE);
    Pump();
    EXPECT_TRUE(IsWindowVisible(Form1->handle()));
    EXPECT_TRUE(IsWindowVisible(application().window()));
}

TEST_F(WindowTest, MainWindowHasAFixedBorderAndA726By460ClientArea)
{
    Start();
    ExpectBounds(ClientOf(Form1->handle()), 0, 0, 726, 460);
    const auto style = GetWindowLongPtrA(Form1->handle(), GWL_STYLE);
    EXPECT_EQ(style & WS_THICKFRAME, 0) << "the user cannot resize it";
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_NE(style & WS_CAPTION, 0);
    EXPECT_STREQ(FontOf(Form1->font()).lfFaceName, "Segoe UI");
    ExpectBounds(Form1->PageControl1.bounds(), 0, 0, 726, 460);
}

TEST_F(WindowTest, MainWindowIsCentredOnThePrimaryScreen)
{
    Start();
    RECT frame{};
    GetWindowRect(Form1->handle(), &frame);
    const int screen_width = GetSystemMetrics(SM_CXSCREEN);
    const int screen_height = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_LE(std::abs(frame.left + frame.right - screen_width), 1);
    EXPECT_LE(std::abs(frame.top + frame.bottom - screen_height), 1);
}

TEST_F(WindowTest, FourPagesWithTheirTabCaptionsInOrder)
{
    Start();
    ASSERT_EQ(Form1->PageControl1.page_count(), 4);
    EXPECT_EQ(TabCaption(0), "Terms of use");
    EXPECT_EQ(TabCaption(1), "Install and Update");
    EXPECT_EQ(TabCaption(2), "Release notes");
    EXPECT_EQ(TabCaption(3), "Internet");
    EXPECT_EQ(&Form1->PageControl1.page(0), &Form1->TabSheet3);
    EXPECT_EQ(&Form1->PageControl1.page(1), &Form1->TabSheet1);
    EXPECT_EQ(&Form1->PageControl1.page(2), &Form1->TabSheet2);
    EXPECT_EQ(&Form1->PageControl1.page(3), &Form1->TabSheet4);
}

TEST_F(WindowTest, TermsPageHoldsAReadOnlyMemoAndTheAcknowledgeButton)
{
    Start();
    const auto style = GetWindowLongPtrA(Form1->Memo3.handle(), GWL_STYLE);
    EXPECT_NE(style & ES_READONLY, 0);
    EXPECT_NE(style & WS_VSCROLL, 0);
    EXPECT_NE(style & ES_AUTOHSCROLL, 0) << "no word wrap";
    const LOGFONTA font = FontOf(Form1->Memo3.font());
    EXPECT_STREQ(font.lfFaceName, "Segoe UI");
    EXPECT_EQ(font.lfHeight, -13);
    EXPECT_EQ(Form1->Button5.text(), "Acknowledge and continue");
    ExpectBounds(Form1->Button5.bounds(), 490, 375, 200, 35);
    ExpectBounds(Form1->Memo3.bounds(), 0, 0, ClientOf(Form1->TabSheet3.handle()).right,
                 ClientOf(Form1->TabSheet3.handle()).bottom);
    EXPECT_EQ(GetWindow(Form1->Memo3.handle(), GW_HWNDPREV), Form1->Button5.handle())
        << "the button lies over the memo";
}

TEST_F(WindowTest, Page1ShowsOnlyBackgroundStartButtonsAndLogAtStart)
{
    SetTermsAcknowledged(1);
    Start();
    EXPECT_TRUE(Form1->Image5.visible());
    EXPECT_TRUE(Form1->SpeedButton1.visible());
    EXPECT_TRUE(Form1->SpeedButton2.visible());
    EXPECT_TRUE(Form1->Memo1.visible());
    const std::vector<const platform::win::GraphicControl*> hidden_drawn = {
        &Form1->SpeedButton4, &Form1->button2, &Form1->button4, &Form1->SpeedButton5,
        &Form1->Image2,       &Form1->Image3,  &Form1->Image4,  &Form1->Image1};
    for (const auto* hidden : hidden_drawn) EXPECT_FALSE(hidden->visible());
    const std::vector<const platform::win::Control*> hidden_windowed = {
        &Form1->stvw1,   &Form1->ComboBox1, &Form1->speedbutton3, &Form1->ShellComboBox1,
        &Form1->Button3, &Form1->Memo2,     &Form1->Button1,      &Form1->ProgressBar1};
    for (const auto* hidden : hidden_windowed) EXPECT_FALSE(hidden->visible());
}

TEST_F(WindowTest, Page1ControlsStandWhereTheLayoutPutsThem)
{
    Start();
    ExpectBounds(Form1->Image5.bounds(), 0, -44, 723, 440);
    ExpectBounds(Form1->SpeedButton1.bounds(), 520, 30, 161, 80);
    ExpectBounds(Form1->SpeedButton2.bounds(), 520, 125, 161, 80);
    for (const platform::win::Image* guide : {&Form1->Image2, &Form1->Image3, &Form1->Image4, &Form1->Image1})
        ExpectBounds(guide->bounds(), 10, 130, 575, 249);
    ExpectBounds(Form1->Memo1.bounds(), 5, 5, 476, 386);
    ExpectBounds(Form1->stvw1.bounds(), 485, 30, 236, 311);
    EXPECT_EQ(Form1->ComboBox1.bounds().left, 20);
    EXPECT_EQ(Form1->ComboBox1.bounds().top, 235);
    EXPECT_EQ(Form1->ComboBox1.bounds().right - Form1->ComboBox1.bounds().left, 181);
    ExpectBounds(Form1->speedbutton3.bounds(), 220, 235, 171, 46);
    EXPECT_EQ(Form1->ShellComboBox1.bounds().left, 485);
    EXPECT_EQ(Form1->ShellComboBox1.bounds().top, 5);
    EXPECT_EQ(Form1->ShellComboBox1.bounds().right - Form1->ShellComboBox1.bounds().left, 236);
    ExpectBounds(Form1->Button3.bounds(), 20, 105, 101, 36);
    ExpectBounds(Form1->Memo2.bounds(), 5, 5, 701, 116);
    ExpectBounds(Form1->Button1.bounds(), 10, 85, 96, 31);
    ExpectBounds(Form1->ProgressBar1.bounds(), 5, 400, 716, 26);
    // The folder browser's buttons: one row at top 350, desktop to application folder.
    EXPECT_EQ(Form1->button2.bounds().top, 350);
    EXPECT_EQ(Form1->SpeedButton5.bounds().top, 350);
    EXPECT_LT(Form1->button2.bounds().left, Form1->button4.bounds().left);
    EXPECT_LT(Form1->button4.bounds().left, Form1->SpeedButton4.bounds().left);
    EXPECT_LT(Form1->SpeedButton4.bounds().left, Form1->SpeedButton5.bounds().left);
}

TEST_F(WindowTest, Page1ControlsCarryTheirTextsAndSettings)
{
    Start();
    EXPECT_EQ(Form1->SpeedButton1.caption(), "New Install");
    EXPECT_EQ(Form1->SpeedButton2.caption(), "Update");
    EXPECT_EQ(Form1->speedbutton3.text(), "Confirm Windows version");
    EXPECT_EQ(Form1->Button3.text(), "OK");
    EXPECT_EQ(Form1->Button1.text(), "YES");
    ASSERT_EQ(Form1->ComboBox1.item_count(), 2);
    EXPECT_EQ(Form1->ComboBox1.item(0), "Windows XP");
    EXPECT_EQ(Form1->ComboBox1.item(1), "Windows Vista, 7, 8");
    EXPECT_EQ(Form1->ComboBox1.item_index(), 1);
    EXPECT_EQ(Form1->ProgressBar1.min(), 0);
    EXPECT_EQ(Form1->ProgressBar1.max(), 100);
    EXPECT_NE(GetWindowLongPtrA(Form1->Memo1.handle(), GWL_STYLE) & ES_READONLY, 0);
    EXPECT_NE(GetWindowLongPtrA(Form1->Memo1.handle(), GWL_STYLE) & WS_VSCROLL, 0);
}

TEST_F(WindowTest, LogAndGuideTextAreCreamOnDarkBlueInLucidaConsole)
{
    Start();
    for (platform::win::Memo* memo : {&Form1->Memo1, &Form1->Memo2}) {
        const LOGFONTA font = FontOf(memo->font());
        EXPECT_STREQ(font.lfFaceName, "Lucida Console");
        EXPECT_EQ(font.lfHeight, -13);
        const HDC dc = GetDC(memo->handle());
        const UINT message = memo == &Form1->Memo1 ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
        const auto brush =
            reinterpret_cast<HBRUSH>(SendMessageA(Form1->TabSheet1.handle(), message, reinterpret_cast<WPARAM>(dc),
                                                  reinterpret_cast<LPARAM>(memo->handle())));
        EXPECT_EQ(GetTextColor(dc), RGB(255, 251, 240));
        EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 64));
        LOGBRUSH fill{};
        GetObjectA(brush, sizeof(fill), &fill);
        EXPECT_EQ(fill.lbColor, RGB(0, 0, 64));
        ReleaseDC(memo->handle(), dc);
    }
}

TEST_F(WindowTest, LaterWindowedControlsLieAboveEarlierOnes)
{
    Start();
    const std::vector<HWND> expected_top_down = {
        Form1->ProgressBar1.handle(), Form1->Button1.handle(),        Form1->Memo2.handle(),
        Form1->Button3.handle(),      Form1->ShellComboBox1.handle(), Form1->speedbutton3.handle(),
        Form1->ComboBox1.handle(),    Form1->stvw1.handle(),          Form1->Memo1.handle()};
    std::vector<HWND> actual;
    for (HWND child = GetWindow(Form1->TabSheet1.handle(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        actual.push_back(child);
    EXPECT_EQ(actual, expected_top_down);
}

TEST_F(WindowTest, DrawnControlsLieBelowWindowedOnesInTheirOrder)
{
    SetTermsAcknowledged(1);
    Start();
    const auto& drawn = Form1->TabSheet1.graphics();
    ASSERT_EQ(drawn.size(), 11u);
    EXPECT_EQ(drawn.front(), &Form1->Image5) << "the background is drawn first";
    // A click where the log covers a guide picture reaches the log, not the picture.
    bool picture_clicked = false;
    Form1->Image1.OnClick = [&](Object&) { picture_clicked = true; };
    Form1->Image1.show();
    const POINT under_log{100, 200};
    EXPECT_EQ(ChildWindowFromPointEx(Form1->TabSheet1.handle(), under_log, CWP_SKIPINVISIBLE), Form1->Memo1.handle());
    Form1->Memo1.hide();
    ClickAt(Form1->TabSheet1.handle(), under_log);
    EXPECT_TRUE(picture_clicked) << "with the log hidden the picture gets the click";
}

TEST_F(WindowTest, ClickOnADrawnButtonRunsItsHandlerWithItselfAsSender)
{
    SetTermsAcknowledged(1);
    Start();
    Object* sender = nullptr;
    const auto handler = [&](Object& Sender) { sender = &Sender; };
    Form1->SpeedButton1.OnClick = handler;
    Form1->SpeedButton2.OnClick = handler;
    ClickAt(Form1->TabSheet1.handle(), POINT{600, 160});
    EXPECT_EQ(sender, &Form1->SpeedButton2);
    ClickAt(Form1->TabSheet1.handle(), POINT{600, 70});
    EXPECT_EQ(sender, &Form1->SpeedButton1);
}

TEST_F(WindowTest, PicturesAreLoadedFromTheProgramsResources)
{
    Start();
    EXPECT_EQ(Form1->Image1.picture().width(), 575);
    EXPECT_EQ(Form1->Image1.picture().height(), 249);
    for (const platform::win::Image* image : {&Form1->Image5, &Form1->Image2, &Form1->Image3, &Form1->Image4})
        EXPECT_TRUE(static_cast<bool>(image->picture()));
}

TEST_F(WindowTest, WelcomeLinesAreExactlyTheseNine)
{
    Start();
    EXPECT_EQ(Form1->Memo1.text(),
              "\r\n"
              "Welcome to the ARVELON installer.\r\n"
              "=================================\r\n"
              "\r\n"
              "Please follow the instructions.\r\n"
              "\r\n"
              "Now select NEW INSTALL for a clean setup  or UPDATE if you run ARVELON already and want to install "
              "the latest release.\r\n"
              "\r\n"
              "\r\n");
}

TEST_F(WindowTest, AddLogLineAppendsALineAndAnEmptyTextAppendsABlankLine)
{
    Start();
    Form1->Memo1.clear();
    Form1->AddLogLine("first");
    Form1->AddLogLine("");
    Form1->AddLogLine("third");
    EXPECT_EQ(Form1->Memo1.text(), "first\r\n\r\nthird\r\n");
    EXPECT_EQ(Form1->Memo1.line_count(), 3);
    EXPECT_EQ(Form1->Memo1.lines().at(1), "");
}

TEST_F(WindowTest, ApplicationFolderIsTheProgramsFolderWithABackslash)
{
    Start();
    ASSERT_TRUE(application().exe_name());
    const std::string exe = *application().exe_name();
    ASSERT_FALSE(ApplicationFolder.empty());
    EXPECT_EQ(ApplicationFolder.back(), '\\');
    EXPECT_EQ(exe.substr(0, ApplicationFolder.size()), ApplicationFolder);
    EXPECT_EQ(exe.find('\\', ApplicationFolder.size()), std::string::npos);
}

TEST_F(WindowTest, ErrorEscapingAHandlerIsShownAndTheWindowStays)
{
    SetTermsAcknowledged(1);
    Start();
    Form1->Button3.OnClick = [](Object&) { throw std::runtime_error("Cannot create file C:\\x\\tmp\\arvelon.zip"); };
    Form1->Button3.show();
    Form1->Button3.click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Cannot create file C:\\x\\tmp\\arvelon.zip");
    EXPECT_EQ(messages[0].caption, "ARVELON IMU");
    EXPECT_EQ(messages[0].flags & MB_ICONMASK, static_cast<unsigned>(MB_ICONERROR));
    EXPECT_TRUE(IsWindowVisible(Form1->handle()));
    EXPECT_TRUE(Form1->Button3.visible());
    EXPECT_FALSE(application().terminated());
}

TEST_F(WindowTest, AtHigherDpiTheLayoutAndFontsScale)
{
    platform::win::set_screen_dpi_override(144);
    Start();
    ExpectBounds(ClientOf(Form1->handle()), 0, 0, 1089, 690);
    ExpectBounds(Form1->Button5.bounds(), 735, 563, 300, 53);
    ExpectBounds(Form1->Memo1.bounds(), 8, 8, 714, 579);
    ExpectBounds(Form1->SpeedButton1.bounds(), 780, 45, 242, 120);
    EXPECT_EQ(FontOf(Form1->Memo1.font()).lfHeight, -20);
    EXPECT_EQ(FontOf(Form1->Memo3.font()).lfHeight, -20);
}

}  // namespace
