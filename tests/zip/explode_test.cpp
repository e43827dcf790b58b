// Imploded streams built bit by bit, decoded by explode_entry.
#include <algorithm>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "zip/extract_state.h"
#include "zip/legacy_harness.h"
#include "zip/zip_test_support.h"

namespace {

using legacy_test::Bytes;
using legacy_test::DecodeOutcome;
using legacy_test::DecoderSetup;
using ziptest::BitWriter;

constexpr std::uint16_t FLAG_8K = 0x02;
constexpr std::uint16_t FLAG_LITERAL_TREE = 0x04;

// A Shannon-Fano tree as the encoder sees it: canonical codes, shortest
// first, sent most significant bit first and inverted.
struct Tree {
    std::vector<std::uint16_t> lengths;
    std::vector<std::uint32_t> codes;

    explicit Tree(std::vector<std::uint16_t> code_lengths) : lengths(std::move(code_lengths)), codes(lengths.size())
    {
        std::map<int, int> per_length;
        for (auto length : lengths) ++per_length[length];
        std::uint32_t code = 0;
        std::map<int, std::uint32_t> next;
        int previous_length = 0;
        for (auto [length, count] : per_length) {
            code <<= (length - previous_length);
            next[length] = code;
            code += static_cast<std::uint32_t>(count);
            previous_length = length;
        }
        for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) codes[symbol] = next[lengths[symbol]]++;
    }

    void put(BitWriter& bits, int symbol) const
    {
        for (int i = lengths[symbol] - 1; i >= 0; --i) bits.bit(((codes[symbol] >> i) & 1u) == 0);
    }

    // The run-length coded form that precedes the bit stream.
    [[nodiscard]] Bytes stored() const { return store_lengths(lengths); }

    static Bytes store_lengths(const std::vector<std::uint16_t>& lengths)
    {
        Bytes stored(1);  // then the count of runs, less one
        for (std::size_t i = 0; i < lengths.size();) {
            std::size_t run = 1;
            while (i + run < lengths.size() && lengths[i + run] == lengths[i] && run < 16) ++run;
            stored.push_back(static_cast<std::uint8_t>(((run - 1) << 4) | (lengths[i] - 1)));
            i += run;
        }
        stored[0] = static_cast<std::uint8_t>(stored.size() - 2);
        return stored;
    }
};

std::vector<std::uint16_t> flat_lengths(std::size_t count, std::uint16_t length)
{
    return std::vector<std::uint16_t>(count, length);
}

// A complete code with lengths from 1 up to 14, so that decoding has to
// follow links into sub-tables. Each step moves one code up a level and two
// of its neighbours down one, which keeps the code complete.
std::vector<std::uint16_t> skewed_lengths(std::size_t count, std::uint16_t start)
{
    std::vector<std::uint16_t> lengths(count, start);
    std::size_t next = 0;
    for (int step = 0; step < 60 && next + 2 < count; ++step) {
        const std::uint16_t level = lengths[next];
        if (level <= 1 || lengths[next + 1] != level || lengths[next + 2] != level || level >= 14)
            break;
        lengths[next] = static_cast<std::uint16_t>(level - 1);
        lengths[next + 1] = static_cast<std::uint16_t>(level + 1);
        lengths[next + 2] = static_cast<std::uint16_t>(level + 1);
        next += (step % 3 == 0) ? 1 : 3;
    }
    return lengths;
}

// Writes an imploded stream and keeps, beside it, the output that
// PKWARE's format defines for it (zeros before the entry's first byte).
class Imploder {
public:
    Imploder(std::uint16_t flags, Tree literals, Tree lengths, Tree distances)
        : flags_(flags), literals_(std::move(literals)), lengths_(std::move(lengths)), distances_(std::move(distances))
    {}
    explicit Imploder(std::uint16_t flags)
        : Imploder(flags, Tree(flat_lengths(256, 8)), Tree(flat_lengths(64, 6)), Tree(flat_lengths(64, 6)))
    {}

    [[nodiscard]] bool literal_tree() const { return (flags_ & FLAG_LITERAL_TREE) != 0; }
    [[nodiscard]] int low_bits() const { return (flags_ & FLAG_8K) != 0 ? 7 : 6; }
    [[nodiscard]] int min_length() const { return literal_tree() ? 3 : 2; }

    void literal(std::uint8_t byte)
    {
        bits_.bit(true);
        if (literal_tree())
            literals_.put(bits_, byte);
        else
            bits_.bits(byte, 8);
        expected_.push_back(byte);
    }

    void match(std::uint32_t distance, std::uint32_t length)
    {
        bits_.bit(false);
        const std::uint32_t offset = distance - 1;
        bits_.bits(offset & ((1u << low_bits()) - 1), low_bits());
        distances_.put(bits_, static_cast<int>(offset >> low_bits()));
        const std::uint32_t code = length - static_cast<std::uint32_t>(min_length());
        if (code < 63) {
            lengths_.put(bits_, static_cast<int>(code));
        } else {
            lengths_.put(bits_, 63);
            bits_.bits(code - 63, 8);
        }
        for (std::uint32_t i = 0; i < length; ++i) {
            const auto from = static_cast<std::int64_t>(expected_.size()) - distance;
            expected_.push_back(from < 0 ? 0 : expected_[static_cast<std::size_t>(from)]);
        }
    }

    [[nodiscard]] Bytes stream() const
    {
        Bytes out;
        if (literal_tree())
            append(out, literals_.stored());
        append(out, lengths_.stored());
        append(out, distances_.stored());
        append(out, bits_.bytes());
        return out;
    }

    [[nodiscard]] DecoderSetup setup() const
    {
        DecoderSetup setup;
        setup.stream = stream();
        setup.ucsize = static_cast<std::int64_t>(expected_.size());
        setup.gp_flags = flags_;
        return setup;
    }

    [[nodiscard]] const Bytes& expected() const { return expected_; }
    [[nodiscard]] std::size_t bit_count() const { return bits_.bit_count(); }

private:
    static void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

    std::uint16_t flags_;
    Tree literals_;
    Tree lengths_;
    Tree distances_;
    BitWriter bits_;
    Bytes expected_;
};

DecodeOutcome explode(const DecoderSetup& setup) { return legacy_test::run_decoder(zip::explode_entry, setup); }

class EveryVariant : public ::testing::TestWithParam<std::uint16_t> {};

INSTANTIATE_TEST_SUITE_P(Explode, EveryVariant,
                         ::testing::Values(0, FLAG_8K, FLAG_LITERAL_TREE, FLAG_LITERAL_TREE | FLAG_8K),
                         [](const auto& info) {
                             return std::string((info.param & FLAG_LITERAL_TREE) ? "Lit" : "NoLit") +
                                 ((info.param & FLAG_8K) ? "8k" : "4k");
                         });

TEST_P(EveryVariant, EmptyEntryReadsItsTreesAndWritesNothing)
{
    Imploder imploder(GetParam());
    const DecodeOutcome outcome = explode(imploder.setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_TRUE(outcome.output.empty());
    EXPECT_EQ(outcome.written_reports, std::vector<std::int32_t>{0});
    EXPECT_FALSE(outcome.input_exhausted);
}

TEST_P(EveryVariant, LiteralsAndMatchesRoundTrip)
{
    Imploder imploder(GetParam());
    for (char c : std::string("abcabcabcd")) imploder.literal(static_cast<std::uint8_t>(c));
    imploder.match(3, 7);  // overlapping: repeats "bcd"
    imploder.match(10, 4);
    imploder.literal('!');
    const DecodeOutcome outcome = explode(imploder.setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_EQ(outcome.output, imploder.expected());
    EXPECT_EQ(outcome.crc, legacy_test::crc32_of(imploder.expected()));
}

TEST_P(EveryVariant, FirstMatchReachingBeforeTheStartGivesZerosWhateverTheWindowHeld)
{
    Imploder imploder(GetParam());
    imploder.literal('x');
    imploder.match(3, 5);
    imploder.match(300, 4);
    DecoderSetup setup = imploder.setup();
    setup.slide_fill = 0xAA;
    const DecodeOutcome outcome = explode(setup);
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_EQ(outcome.output, (Bytes{'x', 0, 0, 'x', 0, 0, 0, 0, 0, 0}));
}

TEST_P(EveryVariant, LengthCode63AddsEightRawBitsToItsBase)
{
    Imploder imploder(GetParam());
    imploder.literal('q');
    const std::uint32_t base = imploder.literal_tree() ? 66 : 65;
    imploder.match(1, base);  // code 63, extra 0
    imploder.match(1, base + 255);  // code 63, extra 255: the longest match there is
    imploder.match(1, base - 1);  // code 62, no extra bits
    const DecodeOutcome outcome = explode(imploder.setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_EQ(outcome.output.size(), 1 + base + base + 255 + base - 1);
    EXPECT_EQ(outcome.output, imploder.expected());
}

TEST_P(EveryVariant, OutputPastTheWindowWrapsAndLeavesInFullBlocks)
{
    const std::uint16_t flags = GetParam();
    const bool literal_tree = (flags & FLAG_LITERAL_TREE) != 0;
    Imploder imploder(flags, Tree(skewed_lengths(256, 8)), Tree(skewed_lengths(64, 6)), Tree(skewed_lengths(64, 6)));
    const std::uint32_t max_distance = (flags & FLAG_8K) ? 8192 : 4096;
    std::mt19937 random(flags + 7);
    const Bytes text = legacy_test::sample_text(100000, 3);
    while (imploder.expected().size() < 90000) {
        const std::size_t produced = imploder.expected().size();
        if (produced < 16 || random() % 3 == 0) {
            imploder.literal(text[produced]);
        } else {
            const auto reach = static_cast<std::uint32_t>(std::min<std::size_t>(produced, max_distance));
            const std::uint32_t distance = 1 + random() % reach;
            const std::uint32_t length = (literal_tree ? 3u : 2u) + random() % 319;  // every length code
            imploder.match(distance, length);
        }
    }
    const DecodeOutcome outcome = explode(imploder.setup());
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    ASSERT_EQ(outcome.output.size(), imploder.expected().size());
    EXPECT_TRUE(outcome.output == imploder.expected());
    const auto size = static_cast<std::int32_t>(imploder.expected().size());
    EXPECT_EQ(outcome.written_reports, (std::vector<std::int32_t>{32768, 32768, size - 65536}));
}

TEST_P(EveryVariant, TruncatedStreamWritesWhatItDecodedAndFailsWithReadError)
{
    Imploder imploder(GetParam());
    for (int i = 0; i < 40; ++i) imploder.literal(static_cast<std::uint8_t>('A' + i % 26));
    DecoderSetup setup = imploder.setup();
    setup.ucsize += 1000;
    const DecodeOutcome outcome = explode(setup);
    EXPECT_EQ(outcome.result, zip::UZ_READ_ERROR);
    EXPECT_TRUE(outcome.input_exhausted);
    ASSERT_GE(outcome.output.size(), 40u);
    EXPECT_TRUE(std::equal(imploder.expected().begin(), imploder.expected().end(), outcome.output.begin()));
}

TEST_P(EveryVariant, UnknownSizeDecodesUntilTheInputRunsOut)
{
    Imploder imploder(GetParam());
    for (char c : std::string("data descriptor follows")) imploder.literal(static_cast<std::uint8_t>(c));
    DecoderSetup setup = imploder.setup();
    setup.csize = 0x7FFFFFFF;
    setup.ucsize = 0x7FFFFFFF;
    const DecodeOutcome outcome = explode(setup);
    EXPECT_EQ(outcome.result, zip::UZ_READ_ERROR);
    ASSERT_GE(outcome.output.size(), imploder.expected().size());
    EXPECT_TRUE(std::equal(imploder.expected().begin(), imploder.expected().end(), outcome.output.begin()));
}

// The cases below sit in streams long enough that most symbols are decoded
// from a buffer holding plenty of input, not only in its last few bytes.
TEST_P(EveryVariant, EveryMatchShapeInALongStreamFollowsTheByteWiseDefinition)
{
    const std::uint16_t flags = GetParam();
    const bool literal_tree = (flags & FLAG_LITERAL_TREE) != 0;
    Imploder imploder(flags, Tree(skewed_lengths(256, 8)), Tree(skewed_lengths(64, 6)), Tree(skewed_lengths(64, 6)));
    const std::uint32_t min_length = literal_tree ? 3 : 2;
    const std::uint32_t max_distance = (flags & FLAG_8K) ? 8192 : 4096;
    // Reaching before the first byte, with plenty of stream still to come.
    imploder.literal('x');
    imploder.match(200, 40);
    std::mt19937 random(flags + 11);
    const Bytes text = legacy_test::sample_text(80000, 5);
    while (imploder.expected().size() < 75000) {
        const std::size_t produced = imploder.expected().size();
        const std::size_t in_window = produced % 32768;
        const auto reach = static_cast<std::uint32_t>(std::min<std::size_t>(produced, max_distance));
        const std::uint32_t length = min_length + random() % 319;
        switch (random() % 6) {
        case 0:
            imploder.literal(text[produced]);
            break;
        case 1:  // overlapping, shorter than a machine word
            imploder.match(1 + random() % 7, length);
            break;
        case 2:  // overlapping by a word or more
            imploder.match(8 + random() % 24, length);
            break;
        case 3:
            if (produced > 32768 && in_window < 300) {
                // After the first wrap: a source that runs across the window's end.
                imploder.match(static_cast<std::uint32_t>(in_window) + 1 + random() % 8, 40 + random() % 40);
                break;
            }
            [[fallthrough]];
        default:
            imploder.match(1 + random() % reach, length);
            break;
        }
    }
    DecoderSetup setup = imploder.setup();
    setup.slide_fill = 0xAA;
    const DecodeOutcome outcome = explode(setup);
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    ASSERT_EQ(outcome.output.size(), imploder.expected().size());
    EXPECT_TRUE(outcome.output == imploder.expected());
    EXPECT_EQ(outcome.crc, legacy_test::crc32_of(imploder.expected()));
    const auto size = static_cast<std::int32_t>(imploder.expected().size());
    EXPECT_EQ(outcome.written_reports, (std::vector<std::int32_t>{32768, 32768, size - 65536}));
    EXPECT_FALSE(outcome.input_exhausted);
}

TEST_P(EveryVariant, LongTruncatedStreamKeepsEveryFullWindowAndFailsWithReadError)
{
    Imploder imploder(GetParam());
    const Bytes text = legacy_test::sample_text(40000, 9);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % 5 == 4)
            imploder.match(3 + static_cast<std::uint32_t>(i % 11), 3);
        else
            imploder.literal(text[i]);
    }
    DecoderSetup setup = imploder.setup();
    const std::size_t produced = imploder.expected().size();
    setup.ucsize += 5000;
    const DecodeOutcome outcome = explode(setup);
    EXPECT_EQ(outcome.result, zip::UZ_READ_ERROR);
    EXPECT_TRUE(outcome.input_exhausted);
    ASSERT_GE(outcome.output.size(), produced);
    EXPECT_TRUE(std::equal(imploder.expected().begin(), imploder.expected().end(), outcome.output.begin()));
    ASSERT_FALSE(outcome.written_reports.empty());
    EXPECT_EQ(outcome.written_reports.front(), 32768);
    // Input is taken in whole blocks: the stream's own, then one that finds nothing.
    const auto blocks = static_cast<std::int64_t>((setup.stream.size() + 4095) / 4096);
    EXPECT_GE(outcome.bytes_read, blocks * 4096);
}

TEST(Explode, AbortFoundBeforeTheFirstSymbolEndsWithoutWriting)
{
    Imploder imploder(0);
    imploder.literal('a');
    DecoderSetup setup = imploder.setup();
    setup.aborted = true;
    const DecodeOutcome outcome = explode(setup);
    EXPECT_EQ(outcome.result, zip::UZ_ABORTED);
    EXPECT_TRUE(outcome.output.empty());
    EXPECT_TRUE(outcome.written_reports.empty());
}

TEST(Explode, AbortAskedForWhileReadingStopsAtTheNextSymbol)
{
#ifdef _WIN32
    GTEST_SKIP() << "the abort key is polled with GetAsyncKeyState, which a test cannot hold";
#else
    Imploder imploder(0);
    const Bytes text = legacy_test::sample_text(20000, 5);
    for (std::uint8_t byte : text) imploder.literal(byte);  // 9 bits a byte: about 5 input blocks
    DecoderSetup setup = imploder.setup();
    setup.escape_held = true;
    const DecodeOutcome outcome = explode(setup);
    EXPECT_EQ(outcome.result, zip::UZ_ABORTED);
    // The first block reports 0 %, which is no change and polls nothing; the
    // second block's report finds the key held.
    EXPECT_EQ(outcome.bytes_read, 2 * 4096);
    EXPECT_TRUE(outcome.output.empty());
#endif
}

TEST(Explode, FailedWriteEndsWithWriteError)
{
    Imploder imploder(FLAG_8K);
    imploder.literal('a');
    for (int i = 0; i < 120; ++i) imploder.match(1, 300);  // past the first full window
    DecoderSetup setup = imploder.setup();
    setup.output_fails = true;
    EXPECT_EQ(explode(setup).result, zip::UZ_WRITE_ERROR);
}

TEST(Explode, FailedFinalFlushEndsWithWriteError)
{
    Imploder imploder(0);
    imploder.literal('a');
    DecoderSetup setup = imploder.setup();
    setup.output_fails = true;
    EXPECT_EQ(explode(setup).result, zip::UZ_WRITE_ERROR);
}

// ---- the stored code lengths ----

DecodeOutcome explode_with_trees(const Bytes& trees, std::uint16_t flags)
{
    DecoderSetup setup;
    setup.stream = trees;
    setup.stream.resize(setup.stream.size() + 16, 0xFF);  // a few literals' worth of bits
    setup.ucsize = 1;
    setup.gp_flags = flags;
    return explode(setup);
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(ExplodeTrees, WellFormedTreesDecode)
{
    const Bytes six = Tree::store_lengths(flat_lengths(64, 6));
    EXPECT_EQ(explode_with_trees(concat({six, six}), 0).result, zip::UZ_OK);
}

TEST(ExplodeTrees, RunThatOverfillsTheSetFails)
{
    // 4 runs of 16 fill the 64 lengths; a fifth run overfills them.
    const Bytes overfull{4, 0xF5, 0xF5, 0xF5, 0xF5, 0x05};
    const Bytes six = Tree::store_lengths(flat_lengths(64, 6));
    EXPECT_EQ(explode_with_trees(concat({overfull, six}), 0).result, zip::UZ_FORMAT_ERROR);
    EXPECT_EQ(explode_with_trees(concat({six, overfull}), 0).result, zip::UZ_FORMAT_ERROR);
}

TEST(ExplodeTrees, SetThatEndsShortOfItsCountFails)
{
    const Bytes short_set{2, 0xF5, 0xF5, 0xF5};  // 48 of 64
    const Bytes six = Tree::store_lengths(flat_lengths(64, 6));
    EXPECT_EQ(explode_with_trees(concat({short_set, six}), 0).result, zip::UZ_FORMAT_ERROR);
    EXPECT_EQ(explode_with_trees(concat({six, short_set}), 0).result, zip::UZ_FORMAT_ERROR);
    const Bytes literals_short = Tree::store_lengths(flat_lengths(255, 8));
    EXPECT_EQ(explode_with_trees(concat({literals_short, six, six}), FLAG_LITERAL_TREE).result, zip::UZ_FORMAT_ERROR);
}

TEST(ExplodeTrees, IncompleteOrOversubscribedTreeFails)
{
    const Bytes six = Tree::store_lengths(flat_lengths(64, 6));
    const Bytes incomplete = Tree::store_lengths(flat_lengths(64, 7));
    const Bytes oversubscribed = Tree::store_lengths(flat_lengths(64, 5));
    EXPECT_EQ(explode_with_trees(concat({incomplete, six}), 0).result, zip::UZ_FORMAT_ERROR);
    EXPECT_EQ(explode_with_trees(concat({six, oversubscribed}), 0).result, zip::UZ_FORMAT_ERROR);
    const Bytes literals_incomplete = Tree::store_lengths(flat_lengths(256, 9));
    EXPECT_EQ(explode_with_trees(concat({literals_incomplete, six, six}), FLAG_LITERAL_TREE).result,
              zip::UZ_FORMAT_ERROR);
}

TEST(ExplodeTrees, MissingTreeBytesFailWithFormatError)
{
    EXPECT_EQ(explode(DecoderSetup{}).result, zip::UZ_FORMAT_ERROR);
}

// ---- distance lookup bits ----

// A distance tree whose longest codes have 8 bits: with 8 lookup bits the
// decoder must look one bit further ahead than with 7. The stream below ends
// 7 bits after the last match's low distance bits, so the extra look-ahead
// runs into the end of the file.
DecodeOutcome decode_lookahead_probe(std::int64_t csize)
{
    std::vector<std::uint16_t> distance_lengths(64, 8);
    distance_lengths[0] = 1;
    std::fill_n(distance_lengths.begin() + 1, 21, 6);
    std::fill_n(distance_lengths.begin() + 22, 2, 7);
    Imploder imploder(0, Tree(flat_lengths(256, 8)), Tree(flat_lengths(64, 6)), Tree(distance_lengths));
    imploder.literal('a');
    imploder.literal('b');
    imploder.match(2, 9);  // distance code 0 (1 bit) and a 6-bit length code
    EXPECT_EQ(imploder.bit_count(), 32u);
    DecoderSetup setup = imploder.setup();
    setup.csize = csize;
    return explode(setup);
}

TEST(ExplodeLookup, CompressedSizeOf200000UsesSevenDistanceBits)
{
    const DecodeOutcome outcome = decode_lookahead_probe(200000);
    EXPECT_EQ(outcome.result, zip::UZ_OK);
    EXPECT_FALSE(outcome.input_exhausted);
    EXPECT_EQ(outcome.output, (Bytes{'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a'}));
}

TEST(ExplodeLookup, CompressedSizeOf200001UsesEightDistanceBits)
{
    const DecodeOutcome outcome = decode_lookahead_probe(200001);
    EXPECT_TRUE(outcome.input_exhausted);
    EXPECT_EQ(outcome.result, zip::UZ_READ_ERROR);
    EXPECT_EQ(outcome.output, (Bytes{'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a'}));
}

// ---- hostile input ----

TEST(ExplodeSafety, RandomStreamsNeverReachOutsideTheirBuffers)
{
    std::mt19937 random(1234);
    const Bytes six = Tree::store_lengths(flat_lengths(64, 6));
    const Bytes literal_tree = Tree::store_lengths(skewed_lengths(256, 8));
    for (int round = 0; round < 200; ++round) {
        DecoderSetup setup;
        setup.gp_flags = static_cast<std::uint16_t>(random() & 6);
        if (round % 2 == 0) {
            // Valid trees, random codes: exercises every path of the decoding loop.
            if (setup.gp_flags & FLAG_LITERAL_TREE)
                setup.stream = literal_tree;
            setup.stream.insert(setup.stream.end(), six.begin(), six.end());
            setup.stream.insert(setup.stream.end(), six.begin(), six.end());
        }
        const std::size_t extra = random() % 3000;
        for (std::size_t i = 0; i < extra; ++i) setup.stream.push_back(static_cast<std::uint8_t>(random()));
        setup.ucsize = random() % 100000;
        setup.csize = (round % 5 == 0) ? 300000 : -1;
        const DecodeOutcome outcome = explode(setup);
        EXPECT_TRUE(outcome.result == zip::UZ_OK || outcome.result == zip::UZ_READ_ERROR ||
                    outcome.result == zip::UZ_FORMAT_ERROR)
            << "round " << round << " result " << outcome.result;
    }
}

}  // namespace
