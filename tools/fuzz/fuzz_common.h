// What the fuzz targets share: a private scratch folder on a tmpfs, writing the
// input to a file there, and setting up the extraction state as extract_entry
// does before it hands over to a decoder.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

#include "zip/extract_state.h"

namespace fuzz {

// One folder per process, so that the workers of a parallel run stay apart.
inline const std::string& scratch()
{
    static const std::string folder = [] {
        const char* base = std::getenv("IMU_FUZZ_SCRATCH");
        std::string path = std::string(base ? base : "/dev/shm") + "/imu-fuzz-" + std::to_string(getpid());
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

inline void write_file(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

inline std::vector<std::uint8_t> read_file(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return bytes;
}

// zlib's CRC-32, an implementation independent of the library's.
inline std::uint32_t reference_crc32(const std::vector<std::uint8_t>& bytes)
{
    return static_cast<std::uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
}

// The state a decoder finds when extract_entry calls it: the window zeroed,
// the input at the first byte of the compressed data, counters cleared.
class DecoderRun {
public:
    DecoderRun(const std::uint8_t* data, std::size_t size, std::int64_t csize, std::int64_t ucsize,
               std::uint16_t gp_flags)
        : in_path_(scratch() + "/stream.bin"), out_path_(scratch() + "/out.bin"), window_(zip::WINDOW_SIZE, 0)
    {
        write_file(in_path_, data, size);
        zip::ExtractState& g = zip::G;
        g.in_file = platform::File::open_read(in_path_);
        g.out_file = platform::File::create(out_path_);
        if (!g.in_file.is_open() || !g.out_file.is_open())
            std::abort();
        g.slide = window_.data();
        g.csize = csize;
        g.ucsize = ucsize;
        g.gp_flags = gp_flags;
        g.bytes_read = 0;
        g.aborted = false;
        g.input_exhausted = false;
        g.notify_window = 0;
        g.notify_code = 0;
        g.last_percent = 0;
        std::memset(g.in_buf, 0, sizeof g.in_buf);  // filler after the input ends: same every run
        g.in_pos = 0;
        g.in_last = -1;
        g.bit_buf = 0;
        g.bit_count = 0;
        g.win_pos = 0;
        zip::crc32_reset(g.crc);
    }
    DecoderRun(const DecoderRun&) = delete;
    DecoderRun& operator=(const DecoderRun&) = delete;

    // Closes both files and checks that the running CRC-32 covers exactly the
    // bytes that reached the output file.
    std::vector<std::uint8_t> finish()
    {
        zip::ExtractState& g = zip::G;
        (void)g.in_file.close();
        (void)g.out_file.close();
        g.slide = nullptr;
        std::vector<std::uint8_t> out = read_file(out_path_);
        if (zip::crc32_finish(g.crc) != reference_crc32(out)) {
            std::fprintf(stderr, "running CRC-32 differs from the CRC-32 of the written bytes\n");
            std::abort();
        }
        return out;
    }

private:
    std::string in_path_;
    std::string out_path_;
    std::vector<std::uint8_t> window_;
};

inline void expect_code(std::int32_t code, std::initializer_list<std::int32_t> allowed, const char* what)
{
    for (std::int32_t a : allowed)
        if (code == a)
            return;
    std::fprintf(stderr, "%s returned %d, which it never should\n", what, code);
    std::abort();
}

inline std::uint32_t le32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

}  // namespace fuzz
