// The resuming download over scripted connections: one connection a request, each playing its
// script; the waits between requests are recorded instead of slept.
#include "core/HttpClientBench.h"
#include "http/HttpErrors.h"
#include "http/ResumingDownload.h"

namespace {

using namespace clienttest;

const std::string kBody = Bytes(1000);
const std::string kOther = std::string(1000, 'n');  // the second version of the file

std::string Head(const std::string& status, const std::string& fields) {
    return "HTTP/1.1 " + status + "\r\n" + fields + "\r\n";
}
std::string Whole(const std::string& fields) { return Head("200 OK", "Content-Length: 1000\r\n" + fields); }
// A 206 that continues kBody exactly at `from`.
std::string Part(std::int64_t from, const std::string& fields = "ETag: \"v1\"\r\n") {
    return Head("206 Partial Content", "Content-Range: bytes " + std::to_string(from) + "-999/1000\r\nContent-Length: " +
                                           std::to_string(1000 - from) + "\r\n" + fields);
}
std::string Range(std::int64_t from, const std::string& validator) {
    return "Range: bytes=" + std::to_string(from) + "-\r\nIf-Range: " + validator + "\r\n\r\n";
}

struct Outcome {
    bool complete = false;
    std::string error;
    int status = 0;
    int requests = 0;
    std::vector<int> waits;
    Events events;
    RecordingTarget target;
    std::vector<std::string> sent;  // the request of each connection
};

Outcome Download(std::deque<Script> scripts, int retries = 5, std::int64_t minimumProgress = 100) {
    Bench bench(std::move(scripts));
    Outcome out;
    http::RetrySettings settings;
    settings.retries = retries;
    settings.minimumProgress = minimumProgress;
    settings.wait = [&out](int ms) { out.waits.push_back(ms); };
    http::ResumingDownload download(bench.client, settings);
    try {
        out.complete = download.Run("http://pkg.example/f.zip", out.target);
    } catch (const http::ProtocolError& e) {
        out.error = e.what();
        out.status = e.Status();
    } catch (const http::HttpError& e) {
        out.error = e.what();
    }
    out.requests = download.Requests();
    out.events = bench.events;
    out.sent = bench.log.sent;
    // The client's own handlers are back after the download.
    bench.events.clear();
    bench.client.OnWorkEnd(http::WorkMode::Read);
    EXPECT_EQ(bench.events, Events{"end"});
    return out;
}

bool Ends(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(ResumingDownload, ACutBodyGoesOnWithRangeAndIfRange) {
    struct Case {
        const char* name;
        std::string first;      // the first answer's head
        std::string cut;        // how its body ends after 400 bytes
        std::string validator;  // sent in If-Range
    } cases[] = {
        {"strong tag, orderly close", Whole("ETag: \"v1\"\r\n"), "", "\"v1\""},
        {"strong tag, reset", Whole("ETag: \"v1\"\r\n"), httptest::kReset, "\"v1\""},
        {"strong tag, read time-out", Whole("ETag: \"v1\"\r\n"), httptest::kTimeout, "\"v1\""},
        {"date without a tag", Whole("Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n"), "",
         "Tue, 01 Dec 2026 10:00:00 GMT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome r = Download({Script{{c.first, kBody.substr(0, 400), c.cut}}, Script{{Part(400, ""), kBody.substr(400)}}});
        EXPECT_EQ(r.error, "");
        EXPECT_TRUE(r.complete);
        EXPECT_EQ(r.target.bytes, kBody);
        ASSERT_EQ(r.sent.size(), 2u);
        EXPECT_EQ(r.sent[0].find("Range:"), std::string::npos);
        EXPECT_TRUE(Ends(r.sent[1], kRequestTail.substr(0, kRequestTail.size() - 2) + Range(400, c.validator))) << r.sent[1];
        EXPECT_EQ(r.waits, std::vector<int>{1000});
        // The bar never goes back: the resumed body raises no begin and counts on from 400.
        EXPECT_EQ(r.events, (Events{"begin 1000", "work 400", "work 1000", "end"}));
    }
}

TEST(ResumingDownload, WithoutAUsableValidatorTheWholeFileIsFetchedAgain) {
    const char* firsts[] = {
        "ETag: W/\"weak\"\r\nLast-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n",  // a tag, but weak: no date either
        "ETag: unquoted\r\n",
        "",
    };
    for (const char* fields : firsts) {
        SCOPED_TRACE(fields);
        const Outcome r = Download({Script{{Whole(fields), kBody.substr(0, 400)}}, Script{{Whole(""), kBody}}});
        EXPECT_TRUE(r.complete);
        EXPECT_EQ(r.target.bytes, kBody);
        ASSERT_EQ(r.sent.size(), 2u);
        EXPECT_EQ(r.sent[1], r.sent[0]) << "the same GET, without Range";
        EXPECT_EQ(r.events, (Events{"begin 1000", "work 400", "begin 1000", "work 1000", "end"}));
    }
}

TEST(ResumingDownload, ChunkedAndLengthlessBodiesStartAgainWithoutRange) {
    const std::string chunked = Head("200 OK", "Transfer-Encoding: chunked\r\nETag: \"v1\"\r\n");
    const std::string lengthless = "HTTP/1.0 200 OK\r\nETag: \"v1\"\r\n\r\n";
    struct Case {
        const char* name;
        Script first, second;
        std::string body;
        Events events;
    } cases[] = {
        {"chunked cut between chunks", Script{{chunked, "3\r\nabc\r\n"}}, Script{{chunked, "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"}},
         "abcde", {"begin 3", "work 3", "begin 3", "work 3", "end", "begin 2", "work 2", "end"}},
        {"chunked reset in a chunk", Script{{chunked, "5\r\nab", httptest::kReset}}, Script{{chunked, "5\r\nabcde\r\n0\r\n\r\n"}},
         "abcde", {"begin 5", "work 2", "begin 5", "work 5", "end"}},
        // The second answer is shorter than what the first left: nothing of the first stays.
        {"no length, reset", Script{{lengthless, "abcdefg", httptest::kReset}}, Script{{lengthless, "abcde"}}, "abcde",
         {"begin 0", "work 7", "begin 0", "work 5", "end"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome r = Download({c.first, c.second});
        EXPECT_EQ(r.error, "");
        EXPECT_TRUE(r.complete);
        EXPECT_EQ(r.target.bytes, c.body);
        ASSERT_EQ(r.sent.size(), 2u);
        EXPECT_EQ(r.sent[1], r.sent[0]);
        EXPECT_EQ(r.events, c.events);
    }
}

TEST(ResumingDownload, AWholeAnswerToARangeStartsOverOnceAndNeverMixesVersions) {
    // The file changed between the requests: If-Range brings the new version whole.
    const Outcome changed = Download({Script{{Whole("ETag: \"v1\"\r\n"), kBody.substr(0, 400)}},
                                      Script{{Whole("ETag: \"v2\"\r\n"), kOther}}});
    EXPECT_TRUE(changed.complete);
    EXPECT_EQ(changed.target.bytes, kOther);
    EXPECT_EQ(changed.events, (Events{"begin 1000", "work 400", "begin 1000", "work 1000", "end"}));

    // The new version is cut too: it is resumed with its own tag, and a third whole answer (the
    // file changing again, or a server without ranges) ends the download.
    const Outcome twice = Download({Script{{Whole("ETag: \"v1\"\r\n"), kBody.substr(0, 400)}},
                                    Script{{Whole("ETag: \"v2\"\r\n"), kOther.substr(0, 300)}},
                                    Script{{Whole("ETag: \"v3\"\r\n"), kBody}}});
    EXPECT_EQ(twice.error, "The server sent the whole file again after a restart.");
    EXPECT_FALSE(twice.complete);
    ASSERT_EQ(twice.sent.size(), 3u);
    EXPECT_TRUE(Ends(twice.sent[2], Range(300, "\"v2\"")));
    EXPECT_EQ(twice.target.bytes, kOther.substr(0, 300)) << "only bytes of the second version";
}

TEST(ResumingDownload, APartThatDoesNotContinueTheFileIsAProtocolError) {
    const std::string len600 = "Content-Length: 600\r\n";
    const std::string partial = "206 Partial Content";
    const char* range = "Content-Range: ";
    const std::string heads[] = {
        Head(partial, range + std::string("bytes 300-999/1000\r\nContent-Length: 700\r\n")),  // wrong start
        Head(partial, range + std::string("bytes 300-999/1000\r\n") + len600),                // wrong start alone
        Head(partial, range + std::string("bytes 400-999/2000\r\n") + len600),                // wrong total
        Head(partial, range + std::string("bytes 400-899/1000\r\nContent-Length: 500\r\n")),  // not to the end
        Head(partial, range + std::string("bytes 400-999/1000\r\nContent-Length: 500\r\n")),  // length disagrees
        Head(partial, range + std::string("bytes 400-999/*\r\n") + len600),                   // no total
        Head(partial, range + std::string("bytes 400-999/1000\r\nTransfer-Encoding: chunked\r\n")),
        Head(partial, len600),                                                                // no range at all
        Part(400, "ETag: \"v2\"\r\n"),                                                        // another version
    };
    for (const std::string& head : heads) {
        SCOPED_TRACE(head);
        const Outcome r =
            Download({Script{{Whole("ETag: \"v1\"\r\n"), kBody.substr(0, 400)}}, Script{{head, kBody.substr(400)}}});
        EXPECT_EQ(r.error, "HTTP/1.1 206 Partial Content");
        EXPECT_EQ(r.status, 206);
        EXPECT_EQ(r.requests, 2) << "no further request";
        EXPECT_EQ(r.target.bytes, kBody.substr(0, 400)) << "nothing of the part is kept";
    }
}

TEST(ResumingDownload, AnyOtherAnswerEndsTheRetriesWithItsError) {
    const std::string first = Whole("ETag: \"v1\"\r\n");
    struct Case {
        std::string answer;
        const char* error;
    } cases[] = {
        {"HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */900\r\nContent-Length: 0\r\n\r\n",
         "HTTP/1.1 416 Range Not Satisfiable"},
        {"HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 503 Busy"},
        {Head("200 OK", "Transfer-Encoding: chunked\r\n") + "zz\r\n", "Invalid chunk size."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const Outcome r = Download({Script{{first, kBody.substr(0, 400)}}, Script{{c.answer}}, Script{{first, kBody}}});
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.requests, 2);
        EXPECT_FALSE(r.complete);
    }
    // Before the first answer's head nothing is retried: a refused connection, a 404.
    const Outcome refused = Download({});
    EXPECT_EQ(refused.error, "Socket Error # 10061\r\nConnection refused.");
    const Outcome missing = Download({Script{{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}}, Script{{first, kBody}}});
    EXPECT_EQ(missing.error, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(refused.requests + missing.requests, 2);
    EXPECT_TRUE(refused.waits.empty() && missing.waits.empty());
}

TEST(ResumingDownload, FurtherRequestsAreBoundedAndWaitLongerEachTime) {
    const std::string first = Whole("ETag: \"v1\"\r\n");
    // Cut at 400, then five requests in a row that bring nothing: a head and a reset, a close
    // before any answer, a stall. The last failure is raised.
    const Outcome reset = Download({Script{{first, kBody.substr(0, 400), httptest::kReset}},
                                    Script{{Part(400), httptest::kReset}}, Script{{}},
                                    Script{{Part(400), httptest::kTimeout}}, Script{{Part(400), kBody.substr(400, 0)}},
                                    Script{{Part(400), httptest::kReset}}, Script{{Part(400), kBody.substr(400)}}});
    EXPECT_EQ(reset.error, "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_EQ(reset.requests, 6);
    EXPECT_EQ(reset.waits, (std::vector<int>{1000, 2000, 4000, 8000, 16000}));
    EXPECT_EQ(reset.target.bytes, kBody.substr(0, 400));

    // Orderly closes before the length each time: no error, as one GET leaves it; one end.
    std::deque<Script> closes{Script{{first, kBody.substr(0, 400)}}};
    for (int i = 0; i < 3; ++i) closes.push_back(Script{{Part(400)}});
    const Outcome closed = Download(closes, 3);
    EXPECT_EQ(closed.error, "");
    EXPECT_FALSE(closed.complete);
    EXPECT_EQ(closed.requests, 4);
    EXPECT_EQ(closed.events, (Events{"begin 1000", "work 400", "end"}));

    // No further request at all with a bound of 0.
    const Outcome none = Download({Script{{first, kBody.substr(0, 400), httptest::kReset}}, Script{{Part(400), kBody.substr(400)}}}, 0);
    EXPECT_EQ(none.requests, 1);
    EXPECT_EQ(none.error, "Socket Error # 10054\r\nConnection reset by peer.");
}

TEST(ResumingDownload, ARequestThatMovesTheFileOnStartsTheCountAgain) {
    // Cuts after each 100 more bytes: with a required progress of 100 bytes, more than the bound
    // in all but never two in a row without progress, the waits starting again from the first;
    // with 101 bytes required, the bound of 1 ends the download after its second cut.
    std::deque<Script> scripts{Script{{Whole("ETag: \"v1\"\r\n"), kBody.substr(0, 100)}}};
    Events events{"begin 1000", "work 100"};
    for (int from = 100; from < 1000; from += 100) {
        scripts.push_back(Script{{Part(from), kBody.substr(static_cast<std::size_t>(from), 100)}});
        events.push_back("work " + std::to_string(from + 100));
    }
    events.push_back("end");
    const Outcome r = Download(scripts, 1, 100);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.target.bytes, kBody);
    EXPECT_EQ(r.requests, 10);
    EXPECT_EQ(r.waits, std::vector<int>(9, 1000));
    EXPECT_EQ(r.events, events);

    const Outcome trickle = Download(scripts, 1, 101);
    EXPECT_FALSE(trickle.complete);
    EXPECT_EQ(trickle.requests, 3);
    EXPECT_EQ(trickle.waits, (std::vector<int>{1000, 1000}));
    EXPECT_EQ(trickle.target.bytes, kBody.substr(0, 300));
}

TEST(ResumingDownload, ContentRangeValues) {
    struct Case {
        const char* value;
        bool valid;
        std::int64_t first, last, complete;
    } cases[] = {
        {"bytes 0-9/10", true, 0, 9, 10},
        {"  bytes 400-999/1000 ", true, 400, 999, 1000},
        {"bytes 0-2147483646/2147483647", true, 0, 2147483646, 2147483647},
        {"bytes 0-9/2147483648", false, 0, 0, 0},
        {"bytes 0-9/*", false, 0, 0, 0},
        {"bytes */10", false, 0, 0, 0},
        {"bytes 9-0/10", false, 0, 0, 0},
        {"bytes 0-10/10", false, 0, 0, 0},
        {"bytes -1-9/10", false, 0, 0, 0},
        {"bytes 0-9/10x", false, 0, 0, 0},
        {"items 0-9/10", false, 0, 0, 0},
        {"bytes=0-9/10", false, 0, 0, 0},
        {"", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::int64_t first = 0, last = 0, complete = 0;
        EXPECT_EQ(http::ParseContentRange(c.value, first, last, complete), c.valid) << c.value;
        if (c.valid) {
            EXPECT_EQ((std::vector<std::int64_t>{first, last, complete}),
                      (std::vector<std::int64_t>{c.first, c.last, c.complete}))
                << c.value;
        }
    }
}

}  // namespace
