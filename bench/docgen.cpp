#include "docgen.h"

#include <random>

namespace zt::bench {

namespace {

const char* kWords[] = {"Notiz", "Projekt", "Besprechung", "Termin", "Aufgabe", "Kunde", "Angebot", "Rechnung",
                        "Protokoll", "Entwurf", "Zusammenfassung", "Gr\xF6\xDF" "e", "\xC4nderung", "und", "der",
                        "die", "das", "mit", "f\xFCr", "von", "auf", "nicht", "ist", "ein", "eine", "zum", "bei"};

std::string RtfText(std::mt19937& rng, size_t bytes, int page) {
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
                      "\\viewkind4\\uc1\\pard\\f0\\fs20 Seite " + std::to_string(page) + "\\par\r\n";
    std::uniform_int_distribution<size_t> word(0, std::size(kWords) - 1);
    std::uniform_int_distribution<int> style(0, 40);
    size_t line = 0;
    while (out.size() < bytes) {
        int s = style(rng);
        if (s == 0) out += "\\b ";
        if (s == 1) out += "\\b0 ";
        if (s == 2) out += "\\i ";
        if (s == 3) out += "\\i0 ";
        const char* w = kWords[word(rng)];
        for (const char* p = w; *p; ++p) {
            unsigned char c = static_cast<unsigned char>(*p);
            if (c >= 0x80) {
                static const char* hex = "0123456789abcdef";
                out += "\\'";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += char(c);
            }
        }
        out += ' ';
        if (++line % 14 == 0) out += "\\par\r\n";
    }
    out += "\\par\r\n}\r\n";
    return out;
}

std::string FileContent(std::mt19937& rng, size_t bytes, int kind) {
    std::string out;
    out.reserve(bytes);
    if (kind == 0) { // text-like, compresses well
        std::uniform_int_distribution<size_t> word(0, std::size(kWords) - 1);
        while (out.size() < bytes) {
            out += kWords[word(rng)];
            out += (out.size() % 80 < 8) ? '\n' : ' ';
        }
    } else { // binary-like: random bytes with some structure, compresses little
        std::uniform_int_distribution<int> b(0, 255);
        while (out.size() < bytes) {
            unsigned char v = uint8_t(b(rng));
            out.push_back(char(v));
            if (v < 40) out.append(size_t(v % 8), char(v));
        }
    }
    out.resize(bytes);
    return out;
}

} // namespace

uint64_t Generate(CZTDocument& doc, const DocLayout& layout) {
    std::mt19937 rng(layout.seed);
    uint64_t total = 0;
    std::vector<CZTPageNode*> pages;
    CZTPageNode* parent = nullptr;
    for (int i = 0; i < layout.pages; ++i) {
        if (i % 25 == 0) parent = nullptr;
        CZTPageNode* node = doc.AddPage(parent, "Seite " + std::to_string(i + 1));
        if (i % 25 == 0) parent = node;
        std::string text = RtfText(rng, layout.textBytes, i + 1);
        total += text.size();
        doc.SetPageText(node, text);
        pages.push_back(node);
    }
    for (size_t f = 0; f < layout.fileSizes.size() && !pages.empty(); ++f) {
        CZTPageNode* node = pages[(f * 7919) % pages.size()];
        std::string content = FileContent(rng, layout.fileSizes[f], int(f % 2));
        total += content.size();
        CZTFileRecord r = CZTFileRecord::New("datei-" + std::to_string(f) + (f % 2 ? ".bin" : ".txt"),
                                             doc.Archive().User());
        r.SetContent(content, doc.Archive().User());
        doc.AttachFile(node, r);
    }
    return total;
}

DocLayout HundredMegabytes() {
    DocLayout layout;
    layout.pages = 3000;
    layout.textBytes = 20000;
    for (int i = 0; i < 40; ++i) layout.fileSizes.push_back(size_t(1) << 20);
    return layout;
}

} // namespace zt::bench
