// Unshrink on raw shrunk data; the compressed size is the data's length, as in
// an archive whose sizes are right but whose data is not.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::int32_t code;
    {
        fuzz::DecoderRun run(data, size, static_cast<std::int64_t>(size), 0, 0);
        code = zip::unshrink_entry();
        (void)run.finish();
    }
    fuzz::expect_code(code, {0, zip::UZ_WRITE_ERROR, zip::UZ_READ_ERROR, zip::UZ_FORMAT_ERROR}, "unshrink_entry");
    return 0;
}
