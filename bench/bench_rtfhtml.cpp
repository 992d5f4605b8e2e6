// Throughput of the RTF converter on text-heavy page RTF: about 20 MB made
// with a fixed seed, converted to text and to HTML (in memory and into a file),
// and of the twin pass that every stored page text goes through.
// zlib's inflate of the same bytes runs alongside as the machine's yardstick.
#include "exchange/rtfhtml/rtfconverter.h"
#include "benchutil.h"
#include "text/twinpass.h"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

std::string MakeRtf(size_t target) {
    static const char* words[] = {
        "Notiz", "Seite", "und", "der", "die", "das", "Gr\\'fc\\'dfe", "M\\'fcnchen", "f\\'fcr", "B\\'e4ume",
        "Zettel", "Projekt", "Termin", "morgen", "heute", "wichtig", "Besprechung", "Kunde", "Angebot",
        "Rechnung", "\\u8364?", "Stra\\'dfe", "\\'d6ffnungszeiten", "www.example.com", "Liste", "Text",
        "ein", "eine", "mit", "ohne", "nach", "vor", "\\ldblquote Zitat\\rdblquote", "Ma\\'dfnahme", "Ende"};
    std::mt19937 rng(20240607);
    std::string rtf =
        "{\\rtf1{\\*\\ztxpict}\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
        "{\\f1\\fnil\\fcharset0 Courier New;}}\r\n{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
        "\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    rtf.reserve(target + 4096);
    size_t inLine = 0;
    while (rtf.size() < target) {
        unsigned r = rng();
        const char* w = words[r % (sizeof words / sizeof *words)];
        switch ((r >> 8) % 64) {
        case 0: rtf += "\\b "; rtf += w; rtf += "\\b0 "; break;
        case 1: rtf += "\\i "; rtf += w; rtf += "\\i0 "; break;
        case 2: rtf += "\\cf1 "; rtf += w; rtf += "\\cf0 "; break;
        case 3: rtf += "{\\f1 "; rtf += w; rtf += "}"; break;
        default: rtf += w; break;
        }
        rtf += ' ';
        if (++inLine > 12 && (r >> 16) % 8 == 0) {
            rtf += ((r >> 20) % 6 == 0) ? "\\par\r\n\\pard " : "\\par\r\n";
            inLine = 0;
        }
    }
    rtf += "\\par\r\n}\r\n";
    return rtf;
}

using zt::bench::BestSeconds;

} // namespace

int main() {
    std::string rtf = MakeRtf(20u << 20);
    double mb = double(rtf.size()) / 1e6;
    std::printf("input: %.1f MB of page RTF\n", mb);

    zt::RtfConverter c;
    std::string text, html;
    double tText = BestSeconds(3, [&] { c.RtfToText(rtf, zt::RtfTextMode::Text, text); });
    double tHtml = BestSeconds(3, [&] { c.RtfToHtml(rtf, html); });
    std::string path = (std::filesystem::temp_directory_path() / "bench_rtfhtml.html").string();
    double tFile = BestSeconds(3, [&] { c.RtfToHtmlFile(rtf, path); });
    std::filesystem::remove(path);
    std::string stored;
    double tTwin = BestSeconds(3, [&] { stored = zt::TwinPass(rtf); });

    // Yardstick: inflate of the same bytes.
    uLongf packedSize = compressBound(uLong(rtf.size()));
    std::vector<Bytef> packed(packedSize);
    compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(rtf.data()), uLong(rtf.size()), 6);
    std::vector<Bytef> unpacked(rtf.size());
    double tInflate = BestSeconds(3, [&] {
        uLongf n = uLongf(unpacked.size());
        uncompress(unpacked.data(), &n, packed.data(), packedSize);
    });

    std::printf("to text:        %7.1f MB/s (%zu bytes out)\n", mb / tText, text.size());
    std::printf("to HTML:        %7.1f MB/s (%zu bytes out)\n", mb / tHtml, html.size());
    std::printf("to HTML file:   %7.1f MB/s\n", mb / tFile);
    std::printf("twin pass:      %7.1f MB/s (%zu bytes out)\n", mb / tTwin, stored.size());
    std::printf("zlib inflate:   %7.1f MB/s (yardstick)\n", mb / tInflate);
    std::printf("ratios to inflate: text %.2f, HTML %.2f, twin pass %.2f\n", tInflate / tText, tInflate / tHtml,
                tInflate / tTwin);
    return 0;
}
