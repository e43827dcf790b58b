// The HTTP client over Winsock or BSD sockets. The socket is non-blocking so
// that every wait goes through one place that can call the idle handler and
// enforce the idle limit.
#include "platform/http/http_client.h"

#include "platform/http/reply_reader.h"
#include "platform/http/socket.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <utility>
#include <vector>

namespace platform {

std::optional<HttpUrl> parse_http_url(std::string_view url)
{
    constexpr std::string_view scheme = "http://";
    if (url.size() < scheme.size())
        return std::nullopt;
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i])
            return std::nullopt;
    url.remove_prefix(scheme.size());
    if (const auto hash = url.find('#'); hash != std::string_view::npos)
        url = url.substr(0, hash);

    const auto authority_end = url.find_first_of("/?");
    std::string_view authority = url.substr(0, authority_end);
    HttpUrl result;
    const std::string_view target = authority_end == std::string_view::npos ? "" : url.substr(authority_end);
    result.target = target.empty() || target.front() != '/' ? "/" : "";
    result.target += target;

    if (authority.find('@') != std::string_view::npos)
        return std::nullopt;
    if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        authority = authority.substr(0, colon);
        if (!digits.empty()) {
            unsigned port = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
            if (ec != std::errc() || end != digits.data() + digits.size() || port == 0 || port > 65535)
                return std::nullopt;
            result.port = static_cast<std::uint16_t>(port);
        }
    }
    if (authority.empty())
        return std::nullopt;
    for (const char c : authority)
        if (static_cast<unsigned char>(c) <= ' ' || c == '[' || c == ']')
            return std::nullopt;
    result.host = std::string(authority);
    return result;
}

std::string base64_encode(std::string_view data)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t v = static_cast<unsigned char>(data[i]) << 16 |
            static_cast<unsigned char>(data[i + 1]) << 8 | static_cast<unsigned char>(data[i + 2]);
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (const std::size_t rest = data.size() - i; rest > 0) {
        std::uint32_t v = static_cast<unsigned char>(data[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(data[i + 1]) << 8;
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::int32_t capped_work_count(std::int64_t count)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(count, 0, std::numeric_limits<std::int32_t>::max()));
}

HttpClient::HttpClient() = default;

HttpClient::HttpClient(Settings settings) : settings_(std::move(settings)) {}

std::string HttpClient::request_text(const HttpUrl& url) const
{
    std::string r;
    r += "GET " + url.target + " HTTP/1.1\r\n";
    r += "Host: " + url.host + "\r\n";
    r += "Accept: " + settings_.accept + "\r\n";
    if (!settings_.user_agent.empty())
        r += "User-Agent: " + settings_.user_agent + "\r\n";
    r += "Authorization: Basic " + base64_encode(settings_.username + ":" + settings_.password) + "\r\n";
    r += "\r\n";
    return r;
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto idle_interval = std::chrono::milliseconds(100);
// Large reads keep the per-call overhead small on a fast local link.
constexpr std::size_t receive_buffer_size = 256 * 1024;
constexpr std::size_t max_header_bytes = 64 * 1024;
constexpr std::size_t max_line_bytes = 8 * 1024;
// A server that only ever sends interim replies gets no further than this.
constexpr int max_interim_replies = 16;
// The probe's text body is held in memory; anything longer is no page of ours.
constexpr std::size_t max_text_bytes = 1024 * 1024;
// Sizes must fit the signed 64-bit counts of the notifications.
constexpr std::uint64_t max_body_size = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// One reply as it is read from a source: waits, reads through a buffer, and
// notifies.
class ReplyReader {
public:
    ReplyReader(HttpClient& client, ReplySource& source, const HttpClient::Sink& sink)
        : client_(client), source_(source), sink_(sink), buffer_(receive_buffer_size)
    {
        last_idle_ = last_byte_ = Clock::now();
    }

    HttpResult run()
    {
        HttpResult result;
        Head head;
        for (int interims = 0;; ++interims) {
            head = Head();
            result.error = read_head(head);
            if (result.error != HttpError::none)
                return result;
            if (head.status < 100 || head.status >= 200 || head.status == 101)
                break;
            if (interims + 1 >= max_interim_replies) {
                result.error = HttpError::bad_reply;
                return result;
            }
            // Bytes of interim replies are no progress: the idle limit keeps
            // counting from the last byte before them.
            interim_ = true;
        }
        interim_ = false;
        result.status = head.status;

        if (head.has_body) {
            if (head.chunked)
                result.error = read_chunked();
            else if (head.has_length)
                result.error = read_counted(head.content_length);
            else
                result.error = read_until_close();
        }
        if (result.error == HttpError::none && (head.status < 200 || head.status > 299))
            result.error = HttpError::status;
        return result;
    }

private:
    struct Head {
        int status = 0;
        bool has_body = true;
        bool chunked = false;
        bool has_length = false;
        std::uint64_t content_length = 0;
    };

    // Calls the idle handler on schedule and enforces the idle limit, also
    // while bytes keep arriving that are no progress.
    HttpError keep_alive(Clock::time_point& now)
    {
        now = Clock::now();
        if (now - last_idle_ >= idle_interval) {
            if (client_.on_idle)
                client_.on_idle();
            if (client_.cancel_requested && client_.cancel_requested())
                return HttpError::cancelled;
            last_idle_ = now = Clock::now();
        }
        if (now >= last_byte_ + client_.idle_timeout)
            return HttpError::timeout;
        return HttpError::none;
    }

    // Waits until the source can be read, calling the idle handler on
    // schedule.
    HttpError wait()
    {
        for (;;) {
            Clock::time_point now;
            if (const auto e = keep_alive(now); e != HttpError::none)
                return e;
            const auto deadline = last_byte_ + client_.idle_timeout;
            const auto slice = std::min<Clock::duration>(idle_interval - (now - last_idle_), deadline - now);
            const int ready = source_.wait_readable(std::chrono::duration_cast<std::chrono::milliseconds>(slice));
            if (ready < 0)
                return HttpError::receive;
            if (ready > 0)
                return HttpError::none;
        }
    }

    // Makes unread bytes available. none with pos_ < end_ on data, none with
    // pos_ == end_ at the end of the stream.
    HttpError fill()
    {
        if (pos_ < end_ || eof_)
            return HttpError::none;
        pos_ = end_ = 0;
        for (;;) {
            Clock::time_point now;
            if (const auto e = keep_alive(now); e != HttpError::none)
                return e;
            const auto got = source_.receive(buffer_.data(), buffer_.size());
            if (got > 0) {
                end_ = static_cast<std::size_t>(got);
                if (!interim_)
                    last_byte_ = now;
                return HttpError::none;
            }
            if (got == 0) {
                eof_ = true;
                return HttpError::none;
            }
            if (got != ReplySource::would_block)
                return HttpError::receive;
            if (const auto waited = wait(); waited != HttpError::none)
                return waited;
        }
    }

    // A line without its CR LF (a bare LF is accepted too).
    HttpError read_line(std::string& line, std::size_t limit)
    {
        line.clear();
        for (;;) {
            if (const auto e = fill(); e != HttpError::none)
                return e;
            if (pos_ == end_)
                return HttpError::truncated;
            const char* begin = buffer_.data() + pos_;
            const char* limit_end = buffer_.data() + end_;
            const char* stop = std::find(begin, limit_end, '\n');
            line.append(begin, stop);
            pos_ = static_cast<std::size_t>(stop - buffer_.data());
            const bool ended = pos_ < end_;
            if (ended)
                ++pos_;
            if (ended && !line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.size() > limit)
                return HttpError::bad_reply;
            if (ended)
                return HttpError::none;
        }
    }

    HttpError read_head(Head& head)
    {
        std::string line;
        if (const auto e = read_line(line, max_line_bytes); e != HttpError::none)
            return e == HttpError::truncated ? HttpError::bad_reply : e;
        // "HTTP/1.1 200 OK": the version, a blank, three digits.
        if (line.size() < 12 || line.compare(0, 5, "HTTP/") != 0)
            return HttpError::bad_reply;
        const auto blank = line.find(' ');
        if (blank == std::string::npos || line.size() < blank + 4)
            return HttpError::bad_reply;
        int status = 0;
        for (std::size_t i = blank + 1; i < blank + 4; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(line[i])))
                return HttpError::bad_reply;
            status = status * 10 + (line[i] - '0');
        }
        if (line.size() > blank + 4 && line[blank + 4] != ' ')
            return HttpError::bad_reply;
        head.status = status;
        head.has_body = !(status < 200 || status == 204 || status == 304);

        std::size_t total = line.size();
        for (;;) {
            if (const auto e = read_line(line, max_line_bytes); e != HttpError::none)
                return e == HttpError::truncated ? HttpError::bad_reply : e;
            total += line.size() + 2;
            if (total > max_header_bytes)
                return HttpError::bad_reply;
            if (line.empty())
                break;
            const auto colon = line.find(':');
            if (colon == std::string::npos)
                return HttpError::bad_reply;
            const std::string name = lower(trim(std::string_view(line).substr(0, colon)));
            const std::string_view value = trim(std::string_view(line).substr(colon + 1));
            if (name == "transfer-encoding") {
                // Chunked must be the last coding applied, and it is the only
                // one we can undo; a body in any other coding is no use.
                const std::string_view codings = value;
                const auto comma = codings.rfind(',');
                const std::string last =
                    lower(trim(comma == std::string_view::npos ? codings : codings.substr(comma + 1)));
                if (last != "chunked")
                    return HttpError::bad_reply;
                head.chunked = true;
            } else if (name == "content-length") {
                std::uint64_t length = 0;
                const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
                if (value.empty() || ec != std::errc() || end != value.data() + value.size() || length > max_body_size)
                    return HttpError::bad_reply;
                if (head.has_length && head.content_length != length)
                    return HttpError::bad_reply;
                head.has_length = true;
                head.content_length = length;
            }
        }
        return HttpError::none;
    }

    void begin(std::int64_t count_max)
    {
        if (client_.on_work_begin)
            client_.on_work_begin(WorkMode::read, count_max);
    }

    // Hands up to `limit` buffered bytes to the sink and reports progress.
    HttpError deliver(std::uint64_t limit, std::uint64_t& count)
    {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(limit, end_ - pos_));
        if (!sink_(buffer_.data() + pos_, n))
            return HttpError::sink;
        pos_ += n;
        count += n;
        if (client_.on_work)
            client_.on_work(WorkMode::read, static_cast<std::int64_t>(count));
        if (client_.cancel_requested && client_.cancel_requested())
            return HttpError::cancelled;
        return HttpError::none;
    }

    HttpError read_counted(std::uint64_t length)
    {
        begin(static_cast<std::int64_t>(length));
        std::uint64_t count = 0;
        while (count < length) {
            if (const auto e = fill(); e != HttpError::none)
                return e;
            if (pos_ == end_)
                return HttpError::truncated;
            if (const auto e = deliver(length - count, count); e != HttpError::none)
                return e;
        }
        return HttpError::none;
    }

    HttpError read_until_close()
    {
        begin(0);
        std::uint64_t count = 0;
        for (;;) {
            if (const auto e = fill(); e != HttpError::none)
                return e;
            if (pos_ == end_)
                return HttpError::none;
            if (const auto e = deliver(end_ - pos_, count); e != HttpError::none)
                return e;
        }
    }

    HttpError read_chunked()
    {
        std::string line;
        for (;;) {
            if (const auto e = read_line(line, max_line_bytes); e != HttpError::none)
                return e;
            const std::string_view digits = trim(std::string_view(line).substr(0, line.find(';')));
            std::uint64_t size = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), size, 16);
            if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || size > max_body_size)
                return HttpError::bad_reply;
            if (size == 0)
                break;
            if (const auto e = read_counted(size); e != HttpError::none)
                return e;
            if (const auto e = read_line(line, max_line_bytes); e != HttpError::none)
                return e;
            if (!line.empty())
                return HttpError::bad_reply;
        }
        // Trailer fields, ignored, up to the empty line.
        std::size_t total = 0;
        do {
            if (const auto e = read_line(line, max_line_bytes); e != HttpError::none)
                return e;
            total += line.size() + 2;
            if (total > max_header_bytes)
                return HttpError::bad_reply;
        } while (!line.empty());
        return HttpError::none;
    }

    HttpClient& client_;
    ReplySource& source_;
    const HttpClient::Sink& sink_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    Clock::time_point last_idle_;
    Clock::time_point last_byte_;
    bool interim_ = false;
};

class SocketSource : public ReplySource {
public:
    explicit SocketSource(Socket& socket) : socket_(socket) {}
    std::int64_t receive(char* data, std::size_t size) override
    {
        const auto got = socket_.receive(data, size);
        return got == Socket::would_block ? would_block : got;
    }
    int wait_readable(std::chrono::milliseconds timeout) override { return socket_.wait(false, timeout); }

private:
    Socket& socket_;
};

// One request's connection: connects, sends the request, and hands the
// socket to the reply reader.
class Exchange {
public:
    Exchange(HttpClient& client, const HttpClient::Sink& sink) : client_(client), sink_(sink)
    {
        last_idle_ = last_byte_ = Clock::now();
    }

    HttpResult run(const HttpUrl& url)
    {
        HttpResult result;
        result.error = connect(url);
        if (result.error != HttpError::none)
            return result;
        result.error = send_all(client_.request_text(url));
        if (result.error != HttpError::none)
            return result;
        SocketSource source(socket_);
        return read_reply(client_, source, sink_);
    }

private:
    // Waits until the socket can be written, calling the idle handler on
    // schedule; by default the idle limit counts from the last progress.
    HttpError wait_writable(std::optional<Clock::time_point> until = std::nullopt)
    {
        for (;;) {
            auto now = Clock::now();
            if (now - last_idle_ >= idle_interval) {
                if (client_.on_idle)
                    client_.on_idle();
                if (client_.cancel_requested && client_.cancel_requested())
                    return HttpError::cancelled;
                last_idle_ = now = Clock::now();
            }
            const auto deadline = until ? *until : last_byte_ + client_.idle_timeout;
            if (now >= deadline)
                return HttpError::timeout;
            const auto slice = std::min<Clock::duration>(idle_interval - (now - last_idle_), deadline - now);
            const int ready = socket_.wait(true, std::chrono::duration_cast<std::chrono::milliseconds>(slice));
            if (ready < 0)
                return HttpError::send;
            if (ready > 0)
                return HttpError::none;
        }
    }

    HttpError connect(const HttpUrl& url)
    {
        auto addresses = client_.resolve_host ? client_.resolve_host(url.host, url.port) : resolve(url.host, url.port);
        if (addresses.empty())
            return HttpError::lookup;
        const auto end = last_byte_ + client_.idle_timeout;
        bool timed_out = false;
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            socket_ = Socket::open(addresses[i]);
            if (!socket_.valid())
                continue;
            const int started = socket_.start_connect(addresses[i]);
            if (started < 0)
                continue;
            if (started > 0) {
                // An address that does not answer gets its share of the time
                // left, so that the ones after it are still tried.
                const auto now = Clock::now();
                const auto share = (end - now) / static_cast<int>(addresses.size() - i);
                const auto waited = wait_writable(now + share);
                if (waited == HttpError::cancelled)
                    return waited;
                if (waited == HttpError::timeout)
                    timed_out = true;
                if (waited != HttpError::none || socket_.connect_error() != 0)
                    continue;
            }
            last_byte_ = Clock::now();
            return HttpError::none;
        }
        socket_ = Socket();
        return timed_out ? HttpError::timeout : HttpError::connect;
    }

    HttpError send_all(std::string_view data)
    {
        while (!data.empty()) {
            const auto sent = socket_.send(data.data(), data.size());
            if (sent > 0) {
                data.remove_prefix(static_cast<std::size_t>(sent));
                continue;
            }
            if (sent < 0 && sent != Socket::would_block)
                return HttpError::send;
            if (const auto waited = wait_writable(); waited != HttpError::none)
                return waited;
        }
        return HttpError::none;
    }

    HttpClient& client_;
    const HttpClient::Sink& sink_;
    Socket socket_;
    Clock::time_point last_idle_;
    Clock::time_point last_byte_;
};

}  // namespace

HttpResult read_reply(HttpClient& client, ReplySource& source, const HttpClient::Sink& sink)
{
    ReplyReader reader(client, source, sink);
    return reader.run();
}

HttpResult HttpClient::get(const std::string& url, const Sink& sink)
{
    const auto parsed = parse_http_url(url);
    if (!parsed)
        return HttpResult{HttpError::bad_url, 0};
    Exchange exchange(*this, sink);
    return exchange.run(*parsed);
}

HttpResult HttpClient::get_text(const std::string& url, std::string& body)
{
    body.clear();
    return get(url, [&body](const char* data, std::size_t size) {
        if (size > max_text_bytes - body.size())
            return false;
        body.append(data, size);
        return true;
    });
}

}  // namespace platform
