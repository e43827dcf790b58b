// The memo's list of lines, the progress bar, modal dialogs and errors in
// notifications, on the installer's own windows.
#include "app/app_fixture.h"

namespace {

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
    EXPECT_EQ(view.lines().at(1), "second line");
    EXPECT_EQ(view.lines().at(3), "after");
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
