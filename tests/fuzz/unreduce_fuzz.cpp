// Fuzzes Unreduce over arbitrary streams and sizes (layout in LegacyFuzzInput.h).
#include "fuzz/LegacyFuzzInput.h"
#include "zip/Unreduce.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    legacyfuzz::Input in;
    if (!legacyfuzz::Split(data, size, in)) return 0;
    legacyfuzz::Source src(in);
    legacyfuzz::Sink out;
    legacyfuzz::Check(in, out, zip::Unreduce(src, out, in.size, 0, (in.params & 3) + 1));
    return 0;
}
