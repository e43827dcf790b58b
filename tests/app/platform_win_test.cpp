// The registry key and the memo's list of lines, below the windows.
#include "app_fixture.h"

namespace {

using platform::win::RegistryError;
using platform::win::RegistryKey;

constexpr char TestKey[] = "Software\\Melqary\\ARVELON-tests";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(RegistryKey::delete_current_user(TestKey)); }
    void TearDown() override { RegistryKey::delete_current_user(TestKey); }
};

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const RegistryError& error) {
        return error.what();
    }
    return "no error";
}

TEST_F(RegistryTest, OpeningCreatesAMissingKey)
{
    ASSERT_TRUE(RegistryKey::open_current_user(TestKey).has_value());
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, BooleanIsWrittenAsA32BitIntegerAndReadBack)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    key->write_bool("flag", true);
    EXPECT_TRUE(key->read_bool("flag"));
    EXPECT_EQ(key->read_integer("flag"), 1);
    key->write_bool("flag", false);
    EXPECT_FALSE(key->read_bool("flag"));
}

TEST_F(RegistryTest, MissingIntegerFailsToGetData)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(ErrorOf([&] { (void)key->read_bool("imuterms"); }), "Failed to get data for 'imuterms'");
}

TEST_F(RegistryTest, StringWhereAnIntegerIsExpectedIsAnInvalidDataType)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    key->write_string("imuterms", "1");
    EXPECT_EQ(ErrorOf([&] { (void)key->read_bool("imuterms"); }), "Invalid data type for 'imuterms'");
}

TEST_F(RegistryTest, IntegerWhereAStringIsExpectedIsAnInvalidDataType)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    key->write_integer("imudir", 5);
    EXPECT_EQ(ErrorOf([&] { (void)key->read_string("imudir"); }), "Invalid data type for 'imudir'");
}

TEST_F(RegistryTest, MissingStringReadsAsEmpty)
{
    auto key = RegistryKey::open_current_user(TestKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->read_string("imudir"), "");
    key->write_string("imudir", "C:\\ARVELON");
    EXPECT_EQ(key->read_string("imudir"), "C:\\ARVELON");
}

TEST_F(RegistryTest, WriteThroughAReadOnlyKeyFailsToSetData)
{
    ASSERT_TRUE(RegistryKey::open_current_user(TestKey));
    auto key = RegistryKey::open_current_user(TestKey, KEY_READ);
    ASSERT_TRUE(key);
    EXPECT_EQ(ErrorOf([&] { key->write_bool("imuterms", true); }), "Failed to set data for 'imuterms'");
}


TEST_F(RegistryTest, DeletingRemovesTheKeyWithSubkeysTwoDeepAndSparesItsSibling)
{
    const std::string sibling = std::string(TestKey) + "-sibling";
    for (const std::string& path : {std::string(TestKey) + "\\a\\b", std::string(TestKey) + "\\a\\c",
                                    std::string(TestKey) + "\\d", sibling}) {
        auto key = RegistryKey::open_current_user(path);
        ASSERT_TRUE(key);
        key->write_string("v", "x");
    }
    EXPECT_TRUE(RegistryKey::delete_current_user(TestKey));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TestKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, sibling.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(RegistryKey::delete_current_user(sibling));
    EXPECT_TRUE(RegistryKey::delete_current_user(TestKey)) << "a missing key counts as gone";
}
using MemoTest = AppTest;

TEST_F(MemoTest, LinesOfATextWithoutFinalLineBreak)
{
    Start();
    platform::win::Memo& memo = Form1->Memo2;
    memo.set_text("one\r\ntwo");
    EXPECT_EQ(memo.line_count(), 2);
    memo.add_line("three");
    EXPECT_EQ(memo.text(), "one\r\ntwo\r\nthree");
    EXPECT_EQ(memo.lines(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(MemoTest, ReplacingALineKeepsTheOthers)
{
    Start();
    platform::win::Memo& memo = Form1->Memo2;
    memo.clear();
    EXPECT_EQ(memo.line_count(), 0);
    EXPECT_EQ(memo.add_line("a"), 0);
    EXPECT_EQ(memo.add_line("b"), 1);
    memo.add_line("c");
    memo.set_line(1, "C:\\chosen\\folder");
    memo.set_line(7, "ignored");
    EXPECT_EQ(memo.text(), "a\r\nC:\\chosen\\folder\r\nc\r\n");
}

TEST_F(MemoTest, LinesCountWhatWasWrittenNotTheRowsShown)
{
    Start();
    platform::win::Memo& memo = Form1->Memo1;
    memo.clear();
    const std::string long_path = "C:\\" + std::string(200, 'x') + "\\folder";
    memo.add_line("before");
    EXPECT_EQ(memo.add_line(long_path), 1);
    EXPECT_EQ(memo.add_line("after"), 2);
    memo.set_line(1, long_path + "\\deeper");
    EXPECT_EQ(memo.lines(), (std::vector<std::string>{"before", long_path + "\\deeper", "after"}));
}

TEST_F(MemoTest, RichEditKeepsPlainTextLines)
{
    Start();
    platform::win::RichEdit& view = Form1->memo4;
    EXPECT_EQ(view.line_count(), 0);
    view.set_text("1_notes\r\nsecond line\r\n");
    EXPECT_EQ(view.line_count(), 2);
    EXPECT_EQ(view.add_line(""), 2);
    EXPECT_EQ(view.add_line("after"), 3);
    EXPECT_EQ(view.line(1), "second line");
    EXPECT_EQ(view.line(3), "after");
    EXPECT_NE(GetWindowLongPtrA(view.handle(), GWL_STYLE) & ES_READONLY, 0);
}

TEST_F(MemoTest, ProgressBarKeepsItsMaximumAndPosition)
{
    Start();
    Form1->ProgressBar1.set_max(123456);
    Form1->ProgressBar1.set_position(0);
    EXPECT_EQ(Form1->ProgressBar1.max(), 123456);
    Form1->ProgressBar1.set_position(65536);
    EXPECT_EQ(Form1->ProgressBar1.position(), 65536);
}

using ModalTest = AppTest;

TEST_F(ModalTest, ModalDialogReturnsTheResultAHandlerSets)
{
    SetTermsAcknowledged(1);
    Start();
    Later accept(300, [] { Form2->set_modal_result(1); });
    EXPECT_EQ(Form2->show_modal(), 1);
    EXPECT_FALSE(IsWindowVisible(Form2->handle()));
    EXPECT_TRUE(IsWindowEnabled(Form1->handle())) << "the main window is usable again";
}

TEST_F(ModalTest, MainWindowIsDisabledWhileTheDialogIsOpen)
{
    Start();
    bool main_enabled = true;
    Later look(300, [&] {
        main_enabled = IsWindowEnabled(Form1->handle()) != FALSE;
        Form2->set_modal_result(-1);
    });
    EXPECT_EQ(Form2->show_modal(), -1);
    EXPECT_FALSE(main_enabled);
}

TEST_F(ModalTest, ClosingTheDialogEndsItWithCancel)
{
    Start();
    Later close(300, [] { PostMessageA(Form2->handle(), WM_CLOSE, 0, 0); });
    EXPECT_EQ(Form2->show_modal(), IDCANCEL);
    EXPECT_FALSE(platform::win::application().terminated()) << "only the main window ends the program";
}

// A folder tree whose expansion reaches a shell call that throws.
class ThrowingTree : public platform::win::TreeView {
public:
    LRESULT handle_notify(NMHDR& header) override
    {
        if (header.code == TVN_ITEMEXPANDINGA || header.code == TVN_ITEMEXPANDINGW)
            throw std::runtime_error("The shell cannot list this folder");
        return TreeView::handle_notify(header);
    }
};

TEST_F(ModalTest, AnErrorInANotificationIsShownAndTheProgramGoesOn)
{
    Start();
    ThrowingTree tree;
    tree.create(Form1->TabSheet1, 0, 0, 100, 100);
    TVINSERTSTRUCTA entry{};
    entry.item.mask = TVIF_CHILDREN;
    entry.item.cChildren = 1;
    TreeView_Expand(tree.handle(), TreeView_InsertItem(tree.handle(), &entry), TVE_EXPAND);
    Pump();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "The shell cannot list this folder");
    EXPECT_EQ(messages[0].flags, static_cast<unsigned>(MB_OK | MB_ICONERROR));
}

}  // namespace
