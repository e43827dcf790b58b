// The directory walk over the test archives in tests/data/zip, compared with what
// Info-ZIP's zipinfo says of them. The listings are written by
// list_testdata.sh (a CTest fixture) into the build tree, so the Windows build
// under Wine compares against the same listings.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "zip/unzip.h"

namespace {

struct ListedEntry {
    std::string name;
    bool dos_host = false;
    std::int64_t size = 0;
    std::int64_t compressed_size = 0;
    int method = 0;
    std::string stamp;
    int dos_attributes = 0;
    std::int64_t header_offset = 0;
    std::uint32_t crc = 0;
};

std::string listing_path(const std::string& leaf) { return std::string(IMU_DIR_LISTINGS) + "/" + leaf; }
std::string archive_path(const std::string& leaf) { return std::string(IMU_TESTDATA_DIR) + "/" + leaf; }

std::vector<std::string> read_lines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

std::vector<ListedEntry> read_listing(const std::string& archive)
{
    std::vector<ListedEntry> entries;
    for (const std::string& line : read_lines(listing_path(archive + ".list"))) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
        if (f.size() != 9) {
            ADD_FAILURE() << archive << ": malformed listing line: " << line;
            continue;
        }
        ListedEntry e;
        e.name = f[0];
        e.dos_host = f[1] == "fat";
        e.size = std::stoll(f[2]);
        e.compressed_size = std::stoll(f[3]);
        e.method = std::stoi(f[4]);
        e.stamp = f[5];
        e.dos_attributes = std::stoi(f[6], nullptr, 16);
        e.header_offset = std::stoll(f[7]);
        e.crc = static_cast<std::uint32_t>(std::stoul(f[8], nullptr, 16));
        entries.push_back(e);
    }
    return entries;
}

std::string dos_stamp(std::uint32_t date_time)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", ((date_time >> 25) & 0x7F) + 1980,
                  (date_time >> 21) & 0x0F, (date_time >> 16) & 0x1F, (date_time >> 11) & 0x1F, (date_time >> 5) & 0x3F,
                  (date_time & 0x1F) * 2);
    return text;
}

std::string with_backslashes(std::string name)
{
    for (char& c : name)
        if (c == '/')
            c = '\\';
    return name;
}

bool is_ascii(const std::string& text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

// Info-ZIP prints a name from a DOS host through its own OEM-to-Latin-1 table,
// so outside ASCII only the length and the ASCII characters are comparable.
void expect_same_name(const std::string& walked, const ListedEntry& listed, const std::string& where)
{
    const std::string expected = with_backslashes(listed.name);
    if (!listed.dos_host || is_ascii(walked)) {
        EXPECT_EQ(walked, expected) << where;
        return;
    }
    ASSERT_EQ(walked.size(), expected.size()) << where;
    for (std::size_t i = 0; i < walked.size(); ++i)
        if (static_cast<unsigned char>(walked[i]) < 0x80) {
            EXPECT_EQ(walked[i], expected[i]) << where << " at " << i;
        }
}

// What the walk answers for the archives Info-ZIP cannot list.
const std::map<std::string, std::int32_t> unlisted_codes = {
    {"comment_garbage.zip", zip::UZ_BAD_ARCHIVE},  // end record at the start: no entries
    {"misaligned_comment.zip", zip::UZ_BAD_ARCHIVE},  // the same, with a comment
    {"deflate64_issue_25.zip", zip::UZ_BAD_ARCHIVE},  // end record 42 bytes from the start
    {"invalid_offset.zip", zip::UZ_CANNOT_OPEN},  // directory offset beyond the end record
    {"invalid_offset2.zip", zip::UZ_CANNOT_OPEN},  // directory offset 0xFFFFFFFF
};

class TestArchives : public testing::Test {
protected:
    void SetUp() override
    {
        archives_ = read_lines(listing_path("index"));
        ASSERT_FALSE(archives_.empty()) << "no listings in " << IMU_DIR_LISTINGS
                                        << "; they are written by the CTest fixture zip_dir_listings";
    }
    std::vector<std::string> archives_;
};

TEST_F(TestArchives, WalkListsWhatZipinfoLists)
{
    int compared = 0;
    for (const std::string& archive : archives_) {
        const std::vector<ListedEntry> listed = read_listing(archive);
        if (listed.empty())
            continue;
        ++compared;
        zip::ZipDirScan scan;
        std::int32_t result = zip::zip_dir_first(archive_path(archive).c_str(), scan);
        ASSERT_EQ(result, zip::UZ_OK) << archive;
        std::size_t index = 0;
        for (; result == zip::UZ_OK; result = zip::zip_dir_next(scan), ++index) {
            const std::string where = archive + " entry " + std::to_string(index + 1);
            ASSERT_LT(index, listed.size()) << where << " (" << scan.name << ") is not in zipinfo's listing";
            const ListedEntry& e = listed[index];
            expect_same_name(scan.name, e, where);
            EXPECT_EQ(scan.size, e.size) << where;
            EXPECT_EQ(scan.compressed_size, e.compressed_size) << where;
            EXPECT_EQ(scan.method, e.method) << where;
            EXPECT_EQ(dos_stamp(scan.date_time), e.stamp) << where;
            EXPECT_EQ(scan.attributes, e.dos_host ? e.dos_attributes : 0) << where;
            EXPECT_EQ(scan.header_offset, e.header_offset) << where;
            EXPECT_EQ(scan.crc32, e.crc) << where;
        }
        EXPECT_EQ(result, zip::UZ_NO_MORE_ENTRIES) << archive;
        EXPECT_EQ(index, listed.size()) << archive << ": the walk ended early";
        EXPECT_EQ(scan.buffer, nullptr) << archive;
    }
    EXPECT_GE(compared, 15);
}

TEST_F(TestArchives, ArchivesZipinfoCannotListGiveTheirCodes)
{
    for (const std::string& archive : archives_) {
        if (!read_listing(archive).empty())
            continue;
        const auto expected = unlisted_codes.find(archive);
        if (expected == unlisted_codes.end()) {
            ADD_FAILURE() << archive << " cannot be listed by zipinfo; say what the walk must answer";
            continue;
        }
        zip::ZipDirScan scan;
        EXPECT_EQ(zip::zip_dir_first(archive_path(archive).c_str(), scan), expected->second) << archive;
        EXPECT_EQ(scan.buffer, nullptr) << archive;
    }
}

TEST_F(TestArchives, ListedArchivesAreRecognisedAndTotalled)
{
    for (const std::string& archive : archives_) {
        const std::vector<ListedEntry> listed = read_listing(archive);
        if (listed.empty())
            continue;
        const std::string path = archive_path(archive);
        EXPECT_TRUE(zip::is_zip_archive(path.c_str())) << archive;
        std::int64_t size = 0;
        std::int64_t compressed = 0;
        for (const auto& e : listed) {
            size += e.size;
            compressed += e.compressed_size;
        }
        std::int64_t total_compressed = -1;
        EXPECT_EQ(zip::zip_total_sizes(path.c_str(), total_compressed), size) << archive;
        EXPECT_EQ(total_compressed, compressed) << archive;
    }
}

TEST_F(TestArchives, AnArchiveBehindAStubReportsItsPrefix)
{
    std::int32_t prefix = 0;
    EXPECT_TRUE(zip::is_zip_archive(archive_path("zip64_demo.zip").c_str(), &prefix));
    EXPECT_EQ(prefix, 14);
    EXPECT_TRUE(zip::is_zip_archive(archive_path("mixed.zip").c_str(), &prefix));
    EXPECT_EQ(prefix, 0);
}

}  // namespace
