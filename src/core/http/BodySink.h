// Where the client's body reader hands the body: the download's target with its work events,
// or the text of an error answer. Internal to the client.
#pragma once

#include <cstddef>
#include <cstdint>

namespace http {

class BodySink {
public:
    virtual ~BodySink() = default;
    // A span begins: `announced` bytes (0 when none is announced); `extend` when the span has
    // a length the target may be extended to.
    virtual void Begin(std::int64_t announced, bool extend) = 0;
    // One piece of the span; false stops the reading (the rest stays unread).
    virtual bool Piece(const char* data, std::size_t size) = 0;
    // The span ended.
    virtual void End() = 0;
    // The body failed within a span.
    virtual void Abort() = 0;
};

}  // namespace http
