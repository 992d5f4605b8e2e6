// Feeds arbitrary bytes to the twin pass with the real picture conversion:
// metafiles, bitmaps and Mac pictures in the input are drawn and encoded.
// The pass must keep the text's start and change nothing when it runs over
// its own result again.
#include "text/twinpass.h"

#include "fuzz_guiapp.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string out = zt::TwinPass(input);
    if (out.compare(0, std::min<size_t>(5, size), input.substr(0, 5)) != 0) __builtin_trap();
    if (size < 16384 && zt::TwinPass(out) != out) __builtin_trap();
    return 0;
}
