#include "zip/Unshrink.h"

#include <cstddef>
#include <vector>

#include "zip/LegacyBits.h"

namespace zip {
namespace {

constexpr int kCodeCount = 8192;   // 13-bit codes
constexpr int kControl = 256;      // followed by 1 (widen) or 2 (prune leaves)
constexpr int kFirstDynamic = 257;
constexpr int kMinWidth = 9;
constexpr int kMaxWidth = 13;

// The LZW table: every code 0..255 stands for its byte; each dynamic code is an earlier code (its
// prefix) followed by one byte. As in any LZW decoder, the code for the previous string plus one
// byte is added only when the next code shows that byte, so a prune that comes between two codes
// sees the table without it.
class CodeTable {
public:
    CodeTable() : prefix_(kCodeCount, 0), last_(kCodeCount, 0), used_(kCodeCount, 0) {
        for (int c = 0; c < 256; ++c) {
            last_[c] = static_cast<std::uint8_t>(c);
            used_[c] = 1;
        }
        used_[kControl] = 1;  // never handed out
    }

    bool Used(std::uint32_t code) const { return code < kCodeCount && used_[code] != 0; }

    // The lowest free dynamic code, which the next addition takes; kCodeCount when full.
    int NextFree() const { return nextFree_; }

    // Adds prefix followed by byte at the lowest free code; nothing when the table is full (the
    // compressor then adds nothing either).
    void Add(int prefix, std::uint8_t byte) {
        if (nextFree_ >= kCodeCount) {
            return;
        }
        used_[nextFree_] = 1;
        prefix_[nextFree_] = static_cast<std::uint16_t>(prefix);
        last_[nextFree_] = byte;
        Advance();
    }

    // APPNOTE 5.1.3: frees every dynamic code that is no other code's prefix; freed codes are
    // reused lowest first.
    void Prune() {
        std::vector<std::uint8_t> isPrefix(kCodeCount, 0);
        for (int c = kFirstDynamic; c < kCodeCount; ++c) {
            if (used_[c] != 0) {
                isPrefix[prefix_[c]] = 1;
            }
        }
        for (int c = kFirstDynamic; c < kCodeCount; ++c) {
            if (isPrefix[c] == 0) {
                used_[c] = 0;
            }
        }
        nextFree_ = kFirstDynamic;
        if (used_[nextFree_] != 0) {
            Advance();
        }
    }

    // Writes the string of a used code into the end of buf (kCodeCount bytes) and returns where
    // it starts; -1 when the chain is longer than any table can make (a damaged table).
    int Spell(int code, std::uint8_t* buf) const {
        int at = kCodeCount;
        for (;;) {
            if (at == 0) {
                return -1;
            }
            buf[--at] = last_[code];
            if (code < 256) {
                return at;
            }
            code = prefix_[code];
        }
    }

    // The first byte of a used code's string.
    std::uint8_t First(int code) const {
        for (int steps = 0; code >= 256 && steps < kCodeCount; ++steps) {
            code = prefix_[code];
        }
        return static_cast<std::uint8_t>(code & 0xFF);
    }

private:
    void Advance() {
        do {
            ++nextFree_;
        } while (nextFree_ < kCodeCount && used_[nextFree_] != 0);
    }

    std::vector<std::uint16_t> prefix_;
    std::vector<std::uint8_t> last_;
    std::vector<std::uint8_t> used_;
    int nextFree_ = kFirstDynamic;
};

}  // namespace

DecodeStatus Unshrink(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t /*flags*/) {
    legacy::BitReader bits(in);
    legacy::OutputWindow window(out, uncompressedSize);
    CodeTable table;
    std::vector<std::uint8_t> text(kCodeCount);
    int width = kMinWidth;
    int previous = -1;  // the previous code, the prefix of the next addition

    while (window.Left() != 0) {
        std::uint32_t code = 0;
        if (!bits.Get(width, code)) {
            return legacy::Fail(window, DecodeStatus::Truncated);
        }
        if (code == kControl) {
            std::uint32_t op = 0;
            if (!bits.Get(width, op)) {
                return legacy::Fail(window, DecodeStatus::Truncated);
            }
            if (op == 1 && width < kMaxWidth) {
                ++width;
            } else if (op == 2) {
                table.Prune();
            } else {
                return legacy::Fail(window, DecodeStatus::BadData);  // unknown control, or wider than 13 bits
            }
            continue;
        }
        const int current = static_cast<int>(code);
        const int slot = table.NextFree();
        std::uint8_t first = 0;
        if (table.Used(code)) {
            first = table.First(current);
        } else if (current == slot && previous >= 0) {
            first = table.First(previous);  // the code being added: previous string + its own first byte
        } else {
            return legacy::Fail(window, DecodeStatus::BadData);
        }
        if (previous >= 0) {
            table.Add(previous, first);
        }
        const int start = table.Spell(current, text.data());
        if (start < 0) {
            return legacy::Fail(window, DecodeStatus::BadData);  // a code that leads back to itself
        }
        for (int i = start; i < kCodeCount && window.Left() != 0; ++i) {
            if (!window.Put(text[static_cast<std::size_t>(i)])) {
                return DecodeStatus::WriteFailed;
            }
        }
        previous = current;
    }
    return window.Finish() ? DecodeStatus::Ok : DecodeStatus::WriteFailed;
}

}  // namespace zip
