// Reading replies from a stand-in for the connection: hostile and broken
// servers, byte for byte, in pieces of the test's choosing.
#include "platform/http/reply_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::HttpClient;
using platform::HttpError;
using platform::ReplySource;

// Hands out its bytes piece by piece, each piece after a wait that is always
// ready; then the end of the stream.
class ScriptedSource : public ReplySource {
public:
    explicit ScriptedSource(std::string bytes, std::size_t piece = 1 << 20) : bytes_(std::move(bytes)), piece_(piece) {}
    std::int64_t receive(char* data, std::size_t size) override
    {
        if (blocked_) {
            blocked_ = false;
            return would_block;
        }
        blocked_ = true;
        const std::size_t n = std::min({size, piece_, bytes_.size() - pos_});
        bytes_.copy(data, n, pos_);
        pos_ += n;
        return static_cast<std::int64_t>(n);
    }
    int wait_readable(std::chrono::milliseconds) override { return 1; }

private:
    std::string bytes_;
    std::size_t piece_;
    std::size_t pos_ = 0;
    bool blocked_ = false;
};

struct Reading {
    HttpClient client;
    std::string body;
    std::vector<std::int64_t> begins;
    platform::HttpResult result;

    Reading()
    {
        client.on_work_begin = [this](platform::WorkMode, std::int64_t max) { begins.push_back(max); };
    }

    HttpError read(ReplySource& source)
    {
        body.clear();
        begins.clear();
        result = platform::read_reply(client, source, [this](const char* data, std::size_t size) {
            body.append(data, size);
            return true;
        });
        return result.error;
    }
    HttpError read(const std::string& bytes, std::size_t piece = 1 << 20)
    {
        ScriptedSource source(bytes, piece);
        return read(source);
    }
};

std::string interim(int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += i % 2 ? "HTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n" : "HTTP/1.1 100 Continue\r\n\r\n";
    return out;
}

const std::string final_ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

TEST(HttpReply, AtMostFifteenInterimRepliesArePassedOver)
{
    Reading r;
    EXPECT_EQ(r.read(interim(15) + final_ok), HttpError::none);
    EXPECT_EQ(r.body, "ok");
    EXPECT_EQ(r.read(interim(16) + final_ok, 7), HttpError::bad_reply);
    EXPECT_TRUE(r.begins.empty());
    EXPECT_EQ(r.read(interim(1000) + final_ok), HttpError::bad_reply);
}

// Interim replies dripping in for ever: one byte every 10 ms.
class DrippingInterims : public ReplySource {
public:
    std::int64_t receive(char* data, std::size_t) override
    {
        if (!ready_)
            return would_block;
        ready_ = false;
        if (Clock::now() - start_ > 5s)
            return 0;  // keeps a broken client from hanging the test
        *data = text_[pos_++ % text_.size()];
        return 1;
    }
    int wait_readable(std::chrono::milliseconds timeout) override
    {
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(timeout, 10ms));
        ready_ = timeout >= 10ms;
        return ready_ ? 1 : 0;
    }

private:
    using Clock = std::chrono::steady_clock;
    const std::string text_ = "HTTP/1.1 102 Processing\r\n\r\n";
    Clock::time_point start_ = Clock::now();
    std::size_t pos_ = 0;
    bool ready_ = false;
};

TEST(HttpReply, InterimRepliesCountAgainstTheIdleLimitAndKeepTheWindowAlive)
{
    Reading r;
    r.client.idle_timeout = 400ms;
    int idles = 0;
    r.client.on_idle = [&] { ++idles; };
    DrippingInterims source;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(r.read(source), HttpError::timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_GE(idles, 2);
}

TEST(HttpReply, LengthsFrom2To63AreMalformedAndLargeOnesReachTheBeginUncut)
{
    Reading r;
    EXPECT_EQ(r.read("HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\nabc"), HttpError::bad_reply);
    EXPECT_EQ(r.read("HTTP/1.1 200 OK\r\nContent-Length: 18446744073709551615\r\n\r\nabc"), HttpError::bad_reply);
    EXPECT_EQ(r.read("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\nabc"),
              HttpError::bad_reply);
    EXPECT_EQ(r.read("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFF\r\nabc"),
              HttpError::bad_reply);
    EXPECT_TRUE(r.begins.empty());

    EXPECT_EQ(r.read("HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\nabc"), HttpError::truncated);
    EXPECT_EQ(r.begins, std::vector<std::int64_t>{std::numeric_limits<std::int64_t>::max()});
    EXPECT_EQ(r.read("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000005\r\nabc"), HttpError::truncated);
    EXPECT_EQ(r.begins, std::vector<std::int64_t>{0x80000005LL});

    // The 32-bit notifications of the installer take sizes from 2^31 up as the top of the range.
    EXPECT_EQ(platform::capped_work_count(0x80000005LL), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(platform::capped_work_count(std::numeric_limits<std::int64_t>::max()),
              std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(platform::capped_work_count(0x7FFFFFFFLL), 0x7FFFFFFF);
    EXPECT_EQ(platform::capped_work_count(12345), 12345);
    EXPECT_EQ(platform::capped_work_count(-1), 0);
}

TEST(HttpReply, EveryStatusHeaderAndChunkLineIsHeldTo8KiBAndTheHeadTo64KiB)
{
    Reading r;
    const std::string long_value(8200, 'v');
    const std::string ok_value(8000, 'v');
    for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{1000}}) {
        SCOPED_TRACE(piece);
        EXPECT_EQ(r.read("HTTP/1.1 200 OK\r\nX-Long: " + long_value + "\r\nContent-Length: 0\r\n\r\n", piece),
                  HttpError::bad_reply);
        EXPECT_EQ(r.read("HTTP/1.1 200 " + long_value + "\r\nContent-Length: 0\r\n\r\n", piece), HttpError::bad_reply);
        EXPECT_EQ(r.read("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2;" + long_value + "\r\nok\r\n0\r\n\r\n",
                         piece),
                  HttpError::bad_reply);
        EXPECT_EQ(r.read("HTTP/1.1 200 OK\r\nX-Fine: " + ok_value + "\r\nContent-Length: 2\r\n\r\nok", piece),
                  HttpError::none);

        std::string many = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; i < 70; ++i) many += "X-" + std::to_string(i) + ": " + std::string(1000, 'h') + "\r\n";
        EXPECT_EQ(r.read(many + "Content-Length: 2\r\n\r\nok", piece), HttpError::bad_reply);
        std::string fewer = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; i < 60; ++i) fewer += "X-" + std::to_string(i) + ": " + std::string(1000, 'h') + "\r\n";
        EXPECT_EQ(r.read(fewer + "Content-Length: 2\r\n\r\nok", piece), HttpError::none);
    }
}

TEST(HttpReply, OnlyAFinalCodingOfExactlyChunkedIsChunked)
{
    Reading r;
    const std::string chunks = "\r\n\r\n2\r\nok\r\n0\r\n\r\n";
    for (const char* coding : {"chunked", "CHUNKED", "gzip, chunked", "gzip,Chunked "}) {
        EXPECT_EQ(r.read(std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: ") + coding + chunks), HttpError::none)
            << coding;
        EXPECT_EQ(r.body, "ok") << coding;
    }
    for (const char* coding : {"gzip", "notchunked", "chunked, gzip", "identity", "x-chunked", ""}) {
        EXPECT_EQ(
            r.read(std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: ") + coding + "\r\nContent-Length: 2" + chunks),
            HttpError::bad_reply)
            << coding;
        EXPECT_TRUE(r.begins.empty()) << coding;
    }
}

}  // namespace
