// The search's source map and the replacement in page RTF: every character
// of the search form names bytes inside the input, and a replacement at a
// Windows-1252 character changes the plain text exactly there.
#include "exchange/rtfhtml/rtfconverter.h"
#include "search/rtfreplace.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::string_view rtf(reinterpret_cast<const char*>(data), size);
    zt::RtfConverter converter;
    std::string text;
    std::vector<zt::RtfTextSpan> spans;
    if (!converter.RtfToText(rtf, zt::RtfTextMode::Search, text, spans)) return 0;
    if (spans.size() != text.size()) std::abort();
    for (const auto& s : spans)
        if (s.begin > s.end || s.end > size) std::abort();
    if (text.empty()) return 0;
    // One edit of up to three characters where the input's first byte says.
    const size_t offset = size_t(data[0]) * 7919 % text.size();
    const size_t length = std::min<size_t>(1 + data[size - 1] % 3, text.size() - offset);
    std::vector<bool> applied;
    std::string out = zt::ReplaceInRtf(rtf, spans, {{offset, length, "x"}}, &applied);
    std::string again;
    if (!converter.RtfToText(out, zt::RtfTextMode::Search, again)) std::abort();
    if (!applied[0] && out != rtf) std::abort();
    return 0;
}
