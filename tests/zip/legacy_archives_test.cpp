// Shrunk and imploded entries of real archives, extracted through the batch
// and compared with what Info-ZIP's unzip extracts (written by a fixture).
#include <cctype>
#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "zip/legacy_harness.h"
#include "zip/unzip.h"
#include "zip/zip_test_support.h"

namespace {

namespace fs = std::filesystem;
using legacy_test::Bytes;

const fs::path testdata_dir{IMU_TESTDATA_DIR};
const fs::path expected_dir{IMU_LEGACY_EXPECTED};

std::map<std::string, Bytes> files_under(const fs::path& root)
{
    std::map<std::string, Bytes> files;
    if (!fs::is_directory(root))
        return files;
    for (const auto& item : fs::recursive_directory_iterator(root))
        if (item.is_regular_file())
            files[item.path().lexically_relative(root).generic_string()] = legacy_test::read_file(item.path());
    return files;
}

void expect_same_files(const std::map<std::string, Bytes>& actual, const std::map<std::string, Bytes>& expected)
{
    for (const auto& [name, bytes] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end()) {
            ADD_FAILURE() << name << " was not extracted";
            continue;
        }
        EXPECT_EQ(found->second.size(), bytes.size()) << name;
        EXPECT_TRUE(found->second == bytes) << name << " differs from unzip's output";
    }
    EXPECT_EQ(actual.size(), expected.size());
}

std::map<std::string, Bytes> expected_files(const std::string& archive)
{
    std::map<std::string, Bytes> files = files_under(expected_dir / archive);
    EXPECT_FALSE(files.empty()) << "no unzip output for " << archive
                                << "; the zip_legacy_expected fixture writes it (run through ctest)";
    return files;
}

// A test's name from its archive's: letters and digits only.
std::string archive_test_name(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

class LegacyArchive : public ::testing::TestWithParam<std::string> {};

INSTANTIATE_TEST_SUITE_P(Testdata, LegacyArchive,
                         ::testing::Values("SHRUNK.ZIP", "imploding-4Kdict-2trees.zip", "imploding-8Kdict-3trees.zip",
                                           "lorem-ipsum-implode.zip", "mixed.zip"),
                         archive_test_name);

TEST_P(LegacyArchive, EveryEntryExtractsAsUnzipExtractsIt)
{
    const fs::path target = legacy_test::scratch_path("batch");
    const std::map<std::string, Bytes> expected = expected_files(GetParam());
    const std::int32_t count =
        zip::extract_matching((testdata_dir / GetParam()).string().c_str(), target.string().c_str(), "*.*");
    EXPECT_EQ(count, static_cast<std::int32_t>(expected.size()));
    expect_same_files(files_under(target), expected);
}

// ---- entries whose sizes follow their data (flag bit 3) ----

std::uint32_t get32(const Bytes& b, std::size_t at)
{
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
std::uint16_t get16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8); }

// The entries of an archive whose local headers carry their sizes, to be
// written again streamed: sizes and CRC after the data (flag bit 3), the true
// values in the central directory.
std::vector<ziptest::TestEntry> streamed_entries(const Bytes& archive)
{
    std::vector<ziptest::TestEntry> entries;
    for (std::size_t at = 0; at + 30 <= archive.size() && get32(archive, at) == 0x04034B50;) {
        ziptest::TestEntry e;
        e.flags = get16(archive, at + 6);
        e.method = get16(archive, at + 8);
        e.date_time = get32(archive, at + 10);
        e.crc = get32(archive, at + 14);
        const std::uint32_t csize = get32(archive, at + 18);
        e.size = get32(archive, at + 22);
        e.descriptor = true;
        const std::size_t name_length = get16(archive, at + 26);
        const std::size_t data_at = at + 30 + name_length + get16(archive, at + 28);
        e.name.assign(archive.begin() + static_cast<std::ptrdiff_t>(at + 30),
                      archive.begin() + static_cast<std::ptrdiff_t>(at + 30 + name_length));
        e.data.assign(archive.begin() + static_cast<std::ptrdiff_t>(data_at),
                      archive.begin() + static_cast<std::ptrdiff_t>(data_at + csize));
        at = data_at + csize;
        entries.push_back(std::move(e));
    }
    return entries;
}

fs::path streamed_copy(const std::string& archive)
{
    const fs::path path = legacy_test::scratch_path("streamed") += ".zip";
    ziptest::write_file(path, ziptest::build_zip(streamed_entries(legacy_test::read_file(testdata_dir / archive))));
    return path;
}

class StreamedEntries : public ::testing::TestWithParam<std::string> {};

INSTANTIATE_TEST_SUITE_P(DataDescriptor, StreamedEntries,
                         ::testing::Values("SHRUNK.ZIP", "imploding-4Kdict-2trees.zip", "imploding-8Kdict-3trees.zip",
                                           "lorem-ipsum-implode.zip"),
                         archive_test_name);

TEST_P(StreamedEntries, ExtractThroughTheBatchWithTheCentralDirectorysSizes)
{
    const fs::path archive = streamed_copy(GetParam());
    const fs::path target = legacy_test::scratch_path("streamed-batch");
    const std::map<std::string, Bytes> expected = expected_files(GetParam());
    const std::int32_t count = zip::extract_matching(archive.string().c_str(), target.string().c_str(), "*.*");
    EXPECT_EQ(count, static_cast<std::int32_t>(expected.size()));
    expect_same_files(files_under(target), expected);
}

TEST_P(StreamedEntries, DirectExtractionWithoutThoseSizesFailsAndLeavesNoFile)
{
    const fs::path archive = streamed_copy(GetParam());
    const fs::path output = legacy_test::scratch_path("streamed-direct");
    const std::vector<ziptest::TestEntry> entries = streamed_entries(legacy_test::read_file(testdata_dir / GetParam()));
    // A shrunk entry cannot be decoded without its compressed size; an
    // imploded one runs on until the archive ends.
    const std::int32_t expected = entries.front().method == 1 ? zip::UZ_UNSUPPORTED : zip::UZ_READ_ERROR;
    EXPECT_EQ(zip::extract_entry(archive.string().c_str(), output.string().c_str(), 0, 0, 0), expected);
    EXPECT_FALSE(fs::exists(output));
}

}  // namespace
