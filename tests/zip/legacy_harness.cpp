#include "zip/legacy_harness.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/pump.h"
#include "tests/platform/temp_folder.h"
#include "zip/extract_state.h"

namespace legacy_test {

namespace {

std::vector<std::int32_t>* captured_reports = nullptr;

void capture_report(std::int32_t value, zip::ZipReport* report)
{
    if (captured_reports != nullptr && report->status == zip::REPORT_BYTES_WRITTEN)
        captured_reports->push_back(value);
}

}  // namespace

std::filesystem::path scratch_dir()
{
    static imu_test::TempFolder dir{"legacy"};
    return dir.path();
}

std::filesystem::path scratch_path(const std::string& stem)
{
    static std::atomic<int> counter{0};
    return scratch_dir() / (stem + "-" + std::to_string(++counter));
}

Bytes read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::uint32_t crc32_of(const Bytes& data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

Bytes sample_text(std::size_t size, std::uint32_t seed)
{
    static const char* const words[] = {"lorem", "ipsum", "dolor",  "sit", "amet",   "arvelon", "transponder",
                                        "1090",  "MHz",   "dongle", "\n",  "squawk", "7700",    "altitude"};
    std::mt19937 random(seed);
    Bytes text;
    while (text.size() < size) {
        if (random() % 16 == 0) {
            text.push_back(static_cast<std::uint8_t>(random()));
            continue;
        }
        const char* word = words[random() % std::size(words)];
        text.insert(text.end(), word, word + std::char_traits<char>::length(word));
        text.push_back(' ');
    }
    text.resize(size);
    return text;
}

DecodeOutcome run_decoder(Decoder decoder, const DecoderSetup& setup)
{
    const std::filesystem::path input = scratch_path("in");
    const std::filesystem::path output = scratch_path("out");
    write_file(input, setup.stream);

    Bytes slide(zip::WINDOW_SIZE, setup.slide_fill);
    zip::ExtractState& g = zip::G;
    g.in_file = platform::File::open_read(input.string());
    if (setup.output_fails) {
        write_file(output, {});
        g.out_file = platform::File::open_read(output.string());
    } else {
        g.out_file = platform::File::create(output.string());
    }
    if (!g.in_file.is_open() || !g.out_file.is_open())
        throw std::runtime_error("cannot open the scratch files");
    // extract_entry leaves the local header here; zeros keep filler bytes predictable.
    std::fill(std::begin(g.in_buf), std::end(g.in_buf), 0);
    g.slide = slide.data();
    g.csize = setup.csize < 0 ? static_cast<std::int64_t>(setup.stream.size()) : setup.csize;
    g.ucsize = setup.ucsize;
    g.gp_flags = setup.gp_flags;
    g.bytes_read = 0;
    g.aborted = setup.aborted;
    g.input_exhausted = false;
    g.notify_window = 0;
    g.notify_code = setup.escape_held ? 27 : 0;
    g.last_percent = 0;
    zip::crc32_reset(g.crc);

    DecodeOutcome outcome;
    captured_reports = &outcome.written_reports;
    const zip::ReportProc previous = zip::set_report_proc(capture_report);
#ifndef _WIN32
    platform::PumpHooks hooks;
    if (setup.escape_held)
        hooks.key_down = [](std::int32_t key) { return key == 27; };
    const platform::PumpHooks previous_hooks = platform::set_pump_hooks(hooks);
#endif
    outcome.result = decoder();
#ifndef _WIN32
    platform::set_pump_hooks(previous_hooks);
#endif
    zip::set_report_proc(previous);
    captured_reports = nullptr;

    outcome.crc = zip::crc32_finish(g.crc);
    outcome.input_exhausted = g.input_exhausted;
    outcome.bytes_read = g.bytes_read;
    g.slide = nullptr;
    g.in_file = platform::File();
    g.out_file = platform::File();
    outcome.output = read_file(output);
    return outcome;
}

}  // namespace legacy_test
