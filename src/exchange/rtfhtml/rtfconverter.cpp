#include "exchange/rtfhtml/rtfconverter.h"
#include "base/fileio.h"

#include "base/cp1252.h"
#include "exchange/rtfhtml/htmlchars.h"
#include "exchange/rtfhtml/rtfnesting.h"
#include "exchange/rtfhtml/rtfpictures.h"
#include "text/pagertf.h"
#include "text/rtfcodepage.h"
#include "text/rtftokenizer.h"
#include "text/rtfwords.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <new>
#include <unordered_map>
#include <vector>
#include <unistd.h>

namespace zt {

using rtfhtml::TextForm;

namespace {

// Limits that keep hostile input in proportion.
constexpr size_t kMaxFonts = 4096;
constexpr size_t kMaxColors = 65536;
constexpr size_t kMaxStyles = 4096;
constexpr size_t kMaxStyleWords = 64;
constexpr size_t kMaxExpandedWords = 256;
constexpr size_t kMaxStyleChain = 64;
constexpr size_t kMaxNameLength = 256;
constexpr size_t kMaxInfoLength = 4096;
constexpr size_t kMaxFieldText = 8192;
constexpr size_t kMaxFieldNesting = 32;
constexpr size_t kMaxCellsPerRow = 1000;
constexpr size_t kMaxTableCells = 200000;
constexpr size_t kWordBufferSize = 1024;
constexpr size_t kFileFlushSize = 1 << 18;

// What the text of the current group is.
enum class Dest : uint8_t {
    Normal,      // body text
    FontTbl,     // font table
    ColorTbl,    // colour table
    StyleSheet,  // style sheet
    StyleEntry,  // one style of the style sheet
    Info,        // document information: only its fields are read
    InfoText,    // a text field of the information
    InfoTime,    // a time of the information
    FldInst,     // field instruction
    Pict,        // picture data
    Twin,        // picture twin of the page dialect
    ObjectScan,  // inside an object or shape: only results, pictures and shape text count
};

struct CharState {
    bool bold = false, italic = false, strike = false, underline = false, dblUnderline = false;
    bool smallCaps = false, sub = false, super = false;
    int8_t size = 0;  // relative HTML size, 0 none
    int fg = 0;       // colour index, 0 none
    int bg = 0;
    int font = -1;    // explicit font number, -1 none
    bool operator==(const CharState&) const = default;
};

enum Align : uint8_t { AlignLeft, AlignCenter, AlignRight };

struct ParaState {
    uint8_t align = AlignLeft;
    int32_t fi = 0, li = 0, ri = 0;
    bool listItem = false;
    bool intbl = false;
    int8_t itap = 0;  // table nesting level (\itapN), 0 none given
};

struct Group {
    Dest dest = Dest::Normal;
    bool destStart = false;   // the destination began in this group
    bool symbol = false;      // Symbol font map current
    bool fieldStart = false;  // this group is a field
    bool linkOpen = false;    // this field result opened a link
    bool shppict = false;     // this group is a \shppict
    uint8_t uc = 1;           // fallback bytes after \uN
    int8_t heading = 0;       // heading level of the section state
    const RtfCodePage* fontCp = nullptr;  // nullptr: the document's code page
    CharState chr;
    ParaState para;
    std::string* infoText = nullptr;
    RtfTime* infoTime = nullptr;
};

struct Font {
    int number = 0;
    std::string name;
    int charset = -1;
    int cpg = 0;
    const RtfCodePage* cp = nullptr;
    bool symbolName = false;
};

struct Color {
    int r = -1, g = -1, b = -1;
};

struct StyleWord {
    RtfKw kw;
    bool hasParam;
    int32_t param;
};

struct Style {
    int number = -1;
    bool paragraph = true;
    std::string name;
    int basedOn = -1;
    std::vector<StyleWord> words;
};

struct Field {
    std::u32string inst;
    int kind = 0;  // 0 other, 1 hyperlink, 2 symbol
    std::u32string url;
    char32_t symbolCode = 0;
    std::string symbolFont;
    int symbolSize = 0;
};

struct Pict {
    RtfPictureKind kind = RtfPictureKind::Unknown;
    int mapMode = 1;
    int64_t picw = 0, pich = 0, goalw = 0, goalh = 0;
    int64_t scalex = 100, scaley = 100;
    std::string data;
    int nibble = -1;
};

struct Twin {
    bool png = false;
    int64_t width = 100, height = 100;
    std::string text;
};

using rtfhtml::TableCell;
using rtfhtml::TableLayout;

// Output of one code page in one form, per byte.
enum ByteKind : uint8_t { BytePlain, ByteSpace, ByteTab, ByteDrop, ByteLead };

struct ByteTable {
    uint8_t kind[256];
    uint8_t len[256];
    uint16_t off[256];
    bool identity[256];
    std::string pool;
};

int RelativeSize(int halfPoints) {
    if (halfPoints <= 13) return -4;
    if (halfPoints <= 17) return -3;
    if (halfPoints <= 19) return -2;
    if (halfPoints <= 23) return -1;
    if (halfPoints <= 27) return 0;
    if (halfPoints <= 31) return 1;
    if (halfPoints <= 35) return 2;
    if (halfPoints <= 47) return 3;
    if (halfPoints <= 71) return 4;
    return 5;
}

inline int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    unsigned l = unsigned((c | 0x20) - 'a');
    return l < 6 ? int(l) + 10 : -1;
}

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

bool StartsWithNoCaseAscii(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = s[i];
        if (a >= 'A' && a <= 'Z') a = char(a + 32);
        if (a != prefix[i]) return false;
    }
    return true;
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

std::string Int(int64_t v) { return std::to_string(v); }

} // namespace

class RtfConverter::Impl {
public:
    RtfConverterOptions options;
    RtfHtmlSettings settings;
    RtfDocInfo info;
    std::string message;
    int pictureCounter = 0;

    bool ConvertHtml(std::string_view rtf, std::string& html, FILE* file, const std::string& pictureBase) {
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

    bool ConvertText(std::string_view rtf, RtfTextMode mode, std::string& text,
                     std::vector<RtfTextSpan>* spans = nullptr) {
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

    void ResetState() {
        pictureCounter = 0;
        inTable_ = false;
        layout_ = TableLayout{};
        outerTables_.clear();
        listOpen_ = false;
    }

private:
    enum class Mode { Html, Text };

    // ---- conversion frame -------------------------------------------------

    void Begin(std::string_view rtf, Mode mode) {
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
        docCp_ = &RtfCodePageFor(1252);
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

    void End() {
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

    bool RunGuarded() {
        try {
            Run();
        } catch (const std::bad_alloc&) {
            Fail("RTF PANIC: Out Of Memory\n");
        } catch (const std::length_error&) {
            Fail("RTF PANIC: Out Of Memory\n");
        }
        return !failed_;
    }

    void Fail(std::string_view what) {
        if (failed_) return;
        failed_ = true;
        message = "PANIC: " + std::string(what) + "\nExiting.\n";
        if (lastOffset_ < input_.size())
            message += "Last token read was near line " +
                       std::to_string(RtfTokenizer::LineOf(input_, lastOffset_)) + ".\n";
    }

    void Run() {
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

    void Dispatch(const RtfToken& t) {
        switch (t.type) {
        case RtfTokenType::GroupOpen:
            ucSkip_ = 0;
            pendingLead_ = -1;
            PushGroup();
            break;
        case RtfTokenType::GroupClose:
            ucSkip_ = 0;
            pendingLead_ = -1;
            PopGroup();
            break;
        case RtfTokenType::Text:
            OnText(reinterpret_cast<const unsigned char*>(t.text.data()), t.text.size());
            break;
        case RtfTokenType::Hex:
            OnText(&t.hex, 1);
            break;
        case RtfTokenType::Word:
            pendingLead_ = -1;
            if (ucSkip_ > 0) {
                --ucSkip_;
                ExtendUnicodeSpan(t.end);
                break;
            }
            OnWord(LookupRtfWord(t.word), t);
            break;
        case RtfTokenType::Symbol:
            pendingLead_ = -1;
            if (ucSkip_ > 0) {
                --ucSkip_;
                ExtendUnicodeSpan(t.end);
                break;
            }
            OnSymbol(t);
            break;
        case RtfTokenType::Binary:
            if (ucSkip_ > 0) {
                --ucSkip_;
                ExtendUnicodeSpan(t.end);
                break;
            }
            if (Cur().dest == Dest::Pict) pict_.data.append(t.text);
            break;
        case RtfTokenType::Error:
            Fail("RTFPushCSStack: stack overflow\n");
            break;
        case RtfTokenType::End:
            break;
        }
    }

    Group& Cur() { return stack_.back(); }

    void PushGroup() {
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
    void PopGroup() {
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
    void SkipGroup() {
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

    void SetDest(Dest d) {
        Cur().dest = d;
        Cur().destStart = true;
    }

    // ---- code pages ---------------------------------------------------------

    const RtfCodePage& CurCp() {
        const Group& g = stack_.back();
        if (g.symbol) return *symbolCp_;
        return g.fontCp ? *g.fontCp : *docCp_;
    }

    const Font* FindFont(int n) const {
        auto it = fontIndex_.find(n);
        return it == fontIndex_.end() ? nullptr : &fonts_[it->second];
    }

    void SelectFontMap(int n) {
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

    void SetDocCodePage(int n) { docCp_ = &RtfCodePageFor(n); }

    const ByteTable& TableFor(const RtfCodePage& cp) {
        int key = mode_ == Mode::Html ? 0 : 1 + int(form_);
        if (lastTableCp_ == &cp && lastTableKey_ == key) return *lastTable_;
        auto& slot = tables_[{&cp, key}];
        if (!slot) slot = BuildTable(cp, key);
        lastTableCp_ = &cp;
        lastTableKey_ = key;
        lastTable_ = slot.get();
        return *slot;
    }

    std::unique_ptr<ByteTable> BuildTable(const RtfCodePage& cp, int key) {
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
    void AppendTextFallback(std::string& s, char32_t c) {
        if (c != 0 && rtfhtml::AppendTextChar(s, c, form_)) return;
        if (form_ == TextForm::Search)
            s.push_back(' ');
        else if (form_ == TextForm::Utf8)
            AppendUtf8(s, 0xFFFD);
        else
            s += "[unknown]";
    }

    // ---- tokens -------------------------------------------------------------

    void OnText(const unsigned char* p, size_t n) {
        if (ucSkip_ > 0) {
            size_t k = std::min<size_t>(n, ucSkip_);
            if (spans_) ExtendUnicodeSpan(PlainOffset(p) != SIZE_MAX ? PlainOffset(p) + k : tokEnd_);
            p += k;
            n -= k;
            ucSkip_ -= int(k);
            if (n == 0) return;
        }
        switch (Cur().dest) {
        case Dest::Normal:
            if (mode_ == Mode::Html)
                HtmlBytes(p, n);
            else
                TextBytes(p, n);
            break;
        case Dest::FontTbl:
            for (size_t i = 0; i < n; ++i) {
                if (p[i] == ';')
                    FinishFont();
                else if (fontPending_ && font_.name.size() < kMaxNameLength)
                    font_.name.push_back(char(p[i]));
            }
            break;
        case Dest::ColorTbl:
            for (size_t i = 0; i < n; ++i)
                if (p[i] == ';') PushColor();
            break;
        case Dest::StyleEntry:
            for (size_t i = 0; i < n; ++i) {
                if (p[i] == ';')
                    styleNameDone_ = true;
                else if (!styleNameDone_ && style_.name.size() < kMaxNameLength)
                    style_.name.push_back(char(p[i]));
            }
            break;
        case Dest::InfoText:
        case Dest::FldInst:
            DecodeBytes(p, n, [this](char32_t c) { CollectChar(c); });
            break;
        case Dest::Pict:
            for (size_t i = 0; i < n; ++i) {
                int v = HexDigit(p[i]);
                if (v < 0) continue;
                if (pict_.nibble < 0) {
                    pict_.nibble = v;
                } else {
                    pict_.data.push_back(char(pict_.nibble * 16 + v));
                    pict_.nibble = -1;
                }
            }
            break;
        case Dest::Twin:
            twin_.text.append(reinterpret_cast<const char*>(p), n);
            break;
        default:
            break;
        }
    }

    template <class F>
    void DecodeBytes(const unsigned char* p, size_t n, F&& sink) {
        const RtfCodePage& cp = CurCp();
        for (size_t i = 0; i < n; ++i) {
            unsigned char b = p[i];
            if (pendingLead_ >= 0) {
                char32_t c = cp.MapPair(uint8_t(pendingLead_), b);
                pendingLead_ = -1;
                if (c) sink(c);
                continue;
            }
            if (cp.IsLeadByte(b)) {
                pendingLead_ = b;
                continue;
            }
            if (b == 0 || b == '\r' || b == '\n') continue;
            char32_t c = cp.Map(b);
            if (c) sink(c);
        }
    }

    void CollectChar(char32_t c) {
        Group& g = Cur();
        if (g.dest == Dest::FldInst) {
            if (!fields_.empty() && fields_.back().inst.size() < kMaxFieldText) fields_.back().inst.push_back(c);
        } else if (g.infoText && g.infoText->size() < kMaxInfoLength) {
            if (!rtfhtml::AppendTextChar(*g.infoText, c, TextForm::Text)) g.infoText->push_back('?');
        }
    }

    void OnSymbol(const RtfToken& t) {
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

    void OnWord(RtfKw kw, const RtfToken& t) {
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

    void OnUnicode(int32_t n) {
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

    // ---- destinations -------------------------------------------------------

    void OnDestination(RtfKw kw) {
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

    bool InsideField() const { return fieldGroups_ > 0; }

    void OnFieldResult() {
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

    void FinishFieldInstruction() {
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

    void WriteSymbolField(const Field& f) {
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

    void FinishFont() {
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

    void PushColor() {
        if (colors_.size() < kMaxColors) colors_.push_back(color_);
        color_ = Color{};
        colorPending_ = false;
    }

    void StyleEntryWord(RtfKw kw, const RtfToken& t) {
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

    void FinishStyle() {
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

    void InfoWord(RtfKw kw) {
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

    void InfoTimeWord(RtfKw kw, const RtfToken& t) {
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

    // ---- pictures -----------------------------------------------------------

    void PictWord(RtfKw kw, const RtfToken& t) {
        int64_t v = t.hasParam ? t.param : 0;
        switch (kw) {
        case RtfKw::jpegblip: pict_.kind = RtfPictureKind::Jpeg; break;
        case RtfKw::pngblip: pict_.kind = RtfPictureKind::Png; break;
        case RtfKw::dibitmap: pict_.kind = RtfPictureKind::Bitmap; break;
        case RtfKw::wmetafile:
            pict_.kind = RtfPictureKind::Metafile;
            pict_.mapMode = t.hasParam ? t.param : 1;
            break;
        case RtfKw::macpict: pict_.kind = RtfPictureKind::MacPict; break;
        case RtfKw::emfblip:
        case RtfKw::wbitmap: pict_.kind = RtfPictureKind::Unknown; break;
        case RtfKw::picw: pict_.picw = v; break;
        case RtfKw::pich: pict_.pich = v; break;
        case RtfKw::picwgoal: pict_.goalw = v; break;
        case RtfKw::pichgoal: pict_.goalh = v; break;
        case RtfKw::picscalex: pict_.scalex = v; break;
        case RtfKw::picscaley: pict_.scaley = v; break;
        default:
            if (RtfWordKind(kw) == RtfKwKind::Dest) SkipGroup();
            break;
        }
    }

    static int PixelSize(int64_t goal, int64_t raw, int64_t scale) {
        int64_t px = goal > 0 ? (goal * 96 + 96) / 1440 : raw + 1;
        if (scale > 0 && scale != 100) px = px * scale / 100;
        return int(std::clamp<int64_t>(px, 0, 100000));
    }

    std::string PictureName(int number, const char* ext) const {
        return pictureBase_ + "Img" + Int(number) + "." + ext;
    }

    // Pictures beside an HTML file take the atomic path of every output file.
    static bool WriteFile(const std::string& path, std::string_view head, std::string_view data) {
        zt::CAtomicFileWriter f;
        return f.Open(path) && f.Write(head) && f.Write(data) && f.Commit();
    }

    void FinishPicture() {
        int number = pictureCounter++;
        ++shppictPictures_;
        if (pictureBase_.empty()) return;
        const char* ext = "unknown";
        std::string head;
        switch (pict_.kind) {
        case RtfPictureKind::Jpeg: ext = "jpg"; break;
        case RtfPictureKind::Png: ext = "png"; break;
        case RtfPictureKind::Bitmap:
            ext = "bmp";
            head = rtfhtml::BitmapFileHeader(pict_.data);
            break;
        case RtfPictureKind::Metafile:
            ext = "wmf";
            head = rtfhtml::PlaceableMetafileHeader(rtfhtml::MetafileExtent(pict_.picw, pict_.mapMode),
                                                    rtfhtml::MetafileExtent(pict_.pich, pict_.mapMode));
            break;
        case RtfPictureKind::MacPict:
            ext = "pict";
            head = rtfhtml::MacPictPrefix();
            break;
        case RtfPictureKind::Unknown: break;
        }
        std::string path = PictureName(number, ext);
        if (!WriteFile(path, head, pict_.data)) {
            message = "Can't open picture file '" + path + "'";
            return;
        }
        int w = PixelSize(pict_.goalw, pict_.picw, pict_.scalex);
        int h = PixelSize(pict_.goalh, pict_.pich, pict_.scaley);
        if (pict_.kind != RtfPictureKind::Jpeg && pict_.kind != RtfPictureKind::Png && settings.pictureConverter) {
            std::string jpg = PictureName(number, "jpg");
            if (settings.pictureConverter(path, pict_.kind, jpg)) {
                if (options.deleteSourcePictures) std::remove(path.c_str());
                path = jpg;
            }
        }
        pict_.data.clear();
        pict_.data.shrink_to_fit();
        WriteImageTag(path, w, h);
    }

    void FinishTwin() {
        std::string data;
        bool ok = DecodeLines(twin_.text, data) && !data.empty();
        twin_.text.clear();
        twin_.text.shrink_to_fit();
        if (!ok) return;
        int number = pictureCounter++;
        ++shppictPictures_;
        if (pictureBase_.empty()) return;
        std::string path = PictureName(number, twin_.png ? "png" : "jpg");
        if (!WriteFile(path, {}, data)) {
            message = "Can't open picture file '" + path + "'";
            return;
        }
        int w = int(std::clamp<int64_t>(twin_.width, 0, 100000));
        int h = int(std::clamp<int64_t>(twin_.height, 0, 100000));
        if (w <= 0 || h <= 0) {
            int pw = 0, ph = 0;
            if (rtfhtml::ImagePixelSize(data, pw, ph)) {
                w = pw;
                h = ph;
            } else {
                w = h = 100;
            }
        }
        WriteImageTag(path, w, h);
    }

    void WriteImageTag(const std::string& path, int w, int h) {
        size_t slash = path.find_last_of('/');
        std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
        PrepareBlock();
        std::string m = "\n<IMG SRC=\"";
        rtfhtml::AppendHtmlEscaped(m, settings.imagePrefix + file);
        m += "\" ALT=\"";
        rtfhtml::AppendHtmlEscaped(m, file);
        m += "\" WIDTH=" + Int(w) + " HEIGHT=" + Int(h) + ">\n";
        Markup(m);
    }

    // ---- plain text writer ----------------------------------------------------

    void TextBytes(const unsigned char* p, size_t n) {
        const RtfCodePage& cp = CurCp();
        const ByteTable& t = TableFor(cp);
        size_t i = 0;
        if (pendingLead_ >= 0 && n > 0) {
            char32_t c = cp.MapPair(uint8_t(pendingLead_), p[0]);
            pendingLead_ = -1;
            if (c) EmitTextChar(c, true);
            i = 1;
        }
        while (i < n) {
            size_t j = i;
            while (j < n && t.identity[p[j]]) ++j;
            if (j > i) {
                out_.append(reinterpret_cast<const char*>(p + i), j - i);
                if (spans_) MapBytes(p + i, j - i);
                i = j;
                if (i >= n) break;
            }
            unsigned char b = p[i++];
            switch (t.kind[b]) {
            case BytePlain: out_.append(t.pool, t.off[b], t.len[b]); break;
            case ByteSpace: out_.push_back(' '); break;
            case ByteTab: out_.push_back('\t'); break;
            case ByteDrop: break;
            case ByteLead:
                if (i < n) {
                    char32_t c = cp.MapPair(b, p[i++]);
                    if (c) EmitTextChar(c, true);
                    if (spans_) MapSource(p + i - 2, 2);
                } else {
                    pendingLead_ = b;
                }
                break;
            }
            if (spans_) MapSource(p + i - 1, 1);
        }
    }

    // Writes one character in text mode. Returns false when it has no form of
    // its own (and nothing was written) unless `always` asks for the fallback.
    bool EmitTextChar(char32_t c, bool always = false) {
        if (c == '\t') {
            out_.push_back('\t');
            return true;
        }
        if (c < 0x20) return true;
        if (rtfhtml::AppendTextChar(out_, c, form_)) return true;
        if (always) AppendTextFallback(out_, c);
        return always;
    }

    void TextSpace() {
        if (mode_ != Mode::Text) return;
        out_.push_back(' ');
        // Stands for a whole group: no text to replace.
        if (spans_) MapTo(tokBegin_, tokBegin_);
    }

    // ---- source map of the plain text ---------------------------------------------

    // Output bytes not mapped yet come from the input bytes [b, e).
    void MapTo(size_t b, size_t e) {
        const bool ansi = !stack_.empty() && &CurCp() == &RtfCodePageFor(1252);
        while (spans_->size() < out_.size()) spans_->push_back({uint32_t(b), uint32_t(e), ansi});
    }
    // The input offset of a byte of the current plain text run, else SIZE_MAX.
    size_t PlainOffset(const unsigned char* q) const {
        const char* c = reinterpret_cast<const char*>(q);
        if (!runPlain_ || c < input_.data() || c >= input_.data() + input_.size()) return SIZE_MAX;
        return size_t(c - input_.data());
    }
    // Output bytes not mapped yet come from `len` bytes at `q` (or the token).
    void MapSource(const unsigned char* q, size_t len) {
        size_t off = PlainOffset(q);
        if (off == SIZE_MAX)
            MapTo(tokBegin_, tokEnd_);
        else
            MapTo(off, off + len);
    }
    // `count` output bytes copied one for one from `q`.
    void MapBytes(const unsigned char* q, size_t count) {
        size_t off = PlainOffset(q);
        if (off == SIZE_MAX) {
            MapTo(tokBegin_, tokEnd_);
            return;
        }
        const bool ansi = &CurCp() == &RtfCodePageFor(1252);
        size_t first = out_.size() - count;
        while (spans_->size() < first) spans_->push_back({uint32_t(tokBegin_), uint32_t(tokEnd_), ansi});
        for (size_t k = 0; k < count; ++k) spans_->push_back({uint32_t(off + k), uint32_t(off + k + 1), ansi});
    }
    // The fallback bytes of a \uN belong to its character.
    void ExtendUnicodeSpan(size_t end) {
        if (!spans_ || unicodeSpan_ >= spans_->size()) return;
        RtfTextSpan& s = (*spans_)[unicodeSpan_];
        s.end = std::max<uint32_t>(s.end, uint32_t(end));
    }

    void TextWord(RtfKw kw) {
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

    void SpecialChar(char32_t c) {
        if (Cur().dest != Dest::Normal) return;
        if (mode_ == Mode::Html)
            EmitHtmlChar(c);
        else
            EmitTextChar(c, true);
    }

    // ---- HTML writer: output ------------------------------------------------------

    void FlushOut() {
        if (!file_ || out_.empty()) return;
        if (std::fwrite(out_.data(), 1, out_.size(), file_) != out_.size()) writeError_ = true;
        out_.clear();
    }

    void Put(std::string_view s) {
        out_.append(s);
        if (file_ && out_.size() >= kFileFlushSize) FlushOut();
    }

    void Markup(std::string_view s) {
        FlushWord();
        if (!headWritten_) WriteHead();
        Put(s);
    }

    void WriteHead() {
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
    }

    void Finish() {
        if (mode_ != Mode::Html) return;
        FlushWord();
        while (inTable_) EndTable();
        CloseSection();
        if (!headWritten_) WriteHead();
        std::string tail;
        if (!settings.bodyEndText.empty()) tail += settings.bodyEndText + "\n";
        if (!options.noFontNames) tail += "</DIV>\n";
        tail += "</BODY>\n</HTML>\n";
        Put(tail);
    }

    // ---- HTML writer: words and links -----------------------------------------------

    void WordBytes(const char* s, size_t n) {
        if (wordDirect_) {
            Put(std::string_view(s, n));
            return;
        }
        if (word_.size() + n > kWordBufferSize) {
            Put(word_);
            word_.clear();
            wordDirect_ = true;
            Put(std::string_view(s, n));
            return;
        }
        word_.append(s, n);
    }

    void WordBreak(char c) {
        FlushWord();
        wordDirect_ = false;
        char s[1] = {c};
        Put(std::string_view(s, 1));
    }

    void FlushWord() {
        if (word_.empty()) return;
        WriteWord(word_);
        word_.clear();
    }

    static std::string_view StripEnclosing(std::string_view w) {
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

    static bool LooksLikeAddress(std::string_view s) {
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

    void WriteWord(std::string_view w) {
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

    void HtmlBytes(const unsigned char* p, size_t n) {
        const RtfCodePage& cp = CurCp();
        const ByteTable& t = TableFor(cp);
        BeforeText();
        size_t i = 0;
        if (pendingLead_ >= 0 && n > 0) {
            char32_t c = cp.MapPair(uint8_t(pendingLead_), p[0]);
            pendingLead_ = -1;
            if (c) EmitHtmlChar(c);
            i = 1;
        }
        for (; i < n; ++i) {
            unsigned char b = p[i];
            if (t.identity[b]) {
                // A run of bytes written as they are.
                size_t j = i + 1;
                while (j < n && t.identity[p[j]]) ++j;
                WordBytes(reinterpret_cast<const char*>(p + i), j - i);
                i = j - 1;
                continue;
            }
            switch (t.kind[b]) {
            case BytePlain:
                WordBytes(t.pool.data() + t.off[b], t.len[b]);
                break;
            case ByteSpace: WordBreak(' '); break;
            case ByteTab: WordBreak('\t'); break;
            case ByteDrop: break;
            case ByteLead:
                if (i + 1 < n) {
                    char32_t c = cp.MapPair(b, p[++i]);
                    if (c) EmitHtmlChar(c);
                } else {
                    pendingLead_ = b;
                }
                break;
            }
        }
    }

    void EmitHtmlChar(char32_t c) {
        if (c < 0x20 && c != '\t') return;
        BeforeText();
        if (c == ' ' || c == '\t') {
            WordBreak(char(c));
            return;
        }
        std::string s;
        rtfhtml::AppendHtmlChar(s, c);
        WordBytes(s.data(), s.size());
    }

    // ---- HTML writer: paragraphs and character tags ----------------------------------

    // Everything that must stand before text: the head, the table cell, the
    // paragraph and the character tags.
    void BeforeText() {
        shppictDone_ = false;
        if (!headWritten_) WriteHead();
        EnterNestedTables();
        if (inTable_ && !cellOpen_) EnsureCell();
        if (inner_ != 1) OpenParagraph();
        if (!tagsOpen_ || !(openChr_ == Cur().chr)) {
            CloseCharTags();
            OpenCharTags();
        }
    }

    // The same without character tags, for pictures, breaks and links.
    void PrepareBlock() {
        if (!headWritten_) WriteHead();
        EnterNestedTables();
        if (inTable_ && !cellOpen_) EnsureCell();
        CloseCharTags();
        if (inner_ != 1) OpenParagraph();
    }

    enum TagBit : uint16_t {
        TagStrike = 1, TagBg = 2, TagFg = 4, TagSub = 8, TagSup = 16, TagB = 32, TagI = 64,
        TagU = 128, TagUU = 256, TagSize = 512, TagFace = 1024,
    };

    std::string ColorHex(int index) const {
        Color c;
        if (index >= 0 && size_t(index) < colors_.size()) c = colors_[size_t(index)];
        char buf[32];
        std::snprintf(buf, sizeof buf, "%02x%02x%02x", std::max(c.r, 0), std::max(c.g, 0), std::max(c.b, 0));
        return buf;
    }

    const std::string* FaceName(const CharState& c) const {
        if (options.noFontNames) return nullptr;
        const Font* f = nullptr;
        if (c.font >= 0)
            f = FindFont(c.font);
        else if (!options.noDefaultFont)
            f = FindFont(deff_);
        return f && !f->name.empty() ? &f->name : nullptr;
    }

    void OpenCharTags() {
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

    void CloseCharTags() {
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

    void OpenParagraph() {
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

    void CloseParagraph() {
        CloseCharTags();
        if (inner_ != 0 && headingOpen_ == 0) Markup(listOpen_ ? "\n</LI></UL>\n" : "</P>\n");
        listOpen_ = false;
        if (indentDiv_) Markup("</DIV>\n");
        if (alignDiv_) Markup("</DIV>\n");
        indentDiv_ = alignDiv_ = false;
        inner_ = 0;
    }

    void CloseHeading() {
        if (!headingOpen_) return;
        CloseParagraph();
        Markup("</H" + Int(headingOpen_) + ">\n");
        headingOpen_ = 0;
        outer_ = 1;
    }

    void CloseSection() {
        CloseParagraph();
        CloseHeading();
    }

    void OnPar() {
        if (inner_ == 1) {
            CloseCharTags();
            inner_ = 2;
        } else {
            CloseParagraph();
        }
    }

    void HtmlWord(RtfKw kw, const RtfToken& t) {
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

    void HtmlSpecial(RtfKw kw) {
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
    void ApplyWord(RtfKw kw, bool hasParam, int32_t param) {
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

    void OnStyle(int n) {
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

    void ExpandStyle(int n) {
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

    // ---- tables ---------------------------------------------------------------

    void StartTable(size_t offset) {
        CloseParagraph();
        layout_ = rtfhtml::PrescanTable(tok_, offset, prescanBudget_, kMaxCellsPerRow, kMaxTableCells);
        inTable_ = true;
        row_ = cell_ = 0;
        rowOpen_ = cellOpen_ = false;
        Markup("\n<TABLE BORDER=\"1\">\n");
    }

    void EndTable() {
        CloseParagraph();
        inTable_ = false;
        Markup("</TABLE>\n");
        layout_ = TableLayout{};
        if (!outerTables_.empty()) {
            // Back in the cell that holds the table.
            OpenTable& o = outerTables_.back();
            layout_ = std::move(o.layout);
            row_ = o.row;
            cell_ = o.cell;
            rowOpen_ = o.rowOpen;
            cellOpen_ = o.cellOpen;
            inTable_ = true;
            outerTables_.pop_back();
        }
    }

    // The table level of the current paragraph, and of the open table.
    int ParaLevel() { return Cur().para.itap > 0 ? Cur().para.itap : (Cur().para.intbl ? 1 : 0); }
    int TableLevel() const { return inTable_ ? int(outerTables_.size()) + 1 : 0; }

    // Content of a deeper level than the open table opens the tables inside
    // the open cell, each with its own prescan.
    void EnterNestedTables() {
        while (inTable_ && TableLevel() < std::min(ParaLevel(), rtfhtml::kMaxTableNesting)) {
            if (!cellOpen_) EnsureCell();
            CloseParagraph();
            const int level = TableLevel() + 1;
            TableLayout layout = rtfhtml::PrescanNested(tok_, tokBegin_, level, prescanBudget_, kMaxCellsPerRow,
                                                        kMaxTableCells);
            // A table that ends where it begins has nothing to hold.
            if (layout.endOffset <= tokBegin_) return;
            outerTables_.push_back({std::move(layout_), row_, cell_, rowOpen_, cellOpen_});
            layout_ = std::move(layout);
            row_ = cell_ = 0;
            rowOpen_ = cellOpen_ = false;
            Markup("\n<TABLE BORDER=\"1\">\n");
        }
    }

    // \nestcell ends a cell of a nested table; without one it stands as a space.
    void OnNestedCell() {
        if (inTable_) {
            if (!headWritten_) WriteHead();
            if (!cellOpen_) EnsureCell();
            EnterNestedTables();
        }
        if (outerTables_.empty()) {
            EmitHtmlChar(' ');
            return;
        }
        OnCell();
    }

    void EnsureCell() {
        if (!rowOpen_) {
            rowOpen_ = true;
            Markup("<!--% ROW " + Int(int64_t(row_) + 1) + " --><TR>\n");
        }
        if (cellOpen_) return;
        cellOpen_ = true;
        const TableCell* c = nullptr;
        if (row_ < layout_.rows.size() && cell_ < layout_.rows[row_].size()) c = &layout_.rows[row_][cell_];
        if (c && c->merge == 2) return;
        Markup("<TD COLSPAN=" + Int(c ? c->colspan : 1) + " ROWSPAN=" + Int(c ? c->rowspan : 1) + ">");
    }

    void OnCell() {
        if (!inTable_) return;
        if (!cellOpen_) {
            if (!headWritten_) WriteHead();
            EnsureCell();
        }
        CloseParagraph();
        ++cell_;
        cellOpen_ = false;
    }

    void OnRow() {
        if (!inTable_) return;
        CloseParagraph();
        ++row_;
        cell_ = 0;
        rowOpen_ = cellOpen_ = false;
        if (row_ >= layout_.rows.size()) EndTable();
    }

    // ---- state ------------------------------------------------------------------

    Mode mode_ = Mode::Text;
    TextForm form_ = TextForm::Text;
    std::string_view input_;
    RtfTokenizer tok_{std::string_view()};
    size_t lastOffset_ = 0;
    bool failed_ = false;

    std::string out_;
    std::vector<RtfTextSpan>* spans_ = nullptr;  // source map of a text conversion
    size_t tokBegin_ = 0, tokEnd_ = 0;           // the token being dispatched
    bool runPlain_ = false;                      // it is a run of input bytes
    size_t unicodeSpan_ = SIZE_MAX;              // span of the last \uN character
    size_t highBegin_ = 0;                       // where a surrogate pair began
    FILE* file_ = nullptr;
    bool writeError_ = false;
    std::string pictureBase_;

    std::vector<Group> stack_;
    std::vector<Font> fonts_;
    std::unordered_map<int, size_t> fontIndex_;
    Font font_;
    bool fontPending_ = false;
    std::vector<Color> colors_;
    Color color_;
    bool colorPending_ = false;
    std::unordered_map<int, Style> styles_;
    std::unordered_map<int, std::vector<StyleWord>> expanded_;
    Style style_;
    bool styleNameDone_ = false;
    std::vector<Field> fields_;
    int fieldGroups_ = 0;  // groups on the stack that are fields
    Pict pict_;
    Twin twin_;

    const RtfCodePage* docCp_ = nullptr;
    const RtfCodePage* symbolCp_ = nullptr;
    int deff_ = -1;
    int ucSkip_ = 0;
    int pendingLead_ = -1;
    char32_t pendingHigh_ = 0;
    bool twinsPresent_ = false;
    bool shppictDone_ = false;
    int shppictPictures_ = 0;

    std::map<std::pair<const RtfCodePage*, int>, std::unique_ptr<ByteTable>> tables_;
    const RtfCodePage* lastTableCp_ = nullptr;
    int lastTableKey_ = -1;
    const ByteTable* lastTable_ = nullptr;

    // HTML writer.
    bool headWritten_ = false;
    int outer_ = 0, inner_ = 0;
    bool alignDiv_ = false, indentDiv_ = false;
    bool listOpen_ = false;
    int headingOpen_ = 0;
    bool tagsOpen_ = false;
    uint16_t openTags_ = 0;
    CharState openChr_;
    std::string word_;
    bool wordDirect_ = false;
    int inLink_ = 0;
    bool inTable_ = false;
    size_t prescanBudget_ = 0;  // bytes the table prescans may still read
    TableLayout layout_;
    size_t row_ = 0, cell_ = 0;
    bool rowOpen_ = false, cellOpen_ = false;
    // The tables around the open one, innermost last.
    struct OpenTable {
        TableLayout layout;
        size_t row, cell;
        bool rowOpen, cellOpen;
    };
    std::vector<OpenTable> outerTables_;
};

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
