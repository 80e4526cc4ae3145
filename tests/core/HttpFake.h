// A scripted in-memory connection for the HTTP client's tests and fuzzer: each connect takes
// the next script; a script is a list of pieces the "server" delivers, one per read (a piece
// larger than the read is split), then an orderly close unless `holdOpen` is set.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "http/HttpErrors.h"
#include "http/Target.h"
#include "http/Transport.h"

namespace httptest {

// Special pieces.
const std::string kTimeout = std::string("\0TIMEOUT", 8);  // the read waits past its limit
const std::string kReset = std::string("\0RESET", 6);      // the peer resets the connection

struct Script {
    std::vector<std::string> pieces;
    bool holdOpen = false;  // after the last piece, a further read times out instead of closing
};

struct Log {
    std::vector<std::string> connects;  // "host:port/timeout"
    std::vector<std::string> sent;      // everything sent, one entry per connection
    std::vector<int> readTimeouts;      // the limit of every read
    int disconnects = 0;
};

class FakeTransport : public http::Transport {
public:
    FakeTransport(std::deque<Script> scripts, Log& log) : scripts_(std::move(scripts)), log_(log) {}

    void Connect(const std::string& host, int port, int timeoutMs) override {
        log_.connects.push_back(host + ":" + std::to_string(port) + "/" + std::to_string(timeoutMs));
        if (scripts_.empty()) throw http::SocketError(http::kWsaECONNREFUSED);
        current_ = scripts_.front();
        scripts_.pop_front();
        next_ = 0;
        connected_ = true;
        log_.sent.emplace_back();
    }
    void Disconnect() override {
        if (connected_) ++log_.disconnects;
        connected_ = false;
    }
    bool Connected() const override { return connected_; }
    void Send(const char* data, std::size_t size) override {
        if (!connected_) throw http::SocketError(http::kWsaENOTCONN);
        log_.sent.back().append(data, size);
    }
    std::size_t Receive(char* buffer, std::size_t size, int timeoutMs) override {
        log_.readTimeouts.push_back(timeoutMs);
        if (!connected_) throw http::SocketError(http::kWsaENOTCONN);
        while (next_ < current_.pieces.size() && current_.pieces[next_].empty()) ++next_;
        if (next_ == current_.pieces.size()) {
            if (current_.holdOpen) throw http::HttpError(http::kReadTimeout);
            return 0;
        }
        std::string& piece = current_.pieces[next_];
        if (piece == kTimeout) throw http::HttpError(http::kReadTimeout);
        if (piece == kReset) throw http::SocketError(http::kWsaECONNRESET);
        const std::size_t n = piece.size() < size ? piece.size() : size;
        piece.copy(buffer, n);
        piece.erase(0, n);
        return n;
    }

private:
    std::deque<Script> scripts_;
    Log& log_;
    Script current_;
    std::size_t next_ = 0;
    bool connected_ = false;
};

// A target that keeps the bytes and every size it was given, and never allocates for an
// announced length.
class RecordingTarget : public http::Target {
public:
    std::int64_t Position() override { return position; }
    void Write(const char* data, std::size_t size) override {
        if (bytes.size() < static_cast<std::size_t>(position)) bytes.resize(static_cast<std::size_t>(position));
        bytes.replace(static_cast<std::size_t>(position), size, data, size);
        position += static_cast<std::int64_t>(size);
        if (static_cast<std::int64_t>(bytes.size()) > size_) size_ = static_cast<std::int64_t>(bytes.size());
    }
    void SetSize(std::int64_t size) override {
        sizes.push_back(size);
        size_ = size;
        if (static_cast<std::int64_t>(bytes.size()) > size) bytes.resize(static_cast<std::size_t>(size));
    }
    void CutTo(std::int64_t size) override {
        SetSize(size);
        position = size;
    }
    std::int64_t Size() const { return size_; }

    std::string bytes;
    std::int64_t position = 0;
    std::vector<std::int64_t> sizes;

private:
    std::int64_t size_ = 0;
};

}  // namespace httptest
