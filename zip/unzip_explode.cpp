// Method 6, imploded: a 4 KiB or 8 KiB sliding dictionary whose literals,
// match lengths and distances are Shannon-Fano coded. The trees come first,
// as run-length coded sets of code lengths read byte by byte; the bit stream
// follows. Shannon-Fano codes are the complement of the canonical codes that
// build_huffman_table lays out, so every lookup indexes with the inverted bits.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#include "zip/extract_state.h"

namespace zip {

namespace {

constexpr int LENGTH_SET_RESULT_BAD = 4;

// Large entries get a wider first-level distance table. The width also sets
// how far ahead the bit reader reads, which shows where the input ends, so
// the threshold is kept exactly.
constexpr std::int64_t WIDE_DISTANCE_LOOKUP_ABOVE = 200000;

constexpr std::int32_t LITERAL_LOOKUP_BITS = 9;
constexpr std::int32_t LENGTH_LOOKUP_BITS = 7;

constexpr std::uint16_t GP_FLAG_8K_DICTIONARY = 0x02;
constexpr std::uint16_t GP_FLAG_LITERAL_TREE = 0x04;

// The code that carries 8 more raw bits of match length.
constexpr int LONG_LENGTH_CODE = 63;

struct ExplodeConstants {
    std::array<std::uint16_t, 64> length_base_literal_tree{};  // code + 3
    std::array<std::uint16_t, 64> length_base_raw_literals{};  // code + 2
    std::array<std::uint16_t, 64> distance_base_8k{};  // 1 + 128 * code
    std::array<std::uint16_t, 64> distance_base_4k{};  // 1 + 64 * code
    std::array<std::uint16_t, 64> extra_bits{};
};

constexpr ExplodeConstants make_constants()
{
    ExplodeConstants c;
    for (int code = 0; code < 64; ++code) {
        c.length_base_literal_tree[code] = static_cast<std::uint16_t>(code + 3);
        c.length_base_raw_literals[code] = static_cast<std::uint16_t>(code + 2);
        c.distance_base_8k[code] = static_cast<std::uint16_t>(1 + 128 * code);
        c.distance_base_4k[code] = static_cast<std::uint16_t>(1 + 64 * code);
        c.extra_bits[code] = code == LONG_LENGTH_CODE ? 8 : 0;
    }
    return c;
}

constexpr ExplodeConstants constants = make_constants();

// 0 when the runs fill exactly count lengths, else 4.
[[nodiscard]] std::int32_t read_explode_lengths(std::uint16_t* lengths, std::uint16_t count)
{
    const int bytes = read_byte() + 1;
    int filled = 0;
    for (int i = 0; i < bytes; ++i) {
        const std::uint8_t run = read_byte();
        const std::uint16_t length = static_cast<std::uint16_t>((run & 0x0F) + 1);
        const int repeat = (run >> 4) + 1;
        if (filled + repeat > count)
            return LENGTH_SET_RESULT_BAD;
        std::fill_n(lengths + filled, repeat, length);
        filled += repeat;
    }
    return filled == count ? 0 : LENGTH_SET_RESULT_BAD;
}

// Owns one decoding table for the length of the entry.
class Table {
public:
    Table() = default;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    ~Table() { free_huffman_table(root); }

    HuffmanEntry* root = nullptr;
    std::int32_t lookup_bits = 0;
};

// Reads a set of code lengths and builds its table; false for anything but a
// complete code (an incomplete tree would leave codes that mean nothing).
[[nodiscard]] bool read_tree(Table& table, std::uint16_t count, std::uint16_t simple, const std::uint16_t* base,
                             std::int32_t lookup_bits)
{
    std::array<std::uint16_t, 256> lengths{};
    if (read_explode_lengths(lengths.data(), count) != 0)
        return false;
    HuffmanEntry* root = nullptr;
    table.lookup_bits = lookup_bits;
    const std::int32_t result = build_huffman_table(
        lengths.data(), count, simple, base, base ? constants.extra_bits.data() : nullptr, table.lookup_bits, root);
    if (result == TABLE_COMPLETE || result == TABLE_INCOMPLETE)
        table.root = root;
    return result == TABLE_COMPLETE;
}

// Null for a code that the tree does not define.
[[nodiscard]] const HuffmanEntry* decode_symbol(const Table& table)
{
    if (table.root == nullptr)
        return nullptr;
    need_bits(static_cast<std::uint8_t>(table.lookup_bits));
    const HuffmanEntry* entry = table.root + (~G.bit_buf & mask_bits[table.lookup_bits]);
    while (entry->operation > OP_LITERAL) {
        if (entry->operation == OP_INVALID)
            return nullptr;
        dump_bits(entry->bits);
        const int sub_bits = entry->operation - OP_LITERAL;
        need_bits(static_cast<std::uint8_t>(sub_bits));
        entry = entry->link + (~G.bit_buf & mask_bits[sub_bits]);
    }
    dump_bits(entry->bits);
    return entry;
}

[[nodiscard]] std::uint32_t read_raw_bits(std::uint8_t n)
{
    need_bits(n);
    const std::uint32_t value = G.bit_buf & mask_bits[n];
    dump_bits(n);
    return value;
}

// The fast path decodes straight from the input buffer into a 64-bit bit
// buffer while enough bytes are buffered that no symbol could need a refill,
// and while the window has room for the longest match without a flush. It
// never reads past the buffered bytes and hands unused whole bytes back
// before it returns, so refills, progress reports, flushes and results happen
// exactly where the byte-wise path has them.
constexpr std::ptrdiff_t FAST_INPUT_MARGIN = 8;  // a match touches at most 48 bits, lookahead included
constexpr std::uint32_t FAST_COPY_CHUNK = 8;
// The longest match (3 + 63 + 255) and the most a match copy may write past it.
constexpr std::uint32_t FAST_WINDOW_MARGIN = 322 + 2 * FAST_COPY_CHUNK;

enum class FastExit { more, invalid };

struct ExplodePosition {
    std::uint32_t position = 0;
    std::int32_t remaining = 0;
    // Until the window first wraps, a match that reaches before the entry's
    // first byte reads zeros, whatever the window held.
    bool not_wrapped = true;
};

// Shannon-Fano lookup on the 64-bit buffer; null for an undefined code.
inline const HuffmanEntry* fast_symbol(const HuffmanEntry* root, std::uint64_t mask, std::uint64_t& bits,
                                       unsigned& count)
{
    const HuffmanEntry* entry = root + (~bits & mask);
    while (entry->operation > OP_LITERAL) {
        if (entry->operation == OP_INVALID)
            return nullptr;
        bits >>= entry->bits;
        count -= entry->bits;
        entry = entry->link + (~bits & mask_bits[entry->operation - OP_LITERAL]);
    }
    bits >>= entry->bits;
    count -= entry->bits;
    return entry;
}

template <bool LiteralTree, std::uint8_t LowDistanceBits>
FastExit explode_fast(const Table* literals, const Table& lengths, const Table& distances, ExplodePosition& at)
{
    constexpr std::uint32_t window_mask = WINDOW_SIZE - 1;
    const std::uint8_t* in = G.in_buf + G.in_pos;
    const std::uint8_t* const in_end = G.in_buf + G.in_last + 1;
    const std::uint8_t* const in_start = in;
    std::uint64_t bits = G.bit_buf;
    unsigned count = G.bit_count;
    std::uint8_t* const slide = G.slide;
    std::uint32_t position = at.position;
    std::int32_t remaining = at.remaining;
    const HuffmanEntry* const literal_root = LiteralTree ? literals->root : nullptr;
    const HuffmanEntry* const length_root = lengths.root;
    const HuffmanEntry* const distance_root = distances.root;
    const std::uint64_t literal_mask = LiteralTree ? mask_bits[literals->lookup_bits] : 0;
    const std::uint64_t length_mask = mask_bits[lengths.lookup_bits];
    const std::uint64_t distance_mask = mask_bits[distances.lookup_bits];
    FastExit exit = FastExit::more;

    while (remaining > 0 && in_end - in >= FAST_INPUT_MARGIN && position < WINDOW_SIZE - FAST_WINDOW_MARGIN) {
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
        const bool literal = (bits & 1) != 0;
        bits >>= 1;
        --count;
        if (literal) {
            --remaining;
            if constexpr (LiteralTree) {
                const HuffmanEntry* symbol = fast_symbol(literal_root, literal_mask, bits, count);
                if (symbol == nullptr) {
                    exit = FastExit::invalid;
                    break;
                }
                slide[position++] = static_cast<std::uint8_t>(symbol->value);
            } else {
                slide[position++] = static_cast<std::uint8_t>(bits);
                bits >>= 8;
                count -= 8;
            }
            continue;
        }

        std::uint32_t distance = static_cast<std::uint32_t>(bits & mask_bits[LowDistanceBits]);
        bits >>= LowDistanceBits;
        count -= LowDistanceBits;
        const HuffmanEntry* symbol = fast_symbol(distance_root, distance_mask, bits, count);
        if (symbol == nullptr) {
            exit = FastExit::invalid;
            break;
        }
        distance += symbol->value;
        symbol = fast_symbol(length_root, length_mask, bits, count);
        if (symbol == nullptr) {
            exit = FastExit::invalid;
            break;
        }
        std::uint32_t length = symbol->value;
        if (symbol->operation != 0) {
            length += static_cast<std::uint32_t>(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
        remaining -= static_cast<std::int32_t>(length);

        // The whole match fits below the window's end, so only its source can wrap.
        const std::uint32_t source = (position - distance) & window_mask;
        std::uint8_t* dest = slide + position;
        position += length;
        if (source < position - length) {
            const std::uint8_t* from = slide + source;
            // Whole chunks may run past the match's end: those bytes are
            // rewritten before anything reads or flushes them, and a chunk no
            // longer than the distance repeats a pattern as a byte-wise copy does.
            if (distance >= 2 * FAST_COPY_CHUNK) {
                for (std::uint32_t i = 0; i < length; i += 2 * FAST_COPY_CHUNK)
                    std::memcpy(dest + i, from + i, 2 * FAST_COPY_CHUNK);
            } else if (distance >= FAST_COPY_CHUNK) {
                for (std::uint32_t i = 0; i < length; i += FAST_COPY_CHUNK)
                    std::memcpy(dest + i, from + i, FAST_COPY_CHUNK);
            } else if (distance == 1) {
                std::memset(dest, *from, length);
            } else {
                for (std::uint32_t i = 0; i < length; ++i) dest[i] = from[i];
            }
            continue;
        }
        // The source starts in the window's older part and may run across its end.
        const std::uint32_t first = std::min(WINDOW_SIZE - source, length);
        if (at.not_wrapped)
            std::memset(dest, 0, first);
        else
            std::memmove(dest, slide + source, first);
        dest += first;
        length -= first;
        // What follows starts at the window's start, a whole distance behind.
        const std::uint8_t* from = slide;
        while (length > 0) {
            const std::uint32_t n = std::min(length, distance);
            std::memcpy(dest, from, n);
            dest += n;
            from += n;
            length -= n;
        }
    }

    // Whole bytes not used go back to the buffer, so the byte-wise path reads
    // them next, just as it would have.
    const auto loaded = static_cast<unsigned>(in - in_start);
    const unsigned unused = std::min(count / 8, loaded);
    in -= unused;
    count -= unused * 8;
    bits &= (std::uint64_t{1} << count) - 1;
    G.bit_buf = static_cast<std::uint32_t>(bits);
    G.bit_count = static_cast<std::uint8_t>(count);
    G.in_pos = static_cast<std::int32_t>(in - G.in_buf);
    at.position = position;
    at.remaining = remaining;
    return exit;
}

// The shared body of the four variants. The dictionary is at most 8 KiB, but
// the whole 32 KiB window serves as the circular buffer so that output leaves
// it in full blocks.
template <bool LiteralTree, std::uint8_t LowDistanceBits>
[[nodiscard]] std::int32_t explode_codes(const Table* literals, const Table& lengths, const Table& distances)
{
    constexpr std::uint32_t window_mask = WINDOW_SIZE - 1;
    std::uint8_t* const slide = G.slide;
    G.bit_buf = 0;
    G.bit_count = 0;
    ExplodePosition at;
    at.remaining = static_cast<std::int32_t>(static_cast<std::uint32_t>(G.ucsize));
    std::uint32_t& position = at.position;
    std::int32_t& remaining = at.remaining;
    bool& not_wrapped = at.not_wrapped;
    const bool fast =
        (!LiteralTree || literals->root != nullptr) && lengths.root != nullptr && distances.root != nullptr;

    const auto advance = [&](std::uint32_t count) {
        position += count;
        if (position < WINDOW_SIZE)
            return true;
        position = 0;
        not_wrapped = false;
        return flush_window(WINDOW_SIZE);
    };

    while (remaining > 0 && !G.aborted && !G.input_exhausted) {
        // The flags above change only at a refill, which the fast path never causes.
        if (fast) {
            if (explode_fast<LiteralTree, LowDistanceBits>(literals, lengths, distances, at) == FastExit::invalid)
                return UZ_FORMAT_ERROR;
            if (remaining <= 0)
                break;
        }
        if (read_raw_bits(1) != 0) {
            --remaining;
            std::uint8_t byte;
            if constexpr (LiteralTree) {
                const HuffmanEntry* symbol = decode_symbol(*literals);
                if (symbol == nullptr)
                    return UZ_FORMAT_ERROR;
                byte = static_cast<std::uint8_t>(symbol->value);
            } else {
                byte = static_cast<std::uint8_t>(read_raw_bits(8));
            }
            slide[position] = byte;
            if (!advance(1))
                return UZ_WRITE_ERROR;
            continue;
        }

        std::uint32_t distance = read_raw_bits(LowDistanceBits);
        const HuffmanEntry* symbol = decode_symbol(distances);
        if (symbol == nullptr)
            return UZ_FORMAT_ERROR;
        distance += symbol->value;
        symbol = decode_symbol(lengths);
        if (symbol == nullptr)
            return UZ_FORMAT_ERROR;
        std::uint32_t length = symbol->value;
        if (symbol->operation != 0)
            length += read_raw_bits(8);
        remaining -= static_cast<std::int32_t>(length);

        std::uint32_t source = (position - distance) & window_mask;
        while (length > 0) {
            const std::uint32_t piece = std::min(WINDOW_SIZE - std::max(source, position), length);
            if (not_wrapped && source >= position)
                std::memset(slide + position, 0, piece);
            else if (source < position && position - source < piece)
                for (std::uint32_t i = 0; i < piece; ++i)  // overlapping: repeats the pattern
                    slide[position + i] = slide[source + i];
            else
                std::memmove(slide + position, slide + source, piece);
            length -= piece;
            source = (source + piece) & window_mask;
            if (!advance(piece))
                return UZ_WRITE_ERROR;
        }
    }

    if (G.aborted)
        return UZ_ABORTED;
    if (!flush_window(position))
        return UZ_WRITE_ERROR;
    return G.input_exhausted ? UZ_READ_ERROR : UZ_OK;
}

std::int32_t explode_lit8k(const Table& literals, const Table& lengths, const Table& distances)
{
    return explode_codes<true, 7>(&literals, lengths, distances);
}

std::int32_t explode_lit4k(const Table& literals, const Table& lengths, const Table& distances)
{
    return explode_codes<true, 6>(&literals, lengths, distances);
}

std::int32_t explode_nolit8k(const Table& lengths, const Table& distances)
{
    return explode_codes<false, 7>(nullptr, lengths, distances);
}

std::int32_t explode_nolit4k(const Table& lengths, const Table& distances)
{
    return explode_codes<false, 6>(nullptr, lengths, distances);
}

}  // namespace

std::int32_t explode_entry()
{
    G.in_pos = 0;
    G.in_last = -1;
    const bool literal_tree = (G.gp_flags & GP_FLAG_LITERAL_TREE) != 0;
    const bool dictionary_8k = (G.gp_flags & GP_FLAG_8K_DICTIONARY) != 0;
    const std::int32_t distance_lookup_bits = G.csize > WIDE_DISTANCE_LOOKUP_ABOVE ? 8 : 7;

    Table literals;
    Table lengths;
    Table distances;
    if (literal_tree && !read_tree(literals, 256, 256, nullptr, LITERAL_LOOKUP_BITS))
        return UZ_FORMAT_ERROR;
    const std::uint16_t* length_base =
        literal_tree ? constants.length_base_literal_tree.data() : constants.length_base_raw_literals.data();
    if (!read_tree(lengths, 64, 0, length_base, LENGTH_LOOKUP_BITS))
        return UZ_FORMAT_ERROR;
    const std::uint16_t* distance_base =
        dictionary_8k ? constants.distance_base_8k.data() : constants.distance_base_4k.data();
    if (!read_tree(distances, 64, 0, distance_base, distance_lookup_bits))
        return UZ_FORMAT_ERROR;

    if (literal_tree)
        return dictionary_8k ? explode_lit8k(literals, lengths, distances)
                             : explode_lit4k(literals, lengths, distances);
    return dictionary_8k ? explode_nolit8k(lengths, distances) : explode_nolit4k(lengths, distances);
}

}  // namespace zip
