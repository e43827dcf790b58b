// The reading of one HTTP reply, apart from the socket it arrives on, so that
// tests and the fuzzer can hand it bytes in pieces of their choosing.
#pragma once

#include "platform/http/http_client.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace platform {

// Where a reply's bytes come from.
class ReplySource {
public:
    static constexpr std::int64_t would_block = -2;

    virtual ~ReplySource() = default;
    // Bytes received (more than 0), 0 at the end of the stream, would_block
    // when nothing is there yet, or -1 on an error.
    [[nodiscard]] virtual std::int64_t receive(char* data, std::size_t size) = 0;
    // 1 when bytes (or the end) can be read, 0 when the time ran out, -1 on an error.
    [[nodiscard]] virtual int wait_readable(std::chrono::milliseconds timeout) = 0;
};

// Reads the interim replies, the final status line and headers, and the body
// in its framing, handing the body to the sink and raising the client's
// notifications and idle handler. Whatever the source delivers after the
// reply is not read.
[[nodiscard]] HttpResult read_reply(HttpClient& client, ReplySource& source, const HttpClient::Sink& sink);

}  // namespace platform
