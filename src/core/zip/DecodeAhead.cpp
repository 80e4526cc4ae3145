#include "zip/DecodeAhead.h"

#include <new>
#include <utility>

#include "zip/ZipMethods.h"

namespace zip {
namespace {

// Keeps what the decoder writes, block by block, with the CRC-32.
class MemorySink : public ByteSink {
public:
    MemorySink(DecodedMember& member, const ArchiveRange& source) : member_(member), source_(source) {}
    bool Write(const std::uint8_t* data, std::size_t n) override {
        member_.bytes.insert(member_.bytes.end(), data, data + n);
        member_.crc.Update(data, n);
        member_.blocks.push_back({member_.bytes.size(), source_.Consumed()});
        return true;
    }

private:
    DecodedMember& member_;
    const ArchiveRange& source_;
};

}  // namespace

DecodeAhead::DecodeAhead(std::unique_ptr<ArchiveInput> input, std::vector<AheadJob> jobs, std::size_t budget)
    : input_(std::move(input)),
      jobs_(std::move(jobs)),
      budget_(budget),
      results_(jobs_.size()),
      held_(jobs_.size(), 0),
      thread_([this] { Run(); }) {}

DecodeAhead::~DecodeAhead() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

std::unique_ptr<DecodedMember> DecodeAhead::Take(std::size_t index) {
    std::unique_lock<std::mutex> hold(lock_);
    if (index >= jobs_.size() || !jobs_[index].taken) return nullptr;
    changed_.wait(hold, [&] { return done_ > index || stopping_; });
    return std::move(results_[index]);
}

void DecodeAhead::Release(std::size_t index) {
    std::unique_ptr<DecodedMember> dropped;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (index >= jobs_.size()) return;
        if (released_ < index + 1) released_ = index + 1;  // the thread skips it, when not there yet
        dropped = std::move(results_[index]);
        holding_ -= held_[index];
        held_[index] = 0;
    }
    changed_.notify_all();
}

void DecodeAhead::Run() {
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
        const AheadJob& job = jobs_[i];
        std::unique_lock<std::mutex> hold(lock_);
        if (job.taken) {
            const std::size_t size = static_cast<std::size_t>(job.limit);
            // Within the budget, unless nothing else is held: the member the caller waits for
            // always gets decoded.
            // One the caller has already passed is not decoded at all.
            changed_.wait(hold, [&] {
                return stopping_ || i < released_ || holding_ == 0 || holding_ + size <= budget_;
            });
            if (stopping_) return;
            if (i >= released_) {
                holding_ += size;
                held_[i] = size;
                hold.unlock();
                std::unique_ptr<DecodedMember> decoded = Decode(job);
                hold.lock();
                if (i < released_) {
                    holding_ -= held_[i];  // passed while it was decoded
                    held_[i] = 0;
                    hold.unlock();
                    decoded.reset();
                    hold.lock();
                } else {
                    results_[i] = std::move(decoded);
                }
            }
        }
        done_ = i + 1;
        hold.unlock();
        changed_.notify_all();
    }
}

std::unique_ptr<DecodedMember> DecodeAhead::Decode(const AheadJob& job) {
    try {
        std::unique_ptr<DecodedMember> member(new DecodedMember);
        member->bytes.reserve(static_cast<std::size_t>(job.limit));
        member->blocks.reserve(static_cast<std::size_t>(job.limit / kBlockSize + 1));
        ArchiveRange source(*input_, job.offset, job.length);
        MemorySink sink(*member, source);
        member->status = DecoderFor(job.method)(source, sink, job.limit, job.flags);
        member->consumed = source.Consumed();
        return member;
    } catch (const std::bad_alloc&) {
        return nullptr;  // the caller decodes it
    }
}

}  // namespace zip
