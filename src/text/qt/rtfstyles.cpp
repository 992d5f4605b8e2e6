// The stylesheet: read from the header, kept with the document, written back.
#include "text/qt/rtfstyles.h"

#include "base/cp1252.h"
#include "text/rtfcodepage.h"
#include "text/rtftokenizer.h"

#include <QTextDocument>
#include <QVariant>

#include <algorithm>
#include <array>
#include <string_view>

namespace zt::textqt::detail {

namespace {

constexpr char kStyleSheetProperty[] = "ztRtfStyleSheet";

// Formatting words a style keeps; the rest (colours, borders, revision
// marks, ...) refers to tables the writer does not carry over.
constexpr std::array<std::string_view, 31> kKeptWords = {
    "b",   "i",     "ul",   "ulnone", "strike", "caps",  "scaps",       "fs",        "expnd",      "lang",
    "super", "sub", "li",   "ri",     "fi",     "lin",   "rin",         "sb",        "sa",         "sl",
    "slmult", "ql", "qc",   "qr",     "qj",     "keepn", "keep",        "outlinelevel", "widctlpar", "nowidctlpar",
    "v"};

bool Kept(std::string_view w) { return std::find(kKeptWords.begin(), kKeptWords.end(), w) != kKeptWords.end(); }

} // namespace

GroupEnd ReadStyleSheet(RtfTokenizer& tok, int depth, const RtfCodePage& cp, const FontLookup& fonts,
                        StyleSheet& out) {
    StyleEntry e;
    bool skip = false;   // a section or table style
    bool named = false;  // the name's ';' came
    int ucSkip = 0;  // the fallback character after a \uN
    RtfToken t;
    auto addName = [&](char32_t c) {
        if (ucSkip > 0) {
            --ucSkip;
            return;
        }
        if (named || c < 0x20 || c > 0xFFFF) return;
        if (c == ';') {
            named = true;
            return;
        }
        if (e.name.size() < kMaxNameLength) e.name.append(QChar(char16_t(c)));
    };
    while (tok.Next(t)) {
        const int rel = tok.Depth() - depth;
        switch (t.type) {
        case RtfTokenType::GroupOpen:
            if (rel == 1) {
                e = StyleEntry{};
                skip = named = false;
            }
            break;
        case RtfTokenType::GroupClose:
            if (rel < 0) return GroupEnd::Closed;
            if (rel == 0 && !skip) {
                e.name = e.name.trimmed();
                auto same = std::find_if(out.begin(), out.end(), [&](const StyleEntry& o) {
                    return o.character == e.character && o.number == e.number;
                });
                if (same != out.end())
                    *same = e;
                else if (int(out.size()) < kMaxStyles)
                    out.push_back(e);
            }
            break;
        case RtfTokenType::Word: {
            if (rel != 1) break;  // words of the groups inside an entry (\*\keycode, ...)
            const std::string_view w = t.word;
            const int v = std::clamp(t.hasParam ? t.param : 0, -kMaxStyleNumber, kMaxStyleNumber);
            if (w == "s") {
                e.number = std::max(v, 0);
            } else if (w == "cs") {
                e.character = true;
                e.number = std::max(v, 0);
            } else if (w == "ds" || w == "ts" || w == "tsrowd") {
                skip = true;
            } else if (w == "sbasedon") {
                e.basedOn = std::max(v, 0);
            } else if (w == "snext") {
                e.next = std::max(v, 0);
            } else if (w == "additive") {
                e.additive = true;
            } else if (w == "f" && t.hasParam) {
                e.hasFont = fonts(v, e.font, e.charset);
            } else if (w == "u" && t.hasParam) {
                addName(char32_t(v < 0 ? v + 65536 : v));
                ucSkip = 1;
            } else if (Kept(w) && e.words.size() < size_t(kMaxStyleWords)) {
                e.words.emplace_back(std::string(w), t.hasParam ? v : StyleEntry::kNoParam);
            }
            break;
        }
        case RtfTokenType::Text:
            if (rel == 1)
                for (unsigned char b : t.text) addName(b < 0x80 ? char32_t(b) : cp.Map(b));
            break;
        case RtfTokenType::Hex:
            if (rel == 1) addName(t.hex < 0x80 ? char32_t(t.hex) : cp.Map(t.hex));
            break;
        case RtfTokenType::Error: return GroupEnd::Error;
        default: break;
        }
    }
    return tok.Failed() ? GroupEnd::Error : GroupEnd::EndOfInput;
}

void SetStyleSheet(QTextDocument& doc, StyleSheet sheet) {
    if (sheet.empty())
        doc.setProperty(kStyleSheetProperty, QVariant());
    else
        doc.setProperty(kStyleSheetProperty,
                        QVariant::fromValue(std::shared_ptr<const StyleSheet>(
                            std::make_shared<const StyleSheet>(std::move(sheet)))));
}

std::shared_ptr<const StyleSheet> StyleSheetOf(const QTextDocument& doc) {
    const QVariant v = doc.property(kStyleSheetProperty);
    if (!v.isValid()) return {};
    return v.value<std::shared_ptr<const StyleSheet>>();
}

std::string StyleSheetRtf(const QTextDocument& doc, const std::function<int(const QString&, int)>& fontIndex) {
    const auto sheet = StyleSheetOf(doc);
    if (!sheet || sheet->empty()) return {};
    std::string out = "{\\stylesheet";
    for (const StyleEntry& e : *sheet) {
        out += "\r\n{";
        if (e.character)
            out += "\\*\\cs" + std::to_string(e.number);
        else if (e.number)
            out += "\\s" + std::to_string(e.number);
        if (e.additive) out += "\\additive";
        for (const auto& [w, p] : e.words) {
            out += '\\' + w;
            if (p != StyleEntry::kNoParam) out += std::to_string(p);
        }
        if (e.hasFont) out += "\\f" + std::to_string(fontIndex(e.font, e.charset));
        if (e.basedOn >= 0) out += "\\sbasedon" + std::to_string(e.basedOn);
        if (e.next >= 0) out += "\\snext" + std::to_string(e.next);
        out += ' ';
        for (QChar ch : e.name) {
            const char16_t c = ch.unicode();
            const int b = UnicodeToCp1252(c);
            if (c == '\\' || c == '{' || c == '}' || c == ';' || c < 0x20) continue;
            if (c < 0x80) {
                out += char(c);
            } else if (b >= 0xA0) {
                static const char kHex[] = "0123456789abcdef";
                out += "\\'";
                out += kHex[b >> 4];
                out += kHex[b & 15];
            } else {
                out += "\\u" + std::to_string(int(int16_t(c))) + '?';
            }
        }
        out += ";}";
    }
    out += "}\r\n";
    return out;
}

} // namespace zt::textqt::detail
