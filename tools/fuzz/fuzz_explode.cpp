// Explode on raw imploded data. The first byte chooses the variant (bit 1: 8 KiB
// dictionary, bit 2: literal tree) and whether the compressed size counts as
// large (bit 0: above 200000 bytes, for the wider distance table); the next
// three give the uncompressed size (up to 1 MiB, which keeps runs short); the rest is the entry's data.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint16_t flags = data[0] & 0x06;
    const std::int64_t ucsize = data[1] | (data[2] << 8) | ((data[3] & 0x0F) << 16);
    const std::uint8_t* stream = data + 4;
    const std::size_t length = size - 4;
    const std::int64_t csize = static_cast<std::int64_t>(length) + ((data[0] & 1) ? 200001 : 0);

    std::int32_t code;
    std::vector<std::uint8_t> out;
    {
        fuzz::DecoderRun run(stream, length, csize, ucsize, flags);
        code = zip::explode_entry();
        out = run.finish();
    }
    fuzz::expect_code(code, {0, zip::UZ_WRITE_ERROR, zip::UZ_READ_ERROR, zip::UZ_FORMAT_ERROR}, "explode_entry");
    // A match may run past the uncompressed size, by at most one match.
    if (code == 0 &&
        (static_cast<std::int64_t>(out.size()) < ucsize || static_cast<std::int64_t>(out.size()) > ucsize + 66 + 255)) {
        std::fprintf(stderr, "explode_entry succeeded with %zu bytes for a size of %lld\n", out.size(),
                     static_cast<long long>(ucsize));
        std::abort();
    }
    return 0;
}
