// Inflate on raw deflate streams, checked against zlib: whenever zlib decodes
// a stream to its end, the library must decode it too, to the same bytes.
#include <zlib.h>

#include "fuzz_common.h"

namespace {

// zlib's raw inflate of the whole input; false unless it reached the end of
// the last block.
bool zlib_inflate(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out)
{
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        std::abort();
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    std::uint8_t chunk[65536];
    int rc;
    do {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    } while (rc == Z_OK && out.size() < (64u << 20));
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> out;
    std::int32_t code;
    {
        fuzz::DecoderRun run(data, size, static_cast<std::int64_t>(size), 0, 0);
        code = zip::inflate_entry();
        out = run.finish();
    }
    fuzz::expect_code(code, {0, 1, 3, zip::UZ_WRITE_ERROR, zip::UZ_READ_ERROR, zip::UZ_FORMAT_ERROR}, "inflate_entry");
    if (code == 3) {
        std::fprintf(stderr, "inflate_entry ran out of memory\n");
        std::abort();
    }

    std::vector<std::uint8_t> expected;
    if (zlib_inflate(data, size, expected)) {
        if (code != 0) {
            std::fprintf(stderr, "zlib decodes this stream (%zu bytes out), inflate_entry gives %d\n", expected.size(),
                         code);
            std::abort();
        }
        if (out != expected) {
            std::fprintf(stderr, "inflate_entry wrote %zu bytes, zlib %zu, and they differ\n", out.size(),
                         expected.size());
            std::abort();
        }
    }
    return 0;
}
