// Feeds arbitrary bytes to the RTF tokenizer, the line code and the converter
// (text in all forms and HTML in memory; no picture files are written).
#include "exchange/rtfhtml/rtfconverter.h"
#include "text/pagertf.h"
#include "text/rtftokenizer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);

    zt::RtfTokenizer tok(input);
    zt::RtfToken t;
    size_t last = 0;
    while (tok.Next(t)) {
        if (t.offset < last || t.end < t.offset || t.end > size) __builtin_trap();
        last = t.end;
    }

    std::string decoded;
    zt::DecodeLines(input, decoded);

    zt::RtfConverter c;
    std::string out;
    c.RtfToText(input, zt::RtfTextMode::Text, out);
    c.RtfToText(input, zt::RtfTextMode::Utf8, out);
    c.Options().noHeadings = false;
    c.RtfToHtml(input, out);
    return 0;
}
