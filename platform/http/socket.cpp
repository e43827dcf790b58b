// Sockets for both systems; the few calls that differ are kept side by side.
#include "platform/http/socket.h"

#include <algorithm>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
using AddressLength = int;

// Winsock wants one start-up before the first call and a clean-up at the end.
struct WinsockSession {
    bool started = false;
    WinsockSession()
    {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession()
    {
        if (started)
            WSACleanup();
    }
};

void ensure_started() { static WinsockSession session; }

bool last_would_block()
{
    const int e = WSAGetLastError();
    return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS;
}

void close_native(NativeSocket s) { closesocket(s); }

bool set_non_blocking(NativeSocket s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
#else
using NativeSocket = int;
using AddressLength = socklen_t;

void ensure_started() {}

bool last_would_block() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS; }

void close_native(NativeSocket s) { ::close(s); }

bool set_non_blocking(NativeSocket s)
{
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
#endif

NativeSocket native(std::intptr_t handle) { return static_cast<NativeSocket>(handle); }

}  // namespace

std::vector<SocketAddress> resolve(const std::string& host, std::uint16_t port)
{
    ensure_started();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    std::vector<SocketAddress> out;
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0)
        return out;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(SocketAddress::bytes))
            continue;
        SocketAddress address;
        std::memcpy(address.bytes, a->ai_addr, a->ai_addrlen);
        address.length = static_cast<int>(a->ai_addrlen);
        out.push_back(address);
    }
    freeaddrinfo(list);
    return out;
}

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, invalid)) {}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, invalid);
    }
    return *this;
}

Socket::~Socket() { close(); }

void Socket::close()
{
    if (valid())
        close_native(native(handle_));
    handle_ = invalid;
}

Socket Socket::open(const SocketAddress& address)
{
    ensure_started();
    const auto* sa = reinterpret_cast<const sockaddr*>(address.bytes);
    const NativeSocket s = ::socket(sa->sa_family, SOCK_STREAM, IPPROTO_TCP);
    Socket result(static_cast<Handle>(s));
    if (!result.valid() || !set_non_blocking(s))
        return Socket();
    return result;
}

Socket Socket::listen_loopback(std::uint16_t port, int backlog)
{
    ensure_started();
    const NativeSocket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    Socket result(static_cast<Handle>(s));
    if (!result.valid())
        return Socket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
#ifndef _WIN32
    // A benchmark or test run right after another must not wait for TIME_WAIT.
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Socket();
    if (::listen(s, backlog) != 0 || !set_non_blocking(s))
        return Socket();
    return result;
}

std::uint16_t Socket::local_port() const
{
    sockaddr_storage address{};
    AddressLength length = sizeof address;
    if (getsockname(native(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return 0;
}

int Socket::start_connect(const SocketAddress& address)
{
    if (::connect(native(handle_), reinterpret_cast<const sockaddr*>(address.bytes),
                  static_cast<AddressLength>(address.length)) == 0)
        return 0;
    return last_would_block() ? 1 : -1;
}

int Socket::connect_error() const
{
    int error = 0;
    AddressLength length = sizeof error;
    if (getsockopt(native(handle_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
        return -1;
    return error;
}

int Socket::wait(bool for_write, std::chrono::milliseconds timeout) const
{
    const int ms = static_cast<int>(timeout.count() < 0 ? 0 : timeout.count());
#ifdef _WIN32
    // A failed connect shows in the exception set, not as writable. The socket
    // goes into one set per select call: Wine's server aborts when one socket
    // stands in two sets of the same call and both become ready.
    enum class Set { read, write, except };
    const auto select_one = [this](Set which, int wait_ms) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(native(handle_), &set);
        timeval tv{wait_ms / 1000, (wait_ms % 1000) * 1000};
        const int n = ::select(0, which == Set::read ? &set : nullptr, which == Set::write ? &set : nullptr,
                               which == Set::except ? &set : nullptr, &tv);
        return n < 0 ? -1 : n;
    };
    const int ready = select_one(for_write ? Set::write : Set::read, ms);
    if (ready != 0)
        return ready;
    if (for_write && select_one(Set::except, 0) != 0)
        return -1;
    return 0;
#else
    pollfd p{native(handle_), static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
    const int n = ::poll(&p, 1, ms);
    if (n < 0)
        return errno == EINTR ? 0 : -1;
    if (n == 0)
        return 0;
    // A hang-up or error still leaves data or an error code to be read.
    return 1;
#endif
}

std::int64_t Socket::send(const char* data, std::size_t size)
{
#ifdef _WIN32
    const int n = ::send(native(handle_), data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)), 0);
#else
    const auto n = ::send(native(handle_), data, size, MSG_NOSIGNAL);
#endif
    if (n >= 0)
        return n;
    return last_would_block() ? would_block : -1;
}

std::int64_t Socket::receive(char* data, std::size_t size)
{
#ifdef _WIN32
    const int n = ::recv(native(handle_), data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)), 0);
#else
    const auto n = ::recv(native(handle_), data, size, 0);
#endif
    if (n >= 0)
        return n;
    return last_would_block() ? would_block : -1;
}

Socket Socket::accept()
{
    const NativeSocket s = ::accept(native(handle_), nullptr, nullptr);
    Socket result(static_cast<Handle>(s));
    if (!result.valid() || !set_non_blocking(s))
        return Socket();
    return result;
}

void Socket::close_with_reset()
{
    if (!valid())
        return;
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    setsockopt(native(handle_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    close();
}

void Socket::shutdown_send()
{
#ifdef _WIN32
    ::shutdown(native(handle_), SD_SEND);
#else
    ::shutdown(native(handle_), SHUT_WR);
#endif
}

}  // namespace platform
