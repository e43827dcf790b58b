// Helpers for the ZIP library's tests: file contents, a small
// ZIP writer for hand-made archives and a bit writer for hand-made deflate
// and other bit streams.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/platform/temp_folder.h"

namespace ziptest {

namespace fs = std::filesystem;

using imu_test::TempFolder;

inline std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const fs::path& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Bitwise, to stay independent of the library's table.
inline std::uint32_t crc32_of(const std::string& data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

// Deterministic bytes that do not compress.
inline std::string noise(std::size_t size, std::uint32_t seed = 12345)
{
    std::string out(size, '\0');
    for (auto& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return out;
}

inline std::uint32_t dos_date_time(int year, int month, int day, int hour, int minute, int second)
{
    const std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    const std::uint32_t time = static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

// Writes bits least significant first, as the library's bit reader takes
// them (deflate, implode and shrink alike).
class BitWriter {
public:
    void bit(std::uint32_t b)
    {
        partial_ = static_cast<std::uint8_t>(partial_ | ((b & 1) << used_));
        if (++used_ == 8) {
            bytes_ += static_cast<char>(partial_);
            partial_ = 0;
            used_ = 0;
        }
    }
    void bits(std::uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i) bit((value >> i) & 1);
    }
    // Huffman codes go out most significant bit first.
    void code(std::uint32_t value, int length)
    {
        for (int i = length - 1; i >= 0; --i) bit((value >> i) & 1);
    }
    void align()
    {
        while (used_ != 0) bit(0);
    }
    void byte(std::uint8_t value) { bits(value, 8); }
    // The bits written so far, the last byte padded with zeros.
    std::string data() const
    {
        std::string out = bytes_;
        if (used_ != 0)
            out += static_cast<char>(partial_);
        return out;
    }
    std::vector<std::uint8_t> bytes() const
    {
        const std::string out = data();
        return {out.begin(), out.end()};
    }
    [[nodiscard]] std::size_t bit_count() const { return bytes_.size() * 8 + static_cast<std::size_t>(used_); }

private:
    std::string bytes_;
    std::uint8_t partial_ = 0;
    int used_ = 0;
};

// Canonical codes of RFC 1951 for the given lengths.
inline std::vector<std::uint32_t> canonical_codes(const std::vector<int>& lengths)
{
    int count[17] = {};
    for (int len : lengths) ++count[len];
    count[0] = 0;
    std::uint32_t next[17] = {};
    std::uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
        code = (code + static_cast<std::uint32_t>(count[len - 1])) << 1;
        next[len] = code;
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] != 0)
            codes[i] = next[lengths[i]]++;
    return codes;
}

// A deflate stream of stored blocks: predictable size, no compression.
inline std::string deflate_stored(const std::string& data, std::size_t block = 65535)
{
    BitWriter w;
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min(block, data.size() - pos);
        w.bits(pos + n == data.size() ? 1 : 0, 1);
        w.bits(0, 2);
        w.align();
        w.bits(static_cast<std::uint32_t>(n), 16);
        w.bits(static_cast<std::uint32_t>(~n & 0xFFFF), 16);
        for (std::size_t i = 0; i < n; ++i) w.byte(static_cast<std::uint8_t>(data[pos + i]));
        pos += n;
    } while (pos < data.size());
    return w.data();
}

struct TestEntry {
    std::string name;
    std::string plain;  // the uncompressed content
    std::string data;  // the bytes after the local header; plain when empty and stored
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::optional<std::uint32_t> crc;  // the CRC written; plain's when not given
    std::optional<std::uint32_t> size;  // the uncompressed size written; plain's when not given
    std::uint32_t date_time = dos_date_time(2021, 6, 15, 10, 20, 30);
    std::uint8_t attributes = 0;
    std::uint8_t host = 0;  // 0 = MS-DOS, whose attributes count
    bool descriptor = false;  // sizes and CRC after the data (flag bit 3)
    bool descriptor_signature = true;
};

inline TestEntry stored(const std::string& name, const std::string& content)
{
    TestEntry e;
    e.name = name;
    e.plain = content;
    e.data = content;
    return e;
}

inline TestEntry deflated(const std::string& name, const std::string& content)
{
    TestEntry e;
    e.name = name;
    e.plain = content;
    e.data = deflate_stored(content);
    e.method = 8;
    return e;
}

inline void put16(std::string& out, std::uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

inline void put32(std::string& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A whole archive: local headers with their data, central directory, end record.
// With offsets_count_stub the header offsets count from the start of the file,
// as "zip -A" leaves a self-extractor.
inline std::string build_zip(const std::vector<TestEntry>& entries, const std::string& stub = "",
                             bool offsets_count_stub = false)
{
    std::string out = stub;
    std::string central;
    for (const TestEntry& e : entries) {
        const std::uint32_t crc = e.crc.value_or(crc32_of(e.plain));
        const auto csize = static_cast<std::uint32_t>(e.data.size());
        const auto usize = e.size.value_or(static_cast<std::uint32_t>(e.plain.size()));
        const std::uint16_t flags = static_cast<std::uint16_t>(e.flags | (e.descriptor ? 8 : 0));
        const auto offset = static_cast<std::uint32_t>(out.size() - (offsets_count_stub ? 0 : stub.size()));

        put32(out, 0x04034B50);
        put16(out, 20);
        put16(out, flags);
        put16(out, e.method);
        put32(out, e.date_time);
        put32(out, e.descriptor ? 0 : crc);
        put32(out, e.descriptor ? 0 : csize);
        put32(out, e.descriptor ? 0 : usize);
        put16(out, static_cast<std::uint32_t>(e.name.size()));
        put16(out, 0);
        out += e.name;
        out += e.data;
        if (e.descriptor) {
            if (e.descriptor_signature)
                put32(out, 0x08074B50);
            put32(out, crc);
            put32(out, csize);
            put32(out, usize);
        }

        put32(central, 0x02014B50);
        central += static_cast<char>(20);
        central += static_cast<char>(e.host);
        put16(central, 20);
        put16(central, flags);
        put16(central, e.method);
        put32(central, e.date_time);
        put32(central, crc);
        put32(central, csize);
        put32(central, usize);
        put16(central, static_cast<std::uint32_t>(e.name.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, e.attributes);
        put32(central, offset);
        central += e.name;
    }
    // Header offsets count from the first local header, the directory's from
    // the start of the file, as a stub's builder leaves them.
    const auto directory_offset = static_cast<std::uint32_t>(out.size());
    out += central;
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(central.size()));
    put32(out, directory_offset);
    put16(out, 0);
    return out;
}

}  // namespace ziptest
