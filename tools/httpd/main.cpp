// httpd: serves a folder on 127.0.0.1, with scripted replies and faults, for
// the demo and the download benchmark. Runs until it is killed.
//
//   httpd [--port N] [--root DIR] [--auth USER:PASSWORD] [--log FILE]
//         [--generate PATH=BYTES] [--fault PATH=KIND[:ARG]] ...
//
// KIND is one of: status:CODE, redirect:LOCATION, cut:BYTES, reset:BYTES,
// stall:BYTES, silent, trickle:MILLISECONDS, chunked:SIZE, close. A fault on a
// path of the folder applies to that file's content. The first line written
// is the server's base URL. With --log, every request, its header block
// included, is appended to FILE soon after it arrived, so that a script can
// see what a client asked for and with which credentials.
#include "tools/httpd/http_server.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <thread>

namespace {

std::uint64_t number(std::string_view text, const char* what)
{
    std::uint64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        throw std::invalid_argument(std::string("bad number for ") + what + ": " + std::string(text));
    return n;
}

void apply_fault(httpd::Reply& r, const std::string& kind, const std::string& arg)
{
    using httpd::Fault;
    if (kind == "status") {
        r.status = static_cast<int>(number(arg, "status"));
    } else if (kind == "redirect") {
        r.status = 302;
        r.headers.emplace_back("Location", arg);
        r.file.clear();
        r.body = "<html><body>Moved</body></html>";
    } else if (kind == "cut" || kind == "reset" || kind == "stall") {
        r.fault = kind == "cut" ? Fault::cut_short : kind == "reset" ? Fault::reset : Fault::stall;
        r.fault_after = number(arg, kind.c_str());
    } else if (kind == "silent") {
        r.fault = Fault::silent;
    } else if (kind == "trickle") {
        r.fault = Fault::trickle;
        r.trickle_delay = std::chrono::milliseconds(number(arg, "trickle"));
        r.trickle_bytes = 1024;
    } else if (kind == "chunked") {
        r.framing = httpd::Framing::chunked;
        r.chunk_size = static_cast<std::size_t>(number(arg, "chunked"));
    } else if (kind == "close") {
        r.framing = httpd::Framing::close;
    } else {
        throw std::invalid_argument("unknown fault: " + kind);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        std::uint16_t port = 0;
        std::string root;
        std::string auth;
        std::string log;
        std::vector<std::pair<std::string, httpd::Reply>> replies;
        for (int i = 1; i < argc; ++i) {
            const std::string option = argv[i];
            if (i + 1 >= argc)
                throw std::invalid_argument("missing value after " + option);
            const std::string value = argv[++i];
            const auto eq = value.find('=');
            if (option == "--port") {
                port = static_cast<std::uint16_t>(number(value, "port"));
            } else if (option == "--root") {
                root = value;
            } else if (option == "--auth") {
                auth = value;
            } else if (option == "--log") {
                log = value;
            } else if ((option == "--generate" || option == "--fault") && eq != std::string::npos) {
                const std::string path = value.substr(0, eq);
                const std::string setting = value.substr(eq + 1);
                httpd::Reply* reply = nullptr;
                for (auto& [p, r] : replies)
                    if (p == path)
                        reply = &r;
                if (!reply) {
                    replies.emplace_back(path, httpd::Reply());
                    reply = &replies.back().second;
                }
                if (option == "--generate") {
                    reply->generated_size = number(setting, "generate");
                } else {
                    const auto colon = setting.find(':');
                    apply_fault(*reply, setting.substr(0, colon),
                                colon == std::string::npos ? std::string() : setting.substr(colon + 1));
                }
            } else {
                throw std::invalid_argument("unknown option: " + option);
            }
        }

        httpd::HttpServer server(port);
        if (!root.empty())
            server.serve_folder(root);
        if (const auto colon = auth.find(':'); colon != std::string::npos)
            server.require_basic_auth(auth.substr(0, colon), auth.substr(colon + 1));
        for (auto& [path, reply] : replies) {
            // A fault on a file of the folder keeps the file's content.
            if (!root.empty() && reply.body.empty() && reply.generated_size == 0)
                reply.file = root + path;
            server.set_reply(path, std::move(reply));
        }
        std::printf("%s\n", server.url("/").c_str());
        std::fflush(stdout);
        if (log.empty())
            for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
        std::size_t logged = 0;
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const auto requests = server.requests();
            if (requests.size() == logged)
                continue;
            // Opened per batch, so the file can be read (or removed) while the server runs.
            std::ofstream out(log, std::ios::binary | std::ios::app);
            for (; logged < requests.size(); ++logged) out << requests[logged];
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "httpd: %s\n", e.what());
        return 2;
    }
}
