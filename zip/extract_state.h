// The library's one extraction state and the operations the decoders share:
// compressed input, bit reader, output window with CRC-32, progress and abort,
// and the Huffman table builder. Internal to the library.
#pragma once

#include <cstdint>

#include "platform/files.h"
#include "zip/unzip.h"

namespace zip {

inline constexpr int IN_BUF_SIZE = 4096;
inline constexpr int WINDOW_SIZE = 32768;

struct ExtractState {
    platform::File in_file;
    platform::File out_file;
    std::uint8_t* slide = nullptr;       // the 32 KiB output window, one per entry
    std::uint8_t in_buf[IN_BUF_SIZE] = {};
    std::int32_t in_pos = 0;
    std::int32_t in_last = -1;           // -1 = empty
    std::uint32_t bit_buf = 0;
    std::uint8_t bit_count = 0;
    std::uint16_t win_pos = 0;
    std::int64_t csize = 0;
    std::int64_t ucsize = 0;
    std::int64_t bytes_read = 0;
    std::uint16_t gp_flags = 0;
    std::uint32_t crc = 0;
    bool aborted = false;
    bool input_exhausted = false;
    NotifyWindow notify_window = 0;
    std::int32_t notify_code = 0;
    std::int32_t last_percent = 0;
    std::uint32_t last_pump_tick = 0;
};

extern ExtractState G;

extern const std::uint32_t crc_table[256];
extern const std::uint16_t mask_bits[17];

void crc32_reset(std::uint32_t& crc);
void crc32_update(std::uint32_t& crc, const std::uint8_t* data, std::uint16_t length);
[[nodiscard]] std::uint32_t crc32_finish(std::uint32_t crc);

void drain_message_queue();
void report_progress();
void refill_input();
[[nodiscard]] std::uint8_t read_byte();
void need_bits(std::uint8_t n);
void dump_bits(std::uint8_t n);
[[nodiscard]] bool flush_window(std::uint32_t n);
[[nodiscard]] char* next_token(char* text, char separator);

// Decoders: each works on G and returns a result code.
[[nodiscard]] std::int32_t copy_stored_entry();
[[nodiscard]] std::int32_t inflate_entry();
[[nodiscard]] std::int32_t explode_entry();
[[nodiscard]] std::int32_t unshrink_entry();

// Decoding tables shared by inflate and explode.
struct HuffmanEntry {
    std::uint8_t operation;   // 0..14 extra bits, 15 end of block, 16 literal, 17..32 link, 99 invalid
    std::uint8_t bits;
    std::uint16_t value;
    HuffmanEntry* link;
};

// Operations of a table entry beyond the extra-bit counts 0..14.
inline constexpr std::uint8_t OP_END_OF_BLOCK = 15;
inline constexpr std::uint8_t OP_LITERAL = 16;   // above it: a link to a sub-table of (operation - 16) bits
inline constexpr std::uint8_t OP_INVALID = 99;

// Returns 0 (complete), 1 (incomplete), 2 (bad lengths) or 3 (out of memory).
[[nodiscard]] std::int32_t build_huffman_table(const std::uint16_t* lengths, std::uint16_t n, std::uint16_t s,
                                               const std::uint16_t* base, const std::uint16_t* extra,
                                               std::int32_t& lookup_bits, HuffmanEntry*& root);
void free_huffman_table(HuffmanEntry* root);

}  // namespace zip
