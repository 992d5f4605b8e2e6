// Feeds arbitrary bytes to the server's readers: the envelope reader and the
// strict request reader. A text the request reader accepts must be written
// back by the builder into a text that reads back to the same bytes.
#include "server/envelope.h"
#include "server/requests.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace zt::srv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    EnvelopeParts parts;
    std::string error;
    ReadRequestEnvelope(text, parts, error);
    Request request;
    if (ReadRequestText(text, request, error)) {
        std::string again = BuildRequestText(request);
        Request second;
        if (!ReadRequestText(again, second, error) || BuildRequestText(second) != again) __builtin_trap();
    }
    return 0;
}
