// The shared extraction state and what every decoder stands on: buffered
// compressed input with its bound, the bit reader, the output window with
// CRC-32 and byte reports, progress and abort, the message pump, and the
// decoder for stored entries.
#include <algorithm>
#include <cstring>

#include "platform/pump.h"
#include "zip/extract_state.h"

namespace zip {

ExtractState G;

const std::uint16_t mask_bits[17] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
    0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF,
};

void drain_message_queue()
{
    G.last_pump_tick = platform::tick_count();
    platform::pump_messages(G.notify_window);
}

void report_progress()
{
    if (G.csize == 0)
        return;
    // Truncated to a 16-bit word as the receiver sees it, then capped: whole
    // blocks are read, so bytes_read may pass csize.
    auto percent = static_cast<std::uint16_t>((G.bytes_read * 100) / G.csize);
    if (percent > 100)
        percent = 100;
    if (percent == G.last_percent)
        return;
    G.last_percent = percent;

    if (G.notify_window != 0) {
        std::uint16_t word = percent;
        platform::send_progress(G.notify_window, G.notify_code, &word);
        G.aborted = word == 0xFFFF;
    } else if (G.notify_code != 0) {
        G.aborted = platform::key_down(G.notify_code);
    }
}

void refill_input()
{
    if (G.bytes_read > G.csize + 2) {
        // Past the bound: the old block is handed out again as filler and the
        // decoder fails at its next check.
        G.input_exhausted = true;
        G.in_last = IN_BUF_SIZE - 1;
        G.in_pos = 0;
        return;
    }
    drain_message_queue();
    report_progress();
    std::int64_t count = G.in_file.read(G.in_buf, IN_BUF_SIZE);
    if (count <= 0) {
        G.input_exhausted = true;
        count = IN_BUF_SIZE;
    }
    G.bytes_read += count;
    G.in_last = static_cast<std::int32_t>(count) - 1;
    G.in_pos = 0;
}

std::uint8_t read_byte()
{
    if (G.in_pos > G.in_last)
        refill_input();
    return G.in_buf[G.in_pos++];
}

void need_bits(std::uint8_t n)
{
    while (G.bit_count < n) {
        G.bit_buf |= static_cast<std::uint32_t>(read_byte()) << G.bit_count;
        G.bit_count = static_cast<std::uint8_t>(G.bit_count + 8);
    }
}

void dump_bits(std::uint8_t n)
{
    G.bit_buf = n >= 32 ? 0 : G.bit_buf >> n;
    G.bit_count = static_cast<std::uint8_t>(G.bit_count - n);
}

bool flush_window(std::uint32_t n)
{
    bool written = true;
    if (n > 0)
        written = G.out_file.write(G.slide, n) == static_cast<std::int64_t>(n);
    // The block counts for the CRC even when the write failed: the entry fails anyway.
    crc32_update(G.crc, G.slide, static_cast<std::uint16_t>(n));
    if (written && report_proc != nullptr) {
        zip_report.status = REPORT_BYTES_WRITTEN;
        report_proc(static_cast<std::int32_t>(n), &zip_report);
    }
    return written;
}

char* next_token(char* text, char separator)
{
    static char* position = nullptr;
    if (text != nullptr)
        position = text;
    if (position == nullptr)
        return nullptr;
    char* token = position;
    char* found = std::strchr(position, separator);
    if (found != nullptr) {
        *found = '\0';
        position = found + 1;
    } else {
        position = nullptr;
    }
    return token;
}

std::int32_t copy_stored_entry()
{
    while (G.bytes_read < G.csize && !G.aborted) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(G.csize - G.bytes_read, WINDOW_SIZE));
        const std::int64_t count = G.in_file.read(G.slide, n);
        if (count != static_cast<std::int64_t>(n))
            return UZ_READ_ERROR;
        if (!flush_window(static_cast<std::uint32_t>(count)))
            return UZ_WRITE_ERROR;
        G.bytes_read += count;
        drain_message_queue();
        report_progress();
    }
    return G.aborted ? UZ_ABORTED : UZ_OK;
}

}  // namespace zip
