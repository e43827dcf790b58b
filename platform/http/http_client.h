// A small HTTP/1.1 client for plain GET requests: one request per connection,
// the reply body handed to a sink as it arrives, never held whole.
//
// It runs on the caller's thread. While it waits for the network it calls the
// idle handler at least every 100 ms, so a window can keep processing its
// messages, and it gives up when the server sends nothing for idle_timeout.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http/socket.h"

namespace platform {

enum class WorkMode { read, write };

enum class HttpError {
    none,
    bad_url,  // not an http URL we can use
    lookup,  // the host name did not resolve
    connect,  // refused, unreachable
    send,  // the request could not be sent
    receive,  // reset or another socket error while reading
    timeout,  // nothing arrived for idle_timeout
    bad_reply,  // not an HTTP reply, or a malformed header or chunk
    truncated,  // the connection closed before the body was complete
    sink,  // the sink refused the data
    status,  // a complete reply whose status is not 2xx
    cancelled,  // the caller's cancel check asked to stop
};

struct HttpResult {
    HttpError error = HttpError::none;
    int status = 0;  // 0 when no status line arrived
    [[nodiscard]] bool ok() const { return error == HttpError::none; }
};

struct HttpUrl {
    std::string host;
    std::uint16_t port = 80;
    std::string target;  // path and query, at least "/"
};

// Accepts "http://host[:port][/path][?query][#fragment]"; the scheme is not
// case-sensitive, the fragment is dropped.
[[nodiscard]] std::optional<HttpUrl> parse_http_url(std::string_view url);

// Base64 with the standard alphabet and "=" padding, no line breaks.
[[nodiscard]] std::string base64_encode(std::string_view data);

// A byte count for 32-bit progress notifications: counts from 2^31 up stay at
// the top of the range.
[[nodiscard]] std::int32_t capped_work_count(std::int64_t count);

class HttpClient {
public:
    // Notifications use int64 counts; a reply larger than the 32-bit range is
    // the receiver's business.
    using WorkBeginHandler = std::function<void(WorkMode mode, std::int64_t count_max)>;
    using WorkHandler = std::function<void(WorkMode mode, std::int64_t count)>;
    using IdleHandler = std::function<void()>;
    // Returns false to abandon the transfer (a full disk, say).
    using Sink = std::function<bool(const char* data, std::size_t size)>;

    struct Settings {
        std::string accept = "text/html, */*";
        // The program names itself; empty, no User-Agent is sent.
        std::string user_agent;
        std::string username;
        std::string password;
    };

    HttpClient();
    explicit HttpClient(Settings settings);

    // Raised once per body read with its expected length: the Content-Length,
    // 0 for a body that runs until the connection closes, and the chunk size
    // for each chunk of a chunked body. on_work then follows with the count
    // received since that begin.
    WorkBeginHandler on_work_begin;
    WorkHandler on_work;
    IdleHandler on_idle;
    // Asked after each idle call and each progress notification (a window
    // closed meanwhile, say); true abandons the transfer at once.
    std::function<bool()> cancel_requested;
    std::chrono::milliseconds idle_timeout{60000};
    // The addresses of a host; unset, the system's resolver.
    std::function<std::vector<SocketAddress>(const std::string& host, std::uint16_t port)> resolve_host;

    [[nodiscard]] const Settings& settings() const { return settings_; }

    // The request exactly as it goes on the wire.
    [[nodiscard]] std::string request_text(const HttpUrl& url) const;

    // The body goes to the sink whatever the status; the result tells whether
    // the whole reply arrived with a 2xx status.
    [[nodiscard]] HttpResult get(const std::string& url, const Sink& sink);
    [[nodiscard]] HttpResult get_text(const std::string& url, std::string& body);

private:
    Settings settings_;
};

}  // namespace platform
