// http-get URL FILE: downloads URL into FILE with the installer's HTTP client
// and file layer, the way the installer does, and reports the throughput.
#include "platform/files.h"
#include "platform/http/http_client.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: http-get URL FILE\n");
        return 2;
    }
    platform::File file = platform::File::create(argv[2]);
    if (!file.is_open()) {
        std::fprintf(stderr, "http-get: cannot create %s\n", argv[2]);
        return 2;
    }
    platform::HttpClient client;
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t bytes = 0;
    const auto result = client.get(argv[1], [&](const char* data, std::size_t size) {
        bytes += size;
        return file.write(data, size) == static_cast<std::int64_t>(size);
    });
    const bool closed = file.close();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu bytes in %.3f s, %.1f MB/s, status %d\n", static_cast<unsigned long long>(bytes), seconds,
                seconds > 0 ? bytes / seconds / 1e6 : 0.0, result.status);
    return result.ok() && closed ? 0 : 1;
}
