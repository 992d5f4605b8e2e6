// The state of one RTF converter and the work it does for every character and
// token, defined here so that it inlines. The work per group, destination,
// paragraph and table lies beside it: rtfconverter.cpp (the frame),
// rtfdestinations.cpp, rtfpicturefiles.cpp, rtfhtmlwriter.cpp and
// rtftables.cpp (the prescans of table layouts: rtfnesting.cpp). Only for
// the converter's own files.
#pragma once

#include "exchange/rtfhtml/rtfconverter.h"
#include "exchange/rtfhtml/htmlchars.h"
#include "exchange/rtfhtml/rtfnesting.h"
#include "text/rtfcodepage.h"
#include "text/rtftokenizer.h"
#include "text/rtfwords.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zt {

class RtfConverter::Impl {
public:
    RtfConverterOptions options;
    RtfHtmlSettings settings;
    RtfDocInfo info;
    std::string message;
    int pictureCounter = 0;

    bool ConvertHtml(std::string_view rtf, std::string& html, FILE* file, const std::string& pictureBase);
    bool ConvertText(std::string_view rtf, RtfTextMode mode, std::string& text,
                     std::vector<RtfTextSpan>* spans = nullptr);
    void ResetState();
    RtfHtmlBody Body() const { return RtfHtmlBody{bodyBegin_, bodyEnd_}; }

private:
    enum class Mode { Html, Text };
    using TextForm = rtfhtml::TextForm;

    // ---- pieces of the state ----------------------------------------------------

    // Limits that keep hostile input in proportion.
    static constexpr size_t kMaxFonts = 4096;
    static constexpr size_t kMaxColors = 65536;
    static constexpr size_t kMaxStyles = 4096;
    static constexpr size_t kMaxStyleWords = 64;
    static constexpr size_t kMaxExpandedWords = 256;
    static constexpr size_t kMaxStyleChain = 64;
    static constexpr size_t kMaxNameLength = 256;
    static constexpr size_t kMaxInfoLength = 4096;
    static constexpr size_t kMaxFieldText = 8192;
    static constexpr size_t kMaxFieldNesting = 32;
    static constexpr size_t kMaxCellsPerRow = 1000;
    static constexpr size_t kMaxTableCells = 200000;
    static constexpr size_t kWordBufferSize = 1024;
    static constexpr size_t kFileFlushSize = 1 << 18;

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

    using TableCell = rtfhtml::TableCell;
    using TableLayout = rtfhtml::TableLayout;

    // Output of one code page in one form, per byte.
    enum ByteKind : uint8_t { BytePlain, ByteSpace, ByteTab, ByteDrop, ByteLead };

    struct ByteTable {
        uint8_t kind[256];
        uint8_t len[256];
        uint16_t off[256];
        bool identity[256];
        std::string pool;
    };

    // ---- helpers of several parts -------------------------------------------------

    static int RelativeSize(int halfPoints) {
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

    static int HexDigit(unsigned char c) {
        if (c >= '0' && c <= '9') return c - '0';
        unsigned l = unsigned((c | 0x20) - 'a');
        return l < 6 ? int(l) + 10 : -1;
    }

    static bool StartsWithNoCaseAscii(std::string_view s, std::string_view prefix) {
        if (s.size() < prefix.size()) return false;
        for (size_t i = 0; i < prefix.size(); ++i) {
            char a = s[i];
            if (a >= 'A' && a <= 'Z') a = char(a + 32);
            if (a != prefix[i]) return false;
        }
        return true;
    }

    static std::string Int(int64_t v) { return std::to_string(v); }

    // ---- conversion frame (rtfconverter.cpp) ----------------------------------------

    void Begin(std::string_view rtf, Mode mode);
    void End();
    bool RunGuarded();
    void Fail(std::string_view what);
    void Run();

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

    void PushGroup();
    void PopGroup();
    void SkipGroup();

    void SetDest(Dest d) {
        Cur().dest = d;
        Cur().destStart = true;
    }

    // ---- code pages -------------------------------------------------------------

    const RtfCodePage& CurCp() {
        const Group& g = stack_.back();
        if (g.symbol) return *symbolCp_;
        return g.fontCp ? *g.fontCp : *docCp_;
    }

    const Font* FindFont(int n) const {
        auto it = fontIndex_.find(n);
        return it == fontIndex_.end() ? nullptr : &fonts_[it->second];
    }

    void SelectFontMap(int n);

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

    std::unique_ptr<ByteTable> BuildTable(const RtfCodePage& cp, int key);
    void AppendTextFallback(std::string& s, char32_t c);

    // ---- tokens ---------------------------------------------------------------------

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

    void OnSymbol(const RtfToken& t);
    void OnWord(RtfKw kw, const RtfToken& t);
    void OnUnicode(int32_t n);

    // ---- destinations (rtfdestinations.cpp) -------------------------------------------

    void OnDestination(RtfKw kw);
    bool InsideField() const { return fieldGroups_ > 0; }
    void OnFieldResult();
    void FinishFieldInstruction();
    void WriteSymbolField(const Field& f);
    void FinishFont();
    void PushColor();
    void StyleEntryWord(RtfKw kw, const RtfToken& t);
    void FinishStyle();
    void InfoWord(RtfKw kw);
    void InfoTimeWord(RtfKw kw, const RtfToken& t);

    // ---- pictures (rtfpicturefiles.cpp) -------------------------------------------------

    void PictWord(RtfKw kw, const RtfToken& t);
    std::string PictureName(int number, const char* ext) const;
    void FinishPicture();
    void FinishTwin();
    void WriteImageTag(const std::string& path, int w, int h);

    // ---- plain text writer --------------------------------------------------------------

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

    // Control words and symbols that stand for characters (rtfconverter.cpp).
    void TextWord(RtfKw kw);
    void SpecialChar(char32_t c);

    // ---- source map of the plain text ---------------------------------------------

    // Output bytes not mapped yet come from the input bytes [b, e).
    void MapTo(size_t b, size_t e) {
        const bool ansi = !stack_.empty() && &CurCp() == ansiCp_;
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
        const bool ansi = &CurCp() == ansiCp_;
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

    // ---- HTML writer: output (the rest in rtfhtmlwriter.cpp) --------------------------

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

    void WriteHead();
    void Finish();

    // ---- HTML writer: words and links ---------------------------------------------------

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

    static std::string_view StripEnclosing(std::string_view w);
    static bool LooksLikeAddress(std::string_view s);
    void WriteWord(std::string_view w);

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

    void PrepareBlock();
    std::string ColorHex(int index) const;
    const std::string* FaceName(const CharState& c) const;
    void OpenCharTags();
    void CloseCharTags();
    void OpenParagraph();
    void CloseParagraph();
    void CloseHeading();
    void CloseSection();
    void OnPar();
    void HtmlWord(RtfKw kw, const RtfToken& t);
    void HtmlSpecial(RtfKw kw);
    void ApplyWord(RtfKw kw, bool hasParam, int32_t param);
    void OnStyle(int n);
    void ExpandStyle(int n);

    // ---- tables (rtftables.cpp) -------------------------------------------------------

    void StartTable(size_t offset);
    void EndTable();
    // The table level of the current paragraph, and of the open table.
    int ParaLevel() { return Cur().para.itap > 0 ? Cur().para.itap : (Cur().para.intbl ? 1 : 0); }
    int TableLevel() const { return inTable_ ? int(outerTables_.size()) + 1 : 0; }
    void EnterNestedTables();
    void OnNestedCell();
    void EnsureCell();
    void OnCell();
    void OnRow();

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
    const RtfCodePage* ansiCp_ = nullptr; // Windows-1252, looked up once
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
    // The page's own text in an HTML conversion into memory: after the body
    // start text, before the body end text.
    size_t bodyBegin_ = 0, bodyEnd_ = 0;
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

} // namespace zt
