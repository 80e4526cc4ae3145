#include "http/ResumingDownload.h"

#include <chrono>
#include <climits>
#include <cstring>
#include <exception>
#include <thread>

#include "Decimal.h"
#include "http/HttpErrors.h"

namespace http {

namespace {

// A second answer that starts the file again from its beginning.
const char* const kRestartedTwice = "The server sent the whole file again after a restart.";

// The run of decimal digits at `at`, at most kMaxCount, through the one decimal reader.
bool ReadNumber(const std::string& text, std::size_t& at, std::int64_t& value) {
    std::size_t end = at;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    std::uint64_t number = 0;
    if (ParseDecimal(text.data() + at, text.data() + end, kMaxCount, number) != DecimalResult::Ok) return false;
    value = static_cast<std::int64_t>(number);
    at = end;
    return true;
}

// A validator goes back into a request line: only visible characters and blanks (RFC 9110 8.8.3).
bool Sendable(const std::string& value) {
    if (value.empty()) return false;
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

// What the answer that began the body from its start said about the file.
struct Version {
    std::int64_t length = -1;  // the Content-Length of a body not chunked; -1 when none
    std::string field;         // the validator's field: "ETag" or "Last-Modified"; empty: none
    std::string validator;     // its value, sent in If-Range
};

Version VersionOf(int status, const Headers& fields) {
    Version version;
    if (status == 204) {  // no body at all
        version.length = 0;
        return version;
    }
    std::int64_t length = 0;
    if (!IsChunked(fields) && ContentLength(fields, length) == LengthStatus::Valid) version.length = length;
    // A weak tag cannot validate a range, and a date may only stand in when there is no tag at
    // all (RFC 9110 13.1.5).
    if (const std::string* tag = FindHeader(fields, "ETag")) {
        if (tag->size() >= 2 && (*tag)[0] == '"' && tag->back() == '"' && Sendable(*tag)) {
            version.field = "ETag";
            version.validator = *tag;
        }
    } else if (const std::string* date = FindHeader(fields, "Last-Modified")) {
        if (Sendable(*date)) {
            version.field = "Last-Modified";
            version.validator = *date;
        }
    }
    return version;
}

// Whether a 206 continues `version` exactly at `kept`.
bool ContinuesAt(const Headers& fields, const Version& version, std::int64_t kept) {
    const std::string* range = FindHeader(fields, "Content-Range");
    std::int64_t first = 0, last = 0, complete = 0, length = 0;
    if (range == nullptr || !ParseContentRange(*range, first, last, complete)) return false;
    if (first != kept || complete != version.length || last != complete - 1) return false;
    if (IsChunked(fields) || ContentLength(fields, length) != LengthStatus::Valid || length != complete - kept) {
        return false;
    }
    const std::string* same = FindHeader(fields, version.field);
    return same == nullptr || *same == version.validator;
}

// The client's work handlers for the time of one download, with a resumed body's counts moved
// on and the end of a span held until it is known not to be taken up again.
class EventRelay {
public:
    explicit EventRelay(HttpClient& client) : client_(client) {
        std::function<void(WorkMode, std::int64_t)> begin = [this](WorkMode mode, std::int64_t count) {
            if (offset_ > 0) return;  // the span goes on
            Flush();
            if (begin_) begin_(mode, count);
        };
        std::function<void(WorkMode, std::int64_t)> work = [this](WorkMode mode, std::int64_t count) {
            if (work_) work_(mode, offset_ + count);
        };
        std::function<void(WorkMode)> end = [this](WorkMode mode) {
            held_ = true;
            mode_ = mode;
        };
        // From here nothing can fail (swaps do not allocate): the client's handlers and the
        // relay's change places, and change back in the destructor.
        begin_.swap(client_.OnWorkBegin);
        work_.swap(client_.OnWork);
        end_.swap(client_.OnWorkEnd);
        client_.OnWorkBegin.swap(begin);
        client_.OnWork.swap(work);
        client_.OnWorkEnd.swap(end);
    }
    ~EventRelay() {
        client_.OnWorkBegin.swap(begin_);
        client_.OnWork.swap(work_);
        client_.OnWorkEnd.swap(end_);
    }
    EventRelay(const EventRelay&) = delete;
    EventRelay& operator=(const EventRelay&) = delete;

    // The next body goes on at `offset` (0: it starts from the beginning).
    void ContinueAt(std::int64_t offset) { offset_ = offset; }
    void Flush() {
        if (held_ && end_) end_(mode_);
        held_ = false;
    }
    void Drop() { held_ = false; }

private:
    HttpClient& client_;
    std::function<void(WorkMode, std::int64_t)> begin_, work_;
    std::function<void(WorkMode)> end_;
    std::int64_t offset_ = 0;
    bool held_ = false;
    WorkMode mode_ = WorkMode::Read;
};

}  // namespace

bool ParseContentRange(const std::string& value, std::int64_t& first, std::int64_t& last, std::int64_t& complete) {
    const std::string text = Trim(value);
    if (text.compare(0, 6, "bytes ") != 0) return false;
    std::size_t at = 6;
    while (at < text.size() && text[at] == ' ') ++at;
    if (!ReadNumber(text, at, first) || at >= text.size() || text[at++] != '-') return false;
    if (!ReadNumber(text, at, last) || at >= text.size() || text[at++] != '/') return false;
    if (!ReadNumber(text, at, complete) || at != text.size()) return false;
    return first <= last && last < complete;
}

bool IsDroppedConnection(const HttpError& error) {
    if (dynamic_cast<const SocketError*>(&error) != nullptr) return true;
    const char* text = error.what();
    for (const char* dropped : {kReadTimeout, kConnectTimedOut, kClosedGracefully, kUndefinedSituation}) {
        if (std::strcmp(text, dropped) == 0) return true;
    }
    return std::strncmp(text, kTlsClosedEarly, std::strlen(kTlsClosedEarly)) == 0;
}

bool ResumingDownload::Run(const std::string& url, Target& target) {
    requests_ = 0;
    const std::int64_t base = target.Position();
    EventRelay relay(client_);
    Version version;
    bool restarted = false;  // a 200 answered a range request once already
    std::int64_t mark = 0;   // the bytes kept when the count of failures last started
    int failures = 0;        // further requests since then
    const int firstWait = settings_.firstWaitMs > 0 ? settings_.firstWaitMs : 0;
    int wait = firstWait;
    while (true) {
        const std::int64_t kept = target.Position() - base;
        const bool resume = kept > 0 && version.length > 0 && !version.field.empty();
        GetExtras extras;
        if (resume) {
            extras.fields = "Range: bytes=" + std::to_string(kept) + "-\r\nIf-Range: " + version.validator + "\r\n";
            extras.rangeAsked = true;
            relay.ContinueAt(kept);
        } else {
            if (kept != 0) target.CutTo(base);
            relay.ContinueAt(0);
        }
        bool answered = false;
        extras.onHead = [&](int status, const std::string& statusLine, const Headers& fields) {
            answered = true;
            if (resume && status == 206) {
                if (!ContinuesAt(fields, version, kept)) throw ProtocolError(status, statusLine, std::string());
                return;
            }
            if (resume) {
                // Another version, or a server without ranges: the whole file from its start.
                if (restarted) throw HttpError(kRestartedTwice);
                restarted = true;
                target.CutTo(base);
                relay.ContinueAt(0);
                mark = 0;
            }
            version = VersionOf(status, fields);
            if (status >= 200 && status < 300 && version.length > 0 && settings_.onWholeLength) {
                settings_.onWholeLength(version.length);
            }
        };

        ++requests_;
        std::exception_ptr failure;
        try {
            client_.Get(url, target, extras);
            if (version.length < 0 || target.Position() - base >= version.length) {
                relay.Flush();
                return true;
            }
        } catch (const ProtocolError&) {
            throw;  // an answer, not a dropped connection
        } catch (const HttpError& error) {
            // Before the first answer's head, a failure is the download's own, as for one GET.
            if (!IsDroppedConnection(error) || (requests_ == 1 && !answered)) throw;
            failure = std::current_exception();
        }

        const std::int64_t now = target.Position() - base;
        const std::int64_t step = settings_.minimumProgress > 0 ? settings_.minimumProgress : 1;
        if (now - mark >= step) {  // the file moved on: a new run of failures begins
            mark = now;
            failures = 0;
            wait = firstWait;
        }
        if (failures >= settings_.retries) {
            if (failure) std::rethrow_exception(failure);
            relay.Flush();
            return false;  // ended before its length in an orderly way, as one GET leaves it
        }
        relay.Drop();
        ++failures;
        if (settings_.wait) {
            settings_.wait(wait);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        }
        wait = wait > INT_MAX / 2 ? INT_MAX : wait * 2;
    }
}

}  // namespace http
