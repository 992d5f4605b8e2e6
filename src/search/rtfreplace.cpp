#include "search/rtfreplace.h"

#include "base/cp1252.h"

#include <cstdio>

namespace zt {

namespace {

bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// True when `out` ends in a control word without its delimiter, so that a
// letter, digit, hyphen or space appended now would join the word.
bool EndsInControlWord(const std::string& out) {
    size_t i = out.size();
    size_t limit = i > 48 ? i - 48 : 0;
    while (i > limit && IsDigit(uint8_t(out[i - 1]))) --i;
    if (i > limit && out[i - 1] == '-') --i;
    size_t letters = i;
    while (i > limit && IsLetter(uint8_t(out[i - 1]))) --i;
    if (i == letters || i == 0 || out[i - 1] != '\\') return false;
    // An odd run of backslashes starts a word; an even one is escaped text.
    size_t b = i - 1, n = 0;
    while (true) {
        ++n;
        if (b == 0 || out[b - 1] != '\\') break;
        --b;
    }
    return n % 2 == 1;
}

void AppendPiece(std::string& out, std::string_view piece) {
    if (piece.empty()) return;
    unsigned char c = uint8_t(piece[0]);
    if ((IsLetter(c) || IsDigit(c) || c == '-' || c == ' ') && EndsInControlWord(out)) out.push_back(' ');
    out.append(piece);
}

} // namespace

void AppendRtfText(std::string& out, std::string_view text, bool ansi) {
    std::string s;
    for (unsigned char c : text) {
        char buf[40];
        if (c == '\\' || c == '{' || c == '}') {
            s.push_back('\\');
            s.push_back(char(c));
        } else if (c == '\t') {
            s += "\\tab ";
        } else if (c < 0x20) {
            continue;
        } else if (c < 0x80) {
            s.push_back(char(c));
        } else if (ansi) {
            std::snprintf(buf, sizeof buf, "\\'%02x", c);
            s += buf;
        } else {
            int u = int(Cp1252ToUnicode(c));
            if (u > 32767) u -= 65536;
            std::snprintf(buf, sizeof buf, "{\\uc1\\u%d\\'%02x}", u, c);
            s += buf;
        }
    }
    AppendPiece(out, s);
}

std::string ReplaceInRtf(std::string_view rtf, const std::vector<RtfTextSpan>& spans,
                         const std::vector<CZTTextEdit>& edits, std::vector<bool>* applied) {
    if (applied) applied->assign(edits.size(), false);
    std::string out;
    out.reserve(rtf.size() + 64);
    size_t pos = 0;       // input bytes before `pos` are written
    size_t lastEnd = 0;   // plain text position after the last edit made
    for (size_t e = 0; e < edits.size(); ++e) {
        const CZTTextEdit& ed = edits[e];
        if (ed.length == 0 || ed.offset < lastEnd || ed.offset + ed.length > spans.size()) continue;
        // Every character must have bytes of its own, in input order.
        bool ok = true;
        size_t prevEnd = pos;
        for (size_t k = ed.offset; k < ed.offset + ed.length && ok; ++k) {
            const RtfTextSpan& s = spans[k];
            if (s.begin >= s.end || s.begin < prevEnd || s.end > rtf.size()) ok = false;
            prevEnd = s.end;
        }
        if (!ok) continue;
        const RtfTextSpan& first = spans[ed.offset];
        AppendPiece(out, rtf.substr(pos, first.begin - pos));
        AppendRtfText(out, ed.replacement, first.ansi);
        pos = first.end;
        for (size_t k = ed.offset + 1; k < ed.offset + ed.length; ++k) {
            AppendPiece(out, rtf.substr(pos, spans[k].begin - pos));
            pos = spans[k].end;
        }
        lastEnd = ed.offset + ed.length;
        if (applied) (*applied)[e] = true;
    }
    AppendPiece(out, rtf.substr(pos));
    return out;
}

} // namespace zt
