// The test server. One request per connection: the reply always ends with the
// connection, which keeps the framing cases and the faults simple to stage.
#include "tools/httpd/http_server.h"

#include "platform/http/http_client.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <stdexcept>

namespace httpd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto poll_slice = 20ms;
// A client that sends half a request and then nothing is given up on.
constexpr auto request_patience = 10s;
constexpr std::size_t max_request_bytes = 64 * 1024;
constexpr std::size_t send_block = 256 * 1024;

std::string reason_for(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

std::string hex(std::uint64_t n)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[n & 15]);
        n >>= 4;
    } while (n);
    return out;
}

// The header value of a name in a raw request, or empty.
std::string header_value(const std::string& request, std::string_view name)
{
    std::size_t line = request.find("\r\n");
    while (line != std::string::npos && line + 2 < request.size()) {
        const std::size_t start = line + 2;
        const std::size_t end = request.find("\r\n", start);
        if (end == std::string::npos || end == start)
            break;
        const std::string_view l(request.data() + start, end - start);
        const auto colon = l.find(':');
        if (colon == name.size() && std::equal(name.begin(), name.end(), l.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            })) {
            std::string_view v = l.substr(colon + 1);
            while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
            return std::string(v);
        }
        line = end;
    }
    return {};
}

// Where the body bytes come from: a text, a generated pattern, or a file.
class BodySource {
public:
    explicit BodySource(const Reply& reply) : reply_(reply)
    {
        if (!reply.body.empty() || (reply.generated_size == 0 && reply.file.empty())) {
            size_ = reply.body.size();
        } else if (reply.generated_size > 0) {
            size_ = reply.generated_size;
            // A pattern block whose length is a multiple of the pattern period,
            // so that blocks can be sent back to back.
            block_ = generated_body(send_block);
        } else {
            file_.open(reply.file, std::ios::binary);
            file_.seekg(0, std::ios::end);
            size_ = file_ ? static_cast<std::uint64_t>(file_.tellg()) : 0;
            file_.seekg(0);
        }
    }

    [[nodiscard]] std::uint64_t size() const { return size_; }
    [[nodiscard]] std::uint64_t remaining() const { return size_ - offset_; }

    // The next bytes, at most `limit`; empty at the end.
    std::string_view next(std::size_t limit)
    {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(limit, size_ - offset_));
        if (n == 0)
            return {};
        std::string_view out;
        if (!reply_.body.empty()) {
            out = std::string_view(reply_.body).substr(static_cast<std::size_t>(offset_), n);
        } else if (!block_.empty()) {
            const std::size_t at = static_cast<std::size_t>(offset_ % block_.size());
            out = std::string_view(block_).substr(at, std::min(n, block_.size() - at));
        } else {
            buffer_.resize(n);
            file_.read(buffer_.data(), static_cast<std::streamsize>(n));
            out = std::string_view(buffer_.data(), static_cast<std::size_t>(file_.gcount()));
        }
        offset_ += out.size();
        return out;
    }

private:
    const Reply& reply_;
    std::uint64_t size_ = 0;
    std::uint64_t offset_ = 0;
    std::string block_;
    std::ifstream file_;
    std::string buffer_;
};

}  // namespace

Reply Reply::text(int status, std::string body)
{
    Reply r;
    r.status = status;
    r.headers.emplace_back("Content-Type", "text/html");
    r.body = std::move(body);
    return r;
}

Reply Reply::redirect(int status, std::string location)
{
    Reply r = text(status, "<html><body>Moved</body></html>");
    r.headers.emplace_back("Location", std::move(location));
    return r;
}

char generated_byte(std::uint64_t index)
{
    // The period, 65536 bytes, divides the send block, so the server can send
    // one pre-built block over and over.
    return static_cast<char>((index * 7 + (index >> 8) * 13) & 0xFF);
}

std::string generated_body(std::size_t size)
{
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) out[i] = generated_byte(i);
    return out;
}

HttpServer::HttpServer(std::uint16_t port)
    : listener_(std::make_unique<platform::Socket>(platform::Socket::listen_loopback(port)))
{
    if (!listener_->valid())
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = listener_->local_port();
    acceptor_ = std::thread([this] { accept_loop(); });
}

HttpServer::~HttpServer() { stop(); }

std::string HttpServer::url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void HttpServer::set_reply(const std::string& target, Reply reply)
{
    const std::lock_guard lock(mutex_);
    replies_[target] = std::move(reply);
}

void HttpServer::serve_folder(std::string folder)
{
    const std::lock_guard lock(mutex_);
    folder_ = std::move(folder);
}

void HttpServer::require_basic_auth(const std::string& user, const std::string& password)
{
    const std::lock_guard lock(mutex_);
    expected_authorization_ = "Basic " + platform::base64_encode(user + ":" + password);
}

std::vector<std::string> HttpServer::requests() const
{
    const std::lock_guard lock(mutex_);
    return requests_;
}

void HttpServer::stop()
{
    if (stopping_.exchange(true))
        return;
    if (acceptor_.joinable())
        acceptor_.join();
    reap_workers(true);
    listener_->close();
}

void HttpServer::reap_workers(bool all)
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || *it->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void HttpServer::accept_loop()
{
    while (!stopping_) {
        if (listener_->wait(false, poll_slice) <= 0)
            continue;
        auto socket = std::make_shared<platform::Socket>(listener_->accept());
        if (!socket->valid())
            continue;
        reap_workers(false);
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back(Worker{std::thread([this, socket, done] {
                                      serve(*socket);
                                      socket->close();
                                      ++finished_;
                                      *done = true;
                                  }),
                                  done});
    }
}

Reply HttpServer::choose_reply(const std::string& request)
{
    const std::lock_guard lock(mutex_);
    if (!expected_authorization_.empty() && header_value(request, "Authorization") != expected_authorization_) {
        Reply r = Reply::text(401, "<html><body>Unauthorized</body></html>");
        r.headers.emplace_back("WWW-Authenticate", "Basic realm=\"imu\"");
        return r;
    }
    // "GET <target> HTTP/1.1"
    const std::size_t start = request.find(' ');
    const std::size_t end = request.find(' ', start + 1);
    if (start == std::string::npos || end == std::string::npos || request.compare(0, start, "GET") != 0)
        return Reply::text(400, "<html><body>Bad request</body></html>");
    const std::string target = request.substr(start + 1, end - start - 1);
    if (const auto it = replies_.find(target); it != replies_.end())
        return it->second;
    const std::string path = target.substr(0, target.find('?'));
    if (const auto it = replies_.find(path); it != replies_.end())
        return it->second;
    if (!folder_.empty() && path.find("..") == std::string::npos && !path.empty() && path[0] == '/') {
        // A folder's front page is its index.html, as with any web server.
        const bool front = path == "/";
        Reply r;
        r.file = folder_ + (front ? "/index.html" : path);
        r.headers.emplace_back("Content-Type", front ? "text/html" : "application/octet-stream");
        if (std::ifstream(r.file, std::ios::binary))
            return r;
    }
    return Reply::text(404, "<html><body>Not found</body></html>");
}

void HttpServer::serve(platform::Socket& socket)
{
    // The request: everything up to the empty line.
    std::string request;
    auto last = Clock::now();
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        if (stopping_ || request.size() > max_request_bytes || Clock::now() - last > request_patience)
            return;
        const auto got = socket.receive(buffer, sizeof buffer);
        if (got == 0 || got == -1)
            return;
        if (got == platform::Socket::would_block) {
            (void)socket.wait(false, poll_slice);
            continue;
        }
        request.append(buffer, static_cast<std::size_t>(got));
        last = Clock::now();
    }
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    const Reply reply = choose_reply(request);

    // Sends everything or gives up; false when the client went away.
    const auto send_all = [&](std::string_view data) {
        while (!data.empty()) {
            if (stopping_)
                return false;
            const auto sent = socket.send(data.data(), data.size());
            if (sent == -1)
                return false;
            if (sent == platform::Socket::would_block) {
                (void)socket.wait(true, poll_slice);
                continue;
            }
            data.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    };
    // Holds the connection open, silent, until the client or the server ends it.
    const auto stay_silent = [&] {
        while (!stopping_) {
            if (socket.wait(false, poll_slice) != 0) {
                const auto got = socket.receive(buffer, sizeof buffer);
                if (got == 0 || got == -1)
                    return;
            }
        }
    };

    if (reply.fault == Fault::silent) {
        stay_silent();
        return;
    }

    BodySource body(reply);
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
        (reply.reason.empty() ? reason_for(reply.status) : reply.reason) + "\r\n";
    for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
    if (reply.framing == Framing::content_length)
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (reply.framing == Framing::chunked)
        head += "Transfer-Encoding: chunked\r\n";
    head += "Connection: close\r\n\r\n";
    if (!send_all(head))
        return;

    const bool faulty = reply.fault == Fault::cut_short || reply.fault == Fault::reset || reply.fault == Fault::stall;
    std::uint64_t sent = 0;
    const auto stop_here = [&] { return faulty && sent >= reply.fault_after; };
    const std::size_t piece = reply.fault == Fault::trickle ? std::max<std::size_t>(reply.trickle_bytes, 1)
        : reply.framing == Framing::chunked                 ? std::max<std::size_t>(reply.chunk_size, 1)
                                                            : send_block;
    while (!stop_here() && body.remaining() > 0) {
        std::uint64_t limit = piece;
        if (faulty)
            limit = std::min<std::uint64_t>(limit, reply.fault_after - sent);
        limit = std::min(limit, body.remaining());
        if (reply.framing == Framing::chunked && !send_all(hex(limit) + "\r\n"))
            return;
        for (std::uint64_t left = limit; left > 0;) {
            const std::string_view data =
                body.next(static_cast<std::size_t>(std::min<std::uint64_t>(left, send_block)));
            if (data.empty() || !send_all(data))
                return;
            left -= data.size();
            sent += data.size();
        }
        if (reply.framing == Framing::chunked && !send_all("\r\n"))
            return;
        if (reply.fault == Fault::trickle)
            std::this_thread::sleep_for(reply.trickle_delay);
    }
    if (stop_here()) {
        if (reply.fault == Fault::reset) {
            socket.close_with_reset();
        } else if (reply.fault == Fault::stall) {
            stay_silent();
        }
        return;
    }
    if (reply.framing == Framing::chunked && !send_all("0\r\n\r\n"))
        return;
    // An orderly end; the client may still be reading what was sent.
    socket.shutdown_send();
    const auto until = Clock::now() + 2s;
    while (!stopping_ && Clock::now() < until) {
        if (socket.wait(false, poll_slice) != 0) {
            const auto got = socket.receive(buffer, sizeof buffer);
            if (got == 0 || got == -1)
                return;
        }
    }
}

}  // namespace httpd
