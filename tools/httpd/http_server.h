// A small HTTP server on 127.0.0.1 for tests, the download benchmark and the
// demo: scripted replies per path, a folder of files, faults on demand,
// a Basic authentication check, and a record of every raw request.
//
// It runs on threads of its own (one to accept, one per connection) so that a
// single-threaded client can talk to it from the same process.
#pragma once

#include "platform/http/socket.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace httpd {

enum class Framing {
    content_length,  // Content-Length header
    chunked,  // Transfer-Encoding: chunked, chunks of chunk_size
    close,  // neither; the body ends when the connection closes
};

enum class Fault {
    none,
    cut_short,  // after fault_after body bytes the connection closes normally
    reset,  // after fault_after body bytes the connection is reset
    stall,  // after fault_after body bytes nothing more is sent
    silent,  // the request is read, then nothing at all is sent
    trickle,  // the body goes out trickle_bytes at a time, trickle_delay apart
};

struct Reply {
    int status = 200;
    std::string reason;  // empty: the usual phrase for the status
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::uint64_t generated_size = 0;  // with an empty body: generated_body(generated_size)
    std::string file;  // with an empty body: this file's content
    Framing framing = Framing::content_length;
    std::size_t chunk_size = 4096;
    Fault fault = Fault::none;
    std::uint64_t fault_after = 0;
    std::size_t trickle_bytes = 1;
    std::chrono::milliseconds trickle_delay{20};

    [[nodiscard]] static Reply text(int status, std::string body);
    [[nodiscard]] static Reply redirect(int status, std::string location);
};

// The deterministic content of a generated body: byte i of any generated
// body, so that a receiver can check what it got.
[[nodiscard]] char generated_byte(std::uint64_t index);
[[nodiscard]] std::string generated_body(std::size_t size);

class HttpServer {
public:
    // Listens on 127.0.0.1; port 0 picks a free one. Throws when it cannot.
    explicit HttpServer(std::uint16_t port = 0);
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;
    ~HttpServer();

    [[nodiscard]] std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by the path.
    [[nodiscard]] std::string url(std::string_view path) const;

    // Replies for a request target; an exact match with the query wins over
    // the path alone.
    void set_reply(const std::string& target, Reply reply);
    // Paths without a scripted reply are served from this folder.
    void serve_folder(std::string folder);
    // From now on a request without these credentials gets 401.
    void require_basic_auth(const std::string& user, const std::string& password);

    // Every request as it arrived, header block included, in arrival order.
    [[nodiscard]] std::vector<std::string> requests() const;
    // Connections that ended, however they ended.
    [[nodiscard]] int finished_connections() const { return finished_; }

    void stop();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void accept_loop();
    void serve(platform::Socket& socket);
    [[nodiscard]] Reply choose_reply(const std::string& request);
    void reap_workers(bool all);

    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> finished_{0};
    mutable std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::string folder_;
    std::string expected_authorization_;
    std::vector<std::string> requests_;
    std::unique_ptr<platform::Socket> listener_;
    std::thread acceptor_;
    std::vector<Worker> workers_;
};

}  // namespace httpd
