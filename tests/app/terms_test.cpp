// The terms of use: the first start, unlocking by reading to the end, the
// acknowledgement in the registry, and the locked tabs.
#include "app_fixture.h"

namespace {

struct StoredValue {
    DWORD type = REG_NONE;
    DWORD size = 0;
    DWORD value = 0;
};

StoredValue ReadStoredTerms()
{
    StoredValue stored;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RegistryKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return stored;
    stored.size = sizeof(stored.value);
    if (RegQueryValueExA(key, "imuterms", nullptr, &stored.type, reinterpret_cast<BYTE*>(&stored.value),
                         &stored.size) != ERROR_SUCCESS)
        stored = {};
    RegCloseKey(key);
    return stored;
}

using TermsTest = AppTest;

TEST_F(TermsTest, FirstStartWithoutKeyShowsTermsPageWithButtonDisabled)
{
    Start();
    EXPECT_FALSE(TermsAccepted);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 0);
    EXPECT_TRUE(Form1->Button5.visible());
    EXPECT_FALSE(Form1->Button5.enabled());
    EXPECT_TRUE(messages.empty());
}

TEST_F(TermsTest, TermsTextHas84LinesAndNeedsScrolling)
{
    Start();
    EXPECT_EQ(Form1->Memo3.line_count(), 84);
    EXPECT_EQ(Form1->Memo3.lines().at(0), "ARVELON - TERMS OF USE");
    EXPECT_LT(Form1->VisibleLineCount(Form1->Memo3), 84);
    EXPECT_GT(Form1->VisibleLineCount(Form1->Memo3), 10);
}

TEST_F(TermsTest, ButtonStaysDisabledUntilTheLastLineIsInView)
{
    Start();
    SendMessageA(Form1->Memo3.handle(), EM_LINESCROLL, 0, 20);
    PumpFor(1300);
    EXPECT_FALSE(Form1->Button5.enabled());
    EXPECT_TRUE(Form1->Timer1.enabled());
}

TEST_F(TermsTest, ScrollingToTheLastLineEnablesButtonWithinASecond)
{
    Start();
    PumpFor(1100);
    ASSERT_FALSE(Form1->Button5.enabled());
    SendMessageA(Form1->Memo3.handle(), WM_VSCROLL, SB_BOTTOM, 0);
    const DWORD scrolled = GetTickCount();
    ASSERT_TRUE(WaitUntil(
        "the acknowledge button enabled", [] { return Form1->Button5.enabled(); }, 2000));
    // One timer period, with some room for a busy machine.
    EXPECT_LE(GetTickCount() - scrolled, 1500u);
    EXPECT_FALSE(Form1->Timer1.enabled()) << "the timer stops for good";
}

TEST_F(TermsTest, ShortTermsTextEnablesButtonAtFirstTick)
{
    Start();
    const DWORD started = GetTickCount();
    Form1->Memo3.set_text("Short terms.\r\nAll of them fit.\r\n");
    ASSERT_TRUE(WaitUntil(
        "the acknowledge button enabled", [] { return Form1->Button5.enabled(); }, 2000));
    EXPECT_LE(GetTickCount() - started, 1500u);
}

TEST_F(TermsTest, TickCountsLinesShownAgainstLinesHeld)
{
    Start();
    const int visible = Form1->VisibleLineCount(Form1->Memo3);
    std::string text;
    for (int i = 0; i < visible + 1; ++i) text += "line\r\n";
    Form1->Memo3.set_text(text);
    Form1->Timer1Timer(Form1->Timer1);
    EXPECT_FALSE(Form1->Button5.enabled()) << "one line more than fits";

    text.clear();
    for (int i = 0; i < visible; ++i) text += "line\r\n";
    Form1->Memo3.set_text(text);
    Form1->Timer1Timer(Form1->Timer1);
    EXPECT_TRUE(Form1->Button5.enabled()) << "exactly as many lines as fit";
}

TEST_F(TermsTest, AcknowledgingStoresImutermsAsIntegerOneAndShowsPage1)
{
    Start();
    Form1->Button5.set_enabled(true);
    Form1->Button5.click();
    Pump();
    const StoredValue stored = ReadStoredTerms();
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored.size, 4u);
    EXPECT_EQ(stored.value, 1u);
    EXPECT_TRUE(TermsAccepted);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(TermsTest, NextStartAfterAcknowledgingOpensOnPage1WithButtonHidden)
{
    Start();
    SendMessageA(Form1->Memo3.handle(), WM_VSCROLL, SB_BOTTOM, 0);
    ASSERT_TRUE(WaitUntil(
        "the acknowledge button enabled", [] { return Form1->Button5.enabled(); }, 2000));
    Form1->Button5.click();
    Form3.reset();
    Form2.reset();
    Form1.reset();
    TermsAccepted = false;

    Start();
    EXPECT_TRUE(TermsAccepted);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 1);
    EXPECT_FALSE(Form1->Button5.visible());
}

TEST_F(TermsTest, ImutermsAsStringCountsAsNotAcknowledged)
{
    const char text[] = "1";
    SetTermsValue(REG_SZ, text, sizeof(text));
    Start();
    EXPECT_FALSE(TermsAccepted);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 0);
    EXPECT_TRUE(messages.empty()) << "an unreadable value shows nothing";
}

TEST_F(TermsTest, ImutermsAsLongStringCountsAsNotAcknowledged)
{
    const char text[] = "acknowledged";
    SetTermsValue(REG_SZ, text, sizeof(text));
    Start();
    EXPECT_FALSE(TermsAccepted);
    EXPECT_TRUE(messages.empty());
}

TEST_F(TermsTest, ImutermsAsZeroCountsAsNotAcknowledged)
{
    SetTermsAcknowledged(0);
    Start();
    EXPECT_FALSE(TermsAccepted);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 0);
    EXPECT_TRUE(Form1->Button5.visible());
}

TEST_F(TermsTest, ImutermsAsFourBinaryBytesCountsAsNotAcknowledged)
{
    const BYTE bytes[4] = {1, 0, 0, 0};
    SetTermsValue(REG_BINARY, bytes, sizeof(bytes));
    Start();
    EXPECT_FALSE(TermsAccepted);
}

TEST_F(TermsTest, TabClickIsRefusedWhileNotAcknowledged)
{
    Start();
    ClickTab(1);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 0);
    ClickTab(3);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 0);
    EXPECT_TRUE(IsWindowVisible(Form1->TabSheet3.handle()));
    EXPECT_FALSE(IsWindowVisible(Form1->TabSheet1.handle()));
}

TEST_F(TermsTest, TabClickIsAllowedAfterAcknowledging)
{
    Start();
    Form1->Button5.set_enabled(true);
    Form1->Button5.click();
    ClickTab(2);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 2);
    EXPECT_TRUE(IsWindowVisible(Form1->TabSheet2.handle()));
    EXPECT_FALSE(IsWindowVisible(Form1->TabSheet1.handle()));
    ClickTab(0);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 0);
    EXPECT_TRUE(Form1->Button5.visible()) << "Button5 stays on page 0 for the rest of the process";
    EXPECT_TRUE(Form1->Button5.enabled());
}

TEST_F(TermsTest, TabsAreFreeOnAStartWithTheTermsAcknowledged)
{
    SetTermsAcknowledged(1);
    Start();
    ClickTab(3);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 3);
}

TEST_F(TermsTest, AcknowledgingAgainRepeatsTheSteps)
{
    Start();
    Form1->Button5.set_enabled(true);
    Form1->Button5.click();
    ClickTab(0);
    SetTermsAcknowledged(0);
    Form1->Button5.click();
    EXPECT_EQ(ReadStoredTerms().value, 1u);
    EXPECT_EQ(Form1->PageControl1.active_page_index(), 1);
}

}  // namespace
