// Destinations: how each kind of group is read; fields, font, colour and style tables, info.
#include "exchange/rtfhtml/rtfconverter_impl.h"

#include "base/cp1252.h"

namespace zt {

namespace {

using Impl = RtfConverter::Impl;

bool EqualsNoCase(std::u32string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char32_t x = a[i];
        if (x >= 'a' && x <= 'z') x -= 32;
        char32_t y = uint8_t(b[i]);
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

} // namespace

void Impl::OnDestination(RtfKw kw) {
    bool html = mode_ == Mode::Html;
    switch (kw) {
    case RtfKw::nesttableprops:
        // The definition of a nested row comes with its end.
        if (html && !outerTables_.empty()) OnRow();
        break;
    case RtfKw::fonttbl:
        SetDest(Dest::FontTbl);
        return;
    case RtfKw::colortbl:
        if (!html) break;
        SetDest(Dest::ColorTbl);
        color_ = Color{};
        colorPending_ = false;
        return;
    case RtfKw::stylesheet:
        if (!html) break;
        SetDest(Dest::StyleSheet);
        styles_.clear();
        expanded_.clear();
        return;
    case RtfKw::info:
        if (!html) break;
        SetDest(Dest::Info);
        return;
    case RtfKw::field:
        if (fields_.size() < kMaxFieldNesting) {
            fields_.emplace_back();
            Cur().fieldStart = true;
            ++fieldGroups_;
        }
        return;
    case RtfKw::fldinst:
        if (!html || fields_.empty() || !InsideField()) break;
        fields_.back().inst.clear();
        SetDest(Dest::FldInst);
        return;
    case RtfKw::fldrslt:
        OnFieldResult();
        return;
    case RtfKw::footnote:
    case RtfKw::ftncn:
    case RtfKw::ftnsepc:
    case RtfKw::rxe:
    case RtfKw::upr:
        return;
    case RtfKw::verscomm:
        if (html) return;
        break;
    case RtfKw::pict:
        if (!html) {
            TextSpace();
            break;
        }
        if (twinsPresent_) break;
        pict_ = Pict{};
        SetDest(Dest::Pict);
        return;
    case RtfKw::ztxpng:
    case RtfKw::ztxjpeg:
        if (!html) break;
        twin_ = Twin{};
        twin_.png = kw == RtfKw::ztxpng;
        SetDest(Dest::Twin);
        return;
    case RtfKw::ztxpict:
        twinsPresent_ = true;
        break;
    case RtfKw::object:
    case RtfKw::shp:
        if (!html) {
            TextSpace();
            break;
        }
        SetDest(Dest::ObjectScan);
        return;
    case RtfKw::nonshppict:
        if (!html) {
            TextSpace();
            break;
        }
        if (shppictDone_) {
            // The same picture came already from the \shppict group before.
            shppictDone_ = false;
            break;
        }
        SetDest(Dest::ObjectScan);
        return;
    case RtfKw::shppict:
        if (!html) break;
        SetDest(Dest::ObjectScan);
        Cur().shppict = true;
        shppictPictures_ = 0;
        return;
    case RtfKw::shpinst:
        if (html && Cur().dest == Dest::ObjectScan) return;
        break;
    case RtfKw::result:
    case RtfKw::shprslt:
    case RtfKw::shptxt:
        if (!html) break;
        SetDest(Dest::Normal);
        return;
    case RtfKw::pn:
        if (html && stack_.size() >= 2) {
            Group& parent = stack_[stack_.size() - 2];
            parent.para.listItem = true;
            Cur().para.listItem = true;
        }
        break;
    default:
        break;
    }
    SkipGroup();
}

void Impl::OnFieldResult() {
    if (mode_ != Mode::Html || fields_.empty() || !InsideField()) return;
    Field& f = fields_.back();
    if (f.kind == 2) {
        SkipGroup();
        return;
    }
    if (f.kind == 1 && inLink_ == 0) {
        PrepareBlock();
        std::string a = "<A HREF=\"";
        for (char32_t c : f.url) {
            if (c == '"')
                a += "&quot;";
            else if (c == ' ')
                a += "%20";
            else
                rtfhtml::AppendHtmlChar(a, c);
        }
        a += "\" TARGET=_top>";
        Markup(a);
        Cur().linkOpen = true;
        ++inLink_;
    }
}

void Impl::FinishFieldInstruction() {
    if (fields_.empty()) return;
    Field& f = fields_.back();
    std::u32string_view s = f.inst;
    size_t p = 0;
    auto skipSpace = [&] {
        while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
    };
    auto word = [&] {
        skipSpace();
        size_t b = p;
        if (p < s.size() && s[p] == '"') {
            size_t e = s.find(U'"', p + 1);
            if (e == std::u32string_view::npos) e = s.size();
            p = std::min(e + 1, s.size());
            return s.substr(b + 1, e - b - 1);
        }
        while (p < s.size() && s[p] != ' ' && s[p] != '\t') ++p;
        return s.substr(b, p - b);
    };
    std::u32string_view keyword = word();
    if (EqualsNoCase(keyword, "HYPERLINK")) {
        bool local = false;
        std::u32string_view target;
        while (p < s.size()) {
            skipSpace();
            if (p >= s.size()) break;
            if (s[p] == '\\') {
                std::u32string_view sw = word();
                if (sw.size() >= 2 && (sw[1] == 'l' || sw[1] == 'L')) local = true;
                if (sw.size() >= 2 && (sw[1] == 'o' || sw[1] == 't' || sw[1] == 'm')) word();
                continue;
            }
            std::u32string_view w = word();
            if (target.empty()) target = w;
        }
        if (!target.empty()) {
            f.kind = 1;
            f.url.clear();
            if (local) f.url.push_back('#');
            f.url.append(target);
        }
    } else if (EqualsNoCase(keyword, "SYMBOL")) {
        std::u32string_view num = word();
        int64_t code = 0;
        bool ok = !num.empty();
        bool hex = num.size() > 2 && num[0] == '0' && (num[1] == 'x' || num[1] == 'X');
        for (size_t i = hex ? 2 : 0; i < num.size() && ok; ++i) {
            int d = num[i] < 128 ? HexDigit(uint8_t(num[i])) : -1;
            if (d < 0 || (!hex && d > 9)) ok = false;
            else if (code < 0x110000) code = code * (hex ? 16 : 10) + d;
        }
        if (!ok || code <= 0 || code > 0x10FFFF) return;
        f.kind = 2;
        f.symbolCode = char32_t(code);
        f.symbolFont = "Symbol";
        while (p < s.size()) {
            skipSpace();
            if (p >= s.size()) break;
            std::u32string_view sw = word();
            if (sw.size() == 2 && sw[0] == '\\' && (sw[1] == 'f' || sw[1] == 'F')) {
                std::u32string_view name = word();
                f.symbolFont.clear();
                for (char32_t c : name) {
                    int b = UnicodeToCp1252(c);
                    if (b > 0 && f.symbolFont.size() < kMaxNameLength) f.symbolFont.push_back(char(b));
                }
            } else if (sw.size() == 2 && sw[0] == '\\' && (sw[1] == 's' || sw[1] == 'S')) {
                std::u32string_view size = word();
                int v = 0;
                for (char32_t c : size)
                    if (c >= '0' && c <= '9' && v < 10000) v = v * 10 + int(c - '0');
                f.symbolSize = v;
            }
        }
        if (mode_ == Mode::Html) WriteSymbolField(f);
    }
}

void Impl::WriteSymbolField(const Field& f) {
    PrepareBlock();
    std::string m = "<FONT FACE=\"";
    rtfhtml::AppendHtmlEscaped(m, f.symbolFont);
    m += "\">";
    int size = f.symbolSize > 0 ? RelativeSize(2 * f.symbolSize) : 0;
    if (size) m += "<FONT SIZE=" + std::string(size > 0 ? "+" : "") + Int(size) + ">";
    Markup(m);
    char32_t c = f.symbolCode;
    if (c < 256) {
        const RtfCodePage& cp = StartsWithNoCaseAscii(f.symbolFont, "symbol") && !options.noSymbolFont
                                    ? *symbolCp_
                                    : CurCp();
        c = cp.IsLeadByte(uint8_t(c)) ? 0 : cp.Map(uint8_t(c));
    }
    std::string ch;
    rtfhtml::AppendHtmlChar(ch, c == ' ' ? char32_t(0xA0) : c);
    Put(ch);
    Markup(size ? "</FONT></FONT>" : "</FONT>");
}

void Impl::FinishFont() {
    if (!fontPending_) return;
    fontPending_ = false;
    font_.name = Trim(font_.name);
    int cp = 0;
    if (font_.cpg > 0)
        cp = font_.cpg;
    else if (font_.charset >= 0)
        cp = CodePageOfCharset(font_.charset);
    font_.cp = (cp > 0 && cp != kRtfSymbolCodePage) ? &RtfCodePageFor(cp) : nullptr;
    font_.symbolName = font_.name.compare(0, 6, "Symbol") == 0;
    auto it = fontIndex_.find(font_.number);
    if (it != fontIndex_.end()) {
        fonts_[it->second] = std::move(font_);
    } else if (fonts_.size() < kMaxFonts) {
        fontIndex_[font_.number] = fonts_.size();
        fonts_.push_back(std::move(font_));
    }
    font_ = Font{};
}

void Impl::PushColor() {
    if (colors_.size() < kMaxColors) colors_.push_back(color_);
    color_ = Color{};
    colorPending_ = false;
}

void Impl::StyleEntryWord(RtfKw kw, const RtfToken& t) {
    int32_t v = t.hasParam ? t.param : 0;
    switch (kw) {
    case RtfKw::s:
        style_.number = v;
        style_.paragraph = true;
        return;
    case RtfKw::cs:
    case RtfKw::ds:
    case RtfKw::ts:
        style_.number = v;
        style_.paragraph = false;
        return;
    case RtfKw::sbasedon:
        style_.basedOn = v;
        return;
    case RtfKw::snext:
    case RtfKw::additive:
        return;
    default:
        break;
    }
    RtfKwKind k = RtfWordKind(kw);
    if (k == RtfKwKind::Dest) {
        SkipGroup();
        return;
    }
    if ((k == RtfKwKind::Char || k == RtfKwKind::Para) && kw != RtfKw::pard && kw != RtfKw::intbl &&
        kw != RtfKw::ls && kw != RtfKw::ilvl && kw != RtfKw::itap && kw != RtfKw::deleted &&
        style_.words.size() < kMaxStyleWords)
        style_.words.push_back({kw, t.hasParam, t.param});
}

void Impl::FinishStyle() {
    std::string name = Trim(style_.name);
    styleNameDone_ = false;
    if (style_.number < 0) {
        if (name == "Normal" || name == "Standard")
            style_.number = 0;
        else
            return;  // missing style number
    }
    if (!style_.paragraph) return;
    if (name.empty()) name = "noName";
    style_.name = std::move(name);
    if (style_.basedOn == style_.number) style_.basedOn = -1;
    if (styles_.size() < kMaxStyles || styles_.count(style_.number)) styles_[style_.number] = std::move(style_);
    style_ = Style{};
}

void Impl::InfoWord(RtfKw kw) {
    std::string* text = nullptr;
    RtfTime* time = nullptr;
    switch (kw) {
    case RtfKw::title: text = &info.title; break;
    case RtfKw::subject: text = &info.subject; break;
    case RtfKw::author: text = &info.author; break;
    case RtfKw::operator_: text = &info.operatorName; break;
    case RtfKw::keywords: text = &info.keywords; break;
    case RtfKw::comment: text = &info.comment; break;
    case RtfKw::doccomm: text = &info.doccomm; break;
    case RtfKw::creatim: time = &info.created; break;
    case RtfKw::revtim: time = &info.revised; break;
    case RtfKw::printim: time = &info.printed; break;
    case RtfKw::buptim: time = &info.backedUp; break;
    default:
        if (RtfWordKind(kw) == RtfKwKind::Dest) SkipGroup();
        return;
    }
    if (text) {
        text->clear();
        SetDest(Dest::InfoText);
        Cur().infoText = text;
    } else {
        *time = RtfTime{};
        SetDest(Dest::InfoTime);
        Cur().infoTime = time;
    }
}

void Impl::InfoTimeWord(RtfKw kw, const RtfToken& t) {
    RtfTime* time = Cur().infoTime;
    if (!time || !t.hasParam) return;
    int v = t.param;
    switch (kw) {
    case RtfKw::yr: time->year = v > 500 ? v : v + 1900; break;
    case RtfKw::mo: time->month = v; break;
    case RtfKw::dy: time->day = v; break;
    case RtfKw::hr: time->hour = v; break;
    case RtfKw::min: time->minute = v; break;
    case RtfKw::sec: time->second = v; break;
    default: break;
    }
}

} // namespace zt
