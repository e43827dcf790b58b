// The decoding-table builder, inflate, and the input and output layer under
// it, driven directly on the extraction state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <queue>
#include <vector>

#include "platform/pump.h"
#include "zip/extract_state.h"
#include "zip_test_support.h"

using namespace zip;
using namespace ziptest;

namespace {

// ---- a harness that runs one decoder on bytes from a file ----

std::vector<std::int32_t> flushed;
void record_flush(std::int32_t value, ZipReport*) { flushed.push_back(value); }

struct Decoded {
    std::int32_t code;
    std::string output;
};

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        flushed.clear();
        report_proc = record_flush;
        window_ = std::make_unique<std::uint8_t[]>(WINDOW_SIZE);
        G.slide = window_.get();
    }
    void TearDown() override
    {
        report_proc = nullptr;
        G.in_file.close();
        G.out_file.close();
        G.slide = nullptr;
#ifndef _WIN32
        platform::set_pump_hooks({});
#endif
    }

    // Opens the input and output and resets the state as extract_entry does.
    void prepare(const std::string& compressed, std::int64_t csize = -1)
    {
        write_file(dir_.path() / "in.bin", compressed);
        G.in_file = platform::File::open_read(dir_.file("in.bin"));
        G.out_file = platform::File::create(dir_.file("out.bin"));
        G.csize = csize < 0 ? static_cast<std::int64_t>(compressed.size()) : csize;
        G.ucsize = 0;
        G.bytes_read = 0;
        G.in_pos = 0;
        G.in_last = -1;
        G.aborted = false;
        G.input_exhausted = false;
        G.notify_window = 0;
        G.notify_code = 0;
        G.last_percent = 0;
        std::memset(G.slide, 0, WINDOW_SIZE);
        crc32_reset(G.crc);
    }

    Decoded finish(std::int32_t code)
    {
        G.in_file.close();
        G.out_file.close();
        return {code, read_file(dir_.path() / "out.bin")};
    }

    Decoded inflate(const std::string& compressed)
    {
        prepare(compressed);
        return finish(inflate_entry());
    }

    TempFolder dir_{"inflate"};

private:
    std::unique_ptr<std::uint8_t[]> window_;
};

// ---- hand-made deflate streams ----

constexpr int length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int distance_base[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                   33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The fixed code of RFC 1951.
void fixed_symbol(BitWriter& w, int symbol)
{
    if (symbol < 144)
        w.code(0x30 + symbol, 8);
    else if (symbol < 256)
        w.code(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        w.code(symbol - 256, 7);
    else
        w.code(0xC0 + symbol - 280, 8);
}

void fixed_match(BitWriter& w, int length, int distance)
{
    int i = 28;
    while (length_base[i] > length) --i;
    fixed_symbol(w, 257 + i);
    w.bits(length - length_base[i], length_extra[i]);
    int d = 29;
    while (distance_base[d] > distance) --d;
    w.code(d, 5);
    w.bits(distance - distance_base[d], distance_extra[d]);
}

// Applies a match the way RFC 1951 defines it, as the reference.
void apply_match(std::string& out, int length, int distance)
{
    for (int i = 0; i < length; ++i) out += out[out.size() - distance];
}

// A dynamic block header. The code-length code gives symbols 0..12 four bits
// and 13..18 five bits (a complete code); `sequence` overrides the plain list
// of lengths with explicit (symbol, extra bits value) pairs.
struct DynamicHeader {
    std::vector<int> literal_lengths;
    std::vector<int> distance_lengths;
    std::vector<std::pair<int, int>> sequence;
};

void write_dynamic_header(BitWriter& w, bool last, const DynamicHeader& h)
{
    w.bits(last ? 1 : 0, 1);
    w.bits(2, 2);
    w.bits(static_cast<std::uint32_t>(h.literal_lengths.size() - 257), 5);
    w.bits(static_cast<std::uint32_t>(h.distance_lengths.size() - 1), 5);
    w.bits(15, 4);
    std::vector<int> cl(19);
    for (int s = 0; s < 19; ++s) cl[s] = s < 13 ? 4 : 5;
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int s : order) w.bits(static_cast<std::uint32_t>(cl[s]), 3);
    const auto codes = canonical_codes(cl);
    std::vector<std::pair<int, int>> sequence = h.sequence;
    if (sequence.empty()) {
        for (int len : h.literal_lengths) sequence.emplace_back(len, 0);
        for (int len : h.distance_lengths) sequence.emplace_back(len, 0);
    }
    for (auto [symbol, extra] : sequence) {
        w.code(codes[symbol], cl[symbol]);
        if (symbol == 16)
            w.bits(extra, 2);
        if (symbol == 17)
            w.bits(extra, 3);
        if (symbol == 18)
            w.bits(extra, 7);
    }
}

// Literal/length code over 'a', end of block and length symbol 257 (length
// 3): complete with lengths 1, 2, 2.
DynamicHeader small_header(std::vector<int> distance_lengths)
{
    DynamicHeader h;
    h.literal_lengths.assign(258, 0);
    h.literal_lengths['a'] = 1;
    h.literal_lengths[256] = 2;
    h.literal_lengths[257] = 2;
    h.distance_lengths = std::move(distance_lengths);
    return h;
}

// ---- a reference decoder over a built table ----

// Decodes `code` (length bits, sent most significant first) through the table
// and returns the symbol's entry and the number of bits it used.
std::pair<const HuffmanEntry*, int> lookup(const HuffmanEntry* table, int bits, std::uint32_t code, int length)
{
    std::uint32_t stream = 0;
    for (int i = 0; i < length; ++i) stream |= ((code >> (length - 1 - i)) & 1) << i;
    int used = 0;
    const HuffmanEntry* e = table + (stream & ((1u << bits) - 1));
    while (e->operation > 16 && e->operation != 99) {
        used += e->bits;
        const int sub = e->operation - 16;
        e = e->link + ((stream >> used) & ((1u << sub) - 1));
    }
    return {e, used + e->bits};
}

// Code lengths of a Huffman code over random weights: complete, up to ~15 bits.
std::vector<int> huffman_lengths(int n, unsigned seed)
{
    using Node = std::pair<std::uint64_t, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
    std::vector<int> parent(2 * n, -1);
    for (int i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        heap.emplace(1 + (seed >> 16) % 1000, i);
    }
    int next = n;
    while (heap.size() > 1) {
        auto a = heap.top();
        heap.pop();
        auto b = heap.top();
        heap.pop();
        parent[a.second] = parent[b.second] = next;
        heap.emplace(a.first + b.first, next++);
    }
    std::vector<int> lengths(n);
    for (int i = 0; i < n; ++i)
        for (int p = parent[i]; p != -1; p = parent[p]) ++lengths[i];
    return lengths;
}

std::vector<std::uint16_t> as16(const std::vector<int>& v) { return {v.begin(), v.end()}; }

void expect_every_code_decodes(const std::vector<int>& lengths, std::int32_t requested_bits)
{
    const auto lens = as16(lengths);
    std::vector<std::uint16_t> base(lengths.size(), 0), extra(lengths.size(), 0);
    for (std::size_t i = 0; i < base.size(); ++i) base[i] = static_cast<std::uint16_t>(1000 + i);
    HuffmanEntry* root = nullptr;
    std::int32_t bits = requested_bits;
    const auto n = static_cast<std::uint16_t>(lengths.size());
    const std::uint16_t s = n > 256 ? 257 : n;
    ASSERT_EQ(build_huffman_table(lens.data(), n, s, base.data(), extra.data(), bits, root), TABLE_COMPLETE);
    const auto codes = canonical_codes(lengths);
    for (std::size_t sym = 0; sym < lengths.size(); ++sym) {
        if (lengths[sym] == 0)
            continue;
        auto [entry, used] = lookup(root, bits, codes[sym], lengths[sym]);
        ASSERT_NE(entry->operation, 99) << "symbol " << sym;
        EXPECT_EQ(used, lengths[sym]) << "symbol " << sym;
        const unsigned value = sym < s ? sym : 1000 + sym - s;
        EXPECT_EQ(entry->value, value) << "symbol " << sym;
    }
    free_huffman_table(root);
}

// A complete code over n symbols with lengths spread from short to 15 bits:
// every symbol starts at 15 and random ones are shortened while the code space
// allows, the longest one when the pick does not fit.
std::vector<int> spread_lengths(int n, std::uint32_t seed)
{
    std::vector<int> lengths(static_cast<std::size_t>(n), 15);
    std::uint32_t left = 32768 - static_cast<std::uint32_t>(n);  // in units of one 15-bit code
    while (left > 0) {
        seed = seed * 1103515245u + 12345u;
        auto i = static_cast<std::size_t>((seed >> 8) % static_cast<std::uint32_t>(n));
        if (lengths[i] == 1 || (1u << (15 - lengths[i])) > left)
            i = static_cast<std::size_t>(std::max_element(lengths.begin(), lengths.end()) - lengths.begin());
        left -= 1u << (15 - lengths[i]);
        --lengths[i];
    }
    return lengths;
}

}  // namespace

// ---- Huffman tables ----

TEST(HuffmanTable, CompleteCodeBuildsAndClampsLookupBitsToTheLongestCode)
{
    const std::uint16_t lengths[4] = {2, 2, 2, 2};
    HuffmanEntry* root = nullptr;
    std::int32_t bits = 9;
    EXPECT_EQ(build_huffman_table(lengths, 4, 4, nullptr, nullptr, bits, root), TABLE_COMPLETE);
    EXPECT_EQ(bits, 2);
    ASSERT_NE(root, nullptr);
    free_huffman_table(root);
}

TEST(HuffmanTable, LookupBitsAreRaisedToTheShortestCode)
{
    const std::uint16_t lengths[2] = {3, 3};
    HuffmanEntry* root = nullptr;
    std::int32_t bits = 1;
    EXPECT_EQ(build_huffman_table(lengths, 2, 2, nullptr, nullptr, bits, root), TABLE_INCOMPLETE);
    EXPECT_EQ(bits, 3);
    free_huffman_table(root);
}

TEST(HuffmanTable, IncompleteCodeGivesOneAndMarksUnusedCodesInvalid)
{
    const std::uint16_t lengths[3] = {2, 2, 2};
    HuffmanEntry* root = nullptr;
    std::int32_t bits = 2;
    ASSERT_EQ(build_huffman_table(lengths, 3, 3, nullptr, nullptr, bits, root), TABLE_INCOMPLETE);
    EXPECT_EQ(lookup(root, bits, 0b11, 2).first->operation, 99);
    EXPECT_EQ(lookup(root, bits, 0b10, 2).first->value, 2);
    free_huffman_table(root);
}

TEST(HuffmanTable, SingleCodeOfLengthOneIsAccepted)
{
    const std::uint16_t lengths[5] = {0, 0, 1, 0, 0};
    HuffmanEntry* root = nullptr;
    std::int32_t bits = 6;
    ASSERT_EQ(build_huffman_table(lengths, 5, 5, nullptr, nullptr, bits, root), TABLE_COMPLETE);
    EXPECT_EQ(bits, 1);
    EXPECT_EQ(lookup(root, bits, 0, 1).first->value, 2);
    EXPECT_EQ(lookup(root, bits, 1, 1).first->operation, 99);
    free_huffman_table(root);
}

TEST(HuffmanTable, AllZeroLengthsGiveNoTableAndZeroLookupBits)
{
    const std::uint16_t lengths[30] = {};
    HuffmanEntry* root = reinterpret_cast<HuffmanEntry*>(&root);
    std::int32_t bits = 6;
    EXPECT_EQ(build_huffman_table(lengths, 30, 0, nullptr, nullptr, bits, root), TABLE_COMPLETE);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(bits, 0);
}

TEST(HuffmanTable, OverSubscribedTooLongAndBaselessCodesAreRejected)
{
    HuffmanEntry* root = nullptr;
    std::int32_t bits = 7;
    const std::uint16_t over[3] = {1, 1, 1};
    EXPECT_EQ(build_huffman_table(over, 3, 3, nullptr, nullptr, bits, root), TABLE_BAD_LENGTHS);
    EXPECT_EQ(root, nullptr);
    const std::uint16_t too_long[2] = {17, 1};
    bits = 7;
    EXPECT_EQ(build_huffman_table(too_long, 2, 2, nullptr, nullptr, bits, root), TABLE_BAD_LENGTHS);
    EXPECT_EQ(bits, 0);
    const std::uint16_t plain[4] = {2, 2, 2, 2};
    bits = 7;
    EXPECT_EQ(build_huffman_table(plain, 4, 2, nullptr, nullptr, bits, root), TABLE_BAD_LENGTHS);
    EXPECT_EQ(root, nullptr);
}

TEST(HuffmanTable, EveryCodeOfAChainOfLengthsDecodesThroughSubTables)
{
    std::vector<int> lengths;
    for (int len = 1; len <= 15; ++len) lengths.push_back(len);
    lengths.push_back(15);
    expect_every_code_decodes(lengths, 3);
    expect_every_code_decodes(lengths, 7);
}

TEST(HuffmanTable, EveryCodeOfRandomLiteralLengthCodesDecodes)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        const auto lengths = huffman_lengths(288, seed);
        ASSERT_LE(*std::max_element(lengths.begin(), lengths.end()), 16);
        expect_every_code_decodes(lengths, 9);
        expect_every_code_decodes(lengths, 5);
    }
}

TEST(HuffmanTable, FixedLiteralLengthCodeDecodes)
{
    std::vector<int> lengths(288);
    for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    expect_every_code_decodes(lengths, 7);
}

// ---- inflate ----

TEST_F(DecoderTest, EmptyFixedBlockGivesNoBytes)
{
    const Decoded run = inflate(std::string("\x03\x00", 2));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(flushed, std::vector<std::int32_t>{0});
}

TEST_F(DecoderTest, StoredBlockOfLengthZeroIsAccepted)
{
    const Decoded run = inflate(deflate_stored(""));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, "");
}

TEST_F(DecoderTest, StoredBlocksCarryTheirBytes)
{
    const std::string data = noise(100000);
    const Decoded run = inflate(deflate_stored(data, 1000));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, data);
    EXPECT_EQ(crc32_finish(G.crc), crc32_of(data));
}

TEST_F(DecoderTest, StoredLengthWithoutItsComplementIsAFormatError)
{
    EXPECT_EQ(inflate(std::string("\x01\x05\x00\x00\x00hello", 10)).code, UZ_FORMAT_ERROR);
}

TEST_F(DecoderTest, BlockTypeThreeIsAFormatError)
{
    EXPECT_EQ(inflate(std::string("\x07\x00\x00", 3)).code, UZ_FORMAT_ERROR);
}

TEST_F(DecoderTest, OutputOfExactlyOneWindowIsFlushedAtTheWrapAndOnceMoreEmpty)
{
    const std::string data = noise(32768);
    const Decoded run = inflate(deflate_stored(data));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, data);
    EXPECT_EQ(flushed, (std::vector<std::int32_t>{32768, 0}));
}

TEST_F(DecoderTest, DistanceOneRunsRepeatOneByteAcrossWindowWraps)
{
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    fixed_symbol(w, 'x');
    std::string expected = "x";
    for (int i = 0; i < 300; ++i) {
        fixed_match(w, 258, 1);
        apply_match(expected, 258, 1);
    }
    fixed_symbol(w, 256);
    const Decoded run = inflate(w.data());
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, expected);
}

TEST_F(DecoderTest, CopiesWhoseSourceWrapsPastTheWindowEndMatchTheReference)
{
    // 40000 bytes of noise in stored blocks, then matches reaching back across
    // the window's end, some overlapping their own output.
    const std::string prefix = noise(40000, 77);
    BitWriter w;
    std::string expected = prefix;
    for (std::size_t pos = 0; pos < prefix.size(); pos += 20000) {
        w.bits(0, 1);
        w.bits(0, 2);
        w.align();
        w.bits(20000, 16);
        w.bits(~20000u & 0xFFFF, 16);
        for (std::size_t i = 0; i < 20000; ++i) w.byte(static_cast<std::uint8_t>(prefix[pos + i]));
    }
    w.bits(1, 1);
    w.bits(1, 2);
    const int matches[][2] = {{258, 32768}, {100, 30000}, {258, 9000}, {17, 3}, {258, 32000}, {3, 32768},
                              {200, 7000},  {258, 258},   {258, 100},  {10, 1}, {258, 24577}, {258, 31000}};
    for (int round = 0; round < 40; ++round)
        for (auto [length, distance] : matches) {
            fixed_match(w, length, distance);
            apply_match(expected, length, distance);
        }
    fixed_symbol(w, 256);
    const Decoded run = inflate(w.data());
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, expected);
}

TEST_F(DecoderTest, MatchesOfEveryShortDistanceAndLengthAtShiftingWindowPositionsMatchTheReference)
{
    // Short distances overlap their own output; distances near the window
    // size read just ahead of the write position; odd lengths move where in
    // the window each copy starts, so some end exactly at or one or two bytes
    // past a wrap.
    const std::string prefix = noise(32768, 91);
    BitWriter w;
    std::string expected = prefix;
    for (std::size_t pos = 0; pos < prefix.size(); pos += 16384) {
        w.bits(0, 1);
        w.bits(0, 2);
        w.align();
        w.bits(16384, 16);
        w.bits(~16384u & 0xFFFF, 16);
        for (std::size_t i = 0; i < 16384; ++i) w.byte(static_cast<std::uint8_t>(prefix[pos + i]));
    }
    w.bits(1, 1);
    w.bits(1, 2);
    std::uint32_t seed = 5;
    auto next = [&seed](unsigned below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % below;
    };
    for (int i = 0; i < 4000; ++i) {
        const int length = static_cast<int>(i % 3 == 0 ? 3 + next(14) : 3 + next(256));
        int distance;
        switch (i % 4) {
        case 0:
            distance = static_cast<int>(1 + next(20));
            break;
        case 1:
            distance = static_cast<int>(32768 - next(20));
            break;
        case 2:
            distance = static_cast<int>(1 + next(32768));
            break;
        default:
            distance = static_cast<int>(length + next(16));
            break;
        }
        if (i % 5 == 0) {
            const auto literal = static_cast<int>(next(256));
            fixed_symbol(w, literal);
            expected.push_back(static_cast<char>(literal));
        }
        fixed_match(w, length, distance);
        apply_match(expected, length, distance);
    }
    fixed_symbol(w, 256);
    const Decoded run = inflate(w.data());
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, expected);
}

TEST_F(DecoderTest, DynamicBlocksWithCodesUpToFifteenBitsMatchTheReferenceAcrossRefillsAndWraps)
{
    // Literal/length and distance codes both short and past the first table
    // lookup; literals in runs, so that pairs of them decode together, and
    // matches of every length and distance, over many input blocks and
    // window wraps.
    for (const std::uint32_t seed : {3u, 17u}) {
        SCOPED_TRACE(seed);
        DynamicHeader h;
        h.literal_lengths = spread_lengths(286, seed);
        h.distance_lengths = spread_lengths(30, seed + 1);
        ASSERT_GE(*std::max_element(h.literal_lengths.begin(), h.literal_lengths.end()), 13);
        ASSERT_GE(*std::max_element(h.distance_lengths.begin(), h.distance_lengths.end()), 9);
        const auto literal_codes = canonical_codes(h.literal_lengths);
        const auto distance_codes = canonical_codes(h.distance_lengths);
        auto put_symbol = [&](BitWriter& w, int symbol) { w.code(literal_codes[symbol], h.literal_lengths[symbol]); };
        BitWriter w;
        write_dynamic_header(w, true, h);
        std::string expected;
        std::uint32_t state = seed;
        auto next = [&state](std::uint32_t below) {
            state = state * 1103515245u + 12345u;
            return static_cast<int>((state >> 8) % below);
        };
        for (int i = 0; i < 30000; ++i) {
            if (expected.empty() || next(3) != 0) {
                const int literal = next(256);
                put_symbol(w, literal);
                expected.push_back(static_cast<char>(literal));
                continue;
            }
            const int length = 3 + next(256);
            const int distance = 1 + next(static_cast<std::uint32_t>(std::min<std::size_t>(expected.size(), 32768)));
            int l = 28;
            while (length_base[l] > length) --l;
            put_symbol(w, 257 + l);
            w.bits(static_cast<std::uint32_t>(length - length_base[l]), length_extra[l]);
            int d = 29;
            while (distance_base[d] > distance) --d;
            w.code(distance_codes[d], h.distance_lengths[d]);
            w.bits(static_cast<std::uint32_t>(distance - distance_base[d]), distance_extra[d]);
            apply_match(expected, length, distance);
        }
        put_symbol(w, 256);
        flushed.clear();
        const Decoded run = inflate(w.data());
        EXPECT_EQ(run.code, 0);
        ASSERT_EQ(run.output.size(), expected.size());
        EXPECT_TRUE(run.output == expected);
        std::vector<std::int32_t> flushes(expected.size() / 32768, 32768);
        flushes.push_back(static_cast<std::int32_t>(expected.size() % 32768));
        EXPECT_EQ(flushed, flushes);
    }
}

TEST_F(DecoderTest, OneDistanceCodeOfLengthOneDecodes)
{
    BitWriter w;
    DynamicHeader h = small_header({1});
    write_dynamic_header(w, true, h);
    const auto lit = canonical_codes(h.literal_lengths);
    w.code(lit['a'], 1);
    w.code(lit[257], 2);
    w.code(0, 1);  // distance symbol 0: distance 1
    w.code(lit[256], 2);
    const Decoded run = inflate(w.data());
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, "aaaa");
}

TEST_F(DecoderTest, NoDistanceCodesDecodeUntilALengthSymbolOccurs)
{
    DynamicHeader h = small_header({0});
    const auto lit = canonical_codes(h.literal_lengths);
    {
        BitWriter w;
        write_dynamic_header(w, true, h);
        w.code(lit['a'], 1);
        w.code(lit[256], 2);
        const Decoded run = inflate(w.data());
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.output, "a");
    }
    {
        BitWriter w;
        write_dynamic_header(w, true, h);
        w.code(lit['a'], 1);
        w.code(lit[257], 2);
        w.code(0, 1);
        w.code(lit[256], 2);
        EXPECT_EQ(inflate(w.data()).code, UZ_FORMAT_ERROR);
    }
}

TEST_F(DecoderTest, LeadingRepeatSymbolRepeatsLengthZero)
{
    DynamicHeader h = small_header({1});
    // Symbols 0..2 get length 0 through a leading 16 (3 repeats).
    h.sequence.emplace_back(16, 0);
    for (std::size_t i = 3; i < h.literal_lengths.size(); ++i) h.sequence.emplace_back(h.literal_lengths[i], 0);
    h.sequence.emplace_back(1, 0);
    BitWriter w;
    write_dynamic_header(w, true, h);
    const auto lit = canonical_codes(h.literal_lengths);
    w.code(lit['a'], 1);
    w.code(lit[256], 2);
    const Decoded run = inflate(w.data());
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, "a");
}

namespace {

// 288 literal/length and 32 distance lengths; the extra symbols 286, 287, 30
// and 31 have codes but are invalid when they occur.
DynamicHeader full_header()
{
    DynamicHeader h;
    h.literal_lengths.assign(288, 0);
    // Complete: 256 literals of 9 bits and 32 symbols of 6 bits fill half the code space each.
    for (int s = 0; s < 256; ++s) h.literal_lengths[s] = 9;
    for (int s = 256; s < 288; ++s) h.literal_lengths[s] = 6;
    h.distance_lengths.assign(32, 5);
    return h;
}

}  // namespace

TEST_F(DecoderTest, ThirtyTwoDistanceAndTwoHundredEightyEightLiteralLengthsAreAccepted)
{
    DynamicHeader h = full_header();
    const auto lit = canonical_codes(h.literal_lengths);
    BitWriter w;
    write_dynamic_header(w, true, h);
    w.code(lit['q'], h.literal_lengths['q']);
    w.code(lit[257], 6);  // length 3
    w.code(0, 5);  // distance 1
    w.code(lit[256], 6);
    const Decoded run = inflate(w.data());
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, "qqqq");
}

TEST_F(DecoderTest, LengthSymbol286AndDistanceSymbol30AreFormatErrors)
{
    DynamicHeader h = full_header();
    const auto lit = canonical_codes(h.literal_lengths);
    {
        BitWriter w;
        write_dynamic_header(w, true, h);
        w.code(lit[286], 6);
        w.code(0, 5);
        w.code(lit[256], 6);
        EXPECT_EQ(inflate(w.data()).code, UZ_FORMAT_ERROR);
    }
    {
        BitWriter w;
        write_dynamic_header(w, true, h);
        w.code(lit['q'], h.literal_lengths['q']);
        w.code(lit[257], 6);
        w.code(30, 5);
        w.code(lit[256], 6);
        EXPECT_EQ(inflate(w.data()).code, UZ_FORMAT_ERROR);
    }
}

TEST_F(DecoderTest, RepeatsPastTheEndOfTheLengthsGiveOneOrAFormatError)
{
    const DynamicHeader base = small_header({1});
    auto overrun = [&](int symbol, int extra) {
        DynamicHeader h = base;
        for (std::size_t i = 0; i < h.literal_lengths.size(); ++i) h.sequence.emplace_back(h.literal_lengths[i], 0);
        h.sequence.emplace_back(symbol, extra);  // one distance length is left, the repeat asks for more
        BitWriter w;
        write_dynamic_header(w, true, h);
        w.bits(0, 32);
        return inflate(w.data()).code;
    };
    EXPECT_EQ(overrun(16, 0), 1);
    EXPECT_EQ(overrun(17, 0), 1);
    EXPECT_EQ(overrun(18, 0), UZ_FORMAT_ERROR);
}

TEST_F(DecoderTest, IncompleteLiteralLengthCodeIsAFormatError)
{
    DynamicHeader h = small_header({1});
    h.literal_lengths[257] = 3;  // 1/2 + 1/4 + 1/8: incomplete
    BitWriter w;
    write_dynamic_header(w, true, h);
    w.bits(0, 32);
    EXPECT_EQ(inflate(w.data()).code, UZ_FORMAT_ERROR);
}

TEST_F(DecoderTest, DataRunningOutIsAReadError)
{
    const std::string stream = deflate_stored(noise(20000));
    prepare(stream.substr(0, 5000), 5000);
    EXPECT_EQ(finish(inflate_entry()).code, UZ_READ_ERROR);
}

TEST_F(DecoderTest, AFailedWriteEndsInflateWithAWriteError)
{
    write_file(dir_.path() / "readonly.bin", "");
    prepare(deflate_stored("abc"));
    G.out_file = platform::File::open_read(dir_.file("readonly.bin"));
    EXPECT_EQ(inflate_entry(), UZ_WRITE_ERROR);
    EXPECT_TRUE(flushed.empty());
}

// ---- input buffer, CRC, tokens ----

TEST(Crc32, TableAndCheckValueAreTheStandardOnes)
{
    EXPECT_EQ(crc_table[1], 0x77073096u);
    EXPECT_EQ(crc_table[255], 0x2D02EF8Du);
    std::uint32_t crc = 0;
    crc32_reset(crc);
    EXPECT_EQ(crc, 0xFFFFFFFFu);
    const char* check = "123456789";
    crc32_update(crc, reinterpret_cast<const std::uint8_t*>(check), 9);
    EXPECT_EQ(crc32_finish(crc), 0xCBF43926u);
    EXPECT_EQ(mask_bits[0], 0);
    EXPECT_EQ(mask_bits[9], 0x1FF);
    EXPECT_EQ(mask_bits[16], 0xFFFF);
}

TEST(Crc32, EightBytesAtATimeGiveTheSameValuesAsTheDefinition)
{
    const std::string data = noise(300, 99);
    for (std::size_t offset = 0; offset < 8; ++offset)
        for (std::size_t length = 0; length < 200; length += (length < 20 ? 1 : 7)) {
            std::uint32_t crc = 0;
            crc32_reset(crc);
            crc32_update(crc, reinterpret_cast<const std::uint8_t*>(data.data()) + offset,
                         static_cast<std::uint16_t>(length));
            ASSERT_EQ(crc32_finish(crc), crc32_of(data.substr(offset, length))) << offset << " " << length;
        }
    // Folding in pieces gives the value of the whole.
    std::uint32_t crc = 0;
    crc32_reset(crc);
    crc32_update(crc, reinterpret_cast<const std::uint8_t*>(data.data()), 13);
    crc32_update(crc, reinterpret_cast<const std::uint8_t*>(data.data()) + 13, 287);
    EXPECT_EQ(crc32_finish(crc), crc32_of(data));
}

// The byte-at-a-time table loop, the plainest form of the CRC, from any register value.
std::uint32_t table_crc(std::uint32_t crc, const std::uint8_t* data, std::size_t length)
{
    while (length-- > 0) crc = crc_table[(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return crc;
}

TEST(Crc32, LongRunsAtAnyAlignmentAndRegisterMatchTheTableLoop)
{
    const std::string text = noise(65536 + 64, 4242);
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    std::uint32_t seed = 77;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    std::vector<std::size_t> lengths = {0,   1,   15,  16,  17,  31,  32,  48,  63,   64,   65,    79,    80,   95,
                                        127, 128, 129, 143, 191, 192, 255, 256, 4095, 4096, 32767, 32768, 65535};
    for (int i = 0; i < 400; ++i) lengths.push_back(i < 200 ? next() % 1024 : next() % 65536);
    for (std::size_t length : lengths) {
        const std::size_t offset = next() % 64;
        const std::uint32_t start = (next() << 8) ^ next();
        std::uint32_t crc = start;
        crc32_update(crc, data + offset, static_cast<std::uint16_t>(length));
        ASSERT_EQ(crc, table_crc(start, data + offset, length)) << "length " << length << " offset " << offset;
    }
    // A whole window as the flushes see it, against the bitwise definition.
    std::uint32_t crc = 0;
    crc32_reset(crc);
    crc32_update(crc, data, 32768);
    EXPECT_EQ(crc32_finish(crc), crc32_of(text.substr(0, 32768)));
}

TEST_F(DecoderTest, ASecondBlockIsReadWhenCsizePlusTwoIsNotYetPassed)
{
    const std::string data = noise(3 * 4096);
    prepare(data, 4094);
    for (int i = 0; i < 4096; ++i) (void)read_byte();
    EXPECT_EQ(read_byte(), static_cast<std::uint8_t>(data[4096]));
    EXPECT_FALSE(G.input_exhausted);
    EXPECT_EQ(G.bytes_read, 8192);
}

TEST_F(DecoderTest, PastTheBoundTheOldBlockIsDeliveredAgainAsFiller)
{
    const std::string data = noise(3 * 4096);
    prepare(data, 4093);
    for (int i = 0; i < 4096; ++i) (void)read_byte();
    EXPECT_EQ(read_byte(), static_cast<std::uint8_t>(data[0]));
    EXPECT_TRUE(G.input_exhausted);
    EXPECT_EQ(G.bytes_read, 4096);
}

TEST_F(DecoderTest, ReadingAtTheEndOfTheFileCountsAWholeBlock)
{
    prepare(noise(100), 100000);
    for (int i = 0; i < 101; ++i) (void)read_byte();
    EXPECT_TRUE(G.input_exhausted);
    EXPECT_EQ(G.bytes_read, 100 + 4096);
}

TEST_F(DecoderTest, StoredCopyOfAnEmptyEntryWritesNothing)
{
    prepare("", 0);
    const Decoded run = finish(copy_stored_entry());
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(flushed.empty());
}

TEST_F(DecoderTest, StoredCopyFailsWhenTheFileEndsEarly)
{
    prepare(noise(1000), 5000);
    EXPECT_EQ(finish(copy_stored_entry()).code, UZ_READ_ERROR);
}

TEST(NextToken, SplitsInPlaceAndKeepsItsPositionBetweenCalls)
{
    char text[] = "C:\\out\\\\sub\\a.txt";
    std::vector<std::string> parts;
    for (char* t = next_token(text, '\\'); t != nullptr; t = next_token(nullptr, '\\')) parts.emplace_back(t);
    EXPECT_EQ(parts, (std::vector<std::string>{"C:", "out", "", "sub", "a.txt"}));
    EXPECT_EQ(next_token(nullptr, '\\'), nullptr);
}

#ifndef _WIN32
// Progress and abort go through the platform's hooks, which exist only where
// there is no window system to drive them.

TEST_F(DecoderTest, TenThousandByteEntryReportsFortyAndEightyOne)
{
    const std::string stream = deflate_stored(noise(9995));
    ASSERT_EQ(stream.size(), 10000u);
    std::vector<int> percents;
    int pumps = 0;
    platform::set_pump_hooks({[&](platform::WindowHandle) { ++pumps; },
                              [&](platform::WindowHandle window, std::int32_t code, std::uint16_t* percent) {
                                  EXPECT_EQ(window, 0x12345678ABCDu);
                                  EXPECT_EQ(code, 42);
                                  percents.push_back(*percent);
                              },
                              {}});
    prepare(stream);
    G.notify_window = 0x12345678ABCDu;
    G.notify_code = 42;
    EXPECT_EQ(finish(inflate_entry()).code, 0);
    EXPECT_EQ(percents, (std::vector<int>{40, 81}));
    EXPECT_EQ(pumps, 3);
}

TEST_F(DecoderTest, StoredCopyReportsAfterEveryBlockAndNeverTheSamePercentTwice)
{
    std::vector<int> percents;
    platform::set_pump_hooks(
        {{}, [&](platform::WindowHandle, std::int32_t, std::uint16_t* percent) { percents.push_back(*percent); }, {}});
    prepare(noise(10), 10);
    G.notify_window = 1;
    EXPECT_EQ(finish(copy_stored_entry()).code, 0);
    EXPECT_EQ(percents, std::vector<int>{100});

    percents.clear();
    const std::string data = noise(5 * 32768);
    prepare(data, static_cast<std::int64_t>(data.size()));
    G.notify_window = 1;
    const Decoded run = finish(copy_stored_entry());
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, data);
    EXPECT_EQ(percents, (std::vector<int>{20, 40, 60, 80, 100}));
}

TEST_F(DecoderTest, AnEmptyEntryReportsNoPercentage)
{
    int reports = 0;
    platform::set_pump_hooks({{}, [&](platform::WindowHandle, std::int32_t, std::uint16_t*) { ++reports; }, {}});
    prepare("", 0);
    G.notify_window = 1;
    report_progress();
    EXPECT_EQ(finish(copy_stored_entry()).code, 0);
    EXPECT_EQ(reports, 0);
}

TEST_F(DecoderTest, TheNotifyWindowAbortsByAnsweringFFFF)
{
    platform::set_pump_hooks(
        {{}, [&](platform::WindowHandle, std::int32_t, std::uint16_t* percent) { *percent = 0xFFFF; }, {}});
    prepare(deflate_stored(noise(20000)));
    G.notify_window = 7;
    EXPECT_EQ(finish(inflate_entry()).code, UZ_ABORTED);
    EXPECT_TRUE(G.aborted);
}

TEST_F(DecoderTest, HoldingThePolledKeyAbortsAStoredCopy)
{
    std::vector<std::int32_t> polled;
    platform::set_pump_hooks({{}, {}, [&](std::int32_t key) {
                                  polled.push_back(key);
                                  return true;
                              }});
    const std::string data = noise(4 * 32768);
    prepare(data, static_cast<std::int64_t>(data.size()));
    G.notify_code = 27;
    const Decoded run = finish(copy_stored_entry());
    EXPECT_EQ(run.code, UZ_ABORTED);
    EXPECT_EQ(run.output.size(), 32768u);
    EXPECT_EQ(polled, std::vector<std::int32_t>{27});
}

TEST_F(DecoderTest, WithoutWindowOrKeyCodeNothingIsPolled)
{
    bool polled = false;
    platform::set_pump_hooks({{}, {}, [&](std::int32_t) { return polled = true; }});
    const std::string data = noise(3 * 32768);
    prepare(data, static_cast<std::int64_t>(data.size()));
    EXPECT_EQ(finish(copy_stored_entry()).code, 0);
    EXPECT_FALSE(polled);
}
#endif
