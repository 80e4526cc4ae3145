// klu-get [--proxy HOST:PORT] [--read-timeout MS] [--events] [--retries N] [--retry-wait MS] URL FILE
// A GET with the installer's HTTP client, the body written into FILE, taken up again after a
// dropped connection as the installer does: at most N further requests in a row that bring the
// file less than 64 KiB further (default 5), the first after MS milliseconds (default 1000),
// each next wait double. With --events, one line a body event on standard output: "begin N",
// "work N", "end"; a resumed body's counts go on from the bytes kept. Exit 0 when the download
// succeeded; otherwise the client's error message, exactly as raised, on standard error and
// exit 1 ("Connection Closed Gracefully." for a body that still ended before its announced
// length in an orderly way). A wrong command line exits 2.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "http/HttpClient.h"
#include "http/ResumingDownload.h"
#include "platform/FileTarget.h"
#include "platform/SocketTransport.h"
#include "platform/Tls.h"

namespace {

int Usage() {
    std::fputs("usage: klu-get [--proxy HOST:PORT] [--read-timeout MS] [--events] [--retries N] [--retry-wait MS]"
               " URL FILE\n",
               stderr);
    return 2;
}

bool ParseNumber(const char* text, int& value) {
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (!*text || *end || number < 0 || number > 2147483647L) return false;
    value = static_cast<int>(number);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string proxyServer;
    int proxyPort = 0;
    int readTimeout = 0;
    bool events = false;
    http::RetrySettings retry;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string option = argv[i];
        if (option == "--events") {
            events = true;
        } else if (option == "--proxy" && i + 1 < argc) {
            const std::string value = argv[++i];
            const std::size_t colon = value.rfind(':');
            if (colon == std::string::npos || colon == 0 || !ParseNumber(value.c_str() + colon + 1, proxyPort)) {
                return Usage();
            }
            proxyServer = value.substr(0, colon);
        } else if (option == "--read-timeout" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], readTimeout)) return Usage();
        } else if (option == "--retries" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], retry.retries)) return Usage();
        } else if (option == "--retry-wait" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], retry.firstWaitMs)) return Usage();
        } else {
            return Usage();
        }
    }
    if (argc - i != 2) return Usage();
    const std::string url = argv[i];
    const std::string file = argv[i + 1];

    try {
        http::HttpClient client(platform::MakeSocketTransport(), platform::MakeTlsEngine);
        client.SetProxy(proxyServer, proxyPort);
        client.SetReadTimeout(readTimeout);
        if (events) {
            client.OnWorkBegin = [](http::WorkMode, std::int64_t count) {
                std::printf("begin %lld\n", static_cast<long long>(count));
            };
            client.OnWork = [](http::WorkMode, std::int64_t count) {
                std::printf("work %lld\n", static_cast<long long>(count));
            };
            client.OnWorkEnd = [](http::WorkMode) { std::printf("end\n"); };
        }
        auto target = platform::CreateFileTarget(file);
        // A body that still ended before its announced length after the last further request
        // is no download: the client raises nothing for an orderly close, so the tool says it.
        if (!http::ResumingDownload(client, retry).Run(url, *target)) throw http::HttpError(http::kClosedGracefully);
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}
