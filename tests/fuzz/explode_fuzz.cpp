// Fuzzes Explode over arbitrary streams and sizes (layout in LegacyFuzzInput.h).
#include "fuzz/LegacyFuzzInput.h"
#include "zip/Explode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    legacyfuzz::Input in;
    if (!legacyfuzz::Split(data, size, in)) return 0;
    legacyfuzz::Source src(in);
    legacyfuzz::Sink out;
    legacyfuzz::Check(in, out, zip::Explode(src, out, in.size, static_cast<std::uint16_t>(in.params & 6)));
    return 0;
}
