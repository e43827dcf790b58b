// Drives the legacy decoders directly, as extract_entry would: the compressed
// stream sits in a scratch file, the output goes to another, and the window,
// sizes and flags are set up by hand.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace legacy_test {

using Bytes = std::vector<std::uint8_t>;

struct DecoderSetup {
    Bytes stream;
    std::int64_t csize = -1;  // -1: the stream's length
    std::int64_t ucsize = 0;
    std::uint16_t gp_flags = 0;
    std::uint8_t slide_fill = 0;
    bool aborted = false;
    bool escape_held = false;  // POSIX only: the abort key reads as held at every poll
    bool output_fails = false;  // output opened read-only, so every write fails
};

struct DecodeOutcome {
    std::int32_t result = 0;
    Bytes output;
    std::vector<std::int32_t> written_reports;  // the values of REPORT_BYTES_WRITTEN
    std::uint32_t crc = 0;  // finished CRC-32 of what the decoder folded in
    bool input_exhausted = false;
    std::int64_t bytes_read = 0;
};

using Decoder = std::int32_t (*)();

[[nodiscard]] DecodeOutcome run_decoder(Decoder decoder, const DecoderSetup& setup);

// A fresh directory for this test program, removed at exit.
[[nodiscard]] std::filesystem::path scratch_dir();
// A path under scratch_dir() that no other call has handed out.
[[nodiscard]] std::filesystem::path scratch_path(const std::string& stem);

[[nodiscard]] Bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const Bytes& data);

[[nodiscard]] std::uint32_t crc32_of(const Bytes& data);

// Deterministic bytes for round trips: text-like, with repeats at many distances.
[[nodiscard]] Bytes sample_text(std::size_t size, std::uint32_t seed);

}  // namespace legacy_test
