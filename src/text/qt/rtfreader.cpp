// The RTF reader of the control: tokens in, one cursor building the document.
// Text of equal format is gathered and inserted in one piece; paragraph
// formats are set when their paragraph ends.
#include "text/qt/rtfdocument.h"
#include "text/qt/rtfhidden.h"
#include "text/qt/rtfinternal.h"
#include "text/qt/rtflists.h"
#include "text/qt/rtfproperties.h"
#include "text/qt/rtfstyles.h"
#include "text/qt/rtftables.h"

#include "text/picture.h"
#include "text/pictures.h"
#include "text/rtfcodepage.h"
#include "text/rtftokenizer.h"
#include "text/rtfwords.h"

#include <QBrush>
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace zt::textqt {

namespace {

using detail::kMaxColors;
using detail::kMaxFonts;
using detail::kMaxTabStops;

enum class Dest : uint8_t { Normal, FontTbl, ColorTbl, Pict, FldInst, Pn, Object };

struct CharState {
    int font = -1;  // font number; -1: none given (the \deff font)
    int halfPoints = 24;
    bool bold = false, italic = false, strike = false, protect = false, hidden = false;
    int underline = 0;  // QTextCharFormat::UnderlineStyle
    int vAlign = 0;     // 0 normal, 1 super, 2 sub
    int offsetTwips = 0;
    int fg = 0, bg = 0;  // colour table indexes; 0 automatic
    int field = -1;      // index of the hyperlink this text belongs to
    int cstyle = 0;      // character style (\cs N)
    bool operator==(const CharState&) const = default;
};

struct ParaState {
    int align = 0;  // 0 left, 1 centre, 2 right, 3 justify
    int li = 0, ri = 0, fi = 0;
    // Space before and after in twips; line spacing \sl (0 automatic) and
    // whether it is a multiple of single spacing (\slmult1).
    int sb = 0, sa = 0, sl = 0;
    bool slmult = false;
    // The list style of a numbered paragraph (\pnlvlbody with \pndec, ...), 0 none.
    int number = 0;
    bool bullet = false, inTable = false;
    // List override and level (\ls N, \ilvl L); paragraph style (\s N).
    int ls = 0, ilvl = 0, style = 0;
    int itap = 0;  // table nesting level of the paragraph (\itapN), 0 none given
    int tabCount = 0;
    int pendingTabKind = 0;  // 0 left, 1 centre, 2 right, 3 decimal
    std::array<int, kMaxTabStops> tabs{};
    std::array<uint8_t, kMaxTabStops> tabKinds{};
    bool operator==(const ParaState& o) const {
        return align == o.align && li == o.li && ri == o.ri && fi == o.fi && sb == o.sb && sa == o.sa &&
               sl == o.sl && slmult == o.slmult && number == o.number && bullet == o.bullet && ls == o.ls &&
               ilvl == o.ilvl && style == o.style &&
               tabCount == o.tabCount && std::equal(tabs.begin(), tabs.begin() + tabCount, o.tabs.begin()) &&
               std::equal(tabKinds.begin(), tabKinds.begin() + tabCount, o.tabKinds.begin());
    }
};

struct Group {
    CharState c;
    ParaState p;
    Dest dest = Dest::Normal;
    int uc = 1;
    bool ownsField = false;
    bool ownsPict = false;
    bool nestProps = false;  // inside {\*\nesttableprops}: row words define a nested row
};

struct Font {
    QString name;
    int charset = 0;
    const RtfCodePage* cp = nullptr;  // nullptr: the document's code page
};

struct Pict {
    PictureKind kind = PictureKind::Unknown;
    int mapMode = 1;
    int64_t picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    std::string data;
    int nibble = -1;
    bool tooBig = false;
    bool emf = false;  // an enhanced metafile (\emfblip), kept as it is
};

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c |= 0x20;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void AppendUcs4(QString& s, char32_t c) {
    if (c < 0x10000) {
        s.append(QChar(char16_t(c)));
    } else if (c <= 0x10FFFF) {
        s.append(QChar(QChar::highSurrogate(c)));
        s.append(QChar(QChar::lowSurrogate(c)));
    }
}

// The target of a HYPERLINK field instruction, or empty.
QString HyperlinkTarget(const QString& inst) {
    QString s = inst.trimmed();
    if (!s.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive)) return {};
    s = s.mid(9).trimmed();
    QString anchor;
    // Switches before or after the target: \l "anchor", \o "tip", \t "frame", \m, \n.
    QString target;
    int i = 0;
    auto readArg = [&](QString& out) {
        while (i < s.size() && s[i].isSpace()) ++i;
        if (i < s.size() && s[i] == '"') {
            int e = s.indexOf('"', i + 1);
            if (e < 0) e = s.size();
            out = s.mid(i + 1, e - i - 1);
            i = e + 1;
        } else {
            int st = i;
            while (i < s.size() && !s[i].isSpace()) ++i;
            out = s.mid(st, i - st);
        }
    };
    while (i < s.size()) {
        while (i < s.size() && s[i].isSpace()) ++i;
        if (i >= s.size()) break;
        if (s[i] == '\\' && i + 1 < s.size()) {
            QChar sw = s[i + 1].toLower();
            i += 2;
            QString arg;
            if (sw == 'l')
                readArg(anchor);
            else if (sw == 'o' || sw == 't')
                readArg(arg);
            continue;
        }
        QString arg;
        readArg(arg);
        if (target.isEmpty()) target = arg;
    }
    if (target.isEmpty() && !anchor.isEmpty()) return QLatin1Char('#') + anchor;
    if (!anchor.isEmpty()) target += QLatin1Char('#') + anchor;
    return target;
}

class Reader {
public:
    Reader(std::string_view rtf, QTextCursor& cursor, bool wholeDocument)
        : tok_(rtf, detail::kMaxGroupDepth), cur_(cursor), whole_(wholeDocument), tables_(cursor) {
        docCp_ = &RtfCodePageFor(1252);
        if (!wholeDocument) {
            tailFormat_ = cursor.blockFormat();
            lists_.StartInsertion(*cursor.document());
        }
    }

    bool Run(std::string* error);

private:
    Group& G() { return stack_.back(); }

    // ---- groups ------------------------------------------------------------

    void Open() {
        if (stack_.empty())
            stack_.emplace_back();
        else
            stack_.push_back(stack_.back());
        stack_.back().ownsField = false;
        stack_.back().ownsPict = false;
        ucSkip_ = 0;
        pendingLead_ = -1;
    }

    void Close() {
        if (stack_.size() <= 1) {
            done_ = true;
            return;
        }
        Group& g = stack_.back();
        if (g.dest == Dest::FontTbl && stack_[stack_.size() - 2].dest != Dest::FontTbl) FinishFont();
        if (g.dest == Dest::ColorTbl && stack_[stack_.size() - 2].dest != Dest::ColorTbl && colorPending_)
            PushColor();
        if (g.ownsPict) FinishPicture();
        if (g.ownsField && !fieldStack_.empty()) fieldStack_.pop_back();
        stack_.pop_back();
        ucSkip_ = 0;
        pendingLead_ = -1;
    }

    // Skips the rest of the current group (its closing brace included).
    void SkipGroup() { SkipGroupAt(tok_.Depth()); }

    // The same for the group that was current at `depth`.
    void SkipGroupAt(int depth) {
        if (tok_.Depth() < depth) {
            Close();
            return;
        }
        RtfToken t;
        while (tok_.Next(t)) {
            if (t.type == RtfTokenType::GroupClose && tok_.Depth() < depth) {
                Close();
                return;
            }
        }
    }

    // ---- code pages --------------------------------------------------------

    const RtfCodePage& Cp() {
        int f = G().c.font < 0 ? deff_ : G().c.font;
        if (f == cpFont_ && cpGeneration_ == fontGeneration_ && cpDoc_ == docCp_) return *cp_;
        auto it = fontIndex_.find(f);
        cp_ = it != fontIndex_.end() && fonts_[it->second].cp ? fonts_[it->second].cp : docCp_;
        cpFont_ = f;
        cpGeneration_ = fontGeneration_;
        cpDoc_ = docCp_;
        return *cp_;
    }

    template <class Sink>
    void Decode(const unsigned char* p, size_t n, Sink&& sink) {
        // Field instructions are commands: the document's code page, never
        // a symbol font's.
        const RtfCodePage& cp = G().dest == Dest::FldInst ? *docCp_ : Cp();
        for (size_t i = 0; i < n; ++i) {
            unsigned char b = p[i];
            if (pendingLead_ >= 0) {
                char32_t c = cp.MapPair(uint8_t(pendingLead_), b);
                pendingLead_ = -1;
                if (c) sink(c);
                continue;
            }
            if (cp.IsDoubleByte() && cp.IsLeadByte(b)) {
                pendingLead_ = b;
                continue;
            }
            if (b == 0) continue;
            char32_t c = cp.Map(b);
            if (c) sink(c);
        }
    }

    // ---- tables of the header ----------------------------------------------

    void FinishFont() {
        if (!fontPending_) return;
        fontPending_ = false;
        Font f;
        const std::string& raw = fontName_;
        f.charset = fontCharset_;
        int cp = fontCpg_ > 0 ? fontCpg_ : (fontCharset_ >= 0 ? CodePageOfCharset(fontCharset_) : 0);
        f.cp = cp > 0 ? &RtfCodePageFor(cp) : nullptr;
        // The name is read in the code page of the font's character set, as
        // the writer writes it; characters that cannot stand in a font table
        // are left out.
        int nameNumber = CodePageOfCharset(fontCharset_ >= 0 ? fontCharset_ : 0);
        const RtfCodePage& nameCp =
            nameNumber > 0 && nameNumber != kRtfSymbolCodePage ? RtfCodePageFor(nameNumber) : *docCp_;
        auto add = [&f](char32_t c) {
            if (c >= 0x20 && c != ';' && c != '{' && c != '}' && c != '\\') AppendUcs4(f.name, c);
        };
        for (size_t i = 0; i < raw.size(); ++i) {
            unsigned char b = uint8_t(raw[i]);
            if (nameCp.IsDoubleByte() && nameCp.IsLeadByte(b) && i + 1 < raw.size()) {
                add(nameCp.MapPair(b, uint8_t(raw[++i])));
            } else {
                add(nameCp.Map(b));
            }
        }
        f.name = f.name.trimmed();
        auto it = fontIndex_.find(fontNumber_);
        if (it != fontIndex_.end()) {
            fonts_[it->second] = std::move(f);
        } else if (int(fonts_.size()) < kMaxFonts) {
            fontIndex_[fontNumber_] = fonts_.size();
            fonts_.push_back(std::move(f));
        }
        formatValid_ = false;
        formatCache_.clear();
        ++fontGeneration_;
    }

    void StartFont(int number) {
        FinishFont();
        fontPending_ = true;
        fontNumber_ = number;
        fontName_.clear();
        fontCharset_ = -1;
        fontCpg_ = 0;
    }

    void PushColor() {
        if (int(colors_.size()) < kMaxColors) colors_.push_back(colorPending_ ? color_ : QColor());
        formatCache_.clear();
        formatValid_ = false;
        color_ = QColor(0, 0, 0);
        colorPending_ = false;
    }

    // ---- building the document ---------------------------------------------

    QTextCharFormat MakeCharFormat(const CharState& s) {
        QTextCharFormat f;
        int fn = s.font < 0 ? deff_ : s.font;
        auto it = fontIndex_.find(fn);
        if (it != fontIndex_.end()) {
            const Font& font = fonts_[it->second];
            if (!font.name.isEmpty()) f.setFontFamilies(QStringList{font.name});
            f.setProperty(kCharsetProperty, font.charset < 0 ? 0 : font.charset);
        }
        f.setFontPointSize(s.halfPoints / 2.0);
        if (s.bold) f.setFontWeight(QFont::Bold);
        if (s.italic) f.setFontItalic(true);
        if (s.underline) f.setUnderlineStyle(QTextCharFormat::UnderlineStyle(s.underline));
        if (s.strike) f.setFontStrikeOut(true);
        if (s.offsetTwips != 0) {
            f.setProperty(kOffsetTwipsProperty, s.offsetTwips);
            f.setVerticalAlignment(s.offsetTwips > 0 ? QTextCharFormat::AlignSuperScript
                                                     : QTextCharFormat::AlignSubScript);
        } else if (s.vAlign) {
            f.setVerticalAlignment(s.vAlign == 1 ? QTextCharFormat::AlignSuperScript
                                                 : QTextCharFormat::AlignSubScript);
        }
        if (s.fg > 0 && s.fg < int(colors_.size()) && colors_[s.fg].isValid())
            f.setForeground(colors_[s.fg]);
        if (s.bg > 0 && s.bg < int(colors_.size()) && colors_[s.bg].isValid())
            f.setBackground(colors_[s.bg]);
        if (s.protect) f.setProperty(kProtectedProperty, true);
        if (s.cstyle) f.setProperty(kCharStyleProperty, s.cstyle);
        if (s.field >= 0 && s.field < int(links_.size()) && !links_[s.field].isEmpty()) {
            f.setAnchor(true);
            f.setAnchorHref(links_[s.field]);
        }
        return f;
    }

    QTextBlockFormat MakeBlockFormat(const ParaState& p) {
        QTextBlockFormat f;
        static const Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
        f.setAlignment(kAlign[p.align & 3]);
        f.setLeftMargin(TwipsToUnits(p.li));
        f.setTextIndent(TwipsToUnits(p.fi));
        f.setRightMargin(TwipsToUnits(p.ri));
        if (p.sb) f.setTopMargin(TwipsToUnits(p.sb));
        if (p.sa) f.setBottomMargin(TwipsToUnits(p.sa));
        if (p.sl > 0 && p.slmult)
            f.setLineHeight(p.sl * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
        else if (p.sl > 0)
            f.setLineHeight(TwipsToUnits(p.sl), QTextBlockFormat::MinimumHeight);
        else if (p.sl < 0)
            f.setLineHeight(TwipsToUnits(-p.sl), QTextBlockFormat::FixedHeight);
        if (p.tabCount) {
            QList<QTextOption::Tab> tabs;
            for (int i = 0; i < p.tabCount; ++i) {
                static const QTextOption::TabType kTab[] = {QTextOption::LeftTab, QTextOption::CenterTab,
                                                            QTextOption::RightTab, QTextOption::DelimiterTab};
                QTextOption::Tab t(TwipsToUnits(p.tabs[i]), kTab[p.tabKinds[i] & 3]);
                if (p.tabKinds[i] == 3) t.delimiter = QLocale().decimalPoint().at(0);
                tabs.append(t);
            }
            f.setTabPositions(tabs);
        }
        // A list of the list table decides on the bullet itself.
        if (p.bullet && !lists_.Knows(p.ls)) f.setProperty(kBulletProperty, true);
        if (p.style) f.setProperty(kParaStyleProperty, p.style);
        return f;
    }

    struct StateHash {
        size_t operator()(const CharState& s) const {
            size_t h = size_t(s.font) * 1000003u ^ size_t(s.halfPoints) * 7919u ^ size_t(s.fg) * 131u ^
                       size_t(s.bg) * 31u ^ size_t(s.field) * 65599u ^ size_t(s.offsetTwips) * 17u ^
                       size_t(s.cstyle) * 257u;
            h = h * 4 + s.underline;
            h = h * 64 + (s.bold | s.italic << 1 | s.strike << 2 | s.protect << 3 | s.hidden << 4) + s.vAlign;
            return h;
        }
    };

    const QTextCharFormat& CachedCharFormat(const CharState& s) {
        if (formatCache_.size() > 4096) formatCache_.clear();
        auto it = formatCache_.find(s);
        if (it == formatCache_.end()) it = formatCache_.emplace(s, MakeCharFormat(s)).first;
        return it->second;
    }

    void Flush() {
        if (run_.isEmpty()) return;
        cur_.insertText(run_, runFormat_);
        run_.clear();
    }

    // The table level of the current paragraph as its marks give it.
    int ParaDepth() {
        const ParaState& p = G().p;
        return p.itap > 0 ? p.itap : (p.inTable ? 1 : 0);
    }

    // Called before anything goes into the document: places the cursor in
    // the right table cell, or leaves tables.
    void BeforeContent() { EnterDepth(tables_.TargetDepth(G().p.itap, G().p.inTable)); }

    void EnterDepth(int depth) {
        if (!tables_.NeedsMove(depth)) return;
        Flush();
        curBlockKnown_ = false;
        if (tables_.MoveTo(depth)) pendingFinalPar_ = false;
    }

    // \cell ends a cell of level 1, \nestcell one of the paragraph's level.
    void OnCell(bool nested) {
        const int depth = nested ? std::max(ParaDepth(), 2) : 1;
        if (tables_.Capped() || depth > detail::kMaxTableDepth) {
            // Cells of levels too deep stand in the cell around them.
            AddText(u"\t");
            return;
        }
        // A paragraph mark right before the cell mark adds no paragraph.
        const bool closed = tables_.TakePendingPar(depth);
        // A cell mark opens the table even when the cell is empty.
        EnterDepth(depth);
        if (tables_.Depth() != depth || !tables_.InRow()) return;
        Flush();
        // The cell mark ends the cell's last paragraph.
        if (!closed && tables_.CellInColumns()) {
            curBlockKnown_ = false;
            ApplyParagraph(G().p);
        }
        curBlockKnown_ = false;
        tables_.NextCell();
        pendingFinalPar_ = false;
    }

    void OnRow(bool nested) {
        const int depth = nested ? std::max(ParaDepth(), 2) : 1;
        if (tables_.Capped() || depth > detail::kMaxTableDepth) {
            OnPar();
            return;
        }
        if (tables_.Depth() < depth) return;
        Flush();
        if (tables_.Depth() > depth) curBlockKnown_ = false;
        // A row mark right after text (no cell mark) ends the cell's last
        // paragraph as a cell mark would.
        if (tables_.Depth() == depth && tables_.InRow() && !tables_.HasPendingPar(depth) && tables_.CellInColumns()) {
            curBlockKnown_ = false;
            ApplyParagraph(G().p);
        }
        tables_.EndRow(depth);
    }

    void AddText(std::u16string_view s) {
        if (G().c.hidden) {
            hidden_.Add(s);
            return;
        }
        BeforeContent();
        if (hidden_.Pending()) {
            Flush();
            formatValid_ = false;
            hidden_.InsertBefore(cur_, CachedCharFormat(G().c), s);
            contentSincePar_ = true;
            pendingFinalPar_ = false;
            lastContentPara_ = G().p;
            if (s.empty()) return;
        }
        if (!formatValid_ || !(runState_ == G().c)) {
            Flush();
            runState_ = G().c;
            runFormat_ = CachedCharFormat(runState_);
            formatValid_ = true;
        }
        run_.append(QStringView(s.data(), qsizetype(s.size())));
        contentSincePar_ = true;
        pendingFinalPar_ = false;
        lastContentPara_ = G().p;
    }

    void AddChar(char32_t c) {
        char16_t buf[2];
        if (c < 0x10000) {
            buf[0] = char16_t(c);
            AddText({buf, 1});
        } else if (c <= 0x10FFFF) {
            buf[0] = QChar::highSurrogate(c);
            buf[1] = QChar::lowSurrogate(c);
            AddText({buf, 2});
        }
    }

    const QTextBlockFormat& BlockFormatOf(const ParaState& p) {
        if (!(blockState_ == p) || !blockValid_) {
            blockState_ = p;
            blockFormat_ = MakeBlockFormat(p);
            blockValid_ = true;
        }
        return blockFormat_;
    }

    // Sets the format of the cursor's block unless the block was made with it.
    void ApplyParagraph(const ParaState& p) {
        if (!curBlockKnown_ || !(curBlockState_ == p)) cur_.setBlockFormat(BlockFormatOf(p));
        // A list of the list table wins over the older paragraph numbering.
        if (p.ls > 0 && lists_.Apply(cur_, p.ls, p.ilvl)) return;
        if (p.bullet)
            detail::SetBlockBullet(cur_, true);
        else if (p.number)
            detail::SetBlockNumber(cur_, p.number);
    }

    void OnPar() {
        if (G().c.hidden) {
            hidden_.Add(u"\u2029");
            return;
        }
        if (tables_.InRow() && !tables_.Capped()) {
            BeforeContent();
            Flush();
            if (tables_.InRow()) {
                // The break becomes real only when more text follows in the
                // cell. The paragraph it ends joins its list now, as outside
                // tables.
                curBlockKnown_ = false;
                ApplyParagraph(G().p);
                tables_.SetPendingPar(MakeBlockFormat(G().p));
                return;
            }
        }
        BeforeContent();
        Flush();
        ApplyParagraph(G().p);
        hidden_.AttachAtBlockEnd(cur_);
        // The next paragraph most likely has the same format.
        cur_.insertBlock(BlockFormatOf(G().p));
        curBlockKnown_ = true;
        curBlockState_ = G().p;
        blocksInserted_ = true;
        pendingFinalPar_ = true;
        contentSincePar_ = false;
    }

    // ---- pictures ----------------------------------------------------------

    void PictWord(RtfKw kw, const RtfToken& t) {
        const int64_t v = t.hasParam ? t.param : 0;
        switch (kw) {
        case RtfKw::pngblip: pict_.kind = PictureKind::Png; break;
        case RtfKw::jpegblip: pict_.kind = PictureKind::Jpeg; break;
        case RtfKw::dibitmap: pict_.kind = PictureKind::Bitmap; break;
        case RtfKw::macpict: pict_.kind = PictureKind::MacPict; break;
        case RtfKw::wmetafile:
            pict_.kind = PictureKind::Metafile;
            pict_.mapMode = t.hasParam ? t.param : 1;
            break;
        case RtfKw::emfblip:
            pict_.kind = PictureKind::Unknown;
            pict_.emf = true;
            break;
        case RtfKw::wbitmap: pict_.kind = PictureKind::Unknown; break;
        case RtfKw::picw: pict_.picw = std::max<int64_t>(v, 0); break;
        case RtfKw::pich: pict_.pich = std::max<int64_t>(v, 0); break;
        case RtfKw::picwgoal: pict_.goalw = std::max<int64_t>(v, 0); break;
        case RtfKw::pichgoal: pict_.goalh = std::max<int64_t>(v, 0); break;
        case RtfKw::picscalex: pict_.scalex = v > 0 ? v : 100; break;
        case RtfKw::picscaley: pict_.scaley = v > 0 ? v : 100; break;
        default: break;
        }
    }

    void PictData(std::string_view text) {
        for (unsigned char c : text) {
            int v = HexValue(c);
            if (v < 0) continue;
            if (pict_.nibble < 0) {
                pict_.nibble = v;
                continue;
            }
            if (pict_.data.size() >= detail::kMaxPictureBytes) {
                pict_.tooBig = true;
                return;
            }
            pict_.data.push_back(char(pict_.nibble * 16 + v));
            pict_.nibble = -1;
        }
    }

    void FinishPicture() {
        Pict p = std::move(pict_);
        pict_ = Pict{};
        if (p.tooBig || p.data.empty()) return;
        if (pictureBytes_ + p.data.size() > detail::kMaxPicturesTotal) return;
        pictureBytes_ += p.data.size();
        QByteArray bytes;
        QString kind;
        QImage image;
        int pw = 0, ph = 0;
        if (p.kind == PictureKind::Png || p.kind == PictureKind::Jpeg) {
            if (!ImagePixelSize(p.data, pw, ph) || pw <= 0 || ph <= 0 || pw > detail::kMaxPictureSide ||
                ph > detail::kMaxPictureSide || int64_t(pw) * ph > detail::kMaxPicturePixels ||
                pixels_ + int64_t(pw) * ph > detail::kMaxTotalPixels)
                return;
            pixels_ += int64_t(pw) * ph;
            bytes = QByteArray(p.data.data(), qsizetype(p.data.size()));
            if (!image.loadFromData(bytes)) return;
            kind = p.kind == PictureKind::Png ? QStringLiteral("png") : QStringLiteral("jpeg");
        } else if (p.emf) {
            // Shown rendered; the metafile itself is what is written back.
            auto pic = LoadPictureData(p.data);
            if (!pic || !pic->IsMetafile()) return;
            image = RenderPicture(*pic);
            if (image.isNull() || pixels_ + int64_t(image.width()) * image.height() > detail::kMaxTotalPixels) return;
            pixels_ += int64_t(image.width()) * image.height();
            bytes = QByteArray(p.data.data(), qsizetype(p.data.size()));
            kind = QStringLiteral("emf");
            pw = image.width();
            ph = image.height();
        } else {
            const std::string file =
                PictureFileOf(p.kind, std::move(p.data), p.picw, p.pich, p.mapMode, p.goalw, p.goalh);
            if (file.empty()) return;
            auto pic = LoadPictureData(file);
            if (!pic) return;
            image = RenderPicture(*pic);
            if (image.isNull() || pixels_ + int64_t(image.width()) * image.height() > detail::kMaxTotalPixels) return;
            pixels_ += int64_t(image.width()) * image.height();
            QBuffer buf(&bytes);
            buf.open(QIODevice::WriteOnly);
            if (!image.save(&buf, "PNG")) return;
            kind = QStringLiteral("png");
            pw = image.width();
            ph = image.height();
        }
        // Displayed size: the goal size (else the pixel size) times the scale.
        double gw = p.goalw > 0 ? double(p.goalw) : pw * kTwipsPerUnit;
        double gh = p.goalh > 0 ? double(p.goalh) : ph * kTwipsPerUnit;
        double w = std::min(gw * double(p.scalex) / 100.0 / kTwipsPerUnit, double(detail::kMaxPictureSide));
        double h = std::min(gh * double(p.scaley) / 100.0 / kTwipsPerUnit, double(detail::kMaxPictureSide));
        if (G().c.hidden) return;
        BeforeContent();
        Flush();
        formatValid_ = false;
        detail::InsertImage(cur_, image, bytes, kind, w, h);
        contentSincePar_ = true;
        pendingFinalPar_ = false;
        lastContentPara_ = G().p;
    }

    // ---- words -------------------------------------------------------------

    // The list tables and the stylesheet of the header, read in one piece.
    void ReadHeaderTable(RtfKw kw) {
        using detail::GroupEnd;
        const int depth = tok_.Depth();
        GroupEnd end;
        if (kw == RtfKw::listtable) {
            end = lists_.ReadListTable(tok_, depth, *docCp_);
        } else if (kw == RtfKw::listoverridetable) {
            end = lists_.ReadOverrideTable(tok_, depth);
        } else {
            auto fonts = [this](int f, QString& family, int& charset) {
                auto it = fontIndex_.find(f);
                if (it == fontIndex_.end()) return false;
                family = fonts_[it->second].name;
                charset = std::max(fonts_[it->second].charset, 0);
                return true;
            };
            detail::StyleSheet sheet;
            end = detail::ReadStyleSheet(tok_, depth, *docCp_, fonts, sheet);
            if (styles_.empty()) styles_ = std::move(sheet);
        }
        if (end == GroupEnd::Error) failed_ = true;
        if (end == GroupEnd::Closed) Close();
    }

    void OnDestination(RtfKw kw, bool starred) {
        Group& g = G();
        switch (kw) {
        case RtfKw::fonttbl: g.dest = Dest::FontTbl; return;
        case RtfKw::colortbl:
            g.dest = Dest::ColorTbl;
            color_ = QColor(0, 0, 0);
            colorPending_ = false;
            return;
        case RtfKw::pict:
            if (g.dest != Dest::Normal) break;
            Flush();
            g.dest = Dest::Pict;
            g.ownsPict = true;
            pict_ = Pict{};
            return;
        case RtfKw::field:
            if (fieldStack_.size() >= 16) break;
            fieldStack_.push_back(QString());
            g.ownsField = true;
            return;
        case RtfKw::fldinst:
            if (fieldStack_.empty()) break;
            g.dest = Dest::FldInst;
            return;
        case RtfKw::fldrslt:
            if (!fieldStack_.empty()) {
                QString target = HyperlinkTarget(fieldStack_.back());
                if (!target.isEmpty() && links_.size() < 100000) {
                    links_.push_back(target);
                    g.c.field = int(links_.size()) - 1;
                }
            }
            return;
        case RtfKw::pn:
            g.dest = Dest::Pn;
            pnStyle_ = 0;
            return;
        case RtfKw::object: g.dest = Dest::Object; return;
        case RtfKw::result:
            if (g.dest == Dest::Object) g.dest = Dest::Normal;
            return;
        case RtfKw::shppict:
        case RtfKw::shprslt: return;
        case RtfKw::nesttableprops:
            g.nestProps = true;
            return;
        case RtfKw::listtext:
            // Numbers of lists this reader does not build stay visible as text.
            if (lists_.HasLists()) break;
            return;
        case RtfKw::listtable:
        case RtfKw::listoverridetable:
        case RtfKw::stylesheet: ReadHeaderTable(kw); return;
        case RtfKw::shp:
            if (!starred) return;
            break;
        default: break;
        }
        SkipGroup();
    }

    void OnWord(const RtfToken& t) {
        RtfKw kw = LookupRtfWord(t.word);
        const int v = t.hasParam ? t.param : 0;
        Group& g = G();
        // Words that count wherever they stand.
        switch (kw) {
        case RtfKw::ansi: docCp_ = &RtfCodePageFor(1252); return;
        case RtfKw::mac: docCp_ = &RtfCodePageFor(10000); return;
        case RtfKw::pc: docCp_ = &RtfCodePageFor(437); return;
        case RtfKw::pca: docCp_ = &RtfCodePageFor(850); return;
        case RtfKw::ansicpg:
            if (t.hasParam) docCp_ = &RtfCodePageFor(v);
            return;
        case RtfKw::deff:
            if (t.hasParam) deff_ = v;
            formatValid_ = false;
            formatCache_.clear();
            return;
        case RtfKw::uc: g.uc = std::clamp(t.hasParam ? v : 1, 0, 255); return;
        case RtfKw::u:
            if (t.hasParam && g.dest == Dest::Normal) {
                int c = v < 0 ? v + 65536 : v;
                // Control characters, the object mark and the paragraph
                // separator would change the document's structure.
                if (c >= 0 && c <= 0xFFFF && (c >= 0x20 || c == '\t') && c != 0xFFFC && c != 0x2029)
                    AddChar(char16_t(c));
            } else if (t.hasParam && g.dest == Dest::FldInst && !fieldStack_.empty()) {
                int c = v < 0 ? v + 65536 : v;
                QString& inst = fieldStack_.back();
                if (c >= 0x20 && c <= 0xFFFF && size_t(inst.size()) < detail::kMaxFieldInstruction)
                    inst.append(QChar(char16_t(c)));
            }
            ucSkip_ = g.uc;
            return;
        default: break;
        }
        if (RtfWordKind(kw) == RtfKwKind::Dest) {
            if (g.dest == Dest::Normal || (g.dest == Dest::Object && kw == RtfKw::result)) {
                OnDestination(kw, false);
            } else if (g.dest == Dest::FontTbl || g.dest == Dest::ColorTbl || g.dest == Dest::Pn ||
                       g.dest == Dest::Object || g.dest == Dest::Pict || g.dest == Dest::FldInst) {
                SkipGroup();
            }
            return;
        }
        switch (g.dest) {
        case Dest::FontTbl:
            if (kw == RtfKw::f && t.hasParam)
                StartFont(v);
            else if (kw == RtfKw::fcharset && t.hasParam)
                fontCharset_ = v;
            else if (kw == RtfKw::cpg && t.hasParam)
                fontCpg_ = v;
            return;
        case Dest::ColorTbl:
            if (kw == RtfKw::red || kw == RtfKw::green || kw == RtfKw::blue) {
                int c = std::clamp(v, 0, 255);
                if (kw == RtfKw::red) color_.setRed(c);
                if (kw == RtfKw::green) color_.setGreen(c);
                if (kw == RtfKw::blue) color_.setBlue(c);
                colorPending_ = true;
            }
            return;
        case Dest::Pict: PictWord(kw, t); return;
        case Dest::Pn:
            if (t.word == "pnlvlblt") {
                SetPn(true, 0);
            } else if (t.word == "pnlvlbody") {
                SetPn(false, pnStyle_ ? pnStyle_ : int(QTextListFormat::ListDecimal));
            } else {
                // The style may come before or after the level.
                const int style = t.word == "pndec"     ? int(QTextListFormat::ListDecimal)
                                  : t.word == "pnlcltr" ? int(QTextListFormat::ListLowerAlpha)
                                  : t.word == "pnucltr" ? int(QTextListFormat::ListUpperAlpha)
                                  : t.word == "pnlcrm"  ? int(QTextListFormat::ListLowerRoman)
                                  : t.word == "pnucrm"  ? int(QTextListFormat::ListUpperRoman)
                                                        : 0;
                if (style) {
                    pnStyle_ = style;
                    if (G().p.number) SetPn(false, style);
                }
            }
            return;
        case Dest::FldInst:
        case Dest::Object: return;
        case Dest::Normal: break;
        }
        NormalWord(kw, t);
    }

    // The paragraph numbering of a \pn group: on the group and on the
    // paragraph it belongs to.
    void SetPn(bool bullet, int number) {
        for (size_t k = 0; k < 2 && k < stack_.size(); ++k) {
            ParaState& p = stack_[stack_.size() - 1 - k].p;
            p.bullet = bullet;
            p.number = number;
        }
    }

    void NormalWord(RtfKw kw, const RtfToken& t) {
        Group& g = G();
        CharState& c = g.c;
        ParaState& p = g.p;
        const int v = t.hasParam ? t.param : 0;
        const bool on = !t.hasParam || t.param != 0;
        switch (kw) {
        // Characters.
        case RtfKw::plain: {
            int field = c.field;
            c = CharState{};
            c.field = field;
            return;
        }
        case RtfKw::f: c.font = t.hasParam ? v : -1; pendingLead_ = -1; return;
        case RtfKw::fs: c.halfPoints = t.hasParam && v > 0 ? std::min(v, 3276) : 24; return;
        case RtfKw::b: c.bold = on; return;
        case RtfKw::i: c.italic = on; return;
        case RtfKw::strike:
        case RtfKw::striked: c.strike = on; return;
        case RtfKw::ul:
        case RtfKw::ulw:
        case RtfKw::uldb:
        case RtfKw::ulth: c.underline = on ? QTextCharFormat::SingleUnderline : 0; return;
        case RtfKw::uld:
        case RtfKw::ulthd: c.underline = on ? QTextCharFormat::DotLine : 0; return;
        case RtfKw::uldash:
        case RtfKw::ulldash:
        case RtfKw::ulthdash:
        case RtfKw::ulthldash: c.underline = on ? QTextCharFormat::DashUnderline : 0; return;
        case RtfKw::uldashd:
        case RtfKw::ulthdashd: c.underline = on ? QTextCharFormat::DashDotLine : 0; return;
        case RtfKw::uldashdd:
        case RtfKw::ulthdashdd: c.underline = on ? QTextCharFormat::DashDotDotLine : 0; return;
        case RtfKw::ulwave:
        case RtfKw::ulhwave:
        case RtfKw::ululdbwave: c.underline = on ? QTextCharFormat::WaveUnderline : 0; return;
        case RtfKw::ulnone: c.underline = 0; return;
        case RtfKw::super: c.vAlign = on ? 1 : 0; if (!on) c.offsetTwips = 0; return;
        case RtfKw::sub: c.vAlign = on ? 2 : 0; if (!on) c.offsetTwips = 0; return;
        case RtfKw::nosupersub: c.vAlign = 0; c.offsetTwips = 0; return;
        case RtfKw::up: c.offsetTwips = std::clamp(t.hasParam ? v : 6, -32767, 32767) * 10; return;
        case RtfKw::dn: c.offsetTwips = -std::clamp(t.hasParam ? v : 6, -32767, 32767) * 10; return;
        case RtfKw::cf: c.fg = std::max(v, 0); return;
        case RtfKw::cb:
        case RtfKw::highlight: c.bg = std::max(v, 0); return;
        // Paragraphs.
        case RtfKw::pard: p = ParaState{}; return;
        case RtfKw::ql: p.align = 0; return;
        case RtfKw::qc: p.align = 1; return;
        case RtfKw::qr: p.align = 2; return;
        case RtfKw::qj: p.align = 3; return;
        case RtfKw::li: p.li = std::clamp(v, -31680, 31680); return;
        case RtfKw::ri: p.ri = std::clamp(v, -31680, 31680); return;
        case RtfKw::fi: p.fi = std::clamp(v, -31680, 31680); return;
        case RtfKw::ls: p.ls = std::clamp(v, 0, INT32_MAX); return;
        case RtfKw::ilvl: p.ilvl = std::clamp(v, 0, detail::kMaxListLevels - 1); return;
        case RtfKw::s: p.style = std::clamp(v, 0, detail::kMaxStyleNumber); return;
        case RtfKw::cs: c.cstyle = std::clamp(v, 0, detail::kMaxStyleNumber); return;
        case RtfKw::intbl:
            p.inTable = on;
            if (on) tables_.Def(1).intblSince = true;
            return;
        case RtfKw::itap: p.itap = std::clamp(v, 0, detail::kMaxTableDepth + 1); return;
        // Specials.
        case RtfKw::par:
        case RtfKw::sect:
        case RtfKw::page: OnPar(); return;
        case RtfKw::line: AddChar(0x2028); return;
        case RtfKw::tab: AddChar('\t'); return;
        case RtfKw::cell: OnCell(false); return;
        case RtfKw::nestcell: OnCell(true); return;
        case RtfKw::row: OnRow(false); return;
        case RtfKw::nestrow: OnRow(true); return;
        case RtfKw::bullet: AddChar(0x2022); return;
        case RtfKw::emdash: AddChar(0x2014); return;
        case RtfKw::endash: AddChar(0x2013); return;
        case RtfKw::emspace: AddChar(0x2003); return;
        case RtfKw::enspace: AddChar(0x2002); return;
        case RtfKw::lquote: AddChar(0x2018); return;
        case RtfKw::rquote: AddChar(0x2019); return;
        case RtfKw::ldblquote: AddChar(0x201C); return;
        case RtfKw::rdblquote: AddChar(0x201D); return;
        // Tables.
        case RtfKw::clvmgf: RowDefinition().pendingMerge |= detail::RowDef::kMergeVFirst; return;
        case RtfKw::clvmrg: RowDefinition().pendingMerge |= detail::RowDef::kMergeVNext; return;
        case RtfKw::trowd: RowDefinition().Start(); return;
        case RtfKw::cellx: RowDefinition().AddCell(v); return;
        case RtfKw::Unknown: break;
        default: return;
        }
        // Words outside the shared table.
        std::string_view w = t.word;
        if (w == "protect") {
            c.protect = on;
        } else if (w == "v") {
            c.hidden = on;
        } else if (w == "clmgf") {
            RowDefinition().pendingMerge |= detail::RowDef::kMergeHFirst;
        } else if (w == "clmrg") {
            RowDefinition().pendingMerge |= detail::RowDef::kMergeHNext;
        } else if (w == "sb") {
            p.sb = std::clamp(v, 0, 31680);
        } else if (w == "sa") {
            p.sa = std::clamp(v, 0, 31680);
        } else if (w == "sl") {
            // \sl1000 and more with \slmult1 would be ten lines a line: kept within reason.
            p.sl = std::clamp(v, -31680, 31680);
        } else if (w == "slmult") {
            p.slmult = on;
        } else if (w == "tx" || w == "tb") {
            if (p.tabCount < kMaxTabStops && v > 0 && v <= 31680) {
                // Stops stay sorted and unique.
                int* end = p.tabs.data() + p.tabCount;
                int* at = std::lower_bound(p.tabs.data(), end, v);
                if (at == end || *at != v) {
                    size_t idx = size_t(at - p.tabs.data());
                    std::move_backward(at, end, end + 1);
                    std::move_backward(p.tabKinds.begin() + idx, p.tabKinds.begin() + p.tabCount,
                                       p.tabKinds.begin() + p.tabCount + 1);
                    *at = v;
                    p.tabKinds[idx] = uint8_t(p.pendingTabKind);
                    ++p.tabCount;
                }
            }
            p.pendingTabKind = 0;
        } else if (w == "tqc") {
            p.pendingTabKind = 1;
        } else if (w == "tqr") {
            p.pendingTabKind = 2;
        } else if (w == "tqdec") {
            p.pendingTabKind = 3;
        } else if (w == "chcbpat") {
            c.bg = std::max(v, 0);
        } else if (w == "ulc") {
            // underline colour: not carried
        } else if (w == "zwj" || w == "zwnj") {
            AddChar(w == "zwj" ? 0x200D : 0x200C);
        }
    }

    // Row words inside {\*\nesttableprops} define a row of the paragraph's
    // nested table; outside it they define a row of level 1.
    detail::RowDef& RowDefinition() { return tables_.Def(G().nestProps ? std::max(ParaDepth(), 2) : 1); }

    void OnSymbol(const RtfToken& t) {
        switch (t.symbol) {
        case '*': {
            const int depth = tok_.Depth();
            RtfToken n;
            if (!tok_.Next(n)) return;
            if (n.type == RtfTokenType::Word) {
                RtfKw kw = LookupRtfWord(n.word);
                bool handled = G().dest == Dest::Normal &&
                               (kw == RtfKw::fldinst || kw == RtfKw::pn || kw == RtfKw::shppict ||
                                kw == RtfKw::listtable || kw == RtfKw::listoverridetable ||
                                kw == RtfKw::field || kw == RtfKw::result || kw == RtfKw::pict ||
                                kw == RtfKw::nesttableprops);
                if (kw == RtfKw::result && G().dest == Dest::Object) handled = true;
                if (handled) {
                    OnDestination(kw, true);
                    return;
                }
            }
            if (n.type == RtfTokenType::Error) {
                failed_ = true;
                return;
            }
            SkipGroupAt(depth);
            return;
        }
        case '~': if (G().dest == Dest::Normal) AddChar(0xA0); return;
        case '_': if (G().dest == Dest::Normal) AddChar(0x2011); return;
        case '-': if (G().dest == Dest::Normal) AddChar(0xAD); return;
        case '\t': if (G().dest == Dest::Normal) AddChar('\t'); return;
        default: return;
        }
    }

    void OnText(std::string_view text) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
        size_t n = text.size();
        if (ucSkip_ > 0) {
            size_t k = std::min<size_t>(n, size_t(ucSkip_));
            p += k;
            n -= k;
            ucSkip_ -= int(k);
            if (n == 0) return;
        }
        switch (G().dest) {
        case Dest::Normal: {
            // Decode into a scratch buffer and hand it over in one piece.
            scratch_.clear();
            Decode(p, n, [this](char32_t c) {
                if (c < 0x20 && c != '\t') return;
                if (c < 0x10000) {
                    scratch_.push_back(char16_t(c));
                } else {
                    scratch_.push_back(QChar::highSurrogate(c));
                    scratch_.push_back(QChar::lowSurrogate(c));
                }
            });
            if (!scratch_.empty()) AddText(scratch_);
            return;
        }
        case Dest::FontTbl:
            for (size_t i = 0; i < n; ++i) {
                if (p[i] == ';') {
                    FinishFont();
                } else if (fontPending_ && fontName_.size() < size_t(detail::kMaxNameLength)) {
                    fontName_.push_back(char(p[i]));
                }
            }
            return;
        case Dest::ColorTbl:
            for (size_t i = 0; i < n; ++i)
                if (p[i] == ';') PushColor();
            return;
        case Dest::Pict: PictData(text); return;
        case Dest::FldInst:
            if (!fieldStack_.empty()) {
                QString& inst = fieldStack_.back();
                Decode(p, n, [&inst](char32_t c) {
                    if (c >= 0x20 && size_t(inst.size()) < detail::kMaxFieldInstruction) AppendUcs4(inst, c);
                });
            }
            return;
        default: return;
        }
    }

    void OnHex(unsigned char b) {
        if (ucSkip_ > 0) {
            --ucSkip_;
            return;
        }
        if (G().dest == Dest::FontTbl) {
            if (fontPending_ && fontName_.size() < size_t(detail::kMaxNameLength)) fontName_.push_back(char(b));
            return;
        }
        if (G().dest == Dest::Pict) {
            return;
        }
        OnText(std::string_view(reinterpret_cast<const char*>(&b), 1));
    }

    RtfTokenizer tok_;
    QTextCursor& cur_;
    bool whole_;
    std::vector<Group> stack_;
    bool done_ = false;
    bool failed_ = false;

    const RtfCodePage* docCp_;
    // The code page of the last font asked for.
    const RtfCodePage* cp_ = nullptr;
    const RtfCodePage* cpDoc_ = nullptr;
    int cpFont_ = INT32_MIN;
    int cpGeneration_ = -1;
    int fontGeneration_ = 0;
    int deff_ = 0;
    int ucSkip_ = 0;
    int pendingLead_ = -1;

    std::vector<Font> fonts_;
    std::unordered_map<int, size_t> fontIndex_;
    bool fontPending_ = false;
    int fontNumber_ = 0, fontCharset_ = -1, fontCpg_ = 0;
    std::string fontName_;

    std::vector<QColor> colors_;
    QColor color_{0, 0, 0};
    bool colorPending_ = false;

    std::vector<QString> fieldStack_;
    std::vector<QString> links_;

    Pict pict_;
    size_t pictureBytes_ = 0;
    int64_t pixels_ = 0;

    QString run_;
    std::u16string scratch_;
    CharState runState_;
    QTextCharFormat runFormat_;
    std::unordered_map<CharState, QTextCharFormat, StateHash> formatCache_;
    bool formatValid_ = false;
    ParaState blockState_;
    QTextBlockFormat blockFormat_;
    bool blockValid_ = false;
    ParaState lastContentPara_;
    bool contentSincePar_ = false;
    bool pendingFinalPar_ = false;

    detail::TableNest tables_;
    QTextBlockFormat tailFormat_;
    bool curBlockKnown_ = false;
    ParaState curBlockState_;
    bool blocksInserted_ = false;
    int pnStyle_ = 0; // the numbering style named in the current \pn group

    detail::ListReader lists_;
    detail::StyleSheet styles_;
    detail::HiddenText hidden_;
};

bool Reader::Run(std::string* error) {
    std::string_view in = tok_.Input();
    size_t start = 0;
    while (start < in.size() && (in[start] == ' ' || in[start] == '\r' || in[start] == '\n' || in[start] == '\t'))
        ++start;
    if (in.substr(start, 5) != "{\\rtf") {
        if (error) *error = "not RTF";
        return false;
    }
    tok_.Seek(start, 0);
    RtfToken t;
    while (!done_ && !failed_ && tok_.Next(t)) {
        switch (t.type) {
        case RtfTokenType::GroupOpen: Open(); break;
        case RtfTokenType::GroupClose: Close(); break;
        case RtfTokenType::Word:
            if (stack_.empty()) break;
            if (t.word != "u" && t.word != "bin" && ucSkip_ > 0) {
                --ucSkip_;
                break;
            }
            OnWord(t);
            break;
        case RtfTokenType::Symbol:
            if (stack_.empty()) break;
            if (ucSkip_ > 0 && t.symbol != '*') {
                --ucSkip_;
                break;
            }
            OnSymbol(t);
            break;
        case RtfTokenType::Text:
            if (!stack_.empty()) OnText(t.text);
            break;
        case RtfTokenType::Hex:
            if (!stack_.empty()) OnHex(t.hex);
            break;
        case RtfTokenType::Binary:
            if (!stack_.empty() && G().dest == Dest::Pict) {
                if (pict_.data.size() + t.text.size() > detail::kMaxPictureBytes)
                    pict_.tooBig = true;
                else
                    pict_.data.append(t.text);
            }
            ucSkip_ = 0;
            break;
        case RtfTokenType::Error: failed_ = true; break;
        case RtfTokenType::End: break;
        }
    }
    if (failed_ || tok_.Failed()) {
        if (error) *error = "RTF nested too deeply";
        return false;
    }
    // A picture group left open by a truncated text still counts.
    for (size_t i = stack_.size(); i-- > 1;)
        if (stack_[i].ownsPict) FinishPicture();
    Flush();
    // A text that ends inside a table cell ends the cell's last paragraph
    // there, so that it joins its list as a paragraph mark would make it.
    const bool endedInCell = tables_.InRow() && !tables_.Capped() && contentSincePar_ && !pendingFinalPar_;
    if (endedInCell) {
        curBlockKnown_ = false;
        ApplyParagraph(lastContentPara_);
    }
    tables_.LeaveAll();
    if (pendingFinalPar_) {
        // The last paragraph mark closes the last paragraph; it adds no empty
        // one. The paragraph keeps what it carries: its list, hidden text of
        // its own.
        const QTextBlock last = cur_.block().previous();
        const QString hidden = last.isValid() ? last.blockFormat().stringProperty(kHiddenBlockProperty) : QString();
        // The list goes away with its last item, which the deletion may take.
        const QPointer<QTextList> list = last.isValid() ? last.textList() : nullptr;
        cur_.deletePreviousChar();
        if (!hidden.isEmpty() && cur_.blockFormat().stringProperty(kHiddenBlockProperty) != hidden) {
            QTextBlockFormat f = cur_.blockFormat();
            f.setProperty(kHiddenBlockProperty, hidden);
            cur_.setBlockFormat(f);
        }
        if (list && cur_.block().textList() != list) list->add(cur_.block());
    } else if (contentSincePar_ && whole_ && !endedInCell) {
        ApplyParagraph(lastContentPara_);
    } else if (!whole_ && blocksInserted_ && tables_.Depth() == 0) {
        // The rest of the paragraph the text went into keeps its format.
        cur_.setBlockFormat(tailFormat_);
    }
    hidden_.AttachAtBlockEnd(cur_);
    if (whole_) detail::SetStyleSheet(*cur_.document(), std::move(styles_));
    return true;
}

} // namespace

bool LoadRtf(std::string_view rtf, QTextDocument& doc, std::string* error) {
    bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    doc.clear();
    detail::SetStyleSheet(doc, {});
    QTextCursor c(&doc);
    c.beginEditBlock();
    Reader r(rtf, c, true);
    bool ok = r.Run(error);
    c.endEditBlock();
    if (!ok) doc.clear();
    doc.setUndoRedoEnabled(undo);
    return ok;
}

bool InsertRtf(std::string_view rtf, QTextCursor& cursor, std::string* error) {
    cursor.beginEditBlock();
    if (cursor.hasSelection()) cursor.removeSelectedText();
    QTextCursor c(cursor);
    Reader r(rtf, c, false);
    bool ok = r.Run(error);
    cursor.endEditBlock();
    if (ok) cursor.setPosition(c.position());
    return ok;
}

} // namespace zt::textqt
