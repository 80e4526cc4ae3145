// The latest values of the window's two progress bars, passed from the worker's thread to the
// window's without a round trip per change.
//
// The worker puts each change; only the first change after the window last took the values asks
// for a notice (one posted message), and later changes overwrite the values it will read. The
// window takes the values when the notice arrives, and also before it runs any other call from the
// worker, so that a bar never lags behind a label or page the worker changed after it.
//
// One writer (the worker) and one reader (the window), and no lock: the window suspends the worker
// at times, and must never wait for anything the worker might hold. A take that overlaps a put may
// read a new maximum with an old position; the put then asks for another notice, whose take reads
// both as they ended.
#pragma once

#include <atomic>

class ProgressMailbox {
public:
    static constexpr int kBars = 2;
    struct Values {
        int position[kBars];
        int maximum[kBars];
    };

    explicit ProgressMailbox(const Values& initial) {
        for (int bar = 0; bar < kBars; ++bar) {
            position_[bar].store(initial.position[bar]);
            maximum_[bar].store(initial.maximum[bar]);
        }
    }

    // The worker's side: true when the window must be sent a notice (none is outstanding).
    bool Put(int bar, int position, int maximum) {
        if (bar < 0 || bar >= kBars) return false;
        maximum_[bar].store(maximum);
        position_[bar].store(position);
        return !noticeOutstanding_.exchange(true);
    }

    // The window's side: the latest values; a put after this asks for a notice again.
    Values Take() {
        noticeOutstanding_.store(false);
        Values values{};
        for (int bar = 0; bar < kBars; ++bar) {
            values.maximum[bar] = maximum_[bar].load();
            values.position[bar] = position_[bar].load();
        }
        return values;
    }

private:
    std::atomic<int> position_[kBars];
    std::atomic<int> maximum_[kBars];
    std::atomic<bool> noticeOutstanding_{false};
};
