// Inflate (deflate streams, RFC 1951) and the multi-level Huffman decoding
// tables it shares with explode.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "zip/extract_state.h"

namespace zip {

// ---- Decoding tables ----
//
// A code is decoded by indexing a table with the next `lookup bits` of the
// input. Codes no longer than that end in the root table; every slot whose low
// bits match a code holds a copy of its entry. Longer codes continue through a
// link entry into a sub-table indexed by the bits that follow, and so on. Each
// table is its own allocation, preceded by one header entry whose `value`
// holds the entry count and whose `link` points to the next table built for
// the same code; the root heads that chain, so freeing walks it from there.
// The tables are allocated with calloc because ownership passes through the
// plain-pointer interface that explode shares.

namespace {

constexpr int MAX_CODE_BITS = 16;

HuffmanEntry* allocate_table(unsigned entries, HuffmanEntry**& chain_tail)
{
    auto* block = static_cast<HuffmanEntry*>(std::calloc(entries + 1, sizeof(HuffmanEntry)));
    if (block == nullptr)
        return nullptr;
    block[0].value = static_cast<std::uint16_t>(entries);
    *chain_tail = block + 1;
    chain_tail = &block[0].link;
    return block + 1;
}

}  // namespace

void free_huffman_table(HuffmanEntry* root)
{
    while (root != nullptr) {
        HuffmanEntry* header = root - 1;
        root = header->link;
        std::free(header);
    }
}

std::int32_t build_huffman_table(const std::uint16_t* lengths, std::uint16_t n, std::uint16_t s,
                                 const std::uint16_t* base, const std::uint16_t* extra, std::int32_t& lookup_bits,
                                 HuffmanEntry*& root)
{
    root = nullptr;
    unsigned count[MAX_CODE_BITS + 1] = {};
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] > MAX_CODE_BITS) {
            lookup_bits = 0;
            return TABLE_BAD_LENGTHS;
        }
        ++count[lengths[i]];
    }
    if (count[0] == n) {
        lookup_bits = 0;
        return TABLE_COMPLETE;
    }

    int shortest = 1;
    while (count[shortest] == 0) ++shortest;
    int longest = MAX_CODE_BITS;
    while (count[longest] == 0) --longest;
    int root_bits = lookup_bits;
    if (root_bits < shortest)
        root_bits = shortest;
    if (root_bits > longest)
        root_bits = longest;
    lookup_bits = root_bits;

    // Code space left after each length; what remains at the longest length is
    // filled with dummy codes that decode as invalid.
    std::int64_t unused = std::int64_t{1} << shortest;
    for (int len = shortest; len <= longest; ++len) {
        unused -= count[len];
        if (unused < 0)
            return TABLE_BAD_LENGTHS;
        if (len < longest)
            unused *= 2;
    }
    const unsigned real_codes = n - count[0];
    count[longest] += static_cast<unsigned>(unused);

    // Symbols in canonical order: by length, then by symbol.
    std::vector<std::uint16_t> sorted;
    try {
        sorted.resize(real_codes);
    } catch (const std::bad_alloc&) {
        return TABLE_OUT_OF_MEMORY;
    }
    {
        unsigned offset[MAX_CODE_BITS + 1] = {};
        for (int len = 2; len <= MAX_CODE_BITS; ++len) offset[len] = offset[len - 1] + count[len - 1];
        // Dummies were added to the longest length only, which sorts last.
        for (unsigned sym = 0; sym < n; ++sym)
            if (lengths[sym] != 0)
                sorted[offset[lengths[sym]]++] = static_cast<std::uint16_t>(sym);
    }

    struct Level {
        HuffmanEntry* table;
        int depth;  // code bits consumed before this table
        int bits;  // index bits of this table
        unsigned prefix;  // the low `depth` bits shared by every code in it
    };
    Level levels[MAX_CODE_BITS + 1];
    HuffmanEntry* chain = nullptr;
    HuffmanEntry** chain_tail = &chain;
    auto fail = [&](std::int32_t result) {
        free_huffman_table(chain);
        return result;
    };

    HuffmanEntry* root_table = allocate_table(1u << root_bits, chain_tail);
    if (root_table == nullptr)
        return TABLE_OUT_OF_MEMORY;
    levels[0] = {root_table, 0, root_bits, 0};
    int h = 0;

    // End of block should end exactly at a table boundary.
    const int eob_length = n > 256 ? lengths[256] : MAX_CODE_BITS;

    unsigned code = 0;  // the current code, bit-reversed: its first bit is bit 0
    unsigned next = 0;  // index into sorted
    for (int len = shortest; len <= longest; ++len) {
        for (unsigned left = count[len]; left > 0; --left) {
            while (len > levels[h].depth + levels[h].bits) {
                const int depth = levels[h].depth + levels[h].bits;
                const int limit = std::min(longest - depth, root_bits);
                int bits = len - depth;
                if (bits >= limit) {
                    bits = limit;
                } else {
                    // Grow the sub-table while the codes under this prefix
                    // would leave its slots partly empty.
                    std::int64_t free_slots = (std::int64_t{1} << bits) - left;
                    int at = len;
                    while (free_slots > 0 && bits < limit) {
                        ++bits;
                        ++at;
                        free_slots = free_slots * 2 - count[at];
                    }
                }
                if (depth < eob_length && eob_length < depth + bits)
                    bits = eob_length - depth;

                HuffmanEntry* table = allocate_table(1u << bits, chain_tail);
                if (table == nullptr)
                    return fail(TABLE_OUT_OF_MEMORY);
                const Level& parent = levels[h];
                HuffmanEntry& link = parent.table[(code >> parent.depth) & ((1u << parent.bits) - 1)];
                link.operation = static_cast<std::uint8_t>(OP_LITERAL + bits);
                link.bits = static_cast<std::uint8_t>(parent.bits);
                link.value = 0;
                link.link = table;
                ++h;
                levels[h] = {table, depth, bits, code & ((1u << depth) - 1)};
            }

            const Level& level = levels[h];
            HuffmanEntry entry{};
            entry.bits = static_cast<std::uint8_t>(len - level.depth);
            if (next >= real_codes) {
                entry.operation = OP_INVALID;
            } else {
                const unsigned sym = sorted[next++];
                if (sym < s) {
                    entry.operation = sym < 256 ? OP_LITERAL : OP_END_OF_BLOCK;
                    entry.value = static_cast<std::uint16_t>(sym);
                } else {
                    if (base == nullptr || extra == nullptr)
                        return fail(TABLE_BAD_LENGTHS);
                    entry.operation = static_cast<std::uint8_t>(extra[sym - s]);
                    entry.value = base[sym - s];
                }
            }
            const unsigned step = 1u << entry.bits;
            for (unsigned slot = code >> level.depth; slot < (1u << level.bits); slot += step)
                level.table[slot] = entry;

            // Next code in bit-reversed counting.
            unsigned bit = 1u << (len - 1);
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code ^= bit;

            while (h > 0 && (code & ((1u << levels[h].depth) - 1)) != levels[h].prefix) --h;
        }
    }

    root = chain;
    return unused != 0 && longest != 1 ? TABLE_INCOMPLETE : TABLE_COMPLETE;
}

// ---- Inflate ----

namespace {

// Length codes 257..285 and the two unused codes 286 and 287, which decode as invalid.
constexpr std::uint16_t length_base[31] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
                                           35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr std::uint16_t length_extra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                            3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
// Distance codes 0..29 and the unused 30 and 31.
constexpr std::uint16_t distance_base[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,   33,
                                             49,   65,   97,   129,  193,  257,   385,   513,   769, 1025, 1537,
                                             2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
constexpr std::uint16_t distance_extra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                              7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99};
constexpr std::uint8_t code_length_order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr std::int32_t FIXED_LITERAL_BITS = 7;
constexpr std::int32_t FIXED_DISTANCE_BITS = 5;
constexpr std::int32_t DYNAMIC_LITERAL_BITS = 9;
constexpr std::int32_t DYNAMIC_DISTANCE_BITS = 6;
constexpr std::int32_t CODE_LENGTH_BITS = 7;

// Releases a table when it goes out of scope.
class TableHolder {
public:
    TableHolder() = default;
    TableHolder(const TableHolder&) = delete;
    TableHolder& operator=(const TableHolder&) = delete;
    ~TableHolder() { free_huffman_table(root); }
    HuffmanEntry* root = nullptr;
};

std::uint32_t take_bits(std::uint8_t n)
{
    need_bits(n);
    const std::uint32_t value = G.bit_buf & mask_bits[n];
    dump_bits(n);
    return value;
}

// The entry of the next symbol, or null for invalid data.
const HuffmanEntry* decode_symbol(const HuffmanEntry* table, std::int32_t bits)
{
    if (table == nullptr)
        return nullptr;
    need_bits(static_cast<std::uint8_t>(bits));
    const HuffmanEntry* entry = table + (G.bit_buf & mask_bits[bits]);
    while (entry->operation > OP_LITERAL) {
        if (entry->operation == OP_INVALID)
            return nullptr;
        dump_bits(entry->bits);
        const auto sub_bits = static_cast<std::uint8_t>(entry->operation - OP_LITERAL);
        need_bits(sub_bits);
        entry = entry->link + (G.bit_buf & mask_bits[sub_bits]);
    }
    dump_bits(entry->bits);
    return entry;
}

[[nodiscard]] bool put_byte(std::uint8_t value)
{
    G.slide[G.win_pos++] = value;
    if (G.win_pos == WINDOW_SIZE) {
        if (!flush_window(WINDOW_SIZE))
            return false;
        G.win_pos = 0;
    }
    return true;
}

// Copies a match in pieces that stay inside the window on both ends,
// flushing when the window fills. False when a flush failed.
[[nodiscard]] bool copy_match(unsigned length, unsigned distance)
{
    unsigned from = (G.win_pos - distance) & (WINDOW_SIZE - 1);
    while (length > 0) {
        unsigned piece = WINDOW_SIZE - std::max<unsigned>(from, G.win_pos);
        piece = std::min(piece, length);
        std::uint8_t* dest = G.slide + G.win_pos;
        const std::uint8_t* src = G.slide + from;
        if (static_cast<unsigned>(G.win_pos - from) >= piece) {
            // The source lies wholly behind what this piece writes.
            std::memmove(dest, src, piece);
        } else {
            // Overlapping: byte by byte, so that a short distance repeats its pattern.
            for (unsigned i = 0; i < piece; ++i) dest[i] = src[i];
        }
        G.win_pos = static_cast<std::uint16_t>(G.win_pos + piece);
        from += piece;
        length -= piece;
        if (G.win_pos == WINDOW_SIZE) {
            if (!flush_window(WINDOW_SIZE))
                return false;
            G.win_pos = 0;
        }
        from &= WINDOW_SIZE - 1;
    }
    return true;
}

// ---- Fast path ----
//
// The fast path decodes straight from the input buffer through a 64-bit bit
// buffer while enough bytes are buffered that no symbol could ask for a
// refill, and while the window has room for the longest match without a
// flush. It never reads past the buffered bytes and hands unused whole bytes
// back before it returns; the careful path below (the byte-wise bit reader on
// the multi-level tables) takes every symbol near the end of a buffer or of
// the window. So refills, progress reports, aborts, flushes and results
// happen exactly where the byte-wise decoder alone would have them.
//
// Fast tables. One 32-bit word per slot, indexed by the next bits of the
// input (the first bit sent is the index's low bit):
//
//   bits  0..7   drop: the bits this entry consumes in all, its code bits in
//                this table and the extra bits that follow them
//   bits  8..11  code: the code bits in this table; for a link, the index
//                bits of the sub-table
//   bits 12..15  flags: FAST_LITERAL, with FAST_SECOND for two literals;
//                FAST_LINK; FAST_SPECIAL for end of block or invalid; none
//                for a length or distance
//   bits 16..31  value: a literal, in both bytes; two literals, the first in
//                the low byte; the base of a length or distance; the slot
//                where a sub-table starts; 1 for end of block, 0 for invalid
//
// Each kind is one flag so that the loop tells them apart with one test.
//
// A length or distance is value + (the dropped bits >> code), so one lookup
// and one shift take the code and its extra bits together. The root table has
// FAST_LITERAL_BITS (literal/length) or FAST_DISTANCE_BITS (distance) index
// bits; a longer code goes through a link (which drops the root bits) into a
// sub-table just big enough for the longest code under that root slot. The
// sub-tables follow the root in the same array. Code space a code leaves
// unused is invalid, as in the careful tables.

constexpr unsigned MAX_DEFLATE_CODE_BITS = 15;  // code lengths are sent as 0..15
// 2048 slots: nearly every literal/length code and its extra bits end in the
// root, and the table (8 KiB) still sits in the first-level cache.
constexpr unsigned FAST_LITERAL_BITS = 11;
// Distance codes are fewer; 256 slots cover the usual ones with their extra bits.
constexpr unsigned FAST_DISTANCE_BITS = 8;
// Enough for any code: at worst every code longer than the root bits opens a
// sub-table of its own, for the longest code length.
constexpr unsigned FAST_LITERAL_SLOTS =
    (1u << FAST_LITERAL_BITS) + 288 * (1u << (MAX_DEFLATE_CODE_BITS - FAST_LITERAL_BITS));
constexpr unsigned FAST_DISTANCE_SLOTS =
    (1u << FAST_DISTANCE_BITS) + 32 * (1u << (MAX_DEFLATE_CODE_BITS - FAST_DISTANCE_BITS));

constexpr std::uint32_t FAST_BASE = 0;  // a length or distance: no flag
constexpr std::uint32_t FAST_LITERAL = 1u << 12;
constexpr std::uint32_t FAST_SECOND = 1u << 13;
constexpr unsigned FAST_SECOND_SHIFT = 13;
constexpr std::uint32_t FAST_LINK = 1u << 14;
constexpr std::uint32_t FAST_SPECIAL = 1u << 15;

constexpr std::uint32_t fast_entry(std::uint32_t flags, unsigned code, unsigned drop, unsigned value)
{
    return value << 16 | flags | code << 8 | drop;
}
constexpr unsigned fast_drop(std::uint32_t entry) { return entry & 0xFF; }
constexpr unsigned fast_code(std::uint32_t entry) { return (entry >> 8) & 0xF; }
constexpr unsigned fast_value(std::uint32_t entry) { return entry >> 16; }

constexpr std::uint32_t FAST_INVALID_ENTRY = fast_entry(FAST_SPECIAL, 0, 0, 0);

// The fast tables of one entry, built again for every block from the code
// lengths the careful builder has already accepted.
struct FastTables {
    std::uint32_t literals[FAST_LITERAL_SLOTS];
    std::uint32_t distances[FAST_DISTANCE_SLOTS];
};

// The low `length` bits of a code, first bit last: codes are sent from their
// most significant bit on, and the tables are indexed from the first bit sent.
unsigned reverse_bits(unsigned code, unsigned length)
{
    code = (code & 0x5555) << 1 | ((code >> 1) & 0x5555);
    code = (code & 0x3333) << 2 | ((code >> 2) & 0x3333);
    code = (code & 0x0F0F) << 4 | ((code >> 4) & 0x0F0F);
    code = (code & 0x00FF) << 8 | ((code >> 8) & 0x00FF);
    return code >> (16 - length);
}

// The entry of one symbol whose code has `len` bits in its table.
std::uint32_t symbol_entry(unsigned sym, unsigned len, unsigned s, const std::uint16_t* base,
                           const std::uint16_t* extra)
{
    if (sym < s)
        return sym < 256 ? fast_entry(FAST_LITERAL, len, len, sym | sym << 8) : fast_entry(FAST_SPECIAL, len, len, 1);
    if (extra[sym - s] == 99)
        return FAST_INVALID_ENTRY;
    return fast_entry(FAST_BASE, len, len + extra[sym - s], base[sym - s]);
}

// Builds a fast table from code lengths 0..15 that form a complete code, or an
// incomplete one whose unused codes are invalid. Symbols below s stand for
// themselves (literals below 256, 256 end of block); the others take their base
// and extra bits from the arrays, extra 99 marking a symbol that is invalid.
// With pair_literals, a root slot whose bits hold two whole literal codes
// decodes both.
//
// The root is filled length by length: once every code up to length k sits in
// the first 2^k slots, copying those slots once above themselves makes the
// first 2^(k+1) slots right for every code up to k, since a short code owns
// every slot whose low bits are its own; then the codes of length k + 1 go in.
// So each slot is written about once, mostly by block copies.
void build_fast_table(const std::uint16_t* lengths, unsigned n, unsigned s, const std::uint16_t* base,
                      const std::uint16_t* extra, unsigned root_bits, bool pair_literals, std::uint32_t* table)
{
    unsigned count[MAX_DEFLATE_CODE_BITS + 1] = {};
    for (unsigned sym = 0; sym < n; ++sym) ++count[lengths[sym]];
    count[0] = 0;
    // Symbols in canonical order, by length and then by symbol.
    unsigned start[MAX_DEFLATE_CODE_BITS + 2] = {};
    for (unsigned len = 1; len <= MAX_DEFLATE_CODE_BITS; ++len) start[len + 1] = start[len] + count[len];
    std::uint16_t sorted[288];
    {
        unsigned next[MAX_DEFLATE_CODE_BITS + 1];
        std::copy(start, start + MAX_DEFLATE_CODE_BITS + 1, next);
        for (unsigned sym = 0; sym < n; ++sym)
            if (lengths[sym] != 0)
                sorted[next[lengths[sym]]++] = static_cast<std::uint16_t>(sym);
    }

    unsigned code = 0;  // the canonical code of sorted[i], most significant bit first
    unsigned i = 0;
    table[0] = table[1] = FAST_INVALID_ENTRY;
    for (unsigned len = 1; len <= root_bits; ++len) {
        if (len > 1)
            std::memcpy(table + (1u << (len - 1)), table, sizeof *table << (len - 1));
        for (; i < start[len + 1]; ++i, ++code)
            table[reverse_bits(code, len)] = symbol_entry(sorted[i], len, s, base, extra);
        code <<= 1;
    }

    // Longer codes: a sub-table under each root slot they share, sized for
    // the longest of them. In canonical order the codes under one root slot
    // come together and the longest last.
    unsigned next_slot = 1u << root_bits;
    unsigned open_slot = ~0u;  // the root slot whose sub-table is being filled
    for (unsigned len = root_bits + 1; len <= MAX_DEFLATE_CODE_BITS; ++len, code <<= 1) {
        for (; i < start[len + 1]; ++i, ++code) {
            const unsigned reversed = reverse_bits(code, len);
            const unsigned slot = reversed & ((1u << root_bits) - 1);
            if (slot != open_slot) {
                // The last code under this slot is the one whose top bits
                // after the root are all ones; its length is the sub-table's.
                unsigned longest = len;
                for (unsigned j = i, c = code, l = len; j < start[MAX_DEFLATE_CODE_BITS + 1];) {
                    while (j >= start[l + 1]) {
                        ++l;
                        c <<= 1;
                    }
                    if ((c >> (l - root_bits)) != (code >> (len - root_bits)))
                        break;
                    longest = l;
                    ++j;
                    ++c;
                }
                const unsigned sub_bits = longest - root_bits;
                table[slot] = fast_entry(FAST_LINK, sub_bits, root_bits, next_slot);
                std::fill(table + next_slot, table + next_slot + (1u << sub_bits), FAST_INVALID_ENTRY);
                next_slot += 1u << sub_bits;
                open_slot = slot;
            }
            const std::uint32_t link = table[slot];
            std::uint32_t* const sub = table + fast_value(link);
            const unsigned sub_len = len - root_bits;
            const std::uint32_t entry = symbol_entry(sorted[i], sub_len, s, base, extra);
            for (unsigned k = reversed >> root_bits; k < (1u << fast_code(link)); k += 1u << sub_len) sub[k] = entry;
        }
    }

    if (!pair_literals)
        return;
    // Two literals share a root slot when their codes together fit its bits:
    // the slot's low bits are the first code, the bits above it the second.
    // Walking the literals by length, both loops stop at the first that no
    // longer fits.
    unsigned literal_code[256], literal_len[256];
    std::uint16_t literal_sym[256];
    unsigned short_literals = 0;  // those shorter than the root, by length
    code = 0;
    for (unsigned len = 1; len < root_bits; ++len, code <<= 1)
        for (unsigned j = start[len]; j < start[len + 1]; ++j, ++code)
            if (sorted[j] < 256) {
                literal_sym[short_literals] = sorted[j];
                literal_len[short_literals] = len;
                literal_code[short_literals++] = reverse_bits(code, len);
            }
    for (unsigned first = 0; first < short_literals; ++first) {
        const unsigned first_len = literal_len[first];
        if (first_len + literal_len[0] > root_bits)
            break;
        for (unsigned second = 0; second < short_literals; ++second) {
            const unsigned both = first_len + literal_len[second];
            if (both > root_bits)
                break;
            const std::uint32_t entry =
                fast_entry(FAST_LITERAL | FAST_SECOND, 0, both, literal_sym[first] | literal_sym[second] << 8);
            for (unsigned slot = literal_code[first] | literal_code[second] << first_len; slot < (1u << root_bits);
                 slot += 1u << both)
                table[slot] = entry;
        }
    }
}

// The fast loop tops its bit buffer up once an iteration, eight bytes read and
// at most seven taken.
constexpr std::ptrdiff_t FAST_INPUT_MARGIN = 8;
// The longest match and the 32 bytes after it that a copy reads and puts back.
constexpr unsigned FAST_WINDOW_MARGIN = 258 + 32;

enum class FastExit { more, end_of_block, invalid };

// The loop is compiled twice on x86 with GCC or Clang: as is, and for
// processors with BMI2, whose shifts by a register count and bit-field
// extraction take one instruction where plain x86-64 needs two or three; the
// processor decides at run time, once. Its helpers are forced inline so that
// each copy gets them compiled for its own instructions.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define IMU_INFLATE_BMI2 1
#define FAST_INLINE [[gnu::always_inline]] inline
#else
#define IMU_INFLATE_BMI2 0
#define FAST_INLINE inline
#endif

template <std::size_t N>
FAST_INLINE void copy_word(std::uint8_t* dest, const std::uint8_t* src)
{
    std::uint8_t word[N];
    std::memcpy(word, src, N);
    std::memcpy(dest, word, N);
}

// Copies 1..258 bytes of a match whose source lies `distance` bytes behind
// or ahead of the destination, at least eight. Nothing past the end of the
// match is touched: the window bytes ahead are still the oldest history.
// Words are 16 bytes when the distance allows, else 8; the first word is
// written at the start, the last one ending exactly at the end, and any
// between in steps, so a length costs two stores and about one branch. A word
// never reads bytes that this copy has yet to write: behind, everything up to
// `distance` before the word is final; ahead, nothing there is written.
FAST_INLINE void copy_words(std::uint8_t* dest, const std::uint8_t* src, unsigned length, unsigned distance)
{
    if (length >= 16 && distance >= 16) {
        copy_word<16>(dest, src);
        for (unsigned i = 16; i + 16 < length; i += 16) copy_word<16>(dest + i, src + i);
        copy_word<16>(dest + length - 16, src + length - 16);
    } else if (length >= 8) {
        copy_word<8>(dest, src);
        for (unsigned i = 8; i + 8 < length; i += 8) copy_word<8>(dest + i, src + i);
        copy_word<8>(dest + length - 8, src + length - 8);
    } else if (length >= 4) {
        copy_word<4>(dest, src);
        copy_word<4>(dest + length - 4, src + length - 4);
    } else if (length == 3) {
        copy_word<2>(dest, src);
        dest[2] = src[2];
    } else {
        // The one or two bytes left of a copy that ran across the window end.
        for (unsigned i = 0; i < length; ++i) dest[i] = src[i];
    }
}

// Copies a match whose source lies `distance` bytes behind, at least `W`, in
// words of W bytes: two at once, since most matches are that short, and more
// in steps. The words may run up to 2W - 1 bytes past the end of the match,
// into window bytes that are still history a later match may reach (a
// distance near the window size), so those 2W bytes are read before the copy
// and put back after it. Each word reads only final bytes, W or more behind
// it; garbage a short match leaves past its end is read only into places the
// bytes put back cover.
template <unsigned W>
FAST_INLINE void copy_far(std::uint8_t* dest, unsigned length, unsigned distance)
{
    const std::uint8_t* const src = dest - distance;
    std::uint8_t after[2 * W];
    std::memcpy(after, dest + length, sizeof after);
    copy_word<W>(dest, src);
    copy_word<W>(dest + W, src + W);
    for (unsigned i = 2 * W; i < length; i += W) copy_word<W>(dest + i, src + i);
    std::memcpy(dest + length, after, sizeof after);
}

// Copies a match whose source lies `distance` bytes behind its destination.
FAST_INLINE void copy_behind(std::uint8_t* dest, unsigned length, unsigned distance)
{
    if (distance >= 16) {
        copy_far<16>(dest, length, distance);
    } else if (distance >= 8) {
        copy_far<8>(dest, length, distance);
    } else if (distance == 1) {
        std::memset(dest, dest[-1], length);
    } else {
        // A short distance repeats its pattern. Once the first few bytes are
        // written byte by byte, the pattern also repeats at a multiple of the
        // distance that is at least eight, and words can take the rest.
        unsigned period = distance;
        while (period < 8) period += distance;
        const unsigned lead = std::min(length, period - distance);
        const std::uint8_t* const src = dest - distance;
        for (unsigned i = 0; i < lead; ++i) dest[i] = src[i];
        if (length > lead)
            copy_words(dest + lead, dest + lead - period, length - lead, period);
    }
}

// The loop keeps the number of bits in the buffer in the low byte of `count`
// only; whole entries are subtracted from it, since an entry's low byte is the
// bits it drops, and what the higher bytes hold does not matter.

// Tops the bit buffer up to 56..63 bits with one unaligned load; the bits
// above the count belong to the next byte, which is loaded again later.
FAST_INLINE void top_up(const std::uint8_t*& in, std::uint64_t& bits, unsigned& count)
{
    std::uint64_t word;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, in, sizeof word);
    } else {
        word = 0;
        for (unsigned i = 0; i < 8; ++i) word |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    }
    bits |= word << (count & 63);
    in += 7 - ((count >> 3) & 7);
    count |= 56;
}

// Drops the code and extra bits of an entry (at most 28, so the low six bits
// of the entry are the count). `dropped` gets the bits as they were before,
// for extra_value.
FAST_INLINE void drop_entry(std::uint32_t entry, std::uint64_t& bits, unsigned& count, std::uint64_t& dropped)
{
    dropped = bits;
    bits >>= entry & 63;
    count -= entry;
}

// Follows a link into its sub-table; any other entry is its own answer.
FAST_INLINE std::uint32_t resolve_link(const std::uint32_t* table, unsigned root_bits, std::uint32_t entry,
                                       std::uint64_t& bits, unsigned& count)
{
    if (!(entry & FAST_LINK))
        return entry;
    bits >>= root_bits;
    count -= root_bits;
    return table[fast_value(entry) + (bits & ((1u << fast_code(entry)) - 1))];
}

// Writes the one or two literals of an entry without a branch: a single
// literal carries itself in both bytes of its value, so the second store
// writes the same byte again in the same place.
FAST_INLINE void put_literals(std::uint8_t* slide, unsigned& win_pos, std::uint32_t entry)
{
    const unsigned second = (entry >> FAST_SECOND_SHIFT) & 1;
    slide[win_pos] = static_cast<std::uint8_t>(fast_value(entry));
    slide[win_pos + second] = static_cast<std::uint8_t>(fast_value(entry) >> 8);
    win_pos += 1 + second;
}

// The length or distance of a FAST_BASE entry: its base plus the extra bits
// that came after its code.
FAST_INLINE unsigned extra_value(std::uint32_t entry, std::uint64_t dropped)
{
    const std::uint64_t taken = dropped & ((std::uint64_t{1} << fast_drop(entry)) - 1);
    return fast_value(entry) + static_cast<unsigned>(taken >> fast_code(entry));
}

constexpr std::uint64_t FAST_LITERAL_MASK = (1u << FAST_LITERAL_BITS) - 1;
constexpr std::uint64_t FAST_DISTANCE_MASK = (1u << FAST_DISTANCE_BITS) - 1;

// Bits counted in the buffer, by the places in the loop below, at least:
//   at the start of an iteration, after a top-up     56
//   after one literal/length code (15 bits at most)  41
//   after a second and a third literal (11 each)     19
//   after a length's extra bits (5), a distance
//   code (15) and its extra bits (13)                 8
// So further literals need no top-up, the next symbol's entry can be looked
// up before the top-up that ends an iteration, and after a match the top-up
// comes first. The entry after a match is looked up before its copy, so the
// table read overlaps it.
FAST_INLINE FastExit fast_loop(const FastTables& tables)
{
    const std::uint8_t* in = G.in_buf + G.in_pos;
    const std::uint8_t* const in_end = G.in_buf + G.in_last + 1;
    const std::uint8_t* const in_start = in;
    std::uint64_t bits = G.bit_buf;
    unsigned count = G.bit_count;
    std::uint8_t* const slide = G.slide;
    unsigned win_pos = G.win_pos;
    FastExit exit = FastExit::more;
    const std::uint32_t* const literals = tables.literals;
    const std::uint32_t* const distances = tables.distances;

    auto room = [&] { return in_end - in >= FAST_INPUT_MARGIN && win_pos < WINDOW_SIZE - FAST_WINDOW_MARGIN; };
    if (room()) {
        top_up(in, bits, count);
        std::uint32_t entry = literals[bits & FAST_LITERAL_MASK];
        while (room()) {
            entry = resolve_link(literals, FAST_LITERAL_BITS, entry, bits, count);
            std::uint64_t dropped;
            drop_entry(entry, bits, count, dropped);
            if (entry & FAST_LITERAL) {
                put_literals(slide, win_pos, entry);
                entry = literals[bits & FAST_LITERAL_MASK];
                if (entry & FAST_LITERAL) {
                    drop_entry(entry, bits, count, dropped);
                    put_literals(slide, win_pos, entry);
                    entry = literals[bits & FAST_LITERAL_MASK];
                    if (entry & FAST_LITERAL) {
                        drop_entry(entry, bits, count, dropped);
                        put_literals(slide, win_pos, entry);
                        entry = literals[bits & FAST_LITERAL_MASK];
                    }
                }
                top_up(in, bits, count);
                continue;
            }
            if (entry & FAST_SPECIAL) {
                exit = fast_value(entry) != 0 ? FastExit::end_of_block : FastExit::invalid;
                break;
            }
            const unsigned length = extra_value(entry, dropped);

            entry = resolve_link(distances, FAST_DISTANCE_BITS, distances[bits & FAST_DISTANCE_MASK], bits, count);
            if (entry & FAST_SPECIAL) {
                exit = FastExit::invalid;
                break;
            }
            drop_entry(entry, bits, count, dropped);
            const unsigned distance = extra_value(entry, dropped);

            top_up(in, bits, count);
            entry = literals[bits & FAST_LITERAL_MASK];

            std::uint8_t* const dest = slide + win_pos;
            if (distance <= win_pos) {
                copy_behind(dest, length, distance);
            } else {
                // The source starts in the older part of the window and may run
                // across its end; what it reads there this copy does not write.
                const unsigned from = win_pos - distance + WINDOW_SIZE;
                const unsigned first = std::min(length, WINDOW_SIZE - from);
                if (from - win_pos >= 8)
                    copy_words(dest, slide + from, first, from - win_pos);
                else
                    std::memmove(dest, slide + from, first);
                if (first < length)
                    copy_behind(dest + first, length - first, distance);
            }
            win_pos += length;
        }
    }
    // Whole bytes not used go back to the buffer, so the byte-wise path reads
    // them next, just as it would have.
    count &= 0xFF;
    {
        const auto loaded = static_cast<unsigned>(in - in_start);
        const unsigned unused = std::min(count / 8, loaded);
        in -= unused;
        count -= unused * 8;
        bits &= (std::uint64_t{1} << count) - 1;
    }
    G.bit_buf = static_cast<std::uint32_t>(bits);
    G.bit_count = static_cast<std::uint8_t>(count);
    G.in_pos = static_cast<std::int32_t>(in - G.in_buf);
    G.win_pos = static_cast<std::uint16_t>(win_pos);
    return exit;
}

FastExit inflate_codes_fast_plain(const FastTables& tables) { return fast_loop(tables); }

#if IMU_INFLATE_BMI2
__attribute__((target("bmi2"))) FastExit inflate_codes_fast_bmi2(const FastTables& tables) { return fast_loop(tables); }
#endif

FastExit inflate_codes_fast(const FastTables& tables)
{
#if IMU_INFLATE_BMI2
    static const bool bmi2 = __builtin_cpu_supports("bmi2");
    if (bmi2)
        return inflate_codes_fast_bmi2(tables);
#endif
    return inflate_codes_fast_plain(tables);
}

// ---- Careful path and blocks ----

// The fast tables of the entry being inflated; null when they could not be
// allocated, and then the careful path decodes everything alone.
FastTables* fast_tables = nullptr;
// Whether fast_tables holds the fixed code, which every fixed block shares.
bool fast_tables_fixed = false;

std::int32_t inflate_codes(const HuffmanEntry* literals, const HuffmanEntry* distances, std::int32_t literal_bits,
                           std::int32_t distance_bits)
{
    for (;;) {
        if (G.aborted)
            return UZ_ABORTED;
        if (G.input_exhausted)
            return UZ_READ_ERROR;

        // The flags above change only at a refill, which the fast path never causes.
        // Near the end of the buffer or the window the fast loop would not
        // take a symbol; the check here saves calling it for each.
        if (fast_tables != nullptr && G.in_last + 1 - G.in_pos >= FAST_INPUT_MARGIN &&
            G.win_pos < WINDOW_SIZE - FAST_WINDOW_MARGIN) {
            switch (inflate_codes_fast(*fast_tables)) {
            case FastExit::end_of_block:
                return UZ_OK;
            case FastExit::invalid:
                return UZ_FORMAT_ERROR;
            case FastExit::more:
                break;
            }
        }

        const HuffmanEntry* entry = decode_symbol(literals, literal_bits);
        if (entry == nullptr)
            return UZ_FORMAT_ERROR;
        if (entry->operation == OP_LITERAL) {
            if (!put_byte(static_cast<std::uint8_t>(entry->value)))
                return UZ_WRITE_ERROR;
            continue;
        }
        if (entry->operation == OP_END_OF_BLOCK)
            return UZ_OK;

        const unsigned length = entry->value + take_bits(entry->operation);
        entry = decode_symbol(distances, distance_bits);
        if (entry == nullptr)
            return UZ_FORMAT_ERROR;
        const unsigned distance = entry->value + take_bits(entry->operation);
        if (!copy_match(length, distance))
            return UZ_WRITE_ERROR;
    }
}

std::int32_t inflate_stored_block()
{
    dump_bits(G.bit_count & 7);
    const std::uint32_t length = take_bits(16);
    if (take_bits(16) != (~length & 0xFFFF))
        return UZ_FORMAT_ERROR;
    std::uint32_t left = length;
    while (left > 0 && !G.aborted && !G.input_exhausted) {
        // Bytes already in the input buffer go over in one block; the flags
        // cannot change before the next refill, which only the byte-wise
        // read below can cause, just where it would come byte by byte.
        const std::int32_t buffered = G.in_last + 1 - G.in_pos;
        if (G.bit_count == 0 && buffered > 0) {
            const auto n = std::min<std::uint32_t>(
                {left, static_cast<std::uint32_t>(buffered), static_cast<std::uint32_t>(WINDOW_SIZE - G.win_pos)});
            std::memcpy(G.slide + G.win_pos, G.in_buf + G.in_pos, n);
            G.in_pos += static_cast<std::int32_t>(n);
            G.win_pos = static_cast<std::uint16_t>(G.win_pos + n);
            left -= n;
            if (G.win_pos == WINDOW_SIZE) {
                if (!flush_window(WINDOW_SIZE))
                    return UZ_WRITE_ERROR;
                G.win_pos = 0;
            }
            continue;
        }
        if (!put_byte(static_cast<std::uint8_t>(take_bits(8))))
            return UZ_WRITE_ERROR;
        --left;
    }
    if (G.aborted)
        return UZ_ABORTED;
    if (G.input_exhausted)
        return UZ_READ_ERROR;
    return UZ_OK;
}

std::int32_t inflate_fixed_block()
{
    std::uint16_t lengths[288];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);

    TableHolder literals;
    std::int32_t literal_bits = FIXED_LITERAL_BITS;
    const std::int32_t built =
        build_huffman_table(lengths, 288, 257, length_base, length_extra, literal_bits, literals.root);
    if (built != TABLE_COMPLETE)
        return built;

    std::fill(lengths, lengths + 30, 5);
    TableHolder distances;
    std::int32_t distance_bits = FIXED_DISTANCE_BITS;
    // 30 of 32 codes are used: incomplete is expected.
    if (build_huffman_table(lengths, 30, 0, distance_base, distance_extra, distance_bits, distances.root) >
        TABLE_INCOMPLETE)
        return UZ_FORMAT_ERROR;
    if (fast_tables != nullptr && !fast_tables_fixed) {
        build_fast_table(lengths, 30, 0, distance_base, distance_extra, FAST_DISTANCE_BITS, false,
                         fast_tables->distances);
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + 288, 8);
        build_fast_table(lengths, 288, 257, length_base, length_extra, FAST_LITERAL_BITS, true, fast_tables->literals);
        fast_tables_fixed = true;
    }
    return inflate_codes(literals.root, distances.root, literal_bits, distance_bits);
}

std::int32_t inflate_dynamic_block()
{
    const unsigned literal_count = 257 + take_bits(5);
    const unsigned distance_count = 1 + take_bits(5);
    const unsigned code_length_count = 4 + take_bits(4);

    std::uint16_t lengths[320] = {};
    for (unsigned i = 0; i < code_length_count; ++i)
        lengths[code_length_order[i]] = static_cast<std::uint16_t>(take_bits(3));
    {
        TableHolder code_lengths;
        std::int32_t bits = CODE_LENGTH_BITS;
        if (build_huffman_table(lengths, 19, 19, nullptr, nullptr, bits, code_lengths.root) != TABLE_COMPLETE)
            return UZ_FORMAT_ERROR;

        const unsigned total = literal_count + distance_count;
        std::uint16_t previous = 0;
        unsigned i = 0;
        while (i < total) {
            const HuffmanEntry* entry = decode_symbol(code_lengths.root, bits);
            if (entry == nullptr)
                return UZ_FORMAT_ERROR;
            const unsigned symbol = entry->value;
            if (symbol < 16) {
                lengths[i++] = previous = static_cast<std::uint16_t>(symbol);
                continue;
            }
            unsigned repeat;
            std::uint16_t value = 0;
            if (symbol == 16) {
                repeat = 3 + take_bits(2);
                value = previous;
            } else if (symbol == 17) {
                repeat = 3 + take_bits(3);
            } else {
                repeat = 11 + take_bits(7);
            }
            if (i + repeat > total)
                return symbol == 18 ? UZ_FORMAT_ERROR : 1;
            std::fill(lengths + i, lengths + i + repeat, value);
            i += repeat;
            previous = value;
        }
    }

    TableHolder literals;
    std::int32_t literal_bits = DYNAMIC_LITERAL_BITS;
    if (build_huffman_table(lengths, static_cast<std::uint16_t>(literal_count), 257, length_base, length_extra,
                            literal_bits, literals.root) != TABLE_COMPLETE)
        return UZ_FORMAT_ERROR;

    TableHolder distances;
    std::int32_t distance_bits = DYNAMIC_DISTANCE_BITS;
    // An incomplete distance code is allowed (a single code, or none at all).
    if (build_huffman_table(lengths + literal_count, static_cast<std::uint16_t>(distance_count), 0, distance_base,
                            distance_extra, distance_bits, distances.root) > TABLE_INCOMPLETE)
        return UZ_FORMAT_ERROR;
    if (fast_tables != nullptr) {
        build_fast_table(lengths, literal_count, 257, length_base, length_extra, FAST_LITERAL_BITS, true,
                         fast_tables->literals);
        build_fast_table(lengths + literal_count, distance_count, 0, distance_base, distance_extra, FAST_DISTANCE_BITS,
                         false, fast_tables->distances);
        fast_tables_fixed = false;
    }
    return inflate_codes(literals.root, distances.root, literal_bits, distance_bits);
}

std::int32_t inflate_block(bool& last)
{
    last = take_bits(1) != 0;
    switch (take_bits(2)) {
    case 0:
        return inflate_stored_block();
    case 1:
        return inflate_fixed_block();
    case 2:
        return inflate_dynamic_block();
    default:
        return UZ_FORMAT_ERROR;
    }
}

}  // namespace

std::int32_t inflate_entry()
{
    G.in_pos = 0;
    G.in_last = -1;
    G.win_pos = 0;
    G.bit_count = 0;
    G.bit_buf = 0;
    // Without memory for the fast tables the entry is still decoded, only slower.
    std::unique_ptr<FastTables> tables;
    try {
        tables = std::make_unique_for_overwrite<FastTables>();
    } catch (const std::bad_alloc&) {}
    fast_tables = tables.get();
    fast_tables_fixed = false;
    struct Forget {
        ~Forget() { fast_tables = nullptr; }
    } forget;
    bool last = false;
    do {
        const std::int32_t result = inflate_block(last);
        if (result != 0)
            return result;
    } while (!last);
    return flush_window(G.win_pos) ? UZ_OK : UZ_WRITE_ERROR;
}

}  // namespace zip
