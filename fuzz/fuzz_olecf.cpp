// Feeds arbitrary bytes to the compound file reader. Inputs that do not begin
// with the signature get it put in front, so the fuzzer spends its time on the
// structures behind it.
#include "core/olecf.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file(reinterpret_cast<const char*>(data), size);
    if (!zt::IsCompoundFile(file)) file.insert(0, zt::kCompoundFileSignature);
    std::string out, error;
    for (const char* name : {"Contents", "Small", "Inner"}) {
        if (zt::ReadCompoundStream(file, name, out, &error)) {
            if (out.size() > file.size()) __builtin_trap();
        } else if (error.empty() || !out.empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
