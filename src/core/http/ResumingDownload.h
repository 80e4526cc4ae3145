// A download that survives a dropped connection: one GET as usual and, when its body fails
// after the answer's head was taken, further requests that fetch what is missing.
//
// Contract (the installer's download step and klu-get rely on it):
// - Failures that lead to a further request: the body ends before the announced length (an
//   orderly close), a socket error, "Read Timeout", "Connection Closed Gracefully." (a chunked
//   body cut before its end), "Undefined situation", a TLS stream ended without its close. Any
//   other failure (a malformed body, a file that cannot be written) ends the download, and so do
//   the first request's failures before its answer's head (no connection, no answer, a status
//   other than 2xx), as one GET does.
// - Resumed: when the first answer had a Content-Length and a validator (its ETag when strong,
//   else its Last-Modified when it has no ETag at all) and N > 0 bytes are kept, the next GET
//   adds "Range: bytes=N-" and "If-Range: <validator>". Its answer:
//     206: taken only when Content-Range is "bytes N-(L-1)/L", L the first answer's length, its
//          Content-Length is L-N and any ETag it has is the validator sent; the body goes on at
//          N. Any other 206 is a ProtocolError with its status line.
//     other 2xx: a different version or no range support: the target is cut back and the
//          body written from the beginning, once per download; a second time fails.
//     anything else: the client's error for it (a 416 its status line), and no more requests.
// - Not resumed (chunked, no length, no validator): a further request is a whole GET, without
//   Range, the target cut back first.
// - Bounded: at most `retries` further requests in a row that do not bring the file on by
//   `minimumProgress` bytes; a request that does (the file at least that much longer than when
//   the count last started) starts the count and the waits afresh, so that a connection that
//   drops every few megabytes still completes while a trickle does not go on for ever. Before
//   each further request the driver waits firstWaitMs, doubling each time (1, 2, 4, 8, 16 s by
//   default). After the last, the last failure is raised; when that was an
//   orderly close before the announced length, Run returns false instead, as one GET leaves it.
// - Events: the client's work events pass through to the handlers bound on the client, except
//   that a resumed body raises no work begin and its work counts go on from N: the count never
//   goes back except when the body starts again from its beginning (a work begin then comes
//   first). A work end is raised only for a span that is not taken up again.
// - Never a mixed file: bytes of two versions are never kept together (the rules above).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "http/HttpClient.h"
#include "http/HttpErrors.h"

namespace http {

struct RetrySettings {
    int retries = 5;          // further requests in a row without progress
    int firstWaitMs = 1000;   // the wait before the first of them; each next one doubles
    std::int64_t minimumProgress = 65536;  // what a request must add to start the count again
    // How a wait is made; empty: the calling thread sleeps.
    std::function<void(int ms)> wait;
    // Called with the body's length when a 2xx answer's head starts the body from its beginning
    // with a known length (a Content-Length, not chunked), before any of that body is written.
    std::function<void(std::int64_t length)> onWholeLength;
};

// Parses a Content-Range value "bytes FIRST-LAST/COMPLETE" (blanks around allowed); false for
// anything else, a "*" length and numbers above kMaxCount included.
bool ParseContentRange(const std::string& value, std::int64_t& first, std::int64_t& last, std::int64_t& complete);

// Whether a failure of a request is the connection's (worth another request), not the answer's.
bool IsDroppedConnection(const HttpError& error);

class ResumingDownload {
public:
    ResumingDownload(HttpClient& client, RetrySettings settings) : client_(client), settings_(std::move(settings)) {}

    // Downloads `url` into `target` from its current position. True when the body arrived
    // whole; false when the last request ended before the announced length in an orderly way.
    // Raises the last failure otherwise.
    bool Run(const std::string& url, Target& target);

    // Requests sent by the last Run, the first one included.
    int Requests() const { return requests_; }

private:
    HttpClient& client_;
    RetrySettings settings_;
    int requests_ = 0;
};

}  // namespace http
