// Where a response body goes: written at the target's current position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace http {

class Target {
public:
    virtual ~Target() = default;

    // The current position: where the next write lands.
    virtual std::int64_t Position() = 0;

    // Writes `size` bytes at the current position and advances it; raises on failure.
    virtual void Write(const char* data, std::size_t size) = 0;

    // Extends or cuts the target to `size` bytes; the position does not move. The client extends
    // once to the announced length before the first write and cuts back to what arrived.
    virtual void SetSize(std::int64_t size) = 0;

    // Cuts the target to `size` bytes and moves the position there: a download that starts
    // again writes over what an earlier attempt left.
    virtual void CutTo(std::int64_t size) = 0;
};

// A body collected in memory. It grows with the data that arrives, not with what the server
// announces, so a false length cannot make it allocate.
class StringTarget : public Target {
public:
    std::int64_t Position() override { return static_cast<std::int64_t>(data_.size()); }
    void Write(const char* data, std::size_t size) override { data_.append(data, size); }
    void SetSize(std::int64_t size) override {
        if (size >= 0 && static_cast<std::uint64_t>(size) < data_.size()) {
            data_.resize(static_cast<std::size_t>(size));
        }
    }
    void CutTo(std::int64_t size) override { SetSize(size); }
    const std::string& Data() const { return data_; }
    std::string Take() { return std::move(data_); }

private:
    std::string data_;
};

}  // namespace http
