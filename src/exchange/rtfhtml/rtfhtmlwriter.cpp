// The HTML writer: head and end, words and links, paragraphs, headings, character tags, styles.
#include "exchange/rtfhtml/rtfconverter_impl.h"

#include "base/cp1252.h"

namespace zt {

namespace {

using Impl = RtfConverter::Impl;

enum TagBit : uint16_t {
    TagStrike = 1, TagBg = 2, TagFg = 4, TagSub = 8, TagSup = 16, TagB = 32, TagI = 64,
    TagU = 128, TagUU = 256, TagSize = 512, TagFace = 1024,
};

} // namespace

// ---- output ---------------------------------------------------------------------

void Impl::WriteHead() {
    headWritten_ = true;
    std::string h =
        "<!doctype html public \"-//w3c//dtd html 4.0 transitional//en\">\n"
        "<HTML>\n<HEAD>\n"
        "  <META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">\n"
        "  <META NAME=\"GENERATOR\" CONTENT=\"rtfhtml/1.1 (EXE) [Zettrix]\">\n"
        "  <TITLE>";
    bool useOverride = info.title.empty() || (settings.titleOverrides && !settings.title.empty());
    for (unsigned char c : useOverride ? settings.title : info.title)
        rtfhtml::AppendHtmlChar(h, Cp1252ToUnicode(c));
    h += "</TITLE>\n";
    if (!settings.headText.empty()) h += settings.headText + "\n";
    h += "</HEAD>\n<BODY " + settings.bodyAttributes + ">\n";
    if (!options.noFontNames) {
        const Font* f = FindFont(deff_);
        if (f && !f->name.empty()) {
            h += "<DIV STYLE=\"font-family: '";
            std::string name = f->name;
            name.erase(std::remove(name.begin(), name.end(), '\''), name.end());
            rtfhtml::AppendHtmlEscaped(h, name);
            h += "'\">\n";
        } else {
            h += "<DIV>\n";
        }
    }
    if (!settings.bodyStartText.empty()) h += settings.bodyStartText + "\n";
    Put(h);
    bodyBegin_ = bodyEnd_ = out_.size();
}

void Impl::Finish() {
    if (mode_ != Mode::Html) return;
    FlushWord();
    while (inTable_) EndTable();
    CloseSection();
    if (!headWritten_) WriteHead();
    bodyEnd_ = out_.size();
    std::string tail;
    if (!settings.bodyEndText.empty()) tail += settings.bodyEndText + "\n";
    if (!options.noFontNames) tail += "</DIV>\n";
    tail += "</BODY>\n</HTML>\n";
    Put(tail);
}

// ---- words and links ------------------------------------------------------------

std::string_view Impl::StripEnclosing(std::string_view w) {
    if (w.size() >= 8 && w.substr(0, 4) == "&lt;" && w.substr(w.size() - 4) == "&gt;")
        return w.substr(4, w.size() - 8);
    if (w.size() >= 2) {
        char a = w.front(), b = w.back();
        if ((a == '"' && b == '"') || (a == '\'' && b == '\'') || (a == '(' && b == ')') ||
            (a == '[' && b == ']') || (a == '{' && b == '}'))
            return w.substr(1, w.size() - 2);
    }
    return w;
}

bool Impl::LooksLikeAddress(std::string_view s) {
    if (s.empty()) return false;
    switch (s[0] | 0x20) {
    case 'h': return StartsWithNoCaseAscii(s, "http://") || StartsWithNoCaseAscii(s, "https://");
    case 'n': return StartsWithNoCaseAscii(s, "news://");
    case 'f': return StartsWithNoCaseAscii(s, "ftp://") || StartsWithNoCaseAscii(s, "file://");
    case 'm': return StartsWithNoCaseAscii(s, "mailto:");
    case 'w': return StartsWithNoCaseAscii(s, "www.");
    default: return false;
    }
}

void Impl::WriteWord(std::string_view w) {
    if (w.size() >= 3 && !options.noAutoUrlDetect && inLink_ == 0) {
        std::string_view stripped = StripEnclosing(w);
        if (settings.linkCallback) {
            std::string own;
            if (settings.linkCallback(own, w, stripped)) {
                Put(own);
                return;
            }
        }
        if (LooksLikeAddress(stripped)) {
            std::string a = "<A TARGET=_top HREF=\"";
            if (StartsWithNoCaseAscii(stripped, "www.")) a += "http://";
            for (char c : stripped) {
                if (c == '"')
                    a += "&quot;";
                else
                    a.push_back(c);
            }
            a += "\">";
            a += w;
            a += "</A>";
            Put(a);
            return;
        }
    }
    Put(w);
}

// ---- paragraphs and character tags ------------------------------------------------

// The same without character tags, for pictures, breaks and links.
void Impl::PrepareBlock() {
    if (!headWritten_) WriteHead();
    EnterNestedTables();
    if (inTable_ && !cellOpen_) EnsureCell();
    CloseCharTags();
    if (inner_ != 1) OpenParagraph();
}

std::string Impl::ColorHex(int index) const {
    Color c;
    if (index >= 0 && size_t(index) < colors_.size()) c = colors_[size_t(index)];
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02x%02x%02x", std::max(c.r, 0), std::max(c.g, 0), std::max(c.b, 0));
    return buf;
}

const std::string* Impl::FaceName(const CharState& c) const {
    if (options.noFontNames) return nullptr;
    const Font* f = nullptr;
    if (c.font >= 0)
        f = FindFont(c.font);
    else if (!options.noDefaultFont)
        f = FindFont(deff_);
    return f && !f->name.empty() ? &f->name : nullptr;
}

void Impl::OpenCharTags() {
    const CharState& c = Cur().chr;
    std::string m;
    uint16_t open = 0;
    if (c.strike) {
        m += "<STRIKE>";
        open |= TagStrike;
    }
    if (c.bg > 0) {
        m += "<FONT style=\"background-color: #" + ColorHex(c.bg) + "\">";
        open |= TagBg;
    }
    if (c.fg > 0) {
        m += "<FONT COLOR=#" + ColorHex(c.fg) + ">";
        open |= TagFg;
    }
    if (c.sub) {
        m += "<SUB>";
        open |= TagSub;
    }
    if (c.super) {
        m += "<SUP>";
        open |= TagSup;
    }
    if (c.bold) {
        m += "<B>";
        open |= TagB;
    }
    if (c.italic) {
        m += "<I>";
        open |= TagI;
    }
    if (c.underline) {
        m += "<U>";
        open |= TagU;
    }
    if (c.dblUnderline) {
        m += "<U>";
        open |= TagUU;
    }
    if (c.size != 0) {
        m += "<FONT SIZE=" + std::string(c.size > 0 ? "+" : "") + Int(c.size) + ">";
        open |= TagSize;
    }
    if (const std::string* face = FaceName(c)) {
        m += "<FONT FACE=\"";
        rtfhtml::AppendHtmlEscaped(m, *face);
        m += "\">";
        open |= TagFace;
    }
    if (!m.empty()) Markup(m);
    openTags_ = open;
    openChr_ = c;
    tagsOpen_ = true;
}

void Impl::CloseCharTags() {
    if (!tagsOpen_) return;
    tagsOpen_ = false;
    uint16_t o = openTags_;
    openTags_ = 0;
    if (!o) {
        FlushWord();
        return;
    }
    std::string m;
    if (o & TagFace) m += "</FONT>";
    if (o & TagSize) m += "</FONT>";
    if (o & TagUU) m += "</U>";
    if (o & TagU) m += "</U>";
    if (o & TagI) m += "</I>";
    if (o & TagB) m += "</B>";
    if (o & TagSup) m += "</SUP>";
    if (o & TagSub) m += "</SUB>";
    if (o & TagFg) m += "</FONT>";
    if (o & TagBg) m += "</FONT>";
    if (o & TagStrike) m += "</STRIKE>";
    Markup(m);
}

void Impl::OpenParagraph() {
    if (inner_ == 1) return;
    const ParaState& p = Cur().para;
    if (inner_ == 0 && !alignDiv_ && !indentDiv_) {
        if (p.align != AlignLeft) {
            Markup(p.align == AlignCenter ? "\n<DIV ALIGN=center>" : "\n<DIV ALIGN=right>");
            alignDiv_ = true;
        }
        int64_t indent = int64_t(p.li) + (p.listItem ? p.fi : 0);
        if (indent > 0) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "\n<DIV STYLE=\"margin-left : %.2fin\">", double(indent) / 1440.0);
            Markup(buf);
            indentDiv_ = true;
        }
    }
    int level = Cur().heading;
    if (level > 0) {
        if (headingOpen_ != level) {
            if (headingOpen_) Markup("</H" + Int(headingOpen_) + ">\n");
            Markup("\n<H" + Int(level) + ">");
            headingOpen_ = level;
        }
        outer_ = 3;
        inner_ = 1;
        return;
    }
    outer_ = 1;
    if (inner_ == 0) {
        if (p.listItem) {
            Markup("<UL>\n<LI>");
            listOpen_ = true;
        } else {
            Markup("<P>");
        }
    } else if (inner_ == 2) {
        Markup(listOpen_ ? "</LI>\n<LI>" : "\n<BR>\n");
    }
    inner_ = 1;
}

void Impl::CloseParagraph() {
    CloseCharTags();
    if (inner_ != 0 && headingOpen_ == 0) Markup(listOpen_ ? "\n</LI></UL>\n" : "</P>\n");
    listOpen_ = false;
    if (indentDiv_) Markup("</DIV>\n");
    if (alignDiv_) Markup("</DIV>\n");
    indentDiv_ = alignDiv_ = false;
    inner_ = 0;
}

void Impl::CloseHeading() {
    if (!headingOpen_) return;
    CloseParagraph();
    Markup("</H" + Int(headingOpen_) + ">\n");
    headingOpen_ = 0;
    outer_ = 1;
}

void Impl::CloseSection() {
    CloseParagraph();
    CloseHeading();
}

void Impl::OnPar() {
    if (inner_ == 1) {
        CloseCharTags();
        inner_ = 2;
    } else {
        CloseParagraph();
    }
}

void Impl::HtmlWord(RtfKw kw, const RtfToken& t) {
    switch (RtfWordKind(kw)) {
    case RtfKwKind::Char:
        if (kw == RtfKw::deleted) {
            SkipGroup();
            return;
        }
        ApplyWord(kw, t.hasParam, t.param);
        return;
    case RtfKwKind::Para:
        if (kw == RtfKw::s) {
            OnStyle(t.hasParam ? t.param : 0);
            return;
        }
        ApplyWord(kw, t.hasParam, t.param);
        return;
    case RtfKwKind::Table:
        if (!inTable_) StartTable(t.offset);
        return;
    case RtfKwKind::Special:
        HtmlSpecial(kw);
        return;
    default:
        return;
    }
}

void Impl::HtmlSpecial(RtfKw kw) {
    switch (kw) {
    case RtfKw::bullet: EmitHtmlChar(0x2022); break;
    case RtfKw::emdash: EmitHtmlChar(0x2014); break;
    case RtfKw::endash: EmitHtmlChar(0x2013); break;
    case RtfKw::ldblquote: EmitHtmlChar(0x201C); break;
    case RtfKw::rdblquote: EmitHtmlChar(0x201D); break;
    case RtfKw::lquote: EmitHtmlChar(0x2018); break;
    case RtfKw::rquote: EmitHtmlChar(0x2019); break;
    case RtfKw::emspace:
    case RtfKw::enspace: EmitHtmlChar(' '); break;
    case RtfKw::tab: EmitHtmlChar('\t'); break;
    case RtfKw::line:
        PrepareBlock();
        Markup("<BR>\n");
        break;
    case RtfKw::page:
        if (!inTable_) {
            CloseParagraph();
            Markup("<HR>\n");
        }
        break;
    case RtfKw::par: OnPar(); break;
    case RtfKw::sect: CloseSection(); break;
    case RtfKw::cell: OnCell(); break;
    case RtfKw::row: OnRow(); break;
    case RtfKw::nestcell: OnNestedCell(); break;
    case RtfKw::nestrow:
        if (outerTables_.empty())
            OnPar();
        else
            OnRow();
        break;
    default: break;
    }
}

// Character and paragraph attributes, from the text and from styles.
void Impl::ApplyWord(RtfKw kw, bool hasParam, int32_t param) {
    Group& g = Cur();
    CharState& c = g.chr;
    ParaState& p = g.para;
    bool on = !hasParam || param != 0;
    bool style = !options.noTextStyle;
    switch (kw) {
    case RtfKw::b: if (style) c.bold = on; return;
    case RtfKw::i: if (style) c.italic = on; return;
    case RtfKw::strike:
    case RtfKw::striked: if (style) c.strike = on; return;
    case RtfKw::ul: case RtfKw::uld: case RtfKw::uldash: case RtfKw::uldashd:
    case RtfKw::uldashdd: case RtfKw::ulhwave: case RtfKw::ulldash: case RtfKw::ulth:
    case RtfKw::ulthd: case RtfKw::ulthdash: case RtfKw::ulthdashd: case RtfKw::ulthdashdd:
    case RtfKw::ulthldash: case RtfKw::ululdbwave: case RtfKw::ulw: case RtfKw::ulwave:
        if (style) c.underline = on;
        return;
    case RtfKw::uldb: if (style) c.dblUnderline = on; return;
    case RtfKw::ulnone: if (style) c.underline = false; return;
    case RtfKw::scaps: if (style) c.smallCaps = on; return;
    case RtfKw::caps: return;
    case RtfKw::sub:
    case RtfKw::dn:
        c.sub = on;
        if (on) c.super = false;
        return;
    case RtfKw::super:
    case RtfKw::up:
        c.super = on;
        if (on) c.sub = false;
        return;
    case RtfKw::nosupersub: c.sub = c.super = false; return;
    case RtfKw::fs: if (style) c.size = int8_t(RelativeSize(hasParam ? param : 24)); return;
    case RtfKw::cf: if (style) c.fg = hasParam && param > 0 ? param : 0; return;
    case RtfKw::highlight:
    case RtfKw::cb: if (style) c.bg = hasParam && param > 0 ? param : 0; return;
    case RtfKw::plain:
        c = CharState{};
        if (deff_ >= 0) SelectFontMap(deff_);
        return;
    case RtfKw::f: {
        if (!hasParam) return;
        SelectFontMap(param);
        if (options.noFontNames) return;
        const Font* f = FindFont(param);
        if (f && f->name == "Symbol") {
            c.font = -1;
        } else {
            c.font = param;
            if (param == deff_ && options.noDefaultFont) c.font = -1;
        }
        return;
    }
    case RtfKw::qc: case RtfKw::qj: case RtfKw::ql: case RtfKw::qr: {
        if (options.noAlignment) return;
        uint8_t a = kw == RtfKw::qc ? AlignCenter : kw == RtfKw::qr ? AlignRight : AlignLeft;
        CloseParagraph();
        Cur().para.align = a;
        return;
    }
    case RtfKw::fi: CloseParagraph(); Cur().para.fi = hasParam ? param : 0; return;
    case RtfKw::li: CloseParagraph(); Cur().para.li = hasParam ? param : 0; return;
    case RtfKw::ri: CloseParagraph(); Cur().para.ri = hasParam ? param : 0; return;
    case RtfKw::pard:
        CloseParagraph();
        CloseHeading();
        Cur().para = ParaState{};
        return;
    case RtfKw::intbl: p.intbl = on; return;
    case RtfKw::itap: p.itap = int8_t(std::clamp(hasParam ? param : 1, 0, rtfhtml::kMaxTableNesting + 1)); return;
    case RtfKw::ls:
        if (hasParam && param > 0) p.listItem = true;
        return;
    default:
        return;
    }
}

void Impl::OnStyle(int n) {
    if (!options.noHeadings && !inTable_ && inLink_ == 0) {
        int level = 0;
        auto it = styles_.find(n);
        if (it != styles_.end()) {
            const std::string& name = it->second.name;
            if (name.size() == 9 && StartsWithNoCaseAscii(name, "heading ") && name[8] >= '1' && name[8] <= '3')
                level = name[8] - '0';
        }
        CloseParagraph();
        if (level != Cur().heading) {
            CloseHeading();
            Cur().heading = int8_t(level);
        }
    }
    if (Cur().heading == 0) ExpandStyle(n);
}

void Impl::ExpandStyle(int n) {
    auto memo = expanded_.find(n);
    if (memo == expanded_.end()) {
        std::vector<const Style*> chain;
        int cur = n;
        while (cur >= 0 && chain.size() < kMaxStyleChain) {
            auto it = styles_.find(cur);
            if (it == styles_.end()) break;
            // A style that reaches itself again ends the chain there.
            if (std::find(chain.begin(), chain.end(), &it->second) != chain.end()) break;
            chain.push_back(&it->second);
            cur = it->second.basedOn;
        }
        std::vector<StyleWord> words;
        for (auto s = chain.rbegin(); s != chain.rend(); ++s)
            for (const StyleWord& w : (*s)->words)
                if (words.size() < kMaxExpandedWords) words.push_back(w);
        memo = expanded_.emplace(n, std::move(words)).first;
    }
    for (const StyleWord& w : memo->second) ApplyWord(w.kw, w.hasParam, w.param);
}

} // namespace zt
