// The converter's public calls and its frame: a conversion, its groups, code pages and tokens.
#include "exchange/rtfhtml/rtfconverter.h"
#include "exchange/rtfhtml/rtfconverter_impl.h"

#include "base/cp1252.h"
#include "base/fileio.h"

#include <new>
#include <unistd.h>

namespace zt {

namespace {
using Impl = RtfConverter::Impl;
} // namespace

// ---- conversion frame ---------------------------------------------------------

bool Impl::ConvertHtml(std::string_view rtf, std::string& html, FILE* file, const std::string& pictureBase) {
    Begin(rtf, Mode::Html);
    if (!file) {
        // Write into the caller's string so that its memory serves again.
        out_.swap(html);
        out_.clear();
        out_.reserve(rtf.size() * 2 + 4096);
    }
    file_ = file;
    pictureBase_ = pictureBase;
    bool ok = RunGuarded();
    if (file_) {
        FlushOut();
        if (writeError_ && ok) {
            ok = false;
            message = "Can't write dest";
        }
    } else {
        html = std::move(out_);
    }
    End();
    return ok;
}

bool Impl::ConvertText(std::string_view rtf, RtfTextMode mode, std::string& text,
                       std::vector<RtfTextSpan>* spans) {
    Begin(rtf, Mode::Text);
    spans_ = spans;
    if (spans_) {
        spans_->clear();
        spans_->reserve(rtf.size() / 2 + 16);
    }
    out_.swap(text);
    out_.clear();
    out_.reserve(rtf.size() + 1024);
    form_ = mode == RtfTextMode::Search ? TextForm::Search
          : mode == RtfTextMode::Utf8   ? TextForm::Utf8
                                        : TextForm::Text;
    bool ok = RunGuarded();
    if (ok) {
        text = std::move(out_);
    } else {
        text.clear();
        if (spans_) spans_->clear();
    }
    spans_ = nullptr;
    End();
    return ok;
}

void Impl::ResetState() {
    pictureCounter = 0;
    inTable_ = false;
    layout_ = TableLayout{};
    outerTables_.clear();
    listOpen_ = false;
}

void Impl::Begin(std::string_view rtf, Mode mode) {
    ResetState();
    mode_ = mode;
    input_ = rtf;
    tok_ = RtfTokenizer(rtf);
    info = RtfDocInfo{};
    message.clear();
    failed_ = false;
    out_.clear();
    file_ = nullptr;
    writeError_ = false;
    stack_.clear();
    fonts_.clear();
    fontIndex_.clear();
    colors_.clear();
    styles_.clear();
    expanded_.clear();
    fields_.clear();
    fieldGroups_ = 0;
    prescanBudget_ = rtf.size() * 4 + (1u << 20);
    ansiCp_ = &RtfCodePageFor(1252);
    docCp_ = ansiCp_;
    symbolCp_ = &RtfCodePageFor(kRtfSymbolCodePage);
    deff_ = -1;
    ucSkip_ = 0;
    pendingLead_ = -1;
    pendingHigh_ = 0;
    twinsPresent_ = false;
    shppictDone_ = false;
    fontPending_ = false;
    colorPending_ = false;
    headWritten_ = false;
    bodyBegin_ = bodyEnd_ = 0;
    outer_ = inner_ = 0;
    alignDiv_ = indentDiv_ = false;
    headingOpen_ = 0;
    tagsOpen_ = false;
    openTags_ = 0;
    word_.clear();
    wordDirect_ = false;
    inLink_ = 0;
    row_ = cell_ = 0;
    rowOpen_ = cellOpen_ = false;
    pictureBase_.clear();
}

void Impl::End() {
    // Free what the conversion read; keep the code page tables.
    stack_.clear();
    stack_.shrink_to_fit();
    fonts_.clear();
    fontIndex_.clear();
    colors_.clear();
    styles_.clear();
    expanded_.clear();
    fields_.clear();
    layout_ = TableLayout{};
    outerTables_.clear();
    pict_ = Pict{};
    twin_ = Twin{};
    out_.clear();
    out_.shrink_to_fit();
    word_.clear();
    file_ = nullptr;
    input_ = {};
}

bool Impl::RunGuarded() {
    try {
        Run();
    } catch (const std::bad_alloc&) {
        Fail("RTF PANIC: Out Of Memory\n");
    } catch (const std::length_error&) {
        Fail("RTF PANIC: Out Of Memory\n");
    }
    return !failed_;
}

void Impl::Fail(std::string_view what) {
    if (failed_) return;
    failed_ = true;
    message = "PANIC: " + std::string(what) + "\nExiting.\n";
    if (lastOffset_ < input_.size())
        message += "Last token read was near line " +
                   std::to_string(RtfTokenizer::LineOf(input_, lastOffset_)) + ".\n";
}

void Impl::Run() {
    RtfToken t;
    lastOffset_ = 0;
    if (!tok_.Next(t) || t.type != RtfTokenType::GroupOpen) {
        Fail("Source (input) is not valid rtf!");
        return;
    }
    PushGroup();
    if (!tok_.Next(t) || t.type != RtfTokenType::Word || t.word != "rtf") {
        Fail("Source (input) is not valid rtf!");
        return;
    }
    while (!failed_ && !stack_.empty()) {
        if (!tok_.Next(t)) break;
        lastOffset_ = t.offset;
        while (inTable_ && t.offset >= layout_.endOffset) EndTable();
        tokBegin_ = t.offset;
        tokEnd_ = t.end;
        runPlain_ = t.type == RtfTokenType::Text && t.end - t.offset == t.text.size();
        Dispatch(t);
        if (spans_) MapTo(t.offset, t.end);
    }
    if (failed_) return;
    // Groups left open by a truncated input end here.
    while (!stack_.empty() && !failed_) PopGroup();
    Finish();
}

void Impl::PushGroup() {
    Group g;
    if (!stack_.empty()) g = stack_.back();
    g.destStart = false;
    g.fieldStart = false;
    g.linkOpen = false;
    g.shppict = false;
    bool skip = false;
    if (!stack_.empty()) {
        Dest parent = stack_.back().dest;
        if (parent == Dest::StyleSheet) {
            g.dest = Dest::StyleEntry;
            g.destStart = true;
            style_ = Style{};
            styleNameDone_ = false;
        } else if (parent == Dest::Pict || parent == Dest::Twin) {
            skip = true;
        }
    }
    stack_.push_back(std::move(g));
    if (skip) SkipGroup();
}

// Ends the current group. Its closing work runs while it is still the
// current group, so that pictures and links see the state they stood in.
void Impl::PopGroup() {
    if (stack_.empty()) return;
    Group& g = stack_.back();
    if (g.destStart) {
        switch (g.dest) {
        case Dest::StyleEntry: FinishStyle(); break;
        case Dest::FldInst: FinishFieldInstruction(); break;
        case Dest::Pict: FinishPicture(); break;
        case Dest::Twin: FinishTwin(); break;
        case Dest::FontTbl: FinishFont(); break;
        case Dest::ColorTbl:
            if (colorPending_) {
                message = "ReadColorTbl: malformed ColorTbl entry";
                PushColor();
            }
            break;
        default: break;
        }
    } else if (g.dest == Dest::FontTbl) {
        FinishFont();
    }
    if (g.shppict && shppictPictures_ > 0) shppictDone_ = true;
    if (g.linkOpen) {
        CloseCharTags();
        Markup("</A>");
        --inLink_;
    }
    if (g.fieldStart) {
        if (!fields_.empty()) fields_.pop_back();
        --fieldGroups_;
    }
    stack_.pop_back();
}

// Reads tokens until the current group is closed, then ends it.
void Impl::SkipGroup() {
    int target = int(stack_.size());
    RtfToken t;
    while (tok_.Depth() >= target) {
        if (!tok_.Next(t)) break;
        if (t.type == RtfTokenType::Error) {
            Fail("RTFPushCSStack: stack overflow\n");
            return;
        }
    }
    if (tok_.Depth() < target) {
        ucSkip_ = 0;
        pendingLead_ = -1;
        PopGroup();
    }
}

// ---- code pages ---------------------------------------------------------------

void Impl::SelectFontMap(int n) {
    Group& g = Cur();
    const Font* f = FindFont(n);
    if (f && f->symbolName && !options.noSymbolFont) {
        g.symbol = true;
        g.fontCp = nullptr;
    } else {
        g.symbol = false;
        g.fontCp = f ? f->cp : nullptr;
    }
}

std::unique_ptr<Impl::ByteTable> Impl::BuildTable(const RtfCodePage& cp, int key) {
    auto t = std::make_unique<ByteTable>();
    std::string s;
    for (int b = 0; b < 256; ++b) {
        s.clear();
        uint8_t kind = BytePlain;
        char32_t c = cp.Map(uint8_t(b));
        if (cp.IsLeadByte(uint8_t(b))) {
            kind = ByteLead;
        } else if (b == '\t') {
            kind = ByteTab;
        } else if (c == ' ') {
            kind = ByteSpace;
        } else if (b == 0 || b == '\r' || b == '\n' || (c != 0 && c < 0x20)) {
            kind = ByteDrop;
        } else if (key == 0) {
            rtfhtml::AppendHtmlChar(s, c);
            if (s.empty()) kind = ByteDrop;
        } else {
            AppendTextFallback(s, c);
        }
        t->kind[b] = kind;
        t->off[b] = uint16_t(t->pool.size());
        t->len[b] = uint8_t(s.size());
        t->identity[b] = kind == BytePlain && s.size() == 1 && uint8_t(s[0]) == b;
        t->pool += s;
    }
    return t;
}

// Text output of a character that must be written even without a form of
// its own: "[unknown]" in the text form, a space in the search form.
void Impl::AppendTextFallback(std::string& s, char32_t c) {
    if (c != 0 && rtfhtml::AppendTextChar(s, c, form_)) return;
    if (form_ == TextForm::Search)
        s.push_back(' ');
    else if (form_ == TextForm::Utf8)
        AppendUtf8(s, 0xFFFD);
    else
        s += "[unknown]";
}

// ---- tokens -------------------------------------------------------------------

void Impl::OnSymbol(const RtfToken& t) {
    switch (t.symbol) {
    case '*': {
        RtfToken n;
        if (!tok_.Next(n)) return;
        lastOffset_ = n.offset;
        if (n.type == RtfTokenType::Word) {
            RtfKw kw = LookupRtfWord(n.word);
            if (RtfWordKind(kw) == RtfKwKind::Dest) {
                OnWord(kw, n);
                return;
            }
        }
        if (n.type == RtfTokenType::Error) {
            Fail("RTFPushCSStack: stack overflow\n");
            return;
        }
        if (n.type == RtfTokenType::GroupClose) {
            PopGroup();
            return;
        }
        // An ignorable destination this reader does not know.
        SkipGroup();
        return;
    }
    case '~': SpecialChar(0xA0); return;
    case '_': SpecialChar('-'); return;
    case '-':
        if (mode_ == Mode::Text) SpecialChar(0xAD);
        return;
    default:
        return;
    }
}

void Impl::OnWord(RtfKw kw, const RtfToken& t) {
    // Words that count wherever they stand.
    switch (kw) {
    case RtfKw::ansi: SetDocCodePage(1252); return;
    case RtfKw::mac: SetDocCodePage(10000); return;
    case RtfKw::pc: SetDocCodePage(437); return;
    case RtfKw::pca: SetDocCodePage(850); return;
    case RtfKw::ansicpg:
        if (t.hasParam) SetDocCodePage(t.param);
        return;
    case RtfKw::deff:
        if (t.hasParam) deff_ = t.param;
        return;
    case RtfKw::uc:
        Cur().uc = uint8_t(std::clamp<int32_t>(t.hasParam ? t.param : 1, 0, 255));
        return;
    case RtfKw::u:
        if (t.hasParam) OnUnicode(t.param);
        return;
    default:
        break;
    }
    Group& g = Cur();
    switch (g.dest) {
    case Dest::Normal:
    case Dest::ObjectScan:
        if (RtfWordKind(kw) == RtfKwKind::Dest) {
            OnDestination(kw);
            return;
        }
        if (g.dest == Dest::ObjectScan) return;
        if (mode_ == Mode::Html) {
            HtmlWord(kw, t);
        } else {
            if (kw == RtfKw::f && t.hasParam) SelectFontMap(t.param);
            TextWord(kw);
        }
        return;
    case Dest::FontTbl:
        if (kw == RtfKw::f && t.hasParam) {
            FinishFont();
            font_ = Font{};
            font_.number = t.param;
            fontPending_ = true;
        } else if (kw == RtfKw::fcharset && t.hasParam) {
            font_.charset = t.param;
        } else if (kw == RtfKw::cpg && t.hasParam) {
            font_.cpg = t.param;
        } else if (RtfWordKind(kw) == RtfKwKind::Dest) {
            SkipGroup();
        }
        return;
    case Dest::ColorTbl:
        if (kw == RtfKw::red || kw == RtfKw::green || kw == RtfKw::blue) {
            int v = t.hasParam ? std::clamp<int32_t>(t.param, 0, 255) : 0;
            (kw == RtfKw::red ? color_.r : kw == RtfKw::green ? color_.g : color_.b) = v;
            colorPending_ = true;
        } else if (RtfWordKind(kw) == RtfKwKind::Dest) {
            SkipGroup();
        }
        return;
    case Dest::StyleSheet:
        if (RtfWordKind(kw) == RtfKwKind::Dest) SkipGroup();
        return;
    case Dest::StyleEntry:
        StyleEntryWord(kw, t);
        return;
    case Dest::Info:
        InfoWord(kw);
        return;
    case Dest::InfoTime:
        InfoTimeWord(kw, t);
        return;
    case Dest::InfoText:
    case Dest::FldInst:
        if (RtfWordKind(kw) == RtfKwKind::Dest)
            SkipGroup();
        else if (kw == RtfKw::f && t.hasParam)
            SelectFontMap(t.param);
        return;
    case Dest::Pict:
        PictWord(kw, t);
        return;
    case Dest::Twin:
        if (kw == RtfKw::ztxwidth && t.hasParam) twin_.width = t.param;
        if (kw == RtfKw::ztxheight && t.hasParam) twin_.height = t.param;
        return;
    }
}

void Impl::OnUnicode(int32_t n) {
    char32_t c = n < 0 ? char32_t(n + 65536) : char32_t(n);
    int skip = Cur().uc;
    unicodeSpan_ = SIZE_MAX;
    if (c >= 0xD800 && c <= 0xDBFF) {
        highBegin_ = tokBegin_;
        pendingHigh_ = c;
        ucSkip_ = skip;
        return;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        if (!pendingHigh_) {
            ucSkip_ = skip;
            return;
        }
        c = 0x10000 + ((pendingHigh_ - 0xD800) << 10) + (c - 0xDC00);
        tokBegin_ = std::min(tokBegin_, highBegin_);
    }
    pendingHigh_ = 0;
    if (c == 0 || c > 0x10FFFF) return;
    switch (Cur().dest) {
    case Dest::Normal:
        if (mode_ == Mode::Html) {
            EmitHtmlChar(c);
        } else {
            // Without a form of its own the character's fallback is written.
            size_t before = out_.size();
            if (!EmitTextChar(c)) return;
            if (spans_ && out_.size() > before) {
                MapTo(tokBegin_, tokEnd_);
                unicodeSpan_ = spans_->size() - 1;
            }
        }
        break;
    case Dest::InfoText:
    case Dest::FldInst:
        CollectChar(c);
        break;
    case Dest::FontTbl:
        if (fontPending_ && font_.name.size() < kMaxNameLength) {
            int b = UnicodeToCp1252(c);
            font_.name.push_back(b >= 0 ? char(b) : '?');
        }
        break;
    default:
        break;
    }
    ucSkip_ = skip;
}

void Impl::TextWord(RtfKw kw) {
    switch (kw) {
    case RtfKw::cell:
    case RtfKw::nestcell:
    case RtfKw::tab: out_.push_back('\t'); break;
    case RtfKw::line:
    case RtfKw::page:
    case RtfKw::par:
    case RtfKw::row:
    case RtfKw::nestrow:
    case RtfKw::sect: out_.push_back('\n'); break;
    case RtfKw::bullet: EmitTextChar(0x2022, true); break;
    case RtfKw::emdash: EmitTextChar(0x2014, true); break;
    case RtfKw::endash: EmitTextChar(0x2013, true); break;
    case RtfKw::ldblquote: EmitTextChar(0x201C, true); break;
    case RtfKw::rdblquote: EmitTextChar(0x201D, true); break;
    case RtfKw::lquote: EmitTextChar(0x2018, true); break;
    case RtfKw::rquote: EmitTextChar(0x2019, true); break;
    default: break;
    }
}

void Impl::SpecialChar(char32_t c) {
    if (Cur().dest != Dest::Normal) return;
    if (mode_ == Mode::Html)
        EmitHtmlChar(c);
    else
        EmitTextChar(c, true);
}

// ---- public calls ---------------------------------------------------------------

bool ConvertRtfPicture(const std::string& sourcePath, RtfPictureKind, const std::string& jpegPath) {
    return ConvertPictureToJpeg(sourcePath, jpegPath, kPictureJpegQuality);
}

RtfConverter::RtfConverter() : impl_(std::make_unique<Impl>()) {}
RtfConverter::~RtfConverter() = default;

RtfConverterOptions& RtfConverter::Options() { return impl_->options; }
void RtfConverter::ResetConverterOptions() { impl_->options = RtfConverterOptions{}; }
RtfHtmlSettings& RtfConverter::HtmlSettings() { return impl_->settings; }
void RtfConverter::ResetConverterState() { impl_->ResetState(); }
const RtfDocInfo& RtfConverter::Info() const { return impl_->info; }
const std::string& RtfConverter::LastMessage() const { return impl_->message; }
RtfHtmlBody RtfConverter::LastHtmlBody() const { return impl_->Body(); }

bool RtfConverter::RtfToHtmlFile(std::string_view rtf, const std::string& path) {
    // Written through a temporary file beside the target and renamed over it
    // only when everything was written.
    zt::CAtomicFileWriter file;
    if (!file.Open(path)) {
        impl_->message = "Can't open dest '" + path + "': " + file.Error();
        return false;
    }
    FILE* f = ::fdopen(::dup(file.Fd()), "wb");
    if (!f) {
        impl_->message = "Can't open dest '" + path + "'";
        return false;
    }
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    std::string base = (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ? path.substr(0, dot)
                                                                                                 : path;
    std::string unused;
    bool ok = impl_->ConvertHtml(rtf, unused, f, base);
    if (std::ferror(f)) ok = false;
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        if (impl_->message.empty()) impl_->message = "Can't write dest '" + path + "'";
        return false;
    }
    if (!file.Commit()) {
        impl_->message = "Can't write dest '" + path + "': " + file.Error();
        return false;
    }
    return true;
}

bool RtfConverter::RtfToHtml(std::string_view rtf, std::string& html, const std::string& pictureBase) {
    return impl_->ConvertHtml(rtf, html, nullptr, pictureBase);
}

bool RtfConverter::RtfToText(std::string_view rtf, RtfTextMode mode, std::string& text) {
    return impl_->ConvertText(rtf, mode, text);
}

bool RtfConverter::RtfToText(std::string_view rtf, RtfTextMode mode, std::string& text,
                             std::vector<RtfTextSpan>& spans) {
    return impl_->ConvertText(rtf, mode, text, &spans);
}

bool RtfToHtmlFile(std::string_view rtf, const std::string& path) {
    RtfConverter c;
    return c.RtfToHtmlFile(rtf, path);
}

bool RtfToText(std::string_view rtf, RtfTextMode mode, std::string& text) {
    RtfConverter c;
    return c.RtfToText(rtf, mode, text);
}

} // namespace zt
