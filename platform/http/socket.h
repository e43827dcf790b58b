// A thin, non-blocking TCP socket over Winsock or BSD sockets, shared by the
// HTTP client and the test server. Keeps the system headers out of its users.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct SocketAddress {
    alignas(8) unsigned char bytes[128] = {};
    int length = 0;
};

// Addresses for a host name or a numeric address; empty when the lookup fails.
[[nodiscard]] std::vector<SocketAddress> resolve(const std::string& host, std::uint16_t port);

class Socket {
public:
    static constexpr std::int64_t would_block = -2;

    Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    ~Socket();

    // A non-blocking stream socket for the address's family.
    [[nodiscard]] static Socket open(const SocketAddress& address);
    // A non-blocking socket listening on 127.0.0.1; port 0 picks a free one.
    [[nodiscard]] static Socket listen_loopback(std::uint16_t port, int backlog = 16);

    [[nodiscard]] bool valid() const { return handle_ != invalid; }
    [[nodiscard]] std::uint16_t local_port() const;

    // 0: connected, 1: under way (wait for writing, then connect_error), -1: failed.
    [[nodiscard]] int start_connect(const SocketAddress& address);
    [[nodiscard]] int connect_error() const;

    // 1: ready, 0: the time ran out, -1: an error (a failed connect included).
    [[nodiscard]] int wait(bool for_write, std::chrono::milliseconds timeout) const;

    // Bytes moved, would_block, or -1 on an error; receive gives 0 at the end.
    [[nodiscard]] std::int64_t send(const char* data, std::size_t size);
    [[nodiscard]] std::int64_t receive(char* data, std::size_t size);

    // A connection waiting on a listening socket; invalid when there is none.
    [[nodiscard]] Socket accept();

    // Closes with a reset instead of an orderly end.
    void close_with_reset();
    void shutdown_send();
    void close();

private:
    using Handle = std::intptr_t;
    static constexpr Handle invalid = -1;
    explicit Socket(Handle handle) : handle_(handle) {}
    Handle handle_ = invalid;
};

}  // namespace platform
