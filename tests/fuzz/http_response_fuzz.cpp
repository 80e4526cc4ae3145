// Fuzzes the HTTP client's response reader: the input is played as the server's answer (cut
// into pieces whose size the first byte chooses) to two GETs on one client. Whatever comes, the
// client must end with a body or an HttpError, and its events must stay within what the span
// announced.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/HttpFake.h"
#include "http/HttpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t pieceSize = 1 + data[0] % 97;
    const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
    httptest::Script script;
    for (std::size_t at = 0; at < stream.size(); at += pieceSize) script.pieces.push_back(stream.substr(at, pieceSize));

    httptest::Log log;
    http::HttpClient client(std::make_unique<httptest::FakeTransport>(std::deque<httptest::Script>{script, script}, log));
    if (data[0] & 0x80) client.SetProxy("127.0.0.1", 3128);
    std::int64_t announced = 0;
    std::int64_t last = 0;
    client.OnWorkBegin = [&](http::WorkMode, std::int64_t n) {
        if (n < 0 || n > http::kMaxCount) std::abort();
        announced = n;
        last = 0;
    };
    client.OnWork = [&](http::WorkMode, std::int64_t n) {
        if (n <= last || (announced > 0 && n > announced)) std::abort();
        last = n;
    };
    for (int request = 0; request < 2; ++request) {
        httptest::RecordingTarget target;
        try {
            client.Get("http://pkg.example/f.zip", target);
        } catch (const http::HttpError&) {
        }
        // The target never keeps the announced extension beyond what was written.
        if (target.Size() != static_cast<std::int64_t>(target.bytes.size())) std::abort();
    }
    return 0;
}
