// Damaged archives: every truncation of a few small archives and a sample of
// their single-bit flips go through the whole batch. Whatever the damage, the
// batch must end with a code of the library's table, report each failed entry
// with one, leave no output file of a failed entry, write nothing outside the
// target folder and leave the library ready for the next batch. Leaks and
// memory errors are the sanitizers' (and valgrind's) part of the same runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "zip/unzip.h"
#include "zip/zip_test_support.h"

namespace {

namespace fs = std::filesystem;

// Thousands of small batches: on Linux they go to the memory file system when
// there is one, where they take a tenth of the time they take on a disk.
fs::path fast_scratch_base()
{
    std::error_code ec;
    return fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

// Comparable form of a path as the library reports it and as the folder
// listing shows it. Windows ignores case and trailing dots and spaces.
std::string comparable(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    std::string out;
    std::string part;
    auto flush_part = [&] {
#ifdef _WIN32
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
        for (char& c : part) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
        if (!part.empty())
            out += "/" + part;
        part.clear();
    };
    for (char c : path) {
        if (c == '/')
            flush_part();
        else
            part += c;
    }
    flush_part();
    return out;
}

bool plain_ascii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

bool one_of(std::int32_t code, std::initializer_list<std::int32_t> codes)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// What one batch did, gathered by its report procedure.
struct BatchLog {
    std::vector<std::string> problems;
    std::set<std::string> done_files;  // comparable output paths of entries reported done
    std::string current;  // the entry under way
    bool current_existed = false;
    bool current_open = false;
    int entries_begun = 0;
};

BatchLog* active_log = nullptr;

void entry_ended_without_success()
{
    BatchLog& log = *active_log;
    if (!log.current_open)
        return;
    log.current_open = false;
    if (log.current_existed || log.current.empty() || log.current.back() == '\\' || log.current.back() == '/')
        return;
    std::error_code ec;
    if (fs::is_regular_file(fs::path(log.current), ec))
        log.problems.push_back("a failed entry left its output: " + log.current);
}

void record_report(std::int32_t value, zip::ZipReport* record)
{
    BatchLog& log = *active_log;
    const std::int32_t status = record->status;
    if (value == zip::REPORT_FATAL) {
        if (!one_of(status, {zip::UZ_READ_ERROR, zip::UZ_FORMAT_ERROR}))
            log.problems.push_back("fatal report with status " + std::to_string(status));
        entry_ended_without_success();
        return;
    }
    switch (status) {
    case zip::REPORT_ENTRY_BEGIN: {
        entry_ended_without_success();  // an entry that failed without a report
        ++log.entries_begun;
        log.current = record->name;
#ifndef _WIN32
        std::replace(log.current.begin(), log.current.end(), '\\', '/');
#endif
        std::error_code ec;
        log.current_existed = fs::exists(fs::path(log.current), ec);
        log.current_open = true;
        break;
    }
    case zip::REPORT_ENTRY_DONE:
        if (!record->is_directory)
            log.done_files.insert(comparable(record->name));
        log.current_open = false;
        break;
    case zip::REPORT_ENTRY_FAILED:
        if (!one_of(value,
                    {zip::UZ_CRC_ERROR, zip::UZ_WRITE_ERROR, zip::UZ_UNSUPPORTED, zip::UZ_ENCRYPTED,
                     zip::UZ_OVERLAPPING_ENTRY}))
            log.problems.push_back("entry failure reported with " + std::to_string(value));
        entry_ended_without_success();
        break;
    case zip::REPORT_BYTES_WRITTEN:
        if (value < 0 || value > 32768)
            log.problems.push_back("bytes written: " + std::to_string(value));
        break;
    case zip::REPORT_ARCHIVE_BEGIN:
        break;
    case zip::REPORT_ARCHIVE_END:
        entry_ended_without_success();
        break;
    default:
        log.problems.push_back("unknown report " + std::to_string(value) + " with status " + std::to_string(status));
    }
}

// Runs one batch on the given bytes in a fresh sandbox. The target folder sits
// a few levels down, so that a name climbing out of it lands in the sandbox.
class Sandbox {
public:
    Sandbox() : chain_(scratch_.path() / "s1" / "s2" / "s3"), target_(chain_ / "target") {}

    // The batch's result; problems found are added to `problems`.
    std::int32_t run(const std::string& archive_bytes, const std::string& what, std::vector<std::string>& problems)
    {
        const fs::path archive = scratch_.path() / "archive.zip";
        ziptest::write_file(archive, archive_bytes);
        std::error_code ec;
        fs::remove_all(scratch_.path() / "s1", ec);
        fs::create_directories(chain_);

        BatchLog log;
        active_log = &log;
        zip::set_report_proc(record_report);
        std::int32_t result = 0;
        bool raised = false;
        try {
            result = zip::extract_matching(archive.string().c_str(), target_.string().c_str(), "*.*");
        } catch (const zip::IoError&) {
            // One of the few run-time errors raised by design; the library
            // stays busy until its guard times out, so let it go here.
            raised = true;
            zip::busy = false;
            zip::set_report_proc(nullptr);
        }
        active_log = nullptr;

        auto problem = [&](const std::string& text) { problems.push_back(what + ": " + text); };
        for (const std::string& p : log.problems) problem(p);
        if (!raised) {
            if (result < 0 &&
                !one_of(result,
                        {zip::UZ_READ_ERROR, zip::UZ_FORMAT_ERROR, zip::UZ_BAD_ARCHIVE, zip::UZ_NOT_AN_ARCHIVE}))
                problem("the batch returned " + std::to_string(result));
            if (zip::busy)
                problem("the library is left busy");
            if (zip::report_proc != nullptr && result != zip::UZ_NOT_AN_ARCHIVE && result != zip::UZ_BAD_ARCHIVE)
                problem("the report procedure is still registered");
        }
        zip::set_report_proc(nullptr);

        // Nothing beside the chain of folders that leads to the target.
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(scratch_.path(), ec)) {
            const fs::path rel = e.path().lexically_relative(scratch_.path());
            if (rel == "archive.zip" || rel == "s1" || rel == fs::path("s1") / "s2" ||
                rel == chain_.lexically_relative(scratch_.path()))
                continue;
            if (e.path().string().rfind(target_.string(), 0) == 0) {
                // Inside the target: a file only where an entry was reported done.
                const std::string name = e.path().string();
                if (e.is_regular_file(ec) && plain_ascii(name) && !log.done_files.count(comparable(name)))
                    problem("a file no entry was reported done for: " + name);
                continue;
            }
            problem("written outside the target folder: " + e.path().string());
        }
        return result;
    }

private:
    ziptest::TempFolder scratch_{"robust", fast_scratch_base()};
    fs::path chain_;
    fs::path target_;
};

std::string test_archive(const std::string& name) { return ziptest::read_file(fs::path(IMU_TESTDATA_DIR) / name); }

// A dynamic-Huffman deflate stream of a 220-byte text (zlib, level 9).
const unsigned char dynamic_stream[] = {
    0x4d, 0x8e, 0xd1, 0x0d, 0x83, 0x30, 0x0c, 0x44, 0x57, 0xb9, 0x01, 0x10, 0x03, 0x74, 0x0c, 0x36, 0x30, 0xc1, 0x21,
    0x96, 0x8c, 0x83, 0x62, 0x03, 0x62, 0xfb, 0x86, 0x56, 0xaa, 0xfa, 0x69, 0x9f, 0xdf, 0x3d, 0x4f, 0x75, 0x3e, 0x3c,
    0x8c, 0xdd, 0x5f, 0xe0, 0x93, 0xdb, 0x8d, 0x68, 0x87, 0x25, 0x0a, 0xa9, 0x06, 0xb2, 0x05, 0x04, 0xa7, 0x6d, 0x57,
    0x46, 0xcd, 0x98, 0x25, 0x90, 0x55, 0x76, 0x7f, 0x06, 0xdf, 0x48, 0x15, 0xd4, 0x52, 0x91, 0x93, 0x1d, 0x5b, 0xaf,
    0x41, 0x26, 0x51, 0x24, 0x65, 0x32, 0xbd, 0x71, 0x49, 0x94, 0x8e, 0xa7, 0xba, 0x7c, 0xe0, 0x28, 0x8c, 0xa0, 0x59,
    0x79, 0x40, 0x3f, 0x38, 0x19, 0x56, 0xb1, 0x53, 0x0b, 0x21, 0x45, 0x96, 0x2e, 0x78, 0x6c, 0x57, 0x93, 0x78, 0x92,
    0x28, 0x62, 0x2b, 0xea, 0x11, 0x2e, 0x9d, 0xfe, 0xa2, 0x6d, 0xe5, 0x6e, 0xa8, 0xba, 0x70, 0x1b, 0x31, 0xfd, 0xfe,
    0x06, 0xad, 0x24, 0x36, 0xa0, 0xfd, 0x6d, 0xf4, 0xa2, 0xdb, 0xc7, 0x37};
const char dynamic_text[] =
    "Robustness: every truncation and a sample of bit flips of small archives must fail cleanly with a code "
    "of the table, leave no partial file and write nothing outside the target folder. Robustness again, "
    "robustness always.";

std::string dynamic_deflate_archive()
{
    ziptest::TestEntry e;
    e.name = "doc/robust.txt";
    e.plain = dynamic_text;
    e.data.assign(reinterpret_cast<const char*>(dynamic_stream), sizeof dynamic_stream);
    e.method = 8;
    ziptest::TestEntry d = e;
    d.name = "doc/robust-dd.txt";
    d.descriptor = true;
    return ziptest::build_zip({ziptest::stored("doc/", ""), e, d, ziptest::stored("top.txt", "top level\n")});
}

// Names that would climb out of the target, beside ordinary ones.
std::string climbing_archive()
{
    return ziptest::build_zip(
        {ziptest::stored("ok.txt", "fine\n"), ziptest::stored("../up1.txt", "one up\n"),
         ziptest::stored("a/../../up1b.txt", "one up, the long way\n"),
         ziptest::stored("..\\up1c.txt", "one up, backslash\n"), ziptest::stored("../../up2.txt", "two up\n"),
         ziptest::stored("sub/../../../up3.txt", "three up\n"), ziptest::stored("/rooted.txt", "stays inside\n"),
         ziptest::deflated("deep/er/file.txt", "deep\n")});
}

struct Sample {
    const char* label;
    std::string bytes;
    std::optional<std::int32_t> intact_result;  // what the undamaged archive gives, where it is settled
    bool every_truncation = true;  // false: too long to try every length
};

std::vector<Sample> samples()
{
    return {
        {"SHRUNK.ZIP", test_archive("SHRUNK.ZIP"), 2},
        {"imploding-4Kdict-2trees.zip", test_archive("imploding-4Kdict-2trees.zip"), 1},
        {"imploding-8Kdict-3trees.zip", test_archive("imploding-8Kdict-3trees.zip"), 1, false},
        {"data_descriptor.zip", test_archive("data_descriptor.zip"), 1},
        {"files_and_dirs.zip", test_archive("files_and_dirs.zip"), 3},
        // Stored entries with descriptors, and a directory 16 bytes off its stated offset.
        {"bla-stored-dd.zip", test_archive("bla-stored-dd.zip"), std::nullopt},
        {"dynamic deflate", dynamic_deflate_archive(), 4},
        {"climbing names", climbing_archive(), 3},
    };
}

std::string summary(const std::vector<std::string>& problems)
{
    std::string text = std::to_string(problems.size()) + " problems";
    for (std::size_t i = 0; i < problems.size() && i < 20; ++i) text += "\n  " + problems[i];
    return text;
}

TEST(DamagedArchives, UndamagedSamplesExtractAsExpected)
{
    Sandbox sandbox;
    for (const Sample& s : samples()) {
        ASSERT_FALSE(s.bytes.empty()) << s.label;
        std::vector<std::string> problems;
        const std::int32_t result = sandbox.run(s.bytes, s.label, problems);
        EXPECT_TRUE(problems.empty()) << summary(problems);
        if (s.intact_result) {
            EXPECT_EQ(result, *s.intact_result) << s.label;
        }
    }
}

TEST(DamagedArchives, NamesThatClimbOutOfTheTargetWriteNothingOutside)
{
    Sandbox sandbox;
    std::vector<std::string> problems;
    EXPECT_EQ(sandbox.run(climbing_archive(), "climbing names", problems), 3);
    EXPECT_TRUE(problems.empty()) << summary(problems);
}

// A shrunk entry whose stated size runs into the next header decodes the
// header as codes. Such codes once sent bytes of the never-written part of
// the decoder's tables to the output file; valgrind (tools/valgrind) sees that.
TEST(DamagedArchives, ShrunkEntryReadingPastItsDataFailsCleanly)
{
    std::string damaged = test_archive("SHRUNK.ZIP");
    ASSERT_GT(damaged.size(), 18u);
    damaged[18] = static_cast<char>(damaged[18] ^ 0x20);  // compressed size 66 becomes 98
    Sandbox sandbox;
    std::vector<std::string> problems;
    (void)sandbox.run(damaged, "SHRUNK.ZIP with an overstated size", problems);
    EXPECT_TRUE(problems.empty()) << summary(problems);
}

TEST(DamagedArchives, EveryTruncationFailsCleanly)
{
    Sandbox sandbox;
    std::vector<std::string> problems;
    int runs = 0;
    for (const Sample& s : samples()) {
        if (!s.every_truncation)
            continue;
        for (std::size_t length = 0; length < s.bytes.size(); ++length) {
            (void)sandbox.run(s.bytes.substr(0, length), std::string(s.label) + " cut to " + std::to_string(length),
                              problems);
            ++runs;
        }
    }
    EXPECT_TRUE(problems.empty()) << summary(problems);
    EXPECT_GT(runs, 3000);
}

// Bit positions to flip: every bit of the first local header's fixed part and
// of the end record, and a fixed pseudo-random sample of the rest.
std::vector<std::size_t> flip_positions(std::size_t size)
{
    std::set<std::size_t> bits;
    for (std::size_t i = 0; i < std::min<std::size_t>(30, size) * 8; ++i) bits.insert(i);
    for (std::size_t i = size >= 22 ? (size - 22) * 8 : 0; i < size * 8; ++i) bits.insert(i);
    std::uint32_t seed = 0x2545F491u;
    for (int k = 0; k < 300; ++k) {
        seed = seed * 1664525u + 1013904223u;
        bits.insert(seed % (size * 8));
    }
    return {bits.begin(), bits.end()};
}

TEST(DamagedArchives, SampledSingleBitFlipsFailCleanly)
{
    Sandbox sandbox;
    std::vector<std::string> problems;
    int runs = 0;
    for (const Sample& s : samples()) {
        for (std::size_t bit : flip_positions(s.bytes.size())) {
            std::string damaged = s.bytes;
            damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
            (void)sandbox.run(damaged, std::string(s.label) + " bit " + std::to_string(bit) + " flipped", problems);
            ++runs;
        }
    }
    EXPECT_TRUE(problems.empty()) << summary(problems);
    EXPECT_GT(runs, 3000);
}

}  // namespace
