// Extracting entries and whole archives: output against Info-ZIP unzip, the
// batch's events and codes, and the guards against unsafe names.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/files.h"
#include "platform/pump.h"
#include "zip/extract_state.h"
#include "zip/unzip.h"
#include "zip_test_support.h"

using namespace zip;
using namespace ziptest;

namespace {

struct Event {
    std::int32_t value;
    std::int32_t status;
    std::string name;
    std::int64_t size;
    std::int64_t compressed_size;
    std::int32_t date_time;
    std::int32_t attributes;
    std::uint16_t method;
    bool is_directory;
};

std::vector<Event> events;

void record(std::int32_t value, ZipReport* r)
{
    events.push_back({value, r->status, r->name, r->size, r->compressed_size, r->date_time, r->attributes, r->method,
                      r->is_directory != 0});
}

std::vector<std::int32_t> values(bool with_bytes = false)
{
    std::vector<std::int32_t> out;
    for (const Event& e : events)
        if (with_bytes || e.status != REPORT_BYTES_WRITTEN)
            out.push_back(e.value);
    return out;
}

int count_of(std::int32_t value)
{
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const Event& e) {
        return e.value == value && e.status != REPORT_BYTES_WRITTEN;
    }));
}

// The library's spelling of a path: backslashes throughout.
std::string lib_path(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        events.clear();
        target_ = dir_.file("out");
    }
    void TearDown() override
    {
        set_flatten_paths(false);
        lower_case_names = false;
        report_proc = nullptr;
        overwrite_query = nullptr;
        busy = false;
#ifndef _WIN32
        platform::set_pump_hooks({});
#endif
    }

    std::string archive(const std::vector<TestEntry>& entries, const std::string& stub = "")
    {
        const std::string path = dir_.file("test.zip");
        write_file(path, build_zip(entries, stub));
        return path;
    }

    std::int32_t extract(const std::string& archive_path, const std::string& mask = "*.*",
                         OverwriteQuery query = nullptr)
    {
        return extract_matching_ex(archive_path.c_str(), target_.c_str(), mask.c_str(), record, query);
    }

    fs::path out(const std::string& relative) const { return fs::path(target_) / relative; }

    TempFolder dir_{"extract"};
    std::string target_;
};

// ---- output against Info-ZIP unzip ----

std::map<std::string, std::string> files_under(const fs::path& root, std::vector<std::string>* directories = nullptr)
{
    std::map<std::string, std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(item.path(), root).generic_string();
        if (item.is_directory()) {
            if (directories)
                directories->push_back(relative);
        } else {
            files[relative] = read_file(item.path());
        }
    }
    if (directories)
        std::sort(directories->begin(), directories->end());
    return files;
}

TEST(ArchivesOfOtherTools, ExtractByteForByteAsUnzipDoes)
{
    const fs::path base = IMU_EXTRACT_ARCHIVES;
    std::ifstream manifest(base / "archives.txt");
    ASSERT_TRUE(manifest.good()) << "run the zip_extract_archives fixture first";
    std::string line;
    int archives = 0;
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string name, expected_dir, mode;
        fields >> name >> expected_dir >> mode;
        SCOPED_TRACE(name);
        ++archives;
        TempFolder out{"unzip-like"};
        events.clear();
        const std::string archive = (base / name).string();
        const std::int32_t count =
            extract_matching_ex(archive.c_str(), out.path().string().c_str(), "*.*", record, nullptr);
        ASSERT_GE(count, 0);
        EXPECT_EQ(count, count_of(REPORT_ENTRY_DONE));
        EXPECT_EQ(count_of(REPORT_ENTRY_FAILED), 0);

        std::vector<std::string> got_dirs, want_dirs;
        const auto got = files_under(out.path(), &got_dirs);
        const auto want = files_under(base / expected_dir, &want_dirs);
#ifdef _WIN32
        if (mode == "blobs-unicode")
            continue;
#endif
        if (mode.rfind("blobs", 0) == 0) {
            std::vector<std::string> a, b;
            for (const auto& [k, v] : got) a.push_back(v);
            for (const auto& [k, v] : want) b.push_back(v);
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            EXPECT_EQ(a.size(), b.size());
            EXPECT_TRUE(a == b);
            continue;
        }
        EXPECT_EQ(got_dirs, want_dirs);
        ASSERT_EQ(got.size(), want.size());
        for (const auto& [file, content] : want) {
            auto it = got.find(file);
            ASSERT_NE(it, got.end()) << file;
            EXPECT_TRUE(it->second == content) << file << ": contents differ";
            if (mode == "exact") {
                EXPECT_EQ(fs::last_write_time(out.path() / file), fs::last_write_time(base / expected_dir / file))
                    << file << ": dates differ";
            }
        }
    }
    EXPECT_GE(archives, 30);
}

// Entries of a streamed archive carry data descriptors; called directly,
// without the central directory's values, extract_entry reads each CRC from
// the bytes that follow the compressed data, right after inflate's last bit.
TEST(ArchivesOfOtherTools, StreamedEntriesFindTheirCrcAfterTheirData)
{
    const fs::path base = IMU_EXTRACT_ARCHIVES;
    const std::string archive = (base / "zip-streamed.zip").string();
    ZipDirScan scan;
    ASSERT_EQ(zip_dir_first(archive.c_str(), scan), 0);
    TempFolder out{"streamed"};
    int files = 0;
    do {
        const std::string name = scan.name;
        // Stored entries of unknown size cannot be extracted this way (they copy to the archive's end).
        if (name.empty() || name.back() == '\\' || scan.method != 8)
            continue;
        SCOPED_TRACE(name);
        std::string relative = name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const std::string output = out.file("file-" + std::to_string(++files));
        EXPECT_EQ(extract_entry(archive.c_str(), output.c_str(), scan.header_offset, 0, 0), 0);
        EXPECT_TRUE(read_file(output) == read_file(base / "expected/zip-streamed" / relative));
    } while (zip_dir_next(scan) == 0);
    EXPECT_GE(files, 7);
}

// ---- the batch ----

TEST_F(ExtractTest, EmptyArchiveNameOrTargetIsABadArgumentAndKeepsTheProcedures)
{
    set_report_proc(record);
    const std::string a = archive({stored("a.txt", "x")});
    EXPECT_EQ(extract_matching("", target_.c_str(), "*.*"), UZ_BAD_ARGUMENT);
    EXPECT_EQ(extract_matching(a.c_str(), "", "*.*"), UZ_BAD_ARGUMENT);
    EXPECT_FALSE(fs::exists(target_));
    EXPECT_EQ(set_report_proc(nullptr), record);
    EXPECT_TRUE(events.empty());
}

TEST_F(ExtractTest, MissingArchiveAndPlainTextAreNotArchives)
{
    EXPECT_EQ(extract(dir_.file("missing.zip")), UZ_NOT_AN_ARCHIVE);
    write_file(dir_.path() / "notes.txt", "just some text, no archive here\n");
    EXPECT_EQ(extract(dir_.file("notes.txt")), UZ_NOT_AN_ARCHIVE);
    EXPECT_TRUE(events.empty());
}

TEST_F(ExtractTest, MaskMatchingNothingReportsOnlyTheArchiveWithZeroTotals)
{
    const std::string a = archive({stored("a.txt", "hello"), stored("b.txt", "world!")});
    EXPECT_EQ(extract(a, "*.DOC"), 0);
    ASSERT_EQ(values(true), (std::vector<std::int32_t>{REPORT_ARCHIVE_BEGIN, REPORT_ARCHIVE_END}));
    EXPECT_EQ(events[0].size, 11);
    EXPECT_EQ(events[0].compressed_size, 11);
    EXPECT_EQ(events[0].name, a);
    const Event& end = events[1];
    EXPECT_EQ(end.size, 0);
    EXPECT_EQ(end.compressed_size, 0);
    EXPECT_EQ(end.date_time, -1);
    EXPECT_EQ(end.attributes, -1);
    EXPECT_EQ(end.method, 0);
    EXPECT_EQ(end.status, REPORT_ARCHIVE_END);
    EXPECT_EQ(end.name, a);
    EXPECT_EQ(set_report_proc(nullptr), nullptr);
}

TEST_F(ExtractTest, EachEntryIsAnnouncedWrittenInBlocksAndDone)
{
    const std::string big = noise(40000);
    TestEntry b = deflated("sub/b.txt", big);
    b.date_time = dos_date_time(2019, 12, 31, 23, 58, 10);
    const std::string a = archive({stored("a.txt", "hello"), b});
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(values(true),
              (std::vector<std::int32_t>{REPORT_ARCHIVE_BEGIN, REPORT_ENTRY_BEGIN, 5, REPORT_ENTRY_DONE,
                                         REPORT_ENTRY_BEGIN, 32768, 7232, REPORT_ENTRY_DONE, REPORT_ARCHIVE_END}));
    EXPECT_EQ(events[1].name, lib_path(target_) + "\\a.txt");
    EXPECT_EQ(events[4].name, lib_path(target_) + "\\sub\\b.txt");
    EXPECT_EQ(events[4].method, 8);
    EXPECT_EQ(events[4].size, 40000);
    EXPECT_EQ(events[4].date_time, static_cast<std::int32_t>(b.date_time));
    EXPECT_EQ(events[5].status, REPORT_BYTES_WRITTEN);
    EXPECT_EQ(events[8].size, 40005);
    EXPECT_EQ(read_file(out("a.txt")), "hello");
    EXPECT_EQ(read_file(out("sub/b.txt")), big);

    // The date is the entry's, taken as local time.
    write_file(dir_.path() / "reference", "");
    {
        platform::File reference = platform::File::open_read_write(dir_.file("reference"));
        reference.set_dos_date_time(b.date_time);
    }
    EXPECT_EQ(fs::last_write_time(out("sub/b.txt")), fs::last_write_time(dir_.path() / "reference"));
}

TEST_F(ExtractTest, DirectoryEntriesCreateTheirFoldersAndAreCounted)
{
    const std::string a = archive({stored("d1/", ""), stored("d1/d2/", ""), stored("d1/d2/f.txt", "f")});
    EXPECT_EQ(extract(a), 3);
    EXPECT_TRUE(fs::is_directory(out("d1/d2")));
    EXPECT_EQ(read_file(out("d1/d2/f.txt")), "f");
    EXPECT_EQ(count_of(REPORT_ENTRY_DONE), 3);
    EXPECT_TRUE(events[1].is_directory);
}

TEST_F(ExtractTest, AnEntryWithAnEmptyNameStandsForTheTargetItself)
{
    EXPECT_EQ(extract(archive({stored("", ""), stored("a.txt", "a")})), 2);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[1].name, lib_path(target_) + "\\");
    EXPECT_TRUE(events[1].is_directory);
    EXPECT_EQ(files_under(target_).size(), 1u);
}

TEST_F(ExtractTest, FlattenedDirectoryEntriesAreCountedButNotReported)
{
    const std::string a = archive({stored("d1/", ""), stored("d1/f.txt", "f")});
    EXPECT_FALSE(set_flatten_paths(true));
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(
        values(),
        (std::vector<std::int32_t>{REPORT_ARCHIVE_BEGIN, REPORT_ENTRY_BEGIN, REPORT_ENTRY_DONE, REPORT_ARCHIVE_END}));
    EXPECT_EQ(read_file(out("f.txt")), "f");
    EXPECT_FALSE(fs::exists(out("d1")));
    EXPECT_TRUE(set_flatten_paths(false));
}

TEST_F(ExtractTest, FlattenedEntriesOfTheSameNameReplaceEachOther)
{
    const std::string a = archive({stored("a/x.txt", "first"), stored("b/x.txt", "second")});
    set_flatten_paths(true);
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(read_file(out("x.txt")), "second");
    EXPECT_EQ(events[1].name, lib_path(target_) + "\\x.txt");
}

TEST_F(ExtractTest, EncryptedAndUnsupportedEntriesFailAloneAndTheRestIsExtracted)
{
    TestEntry secret = stored("secret.txt", "hidden");
    secret.flags = 1;
    std::vector<TestEntry> entries{secret};
    for (std::uint16_t method : {2, 3, 4, 5, 9, 12, 99}) {
        TestEntry e = stored("method" + std::to_string(method) + ".bin", "data");
        e.method = method;
        entries.push_back(e);
    }
    entries.push_back(stored("plain.txt", "plain"));
    EXPECT_EQ(extract(archive(entries)), 1);
    std::vector<std::int32_t> failures;
    for (const Event& e : events)
        if (e.status == REPORT_ENTRY_FAILED)
            failures.push_back(e.value);
    EXPECT_EQ(failures,
              (std::vector<std::int32_t>{UZ_ENCRYPTED, UZ_UNSUPPORTED, UZ_UNSUPPORTED, UZ_UNSUPPORTED, UZ_UNSUPPORTED,
                                         UZ_UNSUPPORTED, UZ_UNSUPPORTED, UZ_UNSUPPORTED}));
    EXPECT_EQ(read_file(out("plain.txt")), "plain");
    EXPECT_FALSE(fs::exists(out("secret.txt")));
    EXPECT_EQ(events.back().value, REPORT_ARCHIVE_END);
}

TEST_F(ExtractTest, CrcMismatchDeletesTheOutputAndTheBatchGoesOn)
{
    TestEntry bad = deflated("bad.txt", "some data");
    bad.crc = 0x12345678;
    const std::string a = archive({bad, stored("good.txt", "good")});
    EXPECT_EQ(extract(a), 1);
    EXPECT_FALSE(fs::exists(out("bad.txt")));
    EXPECT_EQ(read_file(out("good.txt")), "good");
    ASSERT_EQ(count_of(UZ_CRC_ERROR), 1);
}

TEST_F(ExtractTest, ExistingReadOnlyFileIsReplacedAndGetsTheEntrysAttributes)
{
    fs::create_directories(target_);
    write_file(out("r.txt"), "old");
    platform::set_file_attributes(out("r.txt").string(), platform::attr_read_only);
    TestEntry r = stored("r.txt", "new");
    r.attributes = platform::attr_read_only;
    TestEntry w = stored("w.txt", "writable");
    w.attributes = 0x20;
    EXPECT_EQ(extract(archive({r, w})), 2);
    EXPECT_EQ(read_file(out("r.txt")), "new");
    EXPECT_EQ(platform::get_file_attributes(out("r.txt").string()) & platform::attr_read_only,
              static_cast<std::int32_t>(platform::attr_read_only));
    EXPECT_EQ(platform::get_file_attributes(out("w.txt").string()) & platform::attr_read_only, 0);
}

int queries = 0;
bool refuse(ZipReport* report)
{
    ++queries;
    EXPECT_EQ(report->status, REPORT_ENTRY_BEGIN);
    return false;
}

TEST_F(ExtractTest, OverwriteQueryThatSaysNoKeepsTheFileAndCountsTheEntry)
{
    fs::create_directories(target_);
    write_file(out("keep.txt"), "mine");
    queries = 0;
    const std::string a = archive({stored("keep.txt", "theirs, longer"), stored("new.txt", "new")});
    EXPECT_EQ(extract(a, "*.*", refuse), 2);
    EXPECT_EQ(queries, 1);
    EXPECT_EQ(read_file(out("keep.txt")), "mine");
    EXPECT_EQ(read_file(out("new.txt")), "new");
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[2].value, 14);
    EXPECT_EQ(events[2].status, REPORT_BYTES_WRITTEN);
    EXPECT_EQ(events[2].method, 9);
    EXPECT_EQ(events[3].value, REPORT_ENTRY_DONE);
    EXPECT_EQ(overwrite_query, nullptr);
}

TEST_F(ExtractTest, LowerCaseNamesLowersOnlyAsciiLetters)
{
    lower_case_names = true;
    EXPECT_EQ(extract(archive({stored("DIR/File.TXT", "x")})), 1);
    EXPECT_EQ(read_file(out("dir/file.txt")), "x");
}

TEST_F(ExtractTest, ArchiveBehindAStubIsExtracted)
{
    // The first local header is looked for in the first three quarters of the file.
    const std::string a =
        archive({deflated("inner.txt", "behind a stub"), stored("filler.bin", noise(4000))}, std::string(1000, 'S'));
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(read_file(out("inner.txt")), "behind a stub");
}

TEST_F(ExtractTest, TargetWithoutTrailingSeparatorIsCreatedWithItsParents)
{
    target_ = dir_.file("new/deeper/out");
    EXPECT_EQ(extract(archive({stored("sub/a.txt", "a")})), 1);
    EXPECT_EQ(read_file(out("sub/a.txt")), "a");
}

TEST_F(ExtractTest, RegisteredProceduresLastForOneBatch)
{
    set_report_proc(record);
    set_overwrite_query(refuse);
    EXPECT_EQ(extract_matching(archive({stored("a.txt", "a")}).c_str(), target_.c_str(), "*.*"), 1);
    EXPECT_EQ(values().front(), REPORT_ARCHIVE_BEGIN);
    EXPECT_EQ(set_report_proc(nullptr), nullptr);
    EXPECT_EQ(set_overwrite_query(nullptr), nullptr);
}

// ---- data descriptors (flag bit 3) ----

TEST_F(ExtractTest, EntriesWithDataDescriptorsExtractFromTheCentralDirectorysValues)
{
    TestEntry s = stored("stored.bin", noise(70000));
    s.descriptor = true;
    TestEntry e = stored("empty.txt", "");
    e.descriptor = true;
    TestEntry d = deflated("deflated.bin", noise(5000, 3));
    d.descriptor = true;
    d.descriptor_signature = false;
    const std::string a = archive({s, e, d, stored("after.txt", "after")});
    EXPECT_EQ(extract(a), 4);
    EXPECT_EQ(read_file(out("stored.bin")), s.plain);
    EXPECT_EQ(read_file(out("empty.txt")), "");
    EXPECT_EQ(read_file(out("deflated.bin")), d.plain);
}

TEST_F(ExtractTest, DirectCallOnAStoredDescriptorEntryCopiesToTheEndAndFails)
{
    TestEntry s = stored("stored.bin", "short");
    s.descriptor = true;
    const std::string a = archive({s});
    EXPECT_EQ(extract_entry(a.c_str(), dir_.file("s.bin").c_str(), 0, 0, 0), UZ_READ_ERROR);
    EXPECT_FALSE(fs::exists(dir_.path() / "s.bin"));
    EXPECT_FALSE(busy);
}

TEST_F(ExtractTest, DirectCallOnADeflatedDescriptorEntryReadsTheCrcAfterTheData)
{
    for (bool signature : {true, false}) {
        TestEntry d = deflated("d.bin", noise(9000, 9));
        d.descriptor = true;
        d.descriptor_signature = signature;
        const std::string a = archive({d});
        const std::string output = dir_.file(signature ? "with.bin" : "without.bin");
        EXPECT_EQ(extract_entry(a.c_str(), output.c_str(), 0, 0, 0), 0) << signature;
        EXPECT_EQ(read_file(output), d.plain);
    }
}

// ---- extract_entry itself ----

TEST_F(ExtractTest, EntryCallsReportTheirOwnCodes)
{
    const std::string a = archive({stored("a.txt", "a")});
    const std::string output = dir_.file("o.txt");
    EXPECT_EQ(extract_entry(dir_.file("none.zip").c_str(), output.c_str(), 0, 0, 0), UZ_OPEN_ERROR);
    EXPECT_EQ(extract_entry(a.c_str(), output.c_str(), -5, 0, 0), UZ_READ_ERROR);
    EXPECT_EQ(extract_entry(a.c_str(), output.c_str(), 3, 0, 0), UZ_FORMAT_ERROR);
    EXPECT_EQ(extract_entry(a.c_str(), output.c_str(), 0, 0, 0), UZ_OK);
    EXPECT_EQ(read_file(output), "a");
    EXPECT_FALSE(busy);
}

TEST_F(ExtractTest, ARunningExtractionRefusesAnotherUntilItsPumpIsSilentForThirtySeconds)
{
    const std::string a = archive({stored("a.txt", "a")});
    const std::string output = dir_.file("o.txt");
    busy = true;
    G.last_pump_tick = platform::tick_count();
    EXPECT_EQ(extract_entry(a.c_str(), output.c_str(), 0, 0, 0), UZ_BUSY);
    EXPECT_TRUE(busy);
    G.last_pump_tick = 0;
    EXPECT_EQ(extract_entry(a.c_str(), output.c_str(), 0, 0, 0), UZ_BUSY);
    G.last_pump_tick = platform::tick_count() - 40000;
    EXPECT_EQ(extract_entry(a.c_str(), output.c_str(), 0, 0, 0), UZ_OK);
    // The silent one is handed its state back: as far as the library knows it
    // is still on the stack and may yet finish.
    EXPECT_TRUE(busy);
}

TEST_F(ExtractTest, BusyLibraryEndsTheBatchAsFatal)
{
    const std::string a = archive({stored("a.txt", "a"), stored("b.txt", "b")});
    busy = true;
    G.last_pump_tick = platform::tick_count();
    set_report_proc(record);
    EXPECT_EQ(extract(a), UZ_BUSY);
    EXPECT_EQ(values(), (std::vector<std::int32_t>{REPORT_ARCHIVE_BEGIN, REPORT_ENTRY_BEGIN, REPORT_FATAL}));
    EXPECT_EQ(events.back().status, UZ_BUSY);
    EXPECT_EQ(report_proc, nullptr);
}

void throw_on_bytes(std::int32_t, ZipReport* report)
{
    if (report->status == REPORT_BYTES_WRITTEN)
        throw std::runtime_error("report failed");
}

TEST_F(ExtractTest, BusyIsClearedWhenAnExceptionLeavesTheExtraction)
{
    const std::string a = archive({stored("a.txt", "a")});
    EXPECT_THROW(extract_matching_ex(a.c_str(), target_.c_str(), "*.*", throw_on_bytes, nullptr), std::runtime_error);
    EXPECT_FALSE(busy);
    EXPECT_EQ(G.slide, nullptr);
    EXPECT_EQ(report_proc, nullptr);
    EXPECT_EQ(extract(a), 1);
}

// ---- unsafe and unusual names ----

TEST_F(ExtractTest, NamesThatClimbOutOfTheTargetAreRefusedAndTheBatchGoesOn)
{
    target_ = dir_.file("a/b/out");
    const std::string a =
        archive({stored("../evil1.txt", "1"), stored("sub/../../evil2.txt", "2"), stored("..\\evil3.txt", "3"),
                 stored("C:evil4.txt", "4"), stored("C:/evil5.txt", "5"), stored("sub/.../evil6.txt", "6"),
                 stored("/abs.txt", "abs"), stored("ok.txt", "ok")});
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(count_of(UZ_WRITE_ERROR), 6);
    EXPECT_EQ(read_file(out("abs.txt")), "abs");
    EXPECT_EQ(read_file(out("ok.txt")), "ok");
    for (const auto& item : fs::recursive_directory_iterator(dir_.path())) {
        if (item.is_directory())
            continue;
        const std::string relative = fs::relative(item.path(), dir_.path()).generic_string();
        EXPECT_TRUE(relative == "test.zip" || relative.rfind("a/b/out/", 0) == 0) << relative;
    }
}

TEST_F(ExtractTest, PathsLongerThanTheLimitFailInsteadOfBeingCut)
{
    fs::create_directories(target_);
    const std::size_t room = 255 - (target_.size() + 1);
    ASSERT_GT(room, 10u);
    const std::string fits(room, 'f');
    const std::string too_long = std::string(room - 4, 'g') + "/" + "hhhh";
    const std::string a = archive({stored(fits.substr(0, std::min<std::size_t>(room, 200)), "ok"),
                                   stored(too_long, "no"), stored(std::string(300, 'x'), "no")});
    EXPECT_EQ(extract(a), 1);
    EXPECT_EQ(count_of(UZ_WRITE_ERROR), 2);
    const auto files = files_under(target_);
    EXPECT_EQ(files.size(), 1u);
}

TEST_F(ExtractTest, Utf8FlaggedNamesAreNotTakenAsOemText)
{
    TestEntry utf8 = stored("\xC3\xA9t\xC3\xA9-utf8.txt", "u");
    utf8.flags = 0x0800;
    TestEntry oem = stored("\x82t\x82-oem.txt", "o");  // code page 437: e acute is 0x82
    EXPECT_EQ(extract(archive({utf8, oem})), 2);
    EXPECT_EQ(read_file(fs::path(target_) / fs::path(u8"\u00e9t\u00e9-utf8.txt")), "u");
    EXPECT_EQ(read_file(fs::path(target_) / fs::path(u8"\u00e9t\u00e9-oem.txt")), "o");
}

TEST_F(ExtractTest, CallersPathsAreTakenAsGivenAndOnlyEntryNamesAreConverted)
{
#ifdef _WIN32
    const std::string folder = dir_.path().string() + "\\Jos\xE9 \xFC\xDF", ue = "\xFC";  // ANSI code page 1252
#else
    const std::string folder = dir_.path().string() + "\\Jos\xC3\xA9 \xC3\xBC\xC3\x9F", ue = "\xC3\xBC";
#endif
    ASSERT_TRUE(platform::create_directory(folder));
    const std::string bytes = build_zip({stored("\x81"
                                                "ber.txt",
                                                "oem")});  // code page 437: u umlaut is 0x81
    platform::File copy = platform::File::create(folder + "\\a.zip");
    ASSERT_EQ(copy.write(bytes.data(), bytes.size()), static_cast<std::int64_t>(bytes.size()));
    ASSERT_TRUE(copy.close());
    EXPECT_EQ(extract_matching_ex((folder + "\\a.zip").c_str(), (folder + "\\out").c_str(), "*.*", record, nullptr), 1);
    EXPECT_TRUE(platform::file_exists(folder + "\\out\\" + ue + "ber.txt"));
    EXPECT_EQ(extract_entry((folder + "\\a.zip").c_str(), (folder + "\\" + ue + ".txt").c_str(), 0, 0, 0), UZ_OK);
    EXPECT_TRUE(platform::file_exists(folder + "\\" + ue + ".txt"));
}

// ---- hostile archives and targets ----

// Rewrites the local header offset of the n-th central header.
void set_header_offset(std::string& zip_bytes, int n, std::uint32_t offset)
{
    std::size_t at = 0;
    for (int i = 0; i <= n; ++i) at = zip_bytes.find("PK\x01\x02", i == 0 ? 0 : at + 4);
    ASSERT_NE(at, std::string::npos);
    std::string value;
    put32(value, offset);
    zip_bytes.replace(at + 42, 4, value);
}

TEST_F(ExtractTest, ArchiveWhoseOffsetsCountTheStubIsExtracted)
{
    // Self-extractors adjusted by "zip -A" store offsets from the start of the file.
    const std::string a = dir_.file("sfx.zip");
    write_file(a,
               build_zip({deflated("inner.txt", "counted stub"), stored("second.bin", noise(5000))},
                         std::string(1000, 'S'), true));
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(read_file(out("inner.txt")), "counted stub");
    EXPECT_EQ(read_file(out("second.bin")), noise(5000));
}

TEST_F(ExtractTest, EntriesInsideTheBytesOfAnExtractedOneFailAloneAndTheBatchGoesOn)
{
    // big.bin's data quotes a whole local header; inner.txt's central entry
    // points at that copy, dup.bin's at big.bin's own header.
    const std::string quoted = build_zip({stored("inner.txt", "x")}).substr(0, 30 + 9 + 1);
    std::string bytes = build_zip({stored("big.bin", quoted + noise(3000)), stored("inner.txt", "x"),
                                   stored("dup.bin", "y"), stored("after.txt", "ok")});
    set_header_offset(bytes, 1, 30 + 7);
    set_header_offset(bytes, 2, 0);
    const std::string a = dir_.file("overlap.zip");
    write_file(a, bytes);
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(count_of(UZ_OVERLAPPING_ENTRY), 2);
    EXPECT_EQ(events.back().value, REPORT_ARCHIVE_END);
    EXPECT_FALSE(fs::exists(out("inner.txt")));
    EXPECT_FALSE(fs::exists(out("dup.bin")));
    EXPECT_EQ(read_file(out("after.txt")), "ok");
}

TEST_F(ExtractTest, HeaderOffsetsThatLandOutsideTheFileAreRefused)
{
    // Stub length plus a stored offset near 2^31 must not wrap into the file.
    std::string bytes = build_zip({stored("a.txt", "a"), stored("filler.bin", noise(4000))}, std::string(1000, 'S'));
    set_header_offset(bytes, 0, 0x7FFFFFF0u);
    const std::string a = dir_.file("far.zip");
    write_file(a, bytes);
    EXPECT_EQ(extract(a), UZ_READ_ERROR);
    EXPECT_EQ(events.back().value, REPORT_FATAL);
    set_header_offset(bytes, 0, 0xFFFFFF00u);
    write_file(a, bytes);
    EXPECT_EQ(extract(a), UZ_READ_ERROR);
    EXPECT_FALSE(fs::exists(out("a.txt")));
}

TEST_F(ExtractTest, ANetworkShareTargetCreatesNoFoldersOnTheCurrentDrive)
{
    // The server and share are the root of such a path; nothing of it may
    // appear under the root of the current drive.
    const std::string stray = "imu-share-test-server";
    std::error_code ec;
    const fs::path stray_path = fs::path(fs::current_path().root_path()) / stray;
    fs::remove_all(stray_path, ec);
    target_ = "\\\\" + stray + "\\share\\folder";
    (void)extract(archive({stored("sub/a.txt", "a")}));
    const bool created = fs::exists(stray_path, ec);
    fs::remove_all(stray_path, ec);
    EXPECT_FALSE(created);
}

TEST_F(ExtractTest, AReadOnlyFolderEntryKeepsItsFolderWritable)
{
    TestEntry folder = stored("dir/", "");
    folder.attributes = 0x11;  // directory, read-only: common in archives made on Windows
    EXPECT_EQ(extract(archive({folder, stored("dir/a.txt", "a"), stored("dir/b.txt", "b")})), 3);
    EXPECT_EQ(read_file(out("dir/b.txt")), "b");
    const std::int32_t attributes = platform::get_file_attributes(out("dir").string());
    EXPECT_EQ(attributes & platform::attr_read_only, 0u);
#ifndef _WIN32
    EXPECT_NE(fs::status(out("dir")).permissions() & fs::perms::owner_write, fs::perms::none);
#endif
}

TEST_F(ExtractTest, AnExceptionFromTheReportProcedureDeletesThePartialOutput)
{
    const std::string a = archive({stored("kept.txt", "k"), stored("big.bin", noise(100000))});
    EXPECT_THROW(extract_matching_ex(a.c_str(), target_.c_str(), "big.bin", throw_on_bytes, nullptr),
                 std::runtime_error);
    EXPECT_FALSE(fs::exists(out("big.bin")));
    EXPECT_FALSE(busy);
}

TEST_F(ExtractTest, WindowsDeviceNamesAreUnsafeOnlyOnWindows)
{
    const std::vector<std::string> devices = {"CON",      "nul",  "Aux.txt",  "sub/prn.log",        "COM1",
                                              "com9.dat", "LPT1", "lpt9.x.y", "dir/Nul/inside.txt", "CON .txt"};
    for (const std::string& name : devices) {
#ifdef _WIN32
        EXPECT_FALSE(entry_name_is_safe(name)) << name;
#else
        EXPECT_TRUE(entry_name_is_safe(name)) << name;
#endif
    }
    for (const std::string name : {"console.txt", "com10.txt", "lpt0", "nul_file", "auxiliary/x.txt", "prn1"})
        EXPECT_TRUE(entry_name_is_safe(name)) << name;
#ifdef _WIN32
    const std::string a = archive({stored("NUL", "x"), stored("sub/con.txt", "x"), stored("Lpt1.log", "x"),
                                   stored("com10.txt", "c"), stored("console.txt", "o")});
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(count_of(UZ_WRITE_ERROR), 3);
    EXPECT_EQ(read_file(out("com10.txt")), "c");
    EXPECT_EQ(read_file(out("console.txt")), "o");
#endif
}

TEST(SmallOperations, RatioNamePartAndDirectoryPath)
{
    EXPECT_EQ(compression_ratio(25, 100), 75);
    EXPECT_EQ(compression_ratio(5, 0), 0);
    EXPECT_EQ(compression_ratio(150, 100), static_cast<std::uint8_t>(-50));
    EXPECT_EQ(compression_ratio(50000000, 100000000), 50);
    EXPECT_EQ(name_part("a\\b/c:d.txt"), "d.txt");
    EXPECT_EQ(name_part("plain"), "plain");
    EXPECT_EQ(name_part("dir\\"), "");

    TempFolder dir{"mkdir"};
    EXPECT_EQ(make_directory_path(""), -1);
    EXPECT_EQ(make_directory_path(dir.file("x/y/z")), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "x/y/z"));
    write_file(dir.path() / "file", "");
    EXPECT_EQ(make_directory_path(dir.file("file/sub")), -1);
}

#ifdef _WIN32
// The real message pump: a message-only window takes the progress messages.

std::vector<int> window_percents;
int posted_messages = 0;
bool answer_stop = false;
constexpr WPARAM NOTIFY_CODE = 77;
constexpr UINT POSTED = WM_USER + 5;

LRESULT CALLBACK notify_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_COMMAND && wparam == NOTIFY_CODE) {
        auto* percent = reinterpret_cast<std::uint16_t*>(lparam);
        window_percents.push_back(*percent);
        if (answer_stop)
            *percent = 0xFFFF;
        return 0;
    }
    if (message == POSTED) {
        ++posted_messages;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST_F(ExtractTest, NotifyWindowGetsProgressCanStopAndPendingMessagesAreDispatched)
{
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = notify_window_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "ImuExtractNotifyTest";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, window_class.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  window_class.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    const std::string a = archive({deflated("p.bin", noise(9995)), deflated("q.bin", noise(60000))});
    window_percents.clear();
    posted_messages = 0;
    answer_stop = false;
    PostMessageA(window, POSTED, 0, 0);
    const auto handle = reinterpret_cast<NotifyWindow>(window);
    EXPECT_EQ(extract_entry(a.c_str(), dir_.file("p.bin").c_str(), 0, handle, NOTIFY_CODE), 0);
    EXPECT_EQ(window_percents, (std::vector<int>{40, 81, 100}));
    EXPECT_EQ(posted_messages, 1);

    ZipDirScan scan;
    ASSERT_EQ(zip_dir_first(a.c_str(), scan), 0);
    ASSERT_EQ(zip_dir_next(scan), 0);
    const std::int32_t second = scan.header_offset;
    zip_dir_close(scan);
    window_percents.clear();
    answer_stop = true;
    EXPECT_EQ(extract_entry(a.c_str(), dir_.file("q.bin").c_str(), second, handle, NOTIFY_CODE), UZ_ABORTED);
    EXPECT_EQ(window_percents.size(), 1u);
    EXPECT_FALSE(fs::exists(dir_.path() / "q.bin"));
    DestroyWindow(window);
}
#endif

#ifndef _WIN32
// Abort, progress and re-entrant calls are driven through the platform's
// hooks, which only exist where there is no window system.

TEST_F(ExtractTest, HoldingEscapeAbortsTheBatchAndDeletesOnlyThePartialFile)
{
    const std::string a =
        archive({stored("first.txt", "first"), stored("big.bin", noise(200000)), stored("last.txt", "last")});
    platform::set_pump_hooks({{}, {}, [](std::int32_t key) {
                                  return key == 27 && !events.empty() &&
                                      std::string(events.back().name).find("big.bin") != std::string::npos;
                              }});
    EXPECT_EQ(extract(a), UZ_ABORTED);
    EXPECT_EQ(read_file(out("first.txt")), "first");
    EXPECT_FALSE(fs::exists(out("big.bin")));
    EXPECT_FALSE(fs::exists(out("last.txt")));
    EXPECT_EQ(events.back().value, REPORT_FATAL);
    EXPECT_EQ(events.back().status, UZ_ABORTED);
    EXPECT_EQ(count_of(REPORT_ARCHIVE_END), 0);
    EXPECT_EQ(report_proc, nullptr);
    EXPECT_FALSE(busy);
}

TEST_F(ExtractTest, ExtractionStartedFromTheMessagePumpIsRefusedAsBusy)
{
    const std::string a = archive({stored("a.txt", "a"), deflated("big.bin", noise(50000))});
    std::vector<std::int32_t> nested;
    const std::string nested_output = dir_.file("nested.txt");
    platform::set_pump_hooks(
        {[&](platform::WindowHandle) { nested.push_back(extract_entry(a.c_str(), nested_output.c_str(), 0, 0, 0)); },
         {},
         {}});
    EXPECT_EQ(extract(a), 2);
    ASSERT_FALSE(nested.empty());
    for (std::int32_t code : nested) EXPECT_EQ(code, UZ_BUSY);
    EXPECT_FALSE(fs::exists(nested_output));
}

TEST_F(ExtractTest, ExtractionTakingOverASilentOneLetsThatOneFinish)
{
    const std::string a = archive({stored("a.txt", "a"), deflated("big.bin", noise(50000))});
    const std::string nested_output = dir_.file("nested.txt");
    std::int32_t nested = 1;
    bool inside = false;
    platform::set_pump_hooks({[&](platform::WindowHandle) {
                                  if (inside || nested != 1 || events.empty() ||
                                      std::string(events.back().name).find("big.bin") == std::string::npos)
                                      return;
                                  inside = true;
                                  // The running extraction counts as dead after 30 silent seconds.
                                  G.last_pump_tick = platform::tick_count() - 31000;
                                  nested = extract_entry(a.c_str(), nested_output.c_str(), 0, 0, 0);
                                  inside = false;
                              },
                              {},
                              {}});
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(read_file(nested_output), "a");
    EXPECT_EQ(read_file(out("big.bin")), noise(50000));
    EXPECT_FALSE(busy);
}

bool same_record(const ZipReport& a, const ZipReport& b)
{
    return std::string(a.name) == b.name && a.status == b.status && a.size == b.size &&
        a.compressed_size == b.compressed_size && a.method == b.method && a.date_time == b.date_time;
}

TEST_F(ExtractTest, ABatchStartedFromTheMessagePumpIsRefusedAndLeavesTheRunningOneAlone)
{
    const std::string a = archive({deflated("big.bin", noise(50000)), stored("after.txt", "after")});
    const std::string nested_target = dir_.file("nested");
    std::vector<std::int32_t> nested;
    platform::set_pump_hooks({[&](platform::WindowHandle) {
                                  const ZipReport before = zip_report;
                                  const ReportProc proc_before = report_proc;
                                  nested.push_back(extract_matching(a.c_str(), nested_target.c_str(), "*.*"));
                                  EXPECT_TRUE(same_record(before, zip_report));
                                  EXPECT_EQ(report_proc, proc_before);
                                  EXPECT_TRUE(busy);
                              },
                              {},
                              {}});
    set_report_proc(record);
    EXPECT_EQ(extract_matching(a.c_str(), target_.c_str(), "*.*"), 2);
    ASSERT_FALSE(nested.empty());
    for (std::int32_t code : nested) EXPECT_EQ(code, UZ_BUSY);
    EXPECT_EQ(values(),
              (std::vector<std::int32_t>{REPORT_ARCHIVE_BEGIN, REPORT_ENTRY_BEGIN, REPORT_ENTRY_DONE,
                                         REPORT_ENTRY_BEGIN, REPORT_ENTRY_DONE, REPORT_ARCHIVE_END}));
    EXPECT_FALSE(fs::exists(nested_target));
    EXPECT_EQ(read_file(out("after.txt")), "after");
    EXPECT_EQ(report_proc, nullptr);
}

std::vector<std::int32_t> nested_events;
void record_nested(std::int32_t value, ZipReport* r)
{
    if (r->status != REPORT_BYTES_WRITTEN)
        nested_events.push_back(value);
}

TEST_F(ExtractTest, ABatchTakingOverASilentOneHandsBackItsProceduresAndRecord)
{
    const std::string a = archive({deflated("big.bin", noise(50000)), stored("after.txt", "after")});
    const std::string nested_target = dir_.file("nested");
    std::int32_t nested = 1;
    bool started = false;
    nested_events.clear();
    platform::set_pump_hooks({[&](platform::WindowHandle) {
                                  if (started || !busy)
                                      return;
                                  started = true;
                                  const ZipReport before = zip_report;
                                  G.last_pump_tick = platform::tick_count() - 31000;
                                  nested = extract_matching_ex(a.c_str(), nested_target.c_str(), "after.txt",
                                                               record_nested, nullptr);
                                  EXPECT_TRUE(same_record(before, zip_report));
                                  EXPECT_EQ(report_proc, record);
                              },
                              {},
                              {}});
    EXPECT_EQ(extract(a), 2);
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(
        nested_events,
        (std::vector<std::int32_t>{REPORT_ARCHIVE_BEGIN, REPORT_ENTRY_BEGIN, REPORT_ENTRY_DONE, REPORT_ARCHIVE_END}));
    EXPECT_EQ(values(),
              (std::vector<std::int32_t>{REPORT_ARCHIVE_BEGIN, REPORT_ENTRY_BEGIN, REPORT_ENTRY_DONE,
                                         REPORT_ENTRY_BEGIN, REPORT_ENTRY_DONE, REPORT_ARCHIVE_END}));
    EXPECT_EQ(read_file(fs::path(nested_target) / "after.txt"), "after");
    EXPECT_EQ(read_file(out("big.bin")), noise(50000));
    EXPECT_FALSE(busy);
}

std::vector<std::int32_t> written;
void record_written(std::int32_t value, ZipReport*) { written.push_back(value); }

TEST(ArchivesOfOtherTools, CompressedInputIsReadInBlocksOf4096WithAPercentAtEachChange)
{
    const fs::path base = IMU_EXTRACT_ARCHIVES;
    const std::string archive = (base / "zip-9.zip").string();
    ZipDirScan scan;
    ASSERT_EQ(zip_dir_first(archive.c_str(), scan), 0);
    while (std::string(scan.name).find("large-4m") == std::string::npos) ASSERT_EQ(zip_dir_next(scan), 0);
    const std::int64_t csize = scan.compressed_size;
    const std::int64_t size = scan.size;
    const std::int32_t offset = scan.header_offset;
    zip_dir_close(scan);

    int pumps = 0;
    std::vector<int> percents;
    platform::set_pump_hooks(
        {[&](platform::WindowHandle) { ++pumps; },
         [&](platform::WindowHandle, std::int32_t, std::uint16_t* percent) { percents.push_back(*percent); },
         {}});
    written.clear();
    report_proc = record_written;
    TempFolder out{"cadence"};
    const std::int32_t result = extract_entry(archive.c_str(), out.file("large").c_str(), offset, 1, 0);
    report_proc = nullptr;
    platform::set_pump_hooks({});
    ASSERT_EQ(result, 0);

    // One pump before decoding, then one per refill.
    const std::int64_t refills = pumps - 1;
    EXPECT_GE(refills * 4096, csize);
    EXPECT_LE((refills - 1) * 4096, csize + 2);
    std::vector<int> expected;
    for (std::int64_t k = 1; k < refills; ++k) {
        const int percent = static_cast<int>(std::min<std::int64_t>(100, k * 4096 * 100 / csize));
        if (expected.empty() ? percent != 0 : percent != expected.back())
            expected.push_back(percent);
    }
    expected.push_back(100);
    EXPECT_EQ(percents, expected);

    // Output leaves the window in whole windows, then the rest.
    ASSERT_FALSE(written.empty());
    for (std::size_t i = 0; i + 1 < written.size(); ++i) ASSERT_EQ(written[i], 32768);
    EXPECT_EQ(written.back(), size % 32768);
}

TEST_F(ExtractTest, NotifyWindowHearsFortyEightyOneAndAFinalHundred)
{
    const std::string a = archive({deflated("p.bin", noise(9995))});
    std::vector<int> percents;
    platform::set_pump_hooks({{},
                              [&](platform::WindowHandle, std::int32_t code, std::uint16_t* percent) {
                                  EXPECT_EQ(code, 5);
                                  percents.push_back(*percent);
                              },
                              {}});
    const std::string output = dir_.file("p.bin");
    EXPECT_EQ(extract_entry(a.c_str(), output.c_str(), 0, 0xFEDCBA9876ull, 5), 0);
    EXPECT_EQ(percents, (std::vector<int>{40, 81, 100}));
}
#endif

}  // namespace
