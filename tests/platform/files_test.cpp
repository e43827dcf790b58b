// The file layer: the operations the ZIP library and the installer take from
// the system, with backslash paths on every platform.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/files.h"
#include "platform/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

using imu_test::TempFolder;

// The file's last-write time as a DOS date and time in local time.
std::uint32_t last_write_dos_time(const std::string& path)
{
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    FILETIME local{};
    WORD date = 0;
    WORD time = 0;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &date, &time))
        return 0;
    return (static_cast<std::uint32_t>(date) << 16) | time;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    std::tm tm{};
    localtime_r(&st.st_mtime, &tm);
    return (static_cast<std::uint32_t>(tm.tm_year - 80) << 25) | (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) |
        (static_cast<std::uint32_t>(tm.tm_mday) << 16) | (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
        (static_cast<std::uint32_t>(tm.tm_min) << 5) | static_cast<std::uint32_t>(tm.tm_sec / 2);
#endif
}

std::string with_backslashes(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

TEST(Files, BackslashPathsReachTheFiles)
{
    TempFolder folder;
    const std::string base = with_backslashes(folder.path().string());
    ASSERT_TRUE(platform::create_directory(base + "\\sub"));
    EXPECT_TRUE(platform::directory_exists(base + "\\sub"));
    EXPECT_TRUE(platform::directory_exists(base + "\\sub\\"));
    {
        platform::File out = platform::File::create(base + "\\sub\\data.bin");
        ASSERT_TRUE(out.is_open());
        EXPECT_EQ(out.write("hello", 5), 5);
        EXPECT_TRUE(out.close());
    }
    EXPECT_EQ(imu_test::read_whole_file(folder.file("sub/data.bin")), "hello");
    EXPECT_TRUE(platform::file_exists(base + "\\sub\\data.bin"));
    EXPECT_FALSE(platform::file_exists(base + "\\sub"));
    EXPECT_FALSE(platform::directory_exists(base + "\\sub\\data.bin"));
    EXPECT_TRUE(platform::rename_path(base + "\\sub\\data.bin", base + "\\sub\\moved.bin"));
    EXPECT_TRUE(platform::file_exists(base + "\\sub\\moved.bin"));
    EXPECT_TRUE(platform::delete_file(base + "\\sub\\moved.bin"));
    EXPECT_FALSE(platform::file_exists(base + "\\sub\\moved.bin"));
    EXPECT_TRUE(platform::remove_directory(base + "\\sub"));
    EXPECT_FALSE(platform::directory_exists(base + "\\sub"));
}

TEST(Files, ReadSeekAndLengthSeeTheWholeFile)
{
    TempFolder folder;
    const std::string path = folder.write("abc.bin", "0123456789");
    platform::File in = platform::File::open_read(path);
    ASSERT_TRUE(in.is_open());
    EXPECT_EQ(in.length(), 10);
    char buffer[16] = {};
    EXPECT_TRUE(in.seek(6));
    EXPECT_EQ(in.read(buffer, sizeof buffer), 4) << "a read near the end comes up short";
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(in.read(buffer, sizeof buffer), 0);
    EXPECT_FALSE(in.seek(-1));
    EXPECT_TRUE(in.seek(0));
    EXPECT_EQ(in.read(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "012");
}

TEST(Files, OpeningForReadSharesTheFileWithWriters)
{
    TempFolder folder;
    const std::string path = folder.write("shared.bin", "abc");
    platform::File reader = platform::File::open_read(path);
    ASSERT_TRUE(reader.is_open());
    platform::File writer = platform::File::open_read_write(path);
    ASSERT_TRUE(writer.is_open());
    platform::File second_reader = platform::File::open_read(path);
    EXPECT_TRUE(second_reader.is_open());
}

TEST(Files, OpeningAFolderOrAMissingFileFails)
{
    TempFolder folder;
    EXPECT_FALSE(platform::File::open_read(folder.path().string()).is_open());
    EXPECT_FALSE(platform::File::open_read(folder.file("missing")).is_open());
    EXPECT_FALSE(platform::File::open_read_write(folder.file("missing")).is_open());
    EXPECT_FALSE(platform::File::open_read("").is_open());
}

TEST(Files, AClosedFileAnswersWithErrors)
{
    platform::File file;
    char byte = 0;
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(file.read(&byte, 1), -1);
    EXPECT_EQ(file.write(&byte, 1), -1);
    EXPECT_EQ(file.length(), -1);
    EXPECT_TRUE(file.close());
}

TEST(Files, CreateTruncatesAnExistingFile)
{
    TempFolder folder;
    const std::string path = folder.write("old.txt", "a longer content than the new one");
    {
        platform::File out = platform::File::create(path);
        ASSERT_TRUE(out.is_open());
        EXPECT_EQ(out.length(), 0);
        EXPECT_EQ(out.write("new", 3), 3);
    }
    EXPECT_EQ(imu_test::read_whole_file(path), "new");
}

TEST(Files, AMovedFileIsClosedOnlyOnce)
{
    TempFolder folder;
    const std::string path = folder.write("moved.txt", "x");
    platform::File first = platform::File::open_read(path);
    platform::File second = std::move(first);
    EXPECT_FALSE(first.is_open());
    EXPECT_TRUE(second.is_open());
    first = std::move(second);
    EXPECT_TRUE(first.is_open());
    EXPECT_TRUE(first.close());
    EXPECT_TRUE(platform::delete_file(path)) << "no handle is left open";
}

TEST(Files, DosDateAndTimeSurviveAsLocalTime)
{
    TempFolder folder;
    const std::string path = folder.write("dated.txt", "x");
    // 2019-01-27 15:07:04, and a summer date, 2024-07-15 08:30:58.
    for (std::uint32_t stamp : {0x4E3B78E2u, 0x58EF43DDu}) {
        platform::File file = platform::File::open_read_write(path);
        ASSERT_TRUE(file.is_open());
        EXPECT_TRUE(file.set_dos_date_time(stamp));
        EXPECT_TRUE(file.close());
        EXPECT_EQ(last_write_dos_time(path), stamp) << std::hex << stamp;
    }
}

TEST(Files, ANonsenseDosDateIsRefused)
{
    TempFolder folder;
    const std::string path = folder.write("undated.txt", "x");
    platform::File file = platform::File::open_read_write(path);
    ASSERT_TRUE(file.is_open());
    EXPECT_FALSE(file.set_dos_date_time(0)) << "month 0, day 0";
    EXPECT_FALSE(file.set_dos_date_time(0x4E3B0000u | (24u << 11))) << "hour 24";
    EXPECT_FALSE(file.set_dos_date_time((0x4E3Bu & ~0x01E0u) << 16 | (13u << 21))) << "month 13";
}

TEST(Files, FullPathOfNothingIsNothing) { EXPECT_EQ(platform::full_path(""), ""); }

TEST(Files, FullPathKeepsTheTwoBackslashesOfANetworkShare)
{
    EXPECT_EQ(platform::full_path("\\\\srv\\share\\a\\..\\b"), "\\\\srv\\share\\b");
    EXPECT_EQ(platform::full_path("//srv/share/"), "\\\\srv\\share\\");
}

TEST(Files, TheReadOnlyAttributeComesAndGoes)
{
    TempFolder folder;
    const std::string path = folder.write("ro.txt", "x");
    const std::int32_t before = platform::get_file_attributes(path);
    ASSERT_NE(before, -1);
    EXPECT_EQ(before & platform::attr_read_only, 0u);
    EXPECT_EQ(before & platform::attr_directory, 0u);
    EXPECT_TRUE(platform::set_file_attributes(path, platform::attr_read_only));
    EXPECT_NE(platform::get_file_attributes(path) & platform::attr_read_only, 0u);
    EXPECT_TRUE(platform::set_file_attributes(path, 0));
    EXPECT_EQ(platform::get_file_attributes(path) & platform::attr_read_only, 0u);
    EXPECT_NE(platform::get_file_attributes(folder.path().string()) & platform::attr_directory, 0u);
    EXPECT_EQ(platform::get_file_attributes(folder.file("missing")), -1);
    EXPECT_FALSE(platform::set_file_attributes(folder.file("missing"), 0));
}

TEST(Files, CurrentDirectoryAndFullPathsAgree)
{
    TempFolder folder;
    const std::string before = platform::current_directory();
    ASSERT_FALSE(before.empty());
    ASSERT_TRUE(platform::create_directory(folder.file("a")));
    ASSERT_TRUE(platform::set_current_directory(with_backslashes(folder.path().string())));
    const std::string here = platform::current_directory();
    EXPECT_NE(here.back(), '\\') << "no trailing separator except at a root";
    EXPECT_EQ(here.find('/'), std::string::npos) << "paths come back with backslashes";
    EXPECT_EQ(platform::full_path("a\\b\\..\\c.txt"), here + "\\a\\c.txt");
    EXPECT_EQ(platform::full_path(".\\a\\"), here + "\\a\\");
    EXPECT_EQ(platform::full_path(here + "\\a\\.\\x"), here + "\\a\\x");
    EXPECT_TRUE(platform::set_current_directory("a"));
    EXPECT_EQ(platform::current_directory(), here + "\\a");
    EXPECT_FALSE(platform::set_current_directory("no such folder"));
    EXPECT_TRUE(platform::set_current_directory(before));
    EXPECT_EQ(platform::current_directory(), before);
}

TEST(Files, CreatingAnExistingOrNestedMissingFolderFails)
{
    TempFolder folder;
    EXPECT_TRUE(platform::create_directory(folder.file("one")));
    EXPECT_FALSE(platform::create_directory(folder.file("one")));
    EXPECT_FALSE(platform::create_directory(folder.file("two/three")));
}

TEST(Files, TheTickCountMovesOnInMilliseconds)
{
    const std::uint32_t start = platform::tick_count();
    const std::clock_t until = std::clock() + CLOCKS_PER_SEC / 20;
    while (std::clock() < until) {}
    const std::uint32_t elapsed = platform::tick_count() - start;
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 10000u);
}

TEST(OemCodePageNames, LeavesAsciiAlone)
{
    std::string all_ascii;
    for (int c = 1; c < 0x80; ++c) all_ascii += static_cast<char>(c);
    EXPECT_EQ(platform::oem_to_ansi(all_ascii), all_ascii);
    EXPECT_EQ(platform::oem_to_ansi(""), "");
}

TEST(OemCodePageNames, ConvertsCodePage437Letters)
{
#ifdef _WIN32
    if (GetOEMCP() != 437 || GetACP() != 1252)
        GTEST_SKIP() << "needs OEM code page 437 and ANSI code page 1252";
    EXPECT_EQ(platform::oem_to_ansi("\x81"), "\xFC");
    EXPECT_EQ(platform::oem_to_ansi("M\x81nchen \x8E\x99\x9A\xE1.txt"), "M\xFCnchen \xC4\xD6\xDC\xDF.txt");
#else
    EXPECT_EQ(platform::oem_to_ansi("\x81"), "\xC3\xBC");  // U+00FC
    EXPECT_EQ(platform::oem_to_ansi("M\x81nchen \x8E\x99\x9A\xE1.txt"),
              "M\xC3\xBCnchen \xC3\x84\xC3\x96\xC3\x9C\xC3\x9F.txt");
    EXPECT_EQ(platform::oem_to_ansi("\xC9\xCD\xBB"), "\xE2\x95\x94\xE2\x95\x90\xE2\x95\x97");  // box drawing
    EXPECT_EQ(platform::oem_to_ansi("\xFF"), "\xC2\xA0");
#endif
}

}  // namespace
