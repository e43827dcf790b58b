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

// Everything one entry's extraction works on. One instance, G: the library
// extracts one entry at a time (a second caller gets UZ_BUSY while the first
// is alive).
struct ExtractState {
    // The archive, positioned at the entry's compressed data.
    platform::File in_file;
    // The file being written.
    platform::File out_file;
    // The 32 KiB output window, one per entry: decoders write into it and copy
    // matches from it, and flush_window writes it out.
    std::uint8_t* slide = nullptr;
    // The block of compressed input read last.
    std::uint8_t in_buf[IN_BUF_SIZE] = {};
    // The next byte of in_buf to hand out.
    std::int32_t in_pos = 0;
    // The last valid byte of in_buf; -1 while nothing has been read.
    std::int32_t in_last = -1;
    // Input bits not consumed yet, the next one in bit 0.
    std::uint32_t bit_buf = 0;
    // How many bits of bit_buf are valid.
    std::uint8_t bit_count = 0;
    // Bytes of slide written and not yet flushed.
    std::uint16_t win_pos = 0;
    // The entry's compressed size: the bound of what may be read.
    std::int64_t csize = 0;
    // The entry's uncompressed size, the length of the output.
    std::int64_t ucsize = 0;
    // Compressed bytes read so far, whole blocks; may pass csize by a block.
    std::int64_t bytes_read = 0;
    // The entry's general-purpose flags (explode takes its dictionary size and
    // literal tree from them).
    std::uint16_t gp_flags = 0;
    // The running CRC-32 of what has been flushed.
    std::uint32_t crc = 0;
    // The receiver of the progress or the abort key asked to stop.
    bool aborted = false;
    // Reading went past csize or the end of the file: the input now is
    // filler, and the decoder fails at its next check.
    bool input_exhausted = false;
    // The window progress messages go to; 0 for none.
    NotifyWindow notify_window = 0;
    // The progress message's code, or without a window the virtual key that
    // aborts; 0 for none.
    std::int32_t notify_code = 0;
    // The percentage reported last, so that each is reported once.
    std::int32_t last_percent = 0;
    // When the message queue was drained last; 0 before the first time. An
    // extraction silent for too long counts as dead and may be taken over.
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
    std::uint8_t operation;  // 0..14 extra bits, 15 end of block, 16 literal, 17..32 link, 99 invalid
    std::uint8_t bits;
    std::uint16_t value;
    HuffmanEntry* link;
};

// Operations of a table entry beyond the extra-bit counts 0..14.
inline constexpr std::uint8_t OP_END_OF_BLOCK = 15;
inline constexpr std::uint8_t OP_LITERAL = 16;  // above it: a link to a sub-table of (operation - 16) bits
inline constexpr std::uint8_t OP_INVALID = 99;

// What build_huffman_table returns. An incomplete code leaves some bit
// patterns undefined (they decode as OP_INVALID); inflate allows that only for
// a distance code, explode for any tree.
inline constexpr std::int32_t TABLE_COMPLETE = 0;
inline constexpr std::int32_t TABLE_INCOMPLETE = 1;
inline constexpr std::int32_t TABLE_BAD_LENGTHS = 2;  // over-subscribed, too long, or a length symbol without base
inline constexpr std::int32_t TABLE_OUT_OF_MEMORY = 3;

[[nodiscard]] std::int32_t build_huffman_table(const std::uint16_t* lengths, std::uint16_t n, std::uint16_t s,
                                               const std::uint16_t* base, const std::uint16_t* extra,
                                               std::int32_t& lookup_bits, HuffmanEntry*& root);
void free_huffman_table(HuffmanEntry* root);

}  // namespace zip
