// Unpacking, the moves, the target folder test and the release notes, with the
// real window under Wine and archives built by the tests.
#include "tests/app/app_fixture.h"
#include "tests/platform/temp_folder.h"
#include "tests/zip/zip_test_support.h"

#include "platform/files.h"
#include "zip/ziptypes.h"

#include <filesystem>
#include <stdexcept>

namespace {

using imu_test::read_whole_file;
using imu_test::TempFolder;
using Lines = std::vector<std::string>;

class Files : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        Start();
        Form1->Memo1.clear();
    }
    TempFolder temp;
};

TEST(ShellFileList, SeparatesEntriesWithNulAndEndsWithTwo)
{
    EXPECT_EQ(ToShellFileList("C:\\tmp\\*.txt"), std::string("C:\\tmp\\*.txt\0\0", 14));
    EXPECT_EQ(ToShellFileList("a;b;c"), std::string("a\0b\0c\0\0", 7));
    EXPECT_EQ(ToShellFileList(""), std::string(2, '\0'));
}

TEST_F(Files, UnzipArchiveLogsWhatBecameOfTheArchive)
{
    const std::string folder = temp.file("tmp");
    std::filesystem::create_directory(folder);

    // No file: only the empty line, and nothing counts as failed.
    EXPECT_TRUE(Form1->UnzipArchive(temp.file("missing.zip"), folder));
    EXPECT_EQ(Form1->Memo1.lines(), Lines{""});

    Form1->Memo1.clear();
    const std::string good = temp.write(
        "good.zip",
        ziptest::build_zip({ziptest::stored("1_notes.txt", "notes"), ziptest::deflated("sub\\lib.dll", "library")}));
    EXPECT_TRUE(Form1->UnzipArchive(good, folder));
    EXPECT_EQ(Form1->Memo1.lines(), (Lines{"Unzipping: " + good, "Unzip completed: " + folder, ""}));
    EXPECT_EQ(read_whole_file(folder + "\\1_notes.txt"), "notes");
    EXPECT_EQ(read_whole_file(folder + "\\sub\\lib.dll"), "library");

    // An error page saved under the archive's name.
    Form1->Memo1.clear();
    const std::string page = temp.write("page.zip", "<html>Not Found</html>");
    EXPECT_FALSE(Form1->UnzipArchive(page, folder));
    EXPECT_EQ(Form1->Memo1.lines(), (Lines{"Unzipping: " + page, "Unzip failed: " + page, ""}));

    // One damaged entry among good ones: named, and the whole unpacking failed.
    Form1->Memo1.clear();
    ziptest::TestEntry damaged = ziptest::stored("arvelon.exe", "program");
    damaged.crc = 0x12345678;
    const std::string crc = temp.write(
        "crc.zip", ziptest::build_zip({ziptest::stored("a.txt", "a"), damaged, ziptest::stored("b.txt", "b")}));
    EXPECT_FALSE(Form1->UnzipArchive(crc, folder));
    EXPECT_EQ(Form1->Memo1.lines(),
              (Lines{"Unzipping: " + crc, "Unzip failed: arvelon.exe: the data does not match its CRC-32",
                     "Unzip failed: " + crc, ""}));
    EXPECT_FALSE(platform::file_exists(folder + "\\arvelon.exe"));
    EXPECT_TRUE(platform::file_exists(folder + "\\b.txt"));

    // The report procedure was only lent to the unpacking.
    EXPECT_EQ(zip::set_report_proc(nullptr), nullptr);
}

TEST_F(Files, EscapeStopsAnUnpackingOnlyWhileTheInstallerIsInFront)
{
    const std::string folder = temp.file("tmp");
    std::filesystem::create_directory(folder);
    const std::string big =
        temp.write("big.zip", ziptest::build_zip({ziptest::stored("big.bin", ziptest::noise(16 << 20))}));
    LeaveUnmanaged("zadig-standin.exe");
    std::string command = WindowsPath(IMU_ZADIG_STANDIN_EXE);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    StartedProgram other;
    ASSERT_TRUE(
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &other.info));
    HWND other_window = nullptr;
    WaitUntil(
        "the driver tool's window", [&] { return (other_window = FindWindowA(nullptr, "Zadig")) != nullptr; }, 10000);
    // Wine takes the keyboard state afresh from the display now and then:
    // the key is pressed again and again while the unpacking pumps messages.
    platform::win::Timer hold;
    hold.set_interval(1);
    hold.OnTimer = [](Object&) { keybd_event(VK_ESCAPE, 0, 0, 0); };
    hold.set_enabled(true);
    const auto unzip_with_in_front = [&](HWND window) {
        SetForegroundWindow(window);
        EXPECT_TRUE(WaitUntil(
            "the window in front", [&] { return GetForegroundWindow() == window; }, 2000));
        Form1->Memo1.clear();
        return Form1->UnzipArchive(big, folder);
    };
    EXPECT_TRUE(unzip_with_in_front(other_window));
    EXPECT_FALSE(unzip_with_in_front(Form1->handle()));
    hold.set_enabled(false);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    TerminateProcess(other.info.hProcess, 1);
    EXPECT_EQ(Form1->Memo1.lines(),
              (Lines{"Unzipping: " + big,
                     "Unzip failed: big.bin: the unpacking was stopped with "
                     "Escape",
                     "Unzip failed: " + big, ""}));
}

TEST_F(Files, FileExistsMatchingWantsAFileFirst)
{
    temp.write("1_notes.txt", "x");
    std::filesystem::create_directory(temp.file("arvelon_plugins.dll"));
    EXPECT_TRUE(platform::file_exists_matching(temp.file("*.txt")));
    EXPECT_FALSE(platform::file_exists_matching(temp.file("arvelon*.dll")));
    EXPECT_FALSE(platform::file_exists_matching(temp.file("*.pdf")));
}

TEST_F(Files, MovesReplaceWhatTheTargetHeld)
{
    const std::string tmp = temp.file("tmp");
    std::filesystem::create_directory(tmp);
    temp.write("tmp\\1_release.txt", "new release");
    temp.write("tmp\\2_changes.txt", "new changes");
    temp.write("tmp\\readme.txt", "readme");
    temp.write("tmp\\arvelon.exe", "new program");
    temp.write("1_release.txt", "old release, longer than the new one");
    temp.write("arvelon.exe", "old program");

    // Several files by mask: the shell may refuse them together, each must arrive.
    EXPECT_EQ(Form1->MoveFilesByMask(Form1->handle(), tmp + "\\*.txt", temp.file(""), MoveOptions), "");
    for (const char* name : {"1_release.txt", "2_changes.txt", "readme.txt"}) {
        EXPECT_TRUE(platform::file_exists(temp.file(name))) << name;
        EXPECT_FALSE(platform::file_exists(tmp + "\\" + name)) << name;
    }
    EXPECT_EQ(read_whole_file(temp.file("1_release.txt")), "new release");

    EXPECT_TRUE(platform::move_file_replacing(tmp + "\\arvelon.exe", temp.file("arvelon.exe")));
    EXPECT_EQ(read_whole_file(temp.file("arvelon.exe")), "new program");
    EXPECT_FALSE(platform::move_file_replacing(tmp + "\\arvelon.exe", temp.file("arvelon.exe")));
}

TEST_F(Files, UsableFoldersAreOnADriveOrNamedRf)
{
    const std::string folder = temp.file("target");
    std::filesystem::create_directory(folder);
    EXPECT_TRUE(IsUsableFolder("C:\\"));
    EXPECT_TRUE(IsUsableFolder(folder));
    EXPECT_FALSE(IsUsableFolder(folder + "\\missing"));
    EXPECT_FALSE(IsUsableFolder("C"));
    // The same folder, reached by a path that starts with two separators.
    EXPECT_FALSE(IsUsableFolder("\\\\?\\" + folder));

    const std::string previous = platform::current_directory();
    ASSERT_TRUE(platform::set_current_directory(temp.file("")));
    std::filesystem::create_directory(temp.file("rfolder"));
    std::filesystem::create_directory(temp.file("plain"));
    EXPECT_TRUE(IsUsableFolder("rfolder"));
    EXPECT_FALSE(IsUsableFolder("plain"));
    platform::set_current_directory(previous);
}

TEST_F(Files, ReleaseNotesJoinTheNotesFilesInNameOrder)
{
    TargetFolder = temp.file("");
    temp.write("2_second.txt", std::string("two\rlone cr\0after the nul", 25));
    temp.write("10_first.txt", "ten\nlone lf\r\ncr lf\n");
    temp.write("B_UPPER.TXT", "upper");
    temp.write("ab_third.txt", "third");
    temp.write("e_empty.txt", "");
    temp.write("readme.txt", "not a notes file");
    temp.write("abc_four.txt", "underscore too late");
    std::filesystem::create_directory(temp.file("1_folder.txt"));
    // A name the code page cannot hold is no file the notes can open.
    const HANDLE polish = CreateFileW((platform::ansi_to_wide(TargetFolder) + L"3_\u0142\u00f3d\u017a.txt").c_str(),
                                      GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(polish, INVALID_HANDLE_VALUE);
    CloseHandle(polish);

    Form1->LoadReleaseNotes(Form1->memo4, TargetFolder + "*.txt");
    // The empty line after a text that ends without a break only ends its
    // last line, as a memo's line list appends.
    EXPECT_EQ(Form1->memo4.lines(), (Lines{"ten", "lone lf", "cr lf", "", "two", "lone cr", "third", "upper", ""}));
    EXPECT_EQ(Form1->Memo1.lines(),
              (Lines{"10_first.txt", "2_second.txt", "ab_third.txt", "B_UPPER.TXT", "e_empty.txt"}));
}

TEST_F(Files, ALockedNotesFileCannotBeOpened)
{
    TargetFolder = temp.file("");
    temp.write("1_release.txt", "notes");
    platform::File lock = platform::File::create(temp.file("1_release.txt"));
    ASSERT_TRUE(lock.is_open());
    try {
        Form1->LoadReleaseNotes(Form1->memo4, TargetFolder + "*.txt");
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + temp.file("1_release.txt"));
    }
}

}  // namespace
