// Inflate (deflate streams, RFC 1951) and the multi-level Huffman decoding
// tables it shares with explode.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
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
    if (block == nullptr) return nullptr;
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
            return 2;
        }
        ++count[lengths[i]];
    }
    if (count[0] == n) {
        lookup_bits = 0;
        return 0;
    }

    int shortest = 1;
    while (count[shortest] == 0) ++shortest;
    int longest = MAX_CODE_BITS;
    while (count[longest] == 0) --longest;
    int root_bits = lookup_bits;
    if (root_bits < shortest) root_bits = shortest;
    if (root_bits > longest) root_bits = longest;
    lookup_bits = root_bits;

    // Code space left after each length; what remains at the longest length is
    // filled with dummy codes that decode as invalid.
    std::int64_t unused = std::int64_t{1} << shortest;
    for (int len = shortest; len <= longest; ++len) {
        unused -= count[len];
        if (unused < 0) return 2;
        if (len < longest) unused *= 2;
    }
    const unsigned real_codes = n - count[0];
    count[longest] += static_cast<unsigned>(unused);

    // Symbols in canonical order: by length, then by symbol.
    std::vector<std::uint16_t> sorted;
    try {
        sorted.resize(real_codes);
    } catch (const std::bad_alloc&) {
        return 3;
    }
    {
        unsigned offset[MAX_CODE_BITS + 1] = {};
        for (int len = 2; len <= MAX_CODE_BITS; ++len) offset[len] = offset[len - 1] + count[len - 1];
        // Dummies were added to the longest length only, which sorts last.
        for (unsigned sym = 0; sym < n; ++sym)
            if (lengths[sym] != 0) sorted[offset[lengths[sym]]++] = static_cast<std::uint16_t>(sym);
    }

    struct Level {
        HuffmanEntry* table;
        int depth;        // code bits consumed before this table
        int bits;         // index bits of this table
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
    if (root_table == nullptr) return 3;
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
                if (depth < eob_length && eob_length < depth + bits) bits = eob_length - depth;

                HuffmanEntry* table = allocate_table(1u << bits, chain_tail);
                if (table == nullptr) return fail(3);
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
                    if (base == nullptr || extra == nullptr) return fail(2);
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
    return unused != 0 && longest != 1 ? 1 : 0;
}

// ---- Inflate ----

namespace {

// Length codes 257..285 and the two unused codes 286 and 287, which decode as invalid.
constexpr std::uint16_t length_base[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                           35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr std::uint16_t length_extra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,  2,
                                            3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
// Distance codes 0..29 and the unused 30 and 31.
constexpr std::uint16_t distance_base[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,  33,
                                             49,   65,   97,   129,  193,  257,   385,   513,   769, 1025, 1537,
                                             2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
constexpr std::uint16_t distance_extra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
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
    if (table == nullptr) return nullptr;
    need_bits(static_cast<std::uint8_t>(bits));
    const HuffmanEntry* entry = table + (G.bit_buf & mask_bits[bits]);
    while (entry->operation > OP_LITERAL) {
        if (entry->operation == OP_INVALID) return nullptr;
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
        if (!flush_window(WINDOW_SIZE)) return false;
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
            if (!flush_window(WINDOW_SIZE)) return false;
            G.win_pos = 0;
        }
        from &= WINDOW_SIZE - 1;
    }
    return true;
}

// The fast path decodes straight from the input buffer into a 64-bit bit
// buffer while enough bytes are buffered that no symbol could ask for a
// refill, and while the window has room for the longest match without a
// flush. It never reads past the buffered bytes and hands unused whole bytes
// back before it returns, so refills, progress reports, flushes and results
// happen exactly where the byte-wise path would have them.
constexpr std::ptrdiff_t FAST_INPUT_MARGIN = 8;   // one 64-bit top-up covers a whole length/distance pair (48 bits)
constexpr unsigned FAST_WINDOW_MARGIN = 258;      // the longest match

enum class FastExit { more, end_of_block, invalid };

inline void copy8(std::uint8_t* dest, const std::uint8_t* src)
{
    std::uint64_t word;
    std::memcpy(&word, src, sizeof word);
    std::memcpy(dest, &word, sizeof word);
}

inline void copy4(std::uint8_t* dest, const std::uint8_t* src)
{
    std::uint32_t word;
    std::memcpy(&word, src, sizeof word);
    std::memcpy(dest, &word, sizeof word);
}

// Copies up to 258 bytes of a match in eight-byte pieces, the last one ending
// exactly at the end, so nothing past the match is touched (the window bytes
// ahead are still the oldest history). Each piece reads only bytes that are
// final already or not written by this copy at all, which holds when the
// source lies at least eight bytes behind the destination or at least eight
// bytes ahead of it.
inline void copy_chunks(std::uint8_t* dest, const std::uint8_t* src, unsigned length)
{
    if (length <= 8) {
        if (length >= 4) {
            copy4(dest, src);
            copy4(dest + length - 4, src + length - 4);
        } else {
            // Three bytes, or the one or two left after a copy wrapped the window end.
            for (unsigned i = 0; i < length; ++i) dest[i] = src[i];
        }
        return;
    }
    unsigned i = 0;
    do {
        copy8(dest + i, src + i);
        i += 8;
    } while (i + 8 < length);
    copy8(dest + length - 8, src + length - 8);
}

// Copies a match whose source lies `distance` bytes behind its destination.
inline void copy_forward(std::uint8_t* dest, const std::uint8_t* src, unsigned length, unsigned distance)
{
    if (length == 0) return;
    if (distance >= 8) {
        copy_chunks(dest, src, length);
    } else if (distance == 1) {
        std::memset(dest, *src, length);
    } else {
        // A short distance repeats its pattern, as a byte-wise copy does.
        for (unsigned i = 0; i < length; ++i) dest[i] = src[i];
    }
}

// Table lookup on the 64-bit buffer, following links into sub-tables; null
// for an invalid code (its link bits already dropped, as the byte-wise path does).
inline const HuffmanEntry* fast_symbol(const HuffmanEntry* root, std::uint64_t mask, std::uint64_t& bits,
                                       unsigned& count)
{
    const HuffmanEntry* entry = root + (bits & mask);
    while (entry->operation > OP_LITERAL) {
        if (entry->operation == OP_INVALID) return nullptr;
        bits >>= entry->bits;
        count -= entry->bits;
        entry = entry->link + (bits & mask_bits[entry->operation - OP_LITERAL]);
    }
    bits >>= entry->bits;
    count -= entry->bits;
    return entry;
}

FastExit inflate_codes_fast(const HuffmanEntry* literals, const HuffmanEntry* distances, std::int32_t literal_bits,
                            std::int32_t distance_bits)
{
    const std::uint8_t* in = G.in_buf + G.in_pos;
    const std::uint8_t* const in_end = G.in_buf + G.in_last + 1;
    const std::uint8_t* const in_start = in;
    std::uint64_t bits = G.bit_buf;
    unsigned count = G.bit_count;
    std::uint8_t* const slide = G.slide;
    unsigned win_pos = G.win_pos;
    const std::uint64_t literal_mask = mask_bits[literal_bits];
    const std::uint64_t distance_mask = mask_bits[distance_bits];
    FastExit exit = FastExit::more;

    while (in_end - in >= FAST_INPUT_MARGIN && win_pos < WINDOW_SIZE - FAST_WINDOW_MARGIN) {
        if constexpr (std::endian::native == std::endian::little) {
            // One unaligned load tops the buffer up to 56..63 bits; the bits
            // above the count are the next byte's and are loaded again later.
            std::uint64_t word;
            std::memcpy(&word, in, sizeof word);
            bits |= word << count;
            in += (63 - count) >> 3;
            count |= 56;
        } else {
            while (count <= 56) {
                bits |= static_cast<std::uint64_t>(*in++) << count;
                count += 8;
            }
        }
        const HuffmanEntry* entry = fast_symbol(literals, literal_mask, bits, count);
        if (entry == nullptr) {
            exit = FastExit::invalid;
            break;
        }
        if (entry->operation == OP_LITERAL) {
            slide[win_pos++] = static_cast<std::uint8_t>(entry->value);
            continue;
        }
        if (entry->operation == OP_END_OF_BLOCK) {
            exit = FastExit::end_of_block;
            break;
        }
        const unsigned length = entry->value + static_cast<unsigned>(bits & mask_bits[entry->operation]);
        bits >>= entry->operation;
        count -= entry->operation;

        if (distances == nullptr) {
            exit = FastExit::invalid;
            break;
        }
        entry = fast_symbol(distances, distance_mask, bits, count);
        if (entry == nullptr) {
            exit = FastExit::invalid;
            break;
        }
        const unsigned distance = entry->value + static_cast<unsigned>(bits & mask_bits[entry->operation]);
        bits >>= entry->operation;
        count -= entry->operation;

        const unsigned from = (win_pos - distance) & (WINDOW_SIZE - 1);
        std::uint8_t* const dest = slide + win_pos;
        if (from < win_pos) {
            copy_forward(dest, slide + from, length, distance);
        } else {
            // The source lies in the older part of the window, possibly across
            // its end; what it reads there is not overwritten by this copy.
            if (from + length <= WINDOW_SIZE && from - win_pos >= 8) {
                copy_chunks(dest, slide + from, length);
            } else {
                const unsigned first = std::min(length, WINDOW_SIZE - from);
                std::memmove(dest, slide + from, first);
                copy_forward(dest + first, slide, length - first, distance);
            }
        }
        win_pos += length;
    }
    // Whole bytes not used go back to the buffer, so the byte-wise path reads
    // them next, just as it would have.
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

std::int32_t inflate_codes(const HuffmanEntry* literals, const HuffmanEntry* distances, std::int32_t literal_bits,
                           std::int32_t distance_bits)
{
    for (;;) {
        if (G.aborted) return UZ_ABORTED;
        if (G.input_exhausted) return UZ_READ_ERROR;

        // The flags above change only at a refill, which the fast path never causes.
        if (literals != nullptr) {
            switch (inflate_codes_fast(literals, distances, literal_bits, distance_bits)) {
            case FastExit::end_of_block:
                return UZ_OK;
            case FastExit::invalid:
                return UZ_FORMAT_ERROR;
            case FastExit::more:
                break;
            }
        }

        const HuffmanEntry* entry = decode_symbol(literals, literal_bits);
        if (entry == nullptr) return UZ_FORMAT_ERROR;
        if (entry->operation == OP_LITERAL) {
            if (!put_byte(static_cast<std::uint8_t>(entry->value))) return UZ_WRITE_ERROR;
            continue;
        }
        if (entry->operation == OP_END_OF_BLOCK) return UZ_OK;

        const unsigned length = entry->value + take_bits(entry->operation);
        entry = decode_symbol(distances, distance_bits);
        if (entry == nullptr) return UZ_FORMAT_ERROR;
        const unsigned distance = entry->value + take_bits(entry->operation);
        if (!copy_match(length, distance)) return UZ_WRITE_ERROR;
    }
}

std::int32_t inflate_stored_block()
{
    dump_bits(G.bit_count & 7);
    const std::uint32_t length = take_bits(16);
    if (take_bits(16) != (~length & 0xFFFF)) return UZ_FORMAT_ERROR;
    std::uint32_t left = length;
    while (left > 0 && !G.aborted && !G.input_exhausted) {
        // Bytes already in the input buffer go over in one block; the flags
        // cannot change before the next refill, which only the byte-wise
        // read below can cause, just where it would come byte by byte.
        const std::int32_t buffered = G.in_last + 1 - G.in_pos;
        if (G.bit_count == 0 && buffered > 0) {
            const auto n = std::min<std::uint32_t>({left, static_cast<std::uint32_t>(buffered),
                                                    static_cast<std::uint32_t>(WINDOW_SIZE - G.win_pos)});
            std::memcpy(G.slide + G.win_pos, G.in_buf + G.in_pos, n);
            G.in_pos += static_cast<std::int32_t>(n);
            G.win_pos = static_cast<std::uint16_t>(G.win_pos + n);
            left -= n;
            if (G.win_pos == WINDOW_SIZE) {
                if (!flush_window(WINDOW_SIZE)) return UZ_WRITE_ERROR;
                G.win_pos = 0;
            }
            continue;
        }
        if (!put_byte(static_cast<std::uint8_t>(take_bits(8)))) return UZ_WRITE_ERROR;
        --left;
    }
    if (G.aborted) return UZ_ABORTED;
    if (G.input_exhausted) return UZ_READ_ERROR;
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
    if (built != 0) return built;

    std::fill(lengths, lengths + 30, 5);
    TableHolder distances;
    std::int32_t distance_bits = FIXED_DISTANCE_BITS;
    // 30 of 32 codes are used: incomplete is expected.
    if (build_huffman_table(lengths, 30, 0, distance_base, distance_extra, distance_bits, distances.root) > 1)
        return UZ_FORMAT_ERROR;
    return inflate_codes(literals.root, distances.root, literal_bits, distance_bits);
}

std::int32_t inflate_dynamic_block()
{
    const unsigned literal_count = 257 + take_bits(5);
    const unsigned distance_count = 1 + take_bits(5);
    const unsigned code_length_count = 4 + take_bits(4);

    std::uint16_t lengths[320] = {};
    for (unsigned i = 0; i < code_length_count; ++i) lengths[code_length_order[i]] = static_cast<std::uint16_t>(take_bits(3));
    {
        TableHolder code_lengths;
        std::int32_t bits = CODE_LENGTH_BITS;
        if (build_huffman_table(lengths, 19, 19, nullptr, nullptr, bits, code_lengths.root) != 0)
            return UZ_FORMAT_ERROR;

        const unsigned total = literal_count + distance_count;
        std::uint16_t previous = 0;
        unsigned i = 0;
        while (i < total) {
            const HuffmanEntry* entry = decode_symbol(code_lengths.root, bits);
            if (entry == nullptr) return UZ_FORMAT_ERROR;
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
            if (i + repeat > total) return symbol == 18 ? UZ_FORMAT_ERROR : 1;
            std::fill(lengths + i, lengths + i + repeat, value);
            i += repeat;
            previous = value;
        }
    }

    TableHolder literals;
    std::int32_t literal_bits = DYNAMIC_LITERAL_BITS;
    if (build_huffman_table(lengths, static_cast<std::uint16_t>(literal_count), 257, length_base, length_extra,
                            literal_bits, literals.root) != 0)
        return UZ_FORMAT_ERROR;

    TableHolder distances;
    std::int32_t distance_bits = DYNAMIC_DISTANCE_BITS;
    // An incomplete distance code is allowed (a single code, or none at all).
    if (build_huffman_table(lengths + literal_count, static_cast<std::uint16_t>(distance_count), 0, distance_base,
                            distance_extra, distance_bits, distances.root) > 1)
        return UZ_FORMAT_ERROR;
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
    bool last = false;
    do {
        const std::int32_t result = inflate_block(last);
        if (result != 0) return result;
    } while (!last);
    return flush_window(G.win_pos) ? UZ_OK : UZ_WRITE_ERROR;
}

}  // namespace zip
