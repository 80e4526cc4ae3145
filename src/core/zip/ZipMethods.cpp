#include "zip/ZipMethods.h"

#include "zip/Explode.h"
#include "zip/Inflate.h"
#include "zip/Unreduce.h"
#include "zip/Unshrink.h"

namespace zip {

DecodeFunction DecoderFor(std::uint16_t method) {
    switch (method) {
        case 0: return Store;
        case 1: return Unshrink;
        // Reduced with compression factors 1 to 4.
        case 2: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 1); };
        case 3: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 2); };
        case 4: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 3); };
        case 5: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 4); };
        case 6: return Explode;
        case 8: return Inflate;
        case 9: return Inflate64;
        default: return nullptr;
    }
}

}  // namespace zip
