#include "zip/ZipMethods.h"

#include "zip/Inflate.h"

// The legacy decoders join as their sources arrive.
#if __has_include("zip/Unshrink.h") && __has_include("Unshrink.cpp")
#include "zip/Unshrink.h"
#define KLU_ZIP_UNSHRINK 1
#endif
#if __has_include("zip/Unreduce.h") && __has_include("Unreduce.cpp")
#include "zip/Unreduce.h"
#define KLU_ZIP_UNREDUCE 1
#endif
#if __has_include("zip/Explode.h") && __has_include("Explode.cpp")
#include "zip/Explode.h"
#define KLU_ZIP_EXPLODE 1
#endif

namespace zip {

DecodeFunction DecoderFor(std::uint16_t method) {
    switch (method) {
        case 0: return Store;
#ifdef KLU_ZIP_UNSHRINK
        case 1: return Unshrink;
#endif
#ifdef KLU_ZIP_UNREDUCE
        // Reduced with compression factors 1 to 4.
        case 2: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 1); };
        case 3: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 2); };
        case 4: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 3); };
        case 5: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 4); };
#endif
#ifdef KLU_ZIP_EXPLODE
        case 6: return Explode;
#endif
        case 8: return Inflate;
        case 9: return Inflate64;
        default: return nullptr;
    }
}

}  // namespace zip
