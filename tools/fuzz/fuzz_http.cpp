// The HTTP client's reply reading (interim replies, status line, headers, and
// the three framings of a body) on arbitrary bytes, handed over in pieces
// whose sizes and pauses the input's first bytes choose.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/http/reply_reader.h"

namespace {

class FuzzSource : public platform::ReplySource {
public:
    FuzzSource(const std::uint8_t* plan, std::size_t plan_size, const std::uint8_t* data, std::size_t size)
        : plan_(plan), plan_size_(plan_size), data_(data), size_(size)
    {}
    std::int64_t receive(char* out, std::size_t room) override
    {
        const std::uint8_t step = next_step();
        // Every eighth step of the plan is a pause before the bytes come.
        if ((step & 7) == 7 && !paused_) {
            paused_ = true;
            return would_block;
        }
        paused_ = false;
        if (pos_ == size_)
            return 0;
        std::size_t n = (step >> 3) == 31 ? size_ - pos_ : std::size_t{1} + (step >> 3) * 37u;
        n = std::min({n, room, size_ - pos_});
        std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return static_cast<std::int64_t>(n);
    }
    int wait_readable(std::chrono::milliseconds) override { return 1; }
    [[nodiscard]] std::size_t delivered() const { return pos_; }

private:
    std::uint8_t next_step()
    {
        if (plan_size_ == 0)
            return 0xF8;
        return plan_[steps_++ % plan_size_];
    }
    const std::uint8_t* plan_;
    std::size_t plan_size_;
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t steps_ = 0;
    bool paused_ = false;
};

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte tells how many plan bytes follow; the rest is the reply.
    const std::size_t plan_size = size == 0 ? 0 : std::min<std::size_t>(data[0] & 15, size - 1);
    const std::uint8_t* plan = data + 1;
    const std::uint8_t* reply = data + 1 + plan_size;
    const std::size_t reply_size = size == 0 ? 0 : size - 1 - plan_size;

    platform::HttpClient client;
    std::int64_t max = -1;
    std::int64_t last = 0;
    std::size_t body = 0;
    client.on_work_begin = [&](platform::WorkMode, std::int64_t count_max) {
        if (count_max < 0)
            fail("a negative expected length");
        max = count_max;
        last = 0;
    };
    client.on_work = [&](platform::WorkMode, std::int64_t count) {
        if (max < 0)
            fail("progress before a begin");
        if (count <= last)
            fail("progress that does not rise");
        if (max > 0 && count > max)
            fail("progress past the announced length");
        last = count;
    };
    FuzzSource source(plan, plan_size, reply, reply_size);
    const auto result = platform::read_reply(client, source, [&](const char*, std::size_t n) {
        body += n;
        return true;
    });
    if (body > reply_size)
        fail("more body than bytes");
    if (source.delivered() > reply_size)
        fail("read past the input");
    if (result.ok() && (result.status < 200 || result.status > 299))
        fail("success without a 2xx status");
    if (result.error == platform::HttpError::timeout)
        fail("a time-out without any waiting");
    return 0;
}
