// The directory walk, archive recognition, size totals and mask matching,
// over small archives built byte by byte in each test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/temp_folder.h"
#include "zip/unzip.h"

namespace {

using imu_test::TempFolder;

void put16(std::string& out, std::uint32_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

struct TestEntry {
    std::string name = {};
    std::string data = {};
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t date_time = 0x4E3B7A21;  // 2019-01-27 15:17:02
    std::uint32_t crc = 0x01020304;
    std::uint8_t host = 0;
    std::uint32_t external_attributes = 0x20;
    std::string extra = {};
    std::string comment = {};
    std::int64_t compressed_size = -1;  // -1: the data's length
    std::int64_t uncompressed_size = -1;  // -1: the data's length
};

std::uint32_t compressed_of(const TestEntry& e)
{
    return static_cast<std::uint32_t>(e.compressed_size < 0 ? e.data.size() : e.compressed_size);
}

std::uint32_t uncompressed_of(const TestEntry& e)
{
    return static_cast<std::uint32_t>(e.uncompressed_size < 0 ? e.data.size() : e.uncompressed_size);
}

std::string local_header(const TestEntry& e)
{
    std::string out = "PK\x03\x04";
    put16(out, 20);
    put16(out, e.flags);
    put16(out, e.method);
    put32(out, e.date_time);
    put32(out, e.crc);
    put32(out, compressed_of(e));
    put32(out, uncompressed_of(e));
    put16(out, static_cast<std::uint32_t>(e.name.size()));
    put16(out, 0);
    return out + e.name + e.data;
}

std::string central_header(const TestEntry& e, std::uint32_t local_offset)
{
    std::string out = "PK\x01\x02";
    out += static_cast<char>(20);
    out += static_cast<char>(e.host);
    put16(out, 20);
    put16(out, e.flags);
    put16(out, e.method);
    put32(out, e.date_time);
    put32(out, e.crc);
    put32(out, compressed_of(e));
    put32(out, uncompressed_of(e));
    put16(out, static_cast<std::uint32_t>(e.name.size()));
    put16(out, static_cast<std::uint32_t>(e.extra.size()));
    put16(out, static_cast<std::uint32_t>(e.comment.size()));
    put16(out, 0);
    put16(out, 0);
    put32(out, e.external_attributes);
    put32(out, local_offset);
    return out + e.name + e.extra + e.comment;
}

std::string end_record(std::uint32_t entries, std::uint32_t directory_size, std::uint32_t directory_offset,
                       const std::string& comment = "", std::int64_t comment_length = -1)
{
    std::string out = "PK\x05\x06";
    put16(out, 0);
    put16(out, 0);
    put16(out, entries);
    put16(out, entries);
    put32(out, directory_size);
    put32(out, directory_offset);
    put16(out, static_cast<std::uint32_t>(comment_length < 0 ? comment.size() : comment_length));
    return out + comment;
}

// An archive's parts, so tests can put things between them.
struct ArchiveParts {
    std::string locals;
    std::string directory;
    std::vector<std::uint32_t> offsets;

    [[nodiscard]] std::string end(const std::string& comment = "") const
    {
        return end_record(static_cast<std::uint32_t>(offsets.size()), static_cast<std::uint32_t>(directory.size()),
                          static_cast<std::uint32_t>(locals.size()), comment);
    }
    [[nodiscard]] std::string whole(const std::string& comment = "") const { return locals + directory + end(comment); }
};

// Local header offsets count from the first local header, as in an archive
// that has something glued in front of it without adjusting them.
ArchiveParts build_parts(const std::vector<TestEntry>& entries)
{
    ArchiveParts parts;
    for (const auto& e : entries) {
        parts.offsets.push_back(static_cast<std::uint32_t>(parts.locals.size()));
        parts.locals += local_header(e);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) parts.directory += central_header(entries[i], parts.offsets[i]);
    return parts;
}

std::string build_archive(const std::vector<TestEntry>& entries, const std::string& comment = "")
{
    return build_parts(entries).whole(comment);
}

std::vector<TestEntry> three_entries()
{
    return {{.name = "one.txt", .data = "first"},
            {.name = "two.txt", .data = "second!"},
            {.name = "three.txt", .data = "3"}};
}

struct Walk {
    std::int32_t first = 0;
    std::vector<std::string> names;
};

Walk walk(const std::string& archive)
{
    Walk result;
    zip::ZipDirScan scan;
    result.first = zip::zip_dir_first(archive.c_str(), scan);
    if (result.first != zip::UZ_OK) {
        EXPECT_EQ(scan.buffer, nullptr) << "a failed first call leaves the walk closed";
        return result;
    }
    do {
        result.names.emplace_back(scan.name);
    } while (zip::zip_dir_next(scan) == zip::UZ_OK);
    EXPECT_EQ(scan.buffer, nullptr) << "the walk closes itself after its last entry";
    return result;
}

const std::vector<std::string> three_names = {"one.txt", "two.txt", "three.txt"};

// ---- Walking the entries ----

TEST(ZipDirWalk, ReadsEveryFieldOfEachEntryInDirectoryOrder)
{
    TempFolder folder;
    std::vector<TestEntry> entries = {
        {.name = "alpha.bin",
         .data = "0123456789",
         .method = 8,
         .flags = 0x0808,
         .date_time = 0x5A6B7C8D,
         .crc = 0xCAFEBABE,
         .external_attributes = 0x21,
         .compressed_size = 10,
         .uncompressed_size = 0xFFFFFFF0},
        {.name = "beta.txt", .data = "xyz", .method = 6, .flags = 0x0006, .date_time = 0x11223344, .crc = 0x0BADF00D},
    };
    const std::string path = folder.write("a.zip", build_archive(entries));
    zip::ZipDirScan scan;
    ASSERT_EQ(zip::zip_dir_first(path.c_str(), scan), zip::UZ_OK);
    EXPECT_STREQ(scan.name, "alpha.bin");
    EXPECT_EQ(scan.method, 8);
    EXPECT_EQ(scan.date_time, 0x5A6B7C8Du);
    EXPECT_EQ(scan.compressed_size, 10);
    EXPECT_EQ(scan.size, 0xFFFFFFF0LL) << "sizes are unsigned 32-bit values";
    EXPECT_EQ(scan.header_offset, 0);
    EXPECT_EQ(scan.attributes, 0x21);
    EXPECT_EQ(scan.gp_flags, 0x0808);
    EXPECT_EQ(scan.crc32, 0xCAFEBABEu);
    ASSERT_EQ(zip::zip_dir_next(scan), zip::UZ_OK);
    EXPECT_STREQ(scan.name, "beta.txt");
    EXPECT_EQ(scan.method, 6);
    EXPECT_EQ(scan.date_time, 0x11223344u);
    EXPECT_EQ(scan.size, 3);
    EXPECT_EQ(scan.compressed_size, 3);
    EXPECT_EQ(scan.header_offset, static_cast<std::int32_t>(local_header(entries[0]).size()));
    EXPECT_EQ(scan.gp_flags, 0x0006);
    EXPECT_EQ(scan.crc32, 0x0BADF00Du);
    EXPECT_EQ(zip::zip_dir_next(scan), zip::UZ_NO_MORE_ENTRIES);
}

TEST(ZipDirWalk, KeepsALocalHeaderOffsetAsAStoredSignedValue)
{
    TempFolder folder;
    ArchiveParts parts = build_parts({{.name = "far.txt", .data = "x"}});
    parts.directory = central_header({.name = "far.txt", .data = "x"}, 0x80000000u);
    const std::string path = folder.write("far.zip", parts.whole());
    zip::ZipDirScan scan;
    ASSERT_EQ(zip::zip_dir_first(path.c_str(), scan), zip::UZ_OK);
    EXPECT_EQ(scan.header_offset, INT32_MIN);
    zip::zip_dir_close(scan);
}

TEST(ZipDirWalk, TakesAttributesOnlyFromEntriesMadeOnDos)
{
    TempFolder folder;
    const std::string path = folder.write("hosts.zip",
                                          build_archive({{.name = "dos", .host = 0, .external_attributes = 0x81A40021},
                                                         {.name = "unix", .host = 3, .external_attributes = 0x81A40021},
                                                         {.name = "ntfs", .host = 10, .external_attributes = 0x01}}));
    zip::ZipDirScan scan;
    ASSERT_EQ(zip::zip_dir_first(path.c_str(), scan), zip::UZ_OK);
    EXPECT_EQ(scan.attributes, 0x21);
    ASSERT_EQ(zip::zip_dir_next(scan), zip::UZ_OK);
    EXPECT_EQ(scan.attributes, 0);
    ASSERT_EQ(zip::zip_dir_next(scan), zip::UZ_OK);
    EXPECT_EQ(scan.attributes, 0);
    zip::zip_dir_close(scan);
}

TEST(ZipDirWalk, TurnsSlashesIntoBackslashes)
{
    TempFolder folder;
    const std::string path = folder.write(
        "slashes.zip", build_archive({{.name = "a/b/c.txt"}, {.name = "/x"}, {.name = "dir/"}, {.name = "a\\b"}}));
    EXPECT_EQ(walk(path).names, (std::vector<std::string>{"a\\b\\c.txt", "\\x", "dir\\", "a\\b"}));
}

TEST(ZipDirWalk, CutsNamesLongerThan259Characters)
{
    TempFolder folder;
    const std::string long_name(300, 'n');
    const std::string name_259(259, 'm');
    const std::string path = folder.write(
        "long.zip", build_archive({{.name = long_name, .data = "1"}, {.name = name_259}, {.name = "next"}}));
    const Walk result = walk(path);
    ASSERT_EQ(result.first, zip::UZ_OK);
    ASSERT_EQ(result.names.size(), 3u) << "the cut name still advances past the whole stored name";
    EXPECT_EQ(result.names[0], std::string(259, 'n'));
    EXPECT_EQ(result.names[1], name_259);
    EXPECT_EQ(result.names[2], "next");
}

TEST(ZipDirWalk, SkipsExtraFieldsAndCommentsBetweenEntries)
{
    TempFolder folder;
    const std::string path =
        folder.write("extras.zip",
                     build_archive({{.name = "a", .extra = std::string(300, 'e'), .comment = "PK\x01\x02 fake"},
                                    {.name = "b", .comment = std::string(1000, 'c')},
                                    {.name = "c", .extra = "PK\x05\x06"}}));
    EXPECT_EQ(walk(path).names, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(ZipDirWalk, ReportsNoMoreEntriesAfterTheLastAndStaysClosed)
{
    TempFolder folder;
    const std::string path = folder.write("one.zip", build_archive({{.name = "only"}}));
    zip::ZipDirScan scan;
    ASSERT_EQ(zip::zip_dir_first(path.c_str(), scan), zip::UZ_OK);
    EXPECT_EQ(zip::zip_dir_next(scan), zip::UZ_NO_MORE_ENTRIES);
    EXPECT_EQ(scan.buffer, nullptr);
    EXPECT_EQ(zip::zip_dir_next(scan), zip::UZ_NO_MORE_ENTRIES);
    zip::zip_dir_close(scan);
    zip::zip_dir_close(scan);
    EXPECT_EQ(scan.buffer, nullptr);
}

TEST(ZipDirWalk, LeavesTheArchiveClosedWhenClosedEarly)
{
    TempFolder folder;
    const std::string path = folder.write("three.zip", build_archive(three_entries()));
    zip::ZipDirScan scan;
    ASSERT_EQ(zip::zip_dir_first(path.c_str(), scan), zip::UZ_OK);
    zip::zip_dir_close(scan);
    EXPECT_EQ(scan.buffer, nullptr);
    EXPECT_FALSE(scan.archive.is_open());
    // Windows refuses to delete a file that is still open.
    EXPECT_TRUE(platform::delete_file(path));
}

TEST(ZipDirWalk, LeavesNothingOpenWhenTheFirstEntryIsDamaged)
{
    TempFolder folder;
    ArchiveParts parts = build_parts(three_entries());
    parts.directory[2] = 'X';
    const std::string path = folder.write("bad.zip", parts.whole());
    zip::ZipDirScan scan;
    EXPECT_EQ(zip::zip_dir_first(path.c_str(), scan), zip::UZ_NO_MORE_ENTRIES);
    EXPECT_EQ(scan.buffer, nullptr);
    EXPECT_FALSE(scan.archive.is_open());
    EXPECT_TRUE(platform::delete_file(path));
}

TEST(ZipDirWalk, StopsAtAnEntryWithAWrongSignature)
{
    TempFolder folder;
    ArchiveParts parts = build_parts(three_entries());
    const std::size_t second = central_header(three_entries()[0], 0).size();
    parts.directory[second + 3] = 0x7F;
    EXPECT_EQ(walk(folder.write("broken.zip", parts.whole())).names, std::vector<std::string>{"one.txt"});
}

TEST(ZipDirWalk, KeepsSeparateWalksApart)
{
    TempFolder folder;
    const std::string first = folder.write("first.zip", build_archive(three_entries()));
    const std::string second = folder.write("second.zip", build_archive({{.name = "x"}, {.name = "y"}}));
    zip::ZipDirScan a;
    zip::ZipDirScan b;
    ASSERT_EQ(zip::zip_dir_first(first.c_str(), a), zip::UZ_OK);
    ASSERT_EQ(zip::zip_dir_first(second.c_str(), b), zip::UZ_OK);
    ASSERT_EQ(zip::zip_dir_next(a), zip::UZ_OK);
    EXPECT_STREQ(a.name, "two.txt");
    EXPECT_STREQ(b.name, "x");
    ASSERT_EQ(zip::zip_dir_next(b), zip::UZ_OK);
    EXPECT_STREQ(b.name, "y");
    EXPECT_STREQ(a.name, "two.txt");
    zip::zip_dir_close(a);
    zip::zip_dir_close(b);
}

TEST(ZipDirWalk, ReopeningAnOpenWalkStartsAfresh)
{
    TempFolder folder;
    const std::string first = folder.write("first.zip", build_archive(three_entries()));
    const std::string second = folder.write("second.zip", build_archive({{.name = "x"}}));
    zip::ZipDirScan scan;
    ASSERT_EQ(zip::zip_dir_first(first.c_str(), scan), zip::UZ_OK);
    ASSERT_EQ(zip::zip_dir_first(second.c_str(), scan), zip::UZ_OK);
    EXPECT_STREQ(scan.name, "x");
    EXPECT_EQ(zip::zip_dir_next(scan), zip::UZ_NO_MORE_ENTRIES);
    EXPECT_TRUE(platform::delete_file(first)) << "the first archive was closed";
}

TEST(ZipDirWalk, AcceptsBackslashesInTheArchiveName)
{
    TempFolder folder;
    ASSERT_TRUE(platform::create_directory(folder.file("sub")));
    folder.write("sub/a.zip", build_archive(three_entries()));
    const std::string path = folder.path().string() + "\\sub\\a.zip";
    EXPECT_EQ(walk(path).names, three_names);
}

// ---- Finding the end record ----

// Comment lengths around the borders of the 4096-byte search windows: the
// first window holds a record whose comment has at most 4074 bytes; 4075 to
// 4095 put it across the first border, 8149 to 8169 across the second.
class ZipDirEndRecordSearch : public testing::TestWithParam<int> {};

TEST_P(ZipDirEndRecordSearch, FindsTheRecordBehindAnyCommentLength)
{
    TempFolder folder;
    std::string comment(static_cast<std::size_t>(GetParam()), 'c');
    for (std::size_t i = 0; i < comment.size(); i += 97) comment[i] = 'P';
    const std::string path = folder.write("commented.zip", build_archive(three_entries(), comment));
    const Walk result = walk(path);
    EXPECT_EQ(result.first, zip::UZ_OK);
    EXPECT_EQ(result.names, three_names);
}

INSTANTIATE_TEST_SUITE_P(CommentLengths, ZipDirEndRecordSearch,
                         testing::Values(0, 1, 4073, 4074, 4075, 4080, 4095, 4096, 4097, 8148, 8149, 8160, 8169, 8170,
                                         20000, 65535));

// In an archive long enough that the second window does not reach back to
// the start, a record across the first border is seen only because the
// windows overlap.
TEST(ZipDirEndRecord, FindsARecordAcrossTheBorderOfTwoWindowsInTheMiddleOfTheFile)
{
    TempFolder folder;
    std::vector<TestEntry> entries = three_entries();
    entries.push_back({.name = "filler.bin", .data = std::string(10000, 'f')});
    for (const int length : {4075, 4080, 4090, 4095}) {
        SCOPED_TRACE(length);
        const std::string bytes = build_archive(entries, std::string(static_cast<std::size_t>(length), 'c'));
        ASSERT_GT(bytes.size(), 14000u);
        const Walk result = walk(folder.write("straddle.zip", bytes));
        EXPECT_EQ(result.first, zip::UZ_OK);
        EXPECT_EQ(result.names.size(), 4u);
    }
}

TEST(ZipDirEndRecord, FindsTheRecordWhenTheCommentLengthFieldIsWrong)
{
    TempFolder folder;
    const ArchiveParts parts = build_parts(three_entries());
    std::string bytes = parts.locals + parts.directory +
        end_record(3, static_cast<std::uint32_t>(parts.directory.size()),
                   static_cast<std::uint32_t>(parts.locals.size()), std::string(70000, 'z'), 5);
    EXPECT_EQ(walk(folder.write("trailing.zip", bytes)).names, three_names);
}

TEST(ZipDirEndRecord, TheLaterOfTwoRecordsWins)
{
    TempFolder folder;
    // Two directories one after the other; the earlier end record points at the
    // first (which runs on into the second), the later one at the second only.
    const ArchiveParts parts = build_parts({{.name = "early.txt", .data = "e"}, {.name = "late.txt", .data = "l"}});
    const std::string first_dir = central_header({.name = "early.txt", .data = "e"}, parts.offsets[0]);
    const std::string second_dir = central_header({.name = "late.txt", .data = "l"}, parts.offsets[1]);
    const auto first_at = static_cast<std::uint32_t>(parts.locals.size());
    const auto second_at = static_cast<std::uint32_t>(first_at + first_dir.size());
    const std::string later = end_record(1, static_cast<std::uint32_t>(second_dir.size()), second_at);
    const std::string earlier = end_record(1, static_cast<std::uint32_t>(first_dir.size()), first_at, later);
    const std::string path = folder.write("twice.zip", parts.locals + first_dir + second_dir + earlier);
    EXPECT_EQ(walk(path).names, std::vector<std::string>{"late.txt"});
}

TEST(ZipDirEndRecord, IgnoresASignatureTooCloseToTheEndForARecord)
{
    TempFolder folder;
    const std::string path = folder.write("tail.zip", build_archive(three_entries()) + "PK\x05\x06" + "0123456789");
    EXPECT_EQ(walk(path).names, three_names);
}

TEST(ZipDirEndRecord, AFileShorterThanARecordHasNone)
{
    TempFolder folder;
    EXPECT_EQ(walk(folder.write("short",
                                "PK\x05\x06"
                                "0123456789"))
                  .first,
              zip::UZ_CANNOT_OPEN);
    EXPECT_EQ(walk(folder.write("tiny", "x")).first, zip::UZ_CANNOT_OPEN);
}

TEST(ZipDirEndRecord, AFileWithoutARecordCannotBeOpened)
{
    TempFolder folder;
    std::string text(10000, 'a');
    EXPECT_EQ(walk(folder.write("text.txt", text)).first, zip::UZ_CANNOT_OPEN);
    const ArchiveParts parts = build_parts(three_entries());
    EXPECT_EQ(walk(folder.write("headless.zip", parts.locals + parts.directory)).first, zip::UZ_CANNOT_OPEN);
}

TEST(ZipDirEndRecord, EmptyMissingAndFolderNamesCannotBeOpened)
{
    TempFolder folder;
    EXPECT_EQ(walk(folder.write("empty.zip", "")).first, zip::UZ_CANNOT_OPEN);
    EXPECT_EQ(walk(folder.file("missing.zip")).first, zip::UZ_CANNOT_OPEN);
    EXPECT_EQ(walk(folder.path().string()).first, zip::UZ_CANNOT_OPEN);
    EXPECT_EQ(walk("").first, zip::UZ_CANNOT_OPEN);
}

TEST(ZipDirEndRecord, AnArchiveWithoutEntriesIsBad)
{
    TempFolder folder;
    EXPECT_EQ(walk(folder.write("none.zip", end_record(0, 0, 0))).first, zip::UZ_BAD_ARCHIVE);
    EXPECT_EQ(walk(folder.write("none45.zip", std::string(45, 'x') + end_record(0, 0, 45))).first, zip::UZ_BAD_ARCHIVE);
    EXPECT_EQ(walk(folder.write("none46.zip", std::string(46, 'x') + end_record(0, 0, 46))).first,
              zip::UZ_NO_MORE_ENTRIES)
        << "46 bytes leave room for a central header, so the directory is read and found empty";
}

// ---- Damaged directory offsets and sizes ----

TEST(ZipDirDamage, AnOffsetBeyondTheEndRecordIsRefused)
{
    TempFolder folder;
    const ArchiveParts parts = build_parts(three_entries());
    const std::string body = parts.locals + parts.directory;
    const auto end_at = static_cast<std::uint32_t>(body.size());
    for (std::uint32_t offset : {end_at + 5, end_at + 1000, 0x7FFFFFFFu})
        EXPECT_EQ(walk(folder.write("beyond.zip", body + end_record(3, 0, offset))).first, zip::UZ_CANNOT_OPEN)
            << "offset " << offset;
}

TEST(ZipDirDamage, ANegativeOffsetIsRefused)
{
    TempFolder folder;
    const ArchiveParts parts = build_parts(three_entries());
    const std::string body = parts.locals + parts.directory;
    for (std::uint32_t offset : {0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF0u})
        EXPECT_EQ(walk(folder.write("negative.zip", body + end_record(3, 0, offset))).first, zip::UZ_CANNOT_OPEN)
            << "offset " << offset;
}

TEST(ZipDirDamage, AnOffsetInsideTheEndRecordFindsNoEntries)
{
    TempFolder folder;
    const ArchiveParts parts = build_parts(three_entries());
    const std::string body = parts.locals + parts.directory;
    const auto end_at = static_cast<std::uint32_t>(body.size());
    for (std::uint32_t offset = end_at + 1; offset <= end_at + 4; ++offset)
        EXPECT_EQ(walk(folder.write("inside.zip", body + end_record(3, 0, offset))).first, zip::UZ_NO_MORE_ENTRIES)
            << "offset " << offset;
}

TEST(ZipDirDamage, AnEntryRunningPastTheDirectoryIsNotRead)
{
    TempFolder folder;
    ArchiveParts parts = build_parts(three_entries());
    // The last entry claims a comment far longer than the bytes that follow it.
    const std::size_t last = parts.directory.size() - central_header(three_entries()[2], 0).size();
    parts.directory[last + 32] = static_cast<char>(0xFF);
    parts.directory[last + 33] = static_cast<char>(0xFF);
    EXPECT_EQ(walk(folder.write("overlong.zip", parts.whole())).names,
              (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST(ZipDirDamage, AHeaderCutShortByTheEndRecordIsNotRead)
{
    TempFolder folder;
    // Only the first 20 bytes of a central header stand before the end record.
    const std::string stub = local_header({.name = "a"});
    const std::string partial = central_header({.name = "a"}, 0).substr(0, 20);
    const std::string bytes =
        stub + std::string(40, 'x') + partial + end_record(1, 0, static_cast<std::uint32_t>(stub.size() + 40));
    EXPECT_EQ(walk(folder.write("cut.zip", bytes)).first, zip::UZ_NO_MORE_ENTRIES);
}

TEST(ZipDirDamage, ADirectoryBehindAGluedOnStubIsFound)
{
    TempFolder folder;
    // Offsets count from the archive's own start, as when a stub is simply
    // put in front of an archive.
    const std::string stub(1000, 's');
    const std::string path = folder.write("stub.zip", stub + build_archive(three_entries()));
    zip::ZipDirScan scan;
    ASSERT_EQ(zip::zip_dir_first(path.c_str(), scan), zip::UZ_OK);
    EXPECT_STREQ(scan.name, "one.txt");
    EXPECT_EQ(scan.header_offset, 0) << "local header offsets stay as stored";
    zip::zip_dir_close(scan);
    EXPECT_EQ(walk(path).names, three_names);
}

TEST(ZipDirDamage, ADirectoryBehindAStubIsFoundEvenWithAWrongSizeField)
{
    TempFolder folder;
    // Records between the directory and the end record (as in ZIP64 archives)
    // leave the size field no help; the stub's length is.
    const ArchiveParts parts = build_parts(three_entries());
    const std::string end = end_record(3, 5, static_cast<std::uint32_t>(parts.locals.size()));
    const std::string path =
        folder.write("stub.zip", std::string(777, 's') + parts.locals + parts.directory + std::string(76, 'z') + end);
    EXPECT_EQ(walk(path).names, three_names);
}

TEST(ZipDirDamage, ADirectoryWithAdjustedOffsetsBehindAStubIsReadAsStored)
{
    TempFolder folder;
    const std::string stub(1000, 's');
    ArchiveParts parts = build_parts(three_entries());
    parts.directory.clear();
    const auto entries = three_entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        parts.directory += central_header(entries[i], parts.offsets[i] + 1000);
    const std::string end = end_record(3, static_cast<std::uint32_t>(parts.directory.size()),
                                       static_cast<std::uint32_t>(1000 + parts.locals.size()));
    const std::string path = folder.write("adjusted.zip", stub + parts.locals + parts.directory + end);
    zip::ZipDirScan scan;
    ASSERT_EQ(zip::zip_dir_first(path.c_str(), scan), zip::UZ_OK);
    EXPECT_EQ(scan.header_offset, 1000);
    zip::zip_dir_close(scan);
}

TEST(ZipDirDamage, ADirectoryMovedByInsertedBytesIsFoundByItsSize)
{
    TempFolder folder;
    const ArchiveParts parts = build_parts(three_entries());
    const std::string path =
        folder.write("inserted.zip", parts.locals + std::string(16, 'd') + parts.directory + parts.end());
    EXPECT_EQ(walk(path).names, three_names);
}

TEST(ZipDirDamage, AnEmptyDirectoryIsNotLookedForElsewhere)
{
    TempFolder folder;
    // The stored offset points at the end record itself: no entries, even
    // though the size field would point at a directory.
    const ArchiveParts parts = build_parts(three_entries());
    const std::string body = parts.locals + parts.directory;
    const std::string path = folder.write(
        "emptied.zip",
        body +
            end_record(3, static_cast<std::uint32_t>(parts.directory.size()), static_cast<std::uint32_t>(body.size())));
    EXPECT_EQ(walk(path).first, zip::UZ_NO_MORE_ENTRIES);
}

// ---- Recognising archives ----

TEST(IsZipArchive, AcceptsAFileThatStartsWithALocalHeader)
{
    TempFolder folder;
    const std::string path = folder.write("plain.zip", build_archive(three_entries()));
    std::int32_t prefix = 77;
    EXPECT_TRUE(zip::is_zip_archive(path.c_str(), &prefix));
    EXPECT_EQ(prefix, 0);
    EXPECT_TRUE(zip::is_zip_archive(path.c_str()));
}

TEST(IsZipArchive, ReportsTheLengthOfAStubInFront)
{
    TempFolder folder;
    // Only the first three quarters of a file are searched, so the archive
    // behind the stub must be at least a third of the stub's length.
    const std::string archive = build_archive({{.name = "big.bin", .data = std::string(2000, 'b')}});
    const std::string path = folder.write("stub.exe", std::string(1000, 'M') + archive);
    std::int32_t prefix = 0;
    EXPECT_TRUE(zip::is_zip_archive(path.c_str(), &prefix));
    EXPECT_EQ(prefix, 1000);
}

TEST(IsZipArchive, RefusesFoldersWithOrWithoutATrailingSeparator)
{
    TempFolder folder;
    ASSERT_TRUE(platform::create_directory(folder.file("dir.zip")));
    std::int32_t prefix = 0;
    EXPECT_FALSE(zip::is_zip_archive(folder.file("dir.zip").c_str(), &prefix));
    EXPECT_EQ(prefix, -1);
    EXPECT_FALSE(zip::is_zip_archive((folder.file("dir.zip") + "\\").c_str()));
    EXPECT_FALSE(zip::is_zip_archive((folder.file("dir.zip") + "/").c_str()));
}

TEST(IsZipArchive, RefusesFilesWithoutALocalHeader)
{
    TempFolder folder;
    std::int32_t prefix = 0;
    EXPECT_FALSE(zip::is_zip_archive(folder.write("four", "PK\x01\x02").c_str(), &prefix));
    EXPECT_EQ(prefix, -1);
    EXPECT_FALSE(zip::is_zip_archive(folder.write("empty", "").c_str(), &prefix));
    EXPECT_EQ(prefix, -1);
    EXPECT_FALSE(zip::is_zip_archive(folder.write("text.txt", std::string(5000, 't')).c_str(), &prefix));
    EXPECT_EQ(prefix, -1);
    EXPECT_FALSE(zip::is_zip_archive(folder.write("entryless.zip", end_record(0, 0, 0)).c_str(), &prefix));
    EXPECT_EQ(prefix, -1);
    EXPECT_FALSE(zip::is_zip_archive(folder.file("missing.zip").c_str(), &prefix));
    EXPECT_EQ(prefix, -1);
    EXPECT_FALSE(zip::is_zip_archive("", &prefix));
}

TEST(IsZipArchive, AcceptsAFileThatIsOnlyALocalHeaderSignature)
{
    TempFolder folder;
    EXPECT_TRUE(zip::is_zip_archive(folder.write("sig", "PK\x03\x04").c_str()));
}

// ---- Finding the first local header ----

TEST(FindLocalHeader, SearchesTheFirstThreeQuartersOnly)
{
    TempFolder folder;
    // 100 bytes: 75 are searched, and a signature must leave one byte after it.
    std::string bytes(100, '.');
    bytes.replace(70, 4, "PK\x03\x04");
    std::int32_t out = 0;
    EXPECT_EQ(zip::find_local_header(folder.write("at70", bytes).c_str(), &out), 70);
    EXPECT_EQ(out, 100) << "a header found past the start leaves the file's length in the out value";
    bytes.replace(70, 4, "....");
    bytes.replace(71, 4, "PK\x03\x04");
    EXPECT_EQ(zip::find_local_header(folder.write("at71", bytes).c_str(), &out), -1);
    EXPECT_EQ(out, -1);
}

TEST(FindLocalHeader, LooksNoFurtherThan196608Bytes)
{
    TempFolder folder;
    std::string bytes(400000, '.');
    bytes.replace(196600, 4, "PK\x03\x04");
    EXPECT_EQ(zip::find_local_header(folder.write("inside", bytes).c_str()), 196600);
    bytes.replace(196600, 4, "....");
    bytes.replace(196605, 4, "PK\x03\x04");
    EXPECT_EQ(zip::find_local_header(folder.write("outside", bytes).c_str()), -1);
}

TEST(FindLocalHeader, AnswersZeroForAHeaderAtTheStart)
{
    TempFolder folder;
    std::int32_t out = 5;
    EXPECT_EQ(zip::find_local_header(folder.write("a.zip", build_archive(three_entries())).c_str(), &out), 0);
    EXPECT_EQ(out, 0);
}

TEST(FindLocalHeader, GivesUpOnTinyEmptyAndMissingFiles)
{
    TempFolder folder;
    std::int32_t out = 0;
    EXPECT_EQ(zip::find_local_header(folder.write("four", "PK\x03\x04").c_str(), &out), -1);
    EXPECT_EQ(out, 4) << "the out value keeps the length of a file too short to search";
    EXPECT_EQ(zip::find_local_header(folder.file("missing").c_str(), &out), -1);
    EXPECT_EQ(out, -1);
    EXPECT_EQ(zip::find_local_header("", &out), -1);
    EXPECT_EQ(out, -1);
}

// ---- Totals ----

TEST(ZipTotalSizes, AddsUpEveryEntry)
{
    TempFolder folder;
    const std::string path =
        folder.write("sizes.zip",
                     build_archive({{.name = "a", .compressed_size = 5, .uncompressed_size = 10},
                                    {.name = "b", .compressed_size = 0xFFFFFFFF, .uncompressed_size = 0xFFFFFFFF},
                                    {.name = "c", .compressed_size = 7, .uncompressed_size = 20}}));
    std::int64_t compressed = -1;
    EXPECT_EQ(zip::zip_total_sizes(path.c_str(), compressed), 30 + 0xFFFFFFFFLL);
    EXPECT_EQ(compressed, 12 + 0xFFFFFFFFLL);
}

TEST(ZipTotalSizes, GivesAnythingElseItsOwnLength)
{
    TempFolder folder;
    std::int64_t compressed = -1;
    EXPECT_EQ(zip::zip_total_sizes(folder.write("text.txt", std::string(1234, 't')).c_str(), compressed), 1234);
    EXPECT_EQ(compressed, 1234);
    const ArchiveParts parts = build_parts(three_entries());
    const std::string headless = parts.locals + parts.directory;
    EXPECT_EQ(zip::zip_total_sizes(folder.write("headless.zip", headless).c_str(), compressed),
              static_cast<std::int64_t>(headless.size()))
        << "an archive whose directory cannot be read";
    EXPECT_EQ(compressed, 0);
    EXPECT_EQ(zip::zip_total_sizes(folder.file("missing.zip").c_str(), compressed), 0);
    EXPECT_EQ(compressed, 0);
    EXPECT_EQ(zip::zip_total_sizes("", compressed), 0);
    EXPECT_EQ(compressed, 0);
}

// ---- Masks ----

TEST(MaskMatches, StarDotStarAndTheEmptyMaskMatchEverything)
{
    EXPECT_TRUE(zip::mask_matches("*.*", "README"));
    EXPECT_TRUE(zip::mask_matches("*.*", ""));
    EXPECT_TRUE(zip::mask_matches("", "anything\\at.all"));
}

TEST(MaskMatches, IgnoresLetterCaseAndCoversDirectories)
{
    EXPECT_TRUE(zip::mask_matches("*.TXT", "docs\\notes.txt"));
    EXPECT_TRUE(zip::mask_matches("docs\\*", "DOCS\\a\\b.c"));
    EXPECT_TRUE(zip::mask_matches("?OCS?NOTES.TXT", "docs\\notes.txt")) << "a question mark matches a backslash";
    EXPECT_FALSE(zip::mask_matches("*.txt", "notes.txt.bak"));
    EXPECT_FALSE(zip::mask_matches("*.DOC", "docs\\notes.txt"));
}

TEST(MaskMatches, OnlyASingleTrailingAsteriskMatchesNothing)
{
    EXPECT_TRUE(zip::mask_matches("a*", "A"));
    EXPECT_FALSE(zip::mask_matches("a**", "a"));
    EXPECT_TRUE(zip::mask_matches("a**", "ab"));
    EXPECT_FALSE(zip::mask_matches("?", ""));
    EXPECT_TRUE(zip::mask_matches("*", ""));
}

TEST(MaskMatches, AnInnerAsteriskMayMatchNothing)
{
    EXPECT_TRUE(zip::mask_matches("readme*.txt", "README.TXT"));
    EXPECT_TRUE(zip::mask_matches("*.txt", ".txt"));
    EXPECT_TRUE(zip::mask_matches("a*b*c", "abc"));
    EXPECT_TRUE(zip::wild_match("docs\\x", "docs*\\x"));
    EXPECT_FALSE(zip::mask_matches("readme*.txt", "readme.tx"));
}

TEST(MaskMatches, LeavesCharactersOutsideAToZAlone)
{
    EXPECT_TRUE(zip::mask_matches("\xE4*", "\xE4x"));
    EXPECT_FALSE(zip::mask_matches("\xC4*", "\xE4x")) << "only a to z are folded";
}

TEST(MaskMatches, LooksAtNoMoreThan255Characters)
{
    const std::string name = std::string(255, 'a') + "b";
    EXPECT_TRUE(zip::mask_matches(std::string(255, 'a'), name)) << "the name is cut to 255 characters";
    EXPECT_TRUE(zip::mask_matches(std::string(255, '?') + "X", std::string(255, 'q')));
}

TEST(MaskMatches, StaysFastWithManyAsterisks)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(zip::mask_matches("*a*a*a*a*a*a*a*a*a*a*a*a*b", std::string(255, 'a')));
    EXPECT_TRUE(zip::mask_matches("*a*a*a*a*a*a*a*a*a*a*a*a*", std::string(255, 'a')));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(WildMatch, FollowsItsRules)
{
    EXPECT_TRUE(zip::wild_match("", "*"));
    EXPECT_TRUE(zip::wild_match("", ""));
    EXPECT_FALSE(zip::wild_match("", "**"));
    EXPECT_FALSE(zip::wild_match("a", ""));
    EXPECT_TRUE(zip::wild_match("abc", "a?c"));
    EXPECT_TRUE(zip::wild_match("abc", "*c"));
    EXPECT_TRUE(zip::wild_match("abc", "a*"));
    EXPECT_TRUE(zip::wild_match("abcbc", "*bc"));
    EXPECT_FALSE(zip::wild_match("abc", "a?"));
    EXPECT_FALSE(zip::wild_match("abc", "abcd"));
    EXPECT_TRUE(zip::wild_match("a*c", "a*c"));
    EXPECT_FALSE(zip::wild_match("abc", "ABC")) << "wild_match itself compares exactly";
}

// ---- Names ----

TEST(SlashesToBackslashes, ChangesEverySlashInPlace)
{
    char name[] = "/a/b\\c/";
    zip::slashes_to_backslashes(name);
    EXPECT_STREQ(name, "\\a\\b\\c\\");
    char empty[] = "";
    zip::slashes_to_backslashes(empty);
    EXPECT_STREQ(empty, "");
}

TEST(OemToAnsiName, LeavesPlainAsciiUnchanged)
{
    const std::string ascii = "Docs\\Read Me (1).txt ~!@#$%^&()_+-=[]{};',";
    EXPECT_EQ(zip::oem_to_ansi_name(ascii), ascii);
    EXPECT_EQ(zip::oem_to_ansi_name(""), "");
}

}  // namespace
