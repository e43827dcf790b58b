// The directory walk and the other archive probes on an arbitrary file.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::scratch() + "/archive.zip";
    fuzz::write_file(path, data, size);
    try {
        zip::ZipDirScan scan;
        std::int32_t code = zip::zip_dir_first(path.c_str(), scan);
        fuzz::expect_code(code, {0, zip::UZ_BAD_ARCHIVE, zip::UZ_NO_MORE_ENTRIES, zip::UZ_CANNOT_OPEN},
                          "zip_dir_first");
        if (code != 0 && scan.buffer) {
            std::fprintf(stderr, "zip_dir_first failed and left the walk open\n");
            std::abort();
        }
        int entries = 0;
        while (code == 0) {
            ++entries;
            if (std::strlen(scan.name) > 259 || std::strchr(scan.name, '/')) {
                std::fprintf(stderr, "entry name not cut or not converted: %s\n", scan.name);
                std::abort();
            }
            (void)zip::mask_matches("*.TXT", scan.name);
            (void)zip::mask_matches("?*\\*?.*", scan.name);
            code = zip::zip_dir_next(scan);
            fuzz::expect_code(code, {0, zip::UZ_NO_MORE_ENTRIES}, "zip_dir_next");
            // Every entry takes at least 46 bytes of the directory.
            if (entries > static_cast<int>(size / 46) + 1) {
                std::fprintf(stderr, "the walk does not end\n");
                std::abort();
            }
        }
        if (scan.buffer) {
            std::fprintf(stderr, "the walk ended but its buffer is still there\n");
            std::abort();
        }
        zip::zip_dir_close(scan);

        std::int32_t prefix = 0;
        const bool is_zip = zip::is_zip_archive(path.c_str(), &prefix);
        if (is_zip != (prefix >= 0) || prefix >= static_cast<std::int64_t>(size)) {
            std::fprintf(stderr, "is_zip_archive %d with prefix %d\n", is_zip, prefix);
            std::abort();
        }
        std::int64_t compressed = 0;
        (void)zip::zip_total_sizes(path.c_str(), compressed);
    } catch (const zip::IoError&) {
        // The run-time I/O errors the library raises by design.
    }
    return 0;
}
