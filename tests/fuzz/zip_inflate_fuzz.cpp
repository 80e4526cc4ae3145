// libFuzzer target: one Deflate or Deflate64 stream. The first byte picks the variant and the
// next two the output limit in KiB; the decoder must never write past the limit nor in blocks
// larger than kBlockSize.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "zip/Inflate.h"

namespace {

class Source : public zip::ByteSource {
public:
    Source(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) override {
        // Small, uneven reads reach the refill paths.
        if (n > 1 + pos_ % 97) n = 1 + pos_ % 97;
        if (n > size_ - pos_) n = size_ - pos_;
        for (std::size_t i = 0; i < n; ++i) buf[i] = data_[pos_ + i];
        pos_ += n;
        return n;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

class CountingSink : public zip::ByteSink {
public:
    bool Write(const std::uint8_t*, std::size_t n) override {
        if (n == 0 || n > zip::kBlockSize) std::abort();
        written += n;
        return true;
    }
    std::uint64_t written = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const bool wide = data[0] & 1;
    const std::uint64_t limit = (static_cast<std::uint64_t>(data[1]) | (static_cast<std::uint64_t>(data[2]) << 8)) * 1024;
    Source in(data + 3, size - 3);
    CountingSink out;
    zip::Inflater inflater(wide ? zip::DeflateVariant::Deflate64 : zip::DeflateVariant::Deflate);
    const zip::DecodeStatus status = inflater.Run(in, out, limit);
    if (out.written > limit || out.written != inflater.Written()) std::abort();
    if (status == zip::DecodeStatus::Ok && inflater.ConsumedBytes() > size - 3) std::abort();
    return 0;
}
