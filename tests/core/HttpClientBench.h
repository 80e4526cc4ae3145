// The client's test bench: one GET on a fresh client over scripted connections, with its events.
#pragma once

#include <gtest/gtest.h>

#include "core/HttpFake.h"
#include "http/HttpClient.h"

namespace clienttest {

using httptest::FakeTransport;
using httptest::Log;
using httptest::RecordingTarget;
using httptest::Script;
using Pieces = std::vector<std::string>;
using Events = std::vector<std::string>;

inline const std::string kRequestTail =
    "Accept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; KestrumLiveUpdate)\r\n\r\n";

inline std::string Bytes(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + 3);
    return s;
}

struct Result {
    std::string error;  // empty when the request succeeded
    int status = 0;     // the protocol error's status, 0 for other failures
    std::string errorBody;
    RecordingTarget target;
    Events events;
};

// One GET of `url` on a fresh client whose connections play `scripts`.
class Bench {
public:
    explicit Bench(std::deque<Script> scripts) : client(std::make_unique<FakeTransport>(std::move(scripts), log)) {
        client.OnWorkBegin = [this](http::WorkMode, std::int64_t n) { events.push_back("begin " + std::to_string(n)); };
        client.OnWork = [this](http::WorkMode, std::int64_t n) { events.push_back("work " + std::to_string(n)); };
        client.OnWorkEnd = [this](http::WorkMode) { events.push_back("end"); };
    }
    Result Get(const std::string& url) {
        Result r;
        events.clear();
        try {
            client.Get(url, r.target);
        } catch (const http::ProtocolError& e) {
            r.error = e.what();
            r.status = e.Status();
            r.errorBody = e.Body();
        } catch (const http::HttpError& e) {
            r.error = e.what();
        }
        r.events = events;
        return r;
    }
    Log log;
    http::HttpClient client;
    Events events;
};

inline Result GetOnce(const Pieces& pieces, const std::string& url = "http://pkg.example/f.zip") {
    Bench bench({Script{pieces}});
    return bench.Get(url);
}

}  // namespace clienttest
