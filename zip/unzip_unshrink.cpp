// Method 1, shrunk: LZW with codes of 9 to 13 bits. Code 256 escapes a
// control code: 1 widens the codes by one bit, 2 frees the dictionary's
// leaves (strings that no other string extends) for reuse. Free codes form a
// list threaded through the prefix table, so reuse follows the list's order.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "zip/extract_state.h"

namespace zip {

namespace {

constexpr int ESCAPE_CODE = 256;
constexpr int FIRST_CODE = 257;
constexpr int LAST_CODE = 8192;  // one past what 13 bits can name; assigned, never read
constexpr int CODE_COUNT = LAST_CODE - FIRST_CODE + 1;
constexpr int STACK_TOP = 8192;
constexpr int OUTPUT_PIECE = 767;
constexpr std::uint8_t FIRST_CODE_SIZE = 9;
constexpr std::uint8_t MAX_CODE_SIZE = 13;
constexpr std::int32_t LEAF_MARK = 0x8000;
constexpr std::int64_t SIZE_UNKNOWN = 0x7FFFFFFF;

// Lives only while one shrunk entry is decoded: 48640 bytes of tables would
// otherwise sit idle through every other method.
struct UnshrinkState {
    // In use: the prefix code. Free: the negated next free code.
    std::int32_t prefix[CODE_COUNT];
    std::uint8_t suffix[CODE_COUNT];
    std::uint8_t stack[STACK_TOP + 1];
    std::uint8_t output[OUTPUT_PIECE];

    std::int32_t free_head;
    int output_pos;
    std::uint8_t code_size;
};

std::int32_t& prefix_of(UnshrinkState& state, int code) { return state.prefix[code - FIRST_CODE]; }

bool is_free(UnshrinkState& state, int code) { return prefix_of(state, code) < 0; }

[[nodiscard]] bool unshrink_flush(UnshrinkState& state)
{
    const auto count = static_cast<std::uint16_t>(state.output_pos);
    const bool written = count == 0 || G.out_file.write(state.output, count) == count;
    crc32_update(G.crc, state.output, count);
    if (written && report_proc != nullptr) {
        zip_report.status = REPORT_BYTES_WRITTEN;
        report_proc(count, &zip_report);
    }
    return written;
}

[[nodiscard]] bool unshrink_put_byte(UnshrinkState& state, std::uint8_t byte)
{
    state.output[state.output_pos++] = byte;
    if (state.output_pos < OUTPUT_PIECE)
        return true;
    const bool written = unshrink_flush(state);
    state.output_pos = 0;
    return written;
}

// The bytes of one string at once, in the same 767-byte pieces as byte by byte.
[[nodiscard]] bool unshrink_put_bytes(UnshrinkState& state, const std::uint8_t* bytes, int count)
{
    while (count > 0) {
        const int n = std::min(count, OUTPUT_PIECE - state.output_pos);
        std::memcpy(state.output + state.output_pos, bytes, static_cast<std::size_t>(n));
        state.output_pos += n;
        bytes += n;
        count -= n;
        if (state.output_pos == OUTPUT_PIECE) {
            const bool written = unshrink_flush(state);
            state.output_pos = 0;
            if (!written)
                return false;
        }
    }
    return true;
}

// Frees the leaves among the codes below the free head (all codes once the
// table is full) and puts them, lowest first, ahead of the codes that were
// already free.
void unshrink_partial_clear(UnshrinkState& state)
{
    const int top = std::min<std::int32_t>(state.free_head - 1, LAST_CODE);
    for (int code = FIRST_CODE; code <= top; ++code) prefix_of(state, code) |= LEAF_MARK;
    for (int code = FIRST_CODE; code <= top; ++code) {
        const std::int32_t prefix = prefix_of(state, code);
        if (prefix < 0)
            continue;
        const int parent = prefix & ~LEAF_MARK;
        // Only a code in use can lose its leaf mark; a free code's link must
        // stay intact, wherever it lies.
        if (parent >= FIRST_CODE && parent <= LAST_CODE && !is_free(state, parent))
            prefix_of(state, parent) &= ~LEAF_MARK;
    }

    int head = 0;
    int last = 0;
    for (int code = FIRST_CODE; code <= top; ++code) {
        const std::int32_t prefix = prefix_of(state, code);
        if (prefix >= 0 && (prefix & LEAF_MARK) == 0)
            continue;
        if (last == 0)
            head = code;
        else
            prefix_of(state, last) = -code;
        last = code;
    }
    if (last != 0) {
        prefix_of(state, last) = -(top + 1);
        state.free_head = head;
    }
}

[[nodiscard]] int read_code(std::uint8_t size)
{
    need_bits(size);
    const int code = static_cast<int>(G.bit_buf & mask_bits[size]);
    dump_bits(size);
    return code;
}

[[nodiscard]] std::int32_t unshrink(UnshrinkState& state)
{
    for (int code = FIRST_CODE; code <= LAST_CODE; ++code) prefix_of(state, code) = -(code + 1);
    state.free_head = FIRST_CODE;
    state.output_pos = 0;
    state.code_size = FIRST_CODE_SIZE;

    // The compressed size bounds the data to the bit; an entry too short for
    // even one code holds no bytes (reading one anyway would invent a byte).
    std::int64_t budget = 8 * G.csize - FIRST_CODE_SIZE;
    if (budget >= 0) {
        int previous = read_code(FIRST_CODE_SIZE);
        std::uint8_t previous_first = static_cast<std::uint8_t>(previous);
        if (!unshrink_put_byte(state, previous_first))
            return UZ_WRITE_ERROR;

        // The budget alone would let a compressed size far beyond the end of
        // the file run on filler for gigabytes: a file that ends first ends
        // the data, as it does for inflate and explode.
        while (!G.aborted && !G.input_exhausted && budget >= state.code_size) {
            const int code = read_code(state.code_size);
            budget -= state.code_size;
            if (code == ESCAPE_CODE) {
                const int control = read_code(state.code_size);
                budget -= state.code_size;
                if (control == 1) {
                    if (++state.code_size > MAX_CODE_SIZE)
                        return UZ_FORMAT_ERROR;
                } else if (control == 2) {
                    unshrink_partial_clear(state);
                } else {
                    return UZ_FORMAT_ERROR;
                }
                continue;
            }

            std::uint8_t first;
            if (code < ESCAPE_CODE) {
                first = static_cast<std::uint8_t>(code);
                if (!unshrink_put_byte(state, first))
                    return UZ_WRITE_ERROR;
            } else {
                // Unwind the string backwards onto the stack. A code not yet
                // defined is the one the encoder has just made: the previous
                // string followed by its own first byte.
                int sp = STACK_TOP;
                int current = code;
                if (is_free(state, code)) {
                    state.stack[sp--] = previous_first;
                    current = previous;
                }
                while (current > ESCAPE_CODE) {
                    if (sp < 0 || current > LAST_CODE)
                        return UZ_FORMAT_ERROR;  // longer than any string can be: a cycle
                    state.stack[sp--] = state.suffix[current - FIRST_CODE];
                    current = prefix_of(state, current);
                }
                // A free code met on the way links negatively; its low byte
                // is as good as any for data that is corrupt anyway.
                first = static_cast<std::uint8_t>(current);
                if (!unshrink_put_byte(state, first))
                    return UZ_WRITE_ERROR;
                if (!unshrink_put_bytes(state, state.stack + sp + 1, STACK_TOP - sp))
                    return UZ_WRITE_ERROR;
            }

            if (state.free_head >= FIRST_CODE && state.free_head <= LAST_CODE) {
                const int defined = state.free_head;
                state.free_head = -prefix_of(state, defined);
                prefix_of(state, defined) = previous;
                state.suffix[defined - FIRST_CODE] = first;
            }
            previous = code;
            previous_first = first;
        }
    }

    if (G.aborted)
        return UZ_ABORTED;
    if (G.input_exhausted)
        return UZ_READ_ERROR;
    return unshrink_flush(state) ? UZ_OK : UZ_WRITE_ERROR;
}

}  // namespace

std::int32_t unshrink_entry()
{
    // Without the compressed size the end of the codes cannot be found.
    if (G.csize == SIZE_UNKNOWN)
        return UZ_UNSUPPORTED;
    G.in_pos = 0;
    G.in_last = -1;
    G.win_pos = 0;
    G.bit_count = 0;
    G.bit_buf = 0;

    std::unique_ptr<UnshrinkState> state;
    try {
        // Suffixes zeroed: damaged data can reach codes that were never
        // defined, and what they yield must not depend on what the heap held
        // before. The prefixes are set before decoding, and the stack and the
        // output piece are only read where written, so they are left as they come.
        state = std::make_unique_for_overwrite<UnshrinkState>();
        std::fill(std::begin(state->suffix), std::end(state->suffix), std::uint8_t{0});
    } catch (const std::bad_alloc&) {
        return UZ_FORMAT_ERROR;  // as explode answers a table it cannot build
    }
    return unshrink(*state);
}

}  // namespace zip
