// Shrunk streams built code by code, decoded by unshrink_entry.
#include <map>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "zip/extract_state.h"
#include "zip/legacy_harness.h"
#include "zip/zip_test_support.h"

namespace {

using legacy_test::Bytes;
using legacy_test::DecodeOutcome;
using legacy_test::DecoderSetup;
using ziptest::BitWriter;

// Codes as the encoder sends them, with their sizes.
class CodeWriter {
public:
    CodeWriter& code(int value)
    {
        bits_.bits(static_cast<std::uint32_t>(value), size_);
        return *this;
    }
    CodeWriter& text(const std::string& literals)
    {
        for (char c : literals) code(static_cast<std::uint8_t>(c));
        return *this;
    }
    CodeWriter& widen()
    {
        code(256).code(1);
        ++size_;
        return *this;
    }
    CodeWriter& partial_clear() { return code(256).code(2); }

    [[nodiscard]] DecoderSetup setup() const
    {
        DecoderSetup setup;
        setup.stream = bits_.bytes();
        return setup;
    }

private:
    BitWriter bits_;
    int size_ = 9;
};

DecodeOutcome unshrink(const DecoderSetup& setup) { return legacy_test::run_decoder(zip::unshrink_entry, setup); }

std::string as_text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// LZW as PKZIP's shrink does it, without partial clears: codes widen when the
// code to send needs it, and once the table is full nothing more is defined.
Bytes shrink(const Bytes& data)
{
    std::map<std::pair<int, int>, int> strings;
    int next_code = 257;
    int size = 9;
    BitWriter bits;
    const auto send = [&](int code) {
        while (code >= (1 << size)) {
            bits.bits(256, size);
            bits.bits(1, size);
            ++size;
        }
        bits.bits(static_cast<std::uint32_t>(code), size);
    };
    int current = data.at(0);
    for (std::size_t i = 1; i < data.size(); ++i) {
        const auto found = strings.find({current, data[i]});
        if (found != strings.end()) {
            current = found->second;
            continue;
        }
        send(current);
        // The decoder's table also holds code 8192, which 13 bits cannot
        // name; taking it keeps both sides in step without ever sending it.
        if (next_code < 8192)
            strings[{current, data[i]}] = next_code;
        if (next_code <= 8192)
            ++next_code;
        current = data[i];
    }
    send(current);
    return bits.bytes();
}

TEST(Unshrink, SingleNineBitCodeGivesOneByte)
{
    const DecodeOutcome outcome = unshrink(CodeWriter().code('Z').setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_EQ(as_text(outcome.output), "Z");
    EXPECT_EQ(outcome.written_reports, std::vector<std::int32_t>{1});
}

TEST(Unshrink, CodeUsedBeforeItIsDefinedIsThePreviousStringAndItsFirstByte)
{
    EXPECT_EQ(as_text(unshrink(CodeWriter().text("a").code(257).setup()).output), "aaa");
    // 257 "ab", 258 "bc", 259 "ca"; 260 arrives before it is defined as "ab" + "a".
    EXPECT_EQ(as_text(unshrink(CodeWriter().text("abc").code(257).code(260).setup()).output), "abcababa");
}

TEST(Unshrink, FourWideningsReachThirteenBitCodes)
{
    CodeWriter codes;
    codes.text("a").widen().text("b").widen().text("c").widen().text("d").widen().text("e").code(257).code(260);
    const DecodeOutcome outcome = unshrink(codes.setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_EQ(as_text(outcome.output), "abcdeabde");
}

TEST(Unshrink, FifthWideningFailsTheEntry)
{
    CodeWriter codes;
    codes.text("a").widen().widen().widen().widen().text("bc").widen().text("d");
    EXPECT_EQ(unshrink(codes.setup()).result, zip::UZ_FORMAT_ERROR);
}

TEST(Unshrink, ControlCodeOtherThanOneOrTwoFails)
{
    EXPECT_EQ(unshrink(CodeWriter().text("ab").code(256).code(3).text("c").setup()).result, zip::UZ_FORMAT_ERROR);
    EXPECT_EQ(unshrink(CodeWriter().text("ab").code(256).code(0).text("c").setup()).result, zip::UZ_FORMAT_ERROR);
}

TEST(Unshrink, PartialClearReusesFreedLeavesLowestFirstThenTheOldFreeHead)
{
    CodeWriter codes;
    // 257 "ab", 258 "bc", 259 "cd", 260 "da", 261 "aba" (a child of 257).
    codes.text("abcd").code(257).code(257);
    // Leaves 258..261 are freed; 257 keeps its child's prefix and stays.
    codes.partial_clear();
    // Redefined in turn: 258 "abx", 259 "xa", 260 "abxx", 261 "xaa", then
    // the old free head 262 "abxxx".
    codes.text("x").code(258).code(259).code(260).code(261).code(262).code(257);
    const DecodeOutcome outcome = unshrink(codes.setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_EQ(as_text(outcome.output),
              "abcdabab"
              "x"
              "abx"
              "xa"
              "abxx"
              "xaa"
              "abxxx"
              "ab");
}

TEST(Unshrink, PartialClearBeforeAnyCodeIsDefinedLeavesTheFreeHeadAt257)
{
    const DecodeOutcome outcome = unshrink(CodeWriter().text("a").partial_clear().text("b").code(257).setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_EQ(as_text(outcome.output), "abab");
}

std::uint8_t full_table_literal(int i) { return static_cast<std::uint8_t>('A' + (i * 7) % 26); }

// Literals only, so code 257 + i is literal i followed by literal i + 1.
CodeWriter fill_table()
{
    CodeWriter codes;
    codes.code(full_table_literal(0)).widen().widen().widen().widen();
    for (int i = 1; i <= 8192 - 257 + 1; ++i) codes.code(full_table_literal(i));
    return codes;
}

std::string two_literals(int i)
{
    return {static_cast<char>(full_table_literal(i)), static_cast<char>(full_table_literal(i + 1))};
}

TEST(Unshrink, FullTableStillDecodesButDefinesNothing)
{
    CodeWriter codes = fill_table();
    codes.code(8191).text("zy").code(8191).code(257).code(4000);
    const DecodeOutcome outcome = unshrink(codes.setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    const std::string text = as_text(outcome.output);
    ASSERT_EQ(text.size(), 7937u + 2 + 2 + 2 + 2 + 2);
    EXPECT_EQ(text.substr(7937),
              two_literals(7934) + "zy" + two_literals(7934) + two_literals(0) + two_literals(4000 - 257));
}

TEST(Unshrink, PartialClearOfAFullTableFreesEveryLeaf)
{
    CodeWriter codes = fill_table();
    codes.text("z").partial_clear().text("q").code(257).code(258).code(259);
    const DecodeOutcome outcome = unshrink(codes.setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    // The freed codes are defined again from 257 on: "zq", "qz", "zqq".
    EXPECT_EQ(as_text(outcome.output).substr(7937),
              "zq"
              "zq"
              "qz"
              "zqq");
}

TEST(Unshrink, CodeThatLeadsBackToItselfFailsInsteadOfLooping)
{
    // After the clear 257 is free again and is redefined with the previous
    // code, 257 itself, as its prefix.
    CodeWriter codes;
    codes.text("ab").code(257).partial_clear().text("c").code(257);
    EXPECT_EQ(unshrink(codes.setup()).result, zip::UZ_FORMAT_ERROR);
}

TEST(Unshrink, BitBudgetEndsTheDataAtTheCompressedSize)
{
    DecoderSetup setup = CodeWriter().text("ab").text("cdefgh").setup();
    setup.csize = 3;  // 24 bits: two codes, and 6 bits too few for a third
    const DecodeOutcome outcome = unshrink(setup);
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_EQ(as_text(outcome.output), "ab");
}

TEST(Unshrink, DataThatEndsBeforeItsCompressedSizeFailsInsteadOfRunningOnFiller)
{
    // A size far beyond the file would otherwise decode filler for ever.
    DecoderSetup setup = CodeWriter().text("abc").setup();
    setup.csize = 960'000'000;
    const DecodeOutcome outcome = unshrink(setup);
    EXPECT_EQ(outcome.result, zip::UZ_READ_ERROR);
    EXPECT_TRUE(outcome.input_exhausted);
    EXPECT_LT(outcome.bytes_read, 10'000);
}

TEST(Unshrink, UnknownCompressedSizeIsUnsupported)
{
    DecoderSetup setup = CodeWriter().text("abc").setup();
    setup.csize = 0x7FFFFFFF;
    const DecodeOutcome outcome = unshrink(setup);
    EXPECT_EQ(outcome.result, zip::UZ_UNSUPPORTED);
    EXPECT_EQ(outcome.bytes_read, 0);
    EXPECT_TRUE(outcome.output.empty());
    EXPECT_TRUE(outcome.written_reports.empty());
}

TEST(Unshrink, EntryWithNoCompressedBytesWritesNothing)
{
    const DecodeOutcome outcome = unshrink(DecoderSetup{});
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_TRUE(outcome.output.empty());
    EXPECT_EQ(outcome.written_reports, std::vector<std::int32_t>{0});
}

TEST(UnshrinkOutput, IsWrittenIn767BytePieces)
{
    const std::string exact(767, 'k');
    DecodeOutcome outcome = unshrink(CodeWriter().text(exact).setup());
    EXPECT_EQ(outcome.written_reports, (std::vector<std::int32_t>{767, 0}));
    EXPECT_EQ(as_text(outcome.output), exact);

    const Bytes text = legacy_test::sample_text(2000, 9);
    outcome = unshrink(CodeWriter().text(std::string(text.begin(), text.end())).setup());
    EXPECT_EQ(outcome.written_reports, (std::vector<std::int32_t>{767, 767, 466}));
    EXPECT_EQ(outcome.output, text);
    EXPECT_EQ(outcome.crc, legacy_test::crc32_of(text));
}

TEST(UnshrinkOutput, LongStringsAreSplitAtPieceBoundariesLikeSingleBytes)
{
    // One byte repeated: every string is one longer than the last, so strings
    // of up to about a hundred bytes cross the piece boundaries.
    const std::string run(5000, 'a');
    const DecodeOutcome outcome = unshrink(CodeWriter().text(run).setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_EQ(outcome.written_reports, (std::vector<std::int32_t>{767, 767, 767, 767, 767, 767, 398}));
    EXPECT_EQ(as_text(outcome.output), run);
}

TEST(UnshrinkOutput, FailedWriteEndsWithWriteError)
{
    DecoderSetup setup = CodeWriter().text(std::string(800, 'w')).setup();
    setup.output_fails = true;
    EXPECT_EQ(unshrink(setup).result, zip::UZ_WRITE_ERROR);
    setup = CodeWriter().text("w").setup();
    setup.output_fails = true;
    EXPECT_EQ(unshrink(setup).result, zip::UZ_WRITE_ERROR);
}

TEST(UnshrinkOutput, AbortEndsWithoutWriting)
{
    DecoderSetup setup = CodeWriter().text("abc").setup();
    setup.aborted = true;
    const DecodeOutcome outcome = unshrink(setup);
    EXPECT_EQ(outcome.result, zip::UZ_ABORTED);
    EXPECT_TRUE(outcome.output.empty());
}

TEST(UnshrinkOutput, AbortAskedForWhileReadingStopsBeforeTheNextCode)
{
#ifdef _WIN32
    GTEST_SKIP() << "the abort key is polled with GetAsyncKeyState, which a test cannot hold";
#else
    const Bytes text = legacy_test::sample_text(20000, 5);
    DecoderSetup setup = CodeWriter().text(std::string(text.begin(), text.end())).setup();
    setup.escape_held = true;
    const DecodeOutcome outcome = unshrink(setup);
    EXPECT_EQ(outcome.result, zip::UZ_ABORTED);
    EXPECT_EQ(outcome.bytes_read, 2 * 4096);
    // Whole pieces written before the abort stay written; the partial one is dropped.
    EXPECT_EQ(outcome.output.size() % 767, 0u);
    EXPECT_LT(outcome.output.size(), text.size());
#endif
}

TEST(UnshrinkRoundTrip, LongTextFillsTheTableAndStillDecodes)
{
    const Bytes text = legacy_test::sample_text(200000, 17);
    DecoderSetup setup;
    setup.stream = shrink(text);
    const DecodeOutcome outcome = unshrink(setup);
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    ASSERT_EQ(outcome.output.size(), text.size());
    EXPECT_TRUE(outcome.output == text);
    EXPECT_EQ(outcome.written_reports.size(), (text.size() + 766) / 767);
}

TEST(UnshrinkRoundTrip, RunsOfOneByteUseCodesBeforeTheyAreDefined)
{
    const Bytes run(50000, 'r');
    DecoderSetup setup;
    setup.stream = shrink(run);
    const DecodeOutcome outcome = unshrink(setup);
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_TRUE(outcome.output == run);
}

TEST(UnshrinkSafety, RandomStreamsNeverReachOutsideTheirBuffers)
{
    std::mt19937 random(99);
    for (int round = 0; round < 300; ++round) {
        DecoderSetup setup;
        const std::size_t size = random() % 6000;
        for (std::size_t i = 0; i < size; ++i) setup.stream.push_back(static_cast<std::uint8_t>(random()));
        if (round % 3 == 0 && size > 4) {
            // Steer towards control codes: 256 followed by 1 or 2.
            BitWriter bits;
            for (int i = 0; i < 600; ++i) {
                const int code = random() % 4 == 0 ? 256 : static_cast<int>(random() % 600);
                bits.bits(static_cast<std::uint32_t>(code), 9);
                if (code == 256)
                    bits.bits(random() % 8 == 0 ? 1 : 2, 9);
            }
            setup.stream = bits.bytes();
        }
        const DecodeOutcome outcome = unshrink(setup);
        EXPECT_TRUE(outcome.result == zip::UZ_OK || outcome.result == zip::UZ_FORMAT_ERROR)
            << "round " << round << " result " << outcome.result;
    }
}

}  // namespace
