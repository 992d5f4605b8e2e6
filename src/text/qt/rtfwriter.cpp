// The RTF writer of the control: the document in the form the rich edit
// control writes (ANSI code page 1252, a font and a colour table, \pard
// paragraphs, every run with its face and size).
#include "text/qt/rtfdocument.h"
#include "text/qt/rtfinternal.h"
#include "text/qt/rtflists.h"
#include "text/qt/rtfproperties.h"
#include "text/qt/rtfstyles.h"

#include "base/cp1252.h"
#include "text/rtfcodepage.h"
#include "text/emfrender.h"
#include "text/pictures.h"

#include <QBuffer>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zt::textqt {

namespace {

constexpr size_t kLineLength = 200;

struct RunState {
    int font = -1, halfPoints = -1;
    bool bold = false, italic = false, strike = false, protect = false;
    int underline = 0;
    int vAlign = 0;  // 0 none, 1 super, 2 sub (without an offset)
    int offsetHalfPoints = 0;
    int fg = 0, bg = 0;
    int cstyle = 0;
};

struct ParaKey {
    int align = 0, li = 0, ri = 0, fi = 0;
    int sb = 0, sa = 0, sl = 0;
    bool slmult = false;
    int number = 0; // the list style of a numbered paragraph
    bool bullet = false;
    int ls = 0, ilvl = 0, style = 0;  // list override and level, paragraph style
    std::vector<std::pair<int, int>> tabs;
    bool operator==(const ParaKey&) const = default;
};

class Writer {
public:
    explicit Writer(const QTextDocument& doc) : doc_(doc) {
        QFont df = doc.defaultFont();
        defaultFamily_ = df.family();
        defaultPoints_ = df.pointSizeF() > 0 ? df.pointSizeF() : 12.0;
        FontIndex(defaultFamily_, 0);
    }

    std::string Run() {
        WriteFrame(doc_.rootFrame());
        const std::string styles = detail::StyleSheetRtf(
            doc_, [this](const QString& family, int charset) { return FontIndex(family, charset); });
        std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl";
        for (size_t i = 0; i < fonts_.size(); ++i) {
            out += "{\\f" + std::to_string(i) + "\\fnil\\fcharset" + std::to_string(fonts_[i].second) + ' ';
            AppendName(out, fonts_[i].first, fonts_[i].second);
            out += ";}";
        }
        out += "}\r\n";
        if (!colors_.empty()) {
            out += "{\\colortbl ;";
            for (QRgb c : colors_)
                out += "\\red" + std::to_string(qRed(c)) + "\\green" + std::to_string(qGreen(c)) + "\\blue" +
                       std::to_string(qBlue(c)) + ';';
            out += "}\r\n";
        }
        out += styles;
        out += lists_.Tables();
        out += "\\viewkind4\\uc1";
        out += body_;
        out += "\r\n}\r\n";
        return out;
    }

private:
    // ---- tables of the header ----------------------------------------------

    int FontIndex(const QString& family, int charset) {
        auto key = std::make_pair(family, charset);
        auto it = fontIndex_.find(key);
        if (it != fontIndex_.end()) return it->second;
        int n = int(fonts_.size());
        fonts_.push_back(key);
        fontIndex_[key] = n;
        return n;
    }

    int ColorIndex(const QBrush& brush) {
        if (brush.style() == Qt::NoBrush) return 0;
        QRgb c = brush.color().rgb() & 0xFFFFFF;
        auto it = colorIndex_.find(c);
        if (it != colorIndex_.end()) return it->second;
        colors_.push_back(c);
        int n = int(colors_.size());
        colorIndex_[c] = n;
        return n;
    }

    // A font name in the bytes of the font's own code page (the reader
    // takes the document's for the symbol set).
    static void AppendName(std::string& out, const QString& name, int charset) {
        int number = CodePageOfCharset(charset);
        const RtfCodePage& cp = RtfCodePageFor(number > 0 && number != kRtfSymbolCodePage ? number : 1252);
        for (QChar ch : name) {
            char16_t c = ch.unicode();
            if (c == ';' || c == '{' || c == '}' || c == '\\' || c < 0x20) continue;
            if (c < 0x80) {
                out += char(c);
                continue;
            }
            int b = -1;
            if (!cp.IsDoubleByte())
                for (int i = 0x80; i < 256 && b < 0; ++i)
                    if (cp.Map(uint8_t(i)) == c) b = i;
            if (b < 0)
                out += '?';
            else
                AppendHexByte(out, uint8_t(b));
        }
    }

    static void AppendHexByte(std::string& out, uint8_t b) {
        static const char kHex[] = "0123456789abcdef";
        out += "\\'";
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }

    // ---- output helpers ----------------------------------------------------

    void Word(std::string_view w) {
        body_ += w;
        needSpace_ = true;
    }
    void Word(std::string_view w, int n) {
        body_ += w;
        body_ += std::to_string(n);
        needSpace_ = true;
    }
    void NewLine() {
        body_ += "\r\n";
        lineStart_ = body_.size();
        needSpace_ = false;
    }
    // `portable`: characters beyond ASCII go as \uN whatever the font (the
    // reader reads field instructions in the code page of the run's font).
    void Text(const QString& s, bool portable = false) {
        // Bytes of a font with a character set of its own are read in that
        // set: there everything beyond ASCII (and for the symbol set every
        // character) goes as \uN.
        const int charset = cur_.font >= 0 && size_t(cur_.font) < fonts_.size() ? fonts_[size_t(cur_.font)].second : 0;
        const char16_t plainLimit = charset == 2 && !portable ? 0x20 : 0x80;
        const bool ansi = (charset == 0 || charset == 1) && !portable;
        for (qsizetype i = 0; i < s.size(); ++i) {
            char16_t c = s[i].unicode();
            if (body_.size() - lineStart_ > kLineLength && !needSpace_) NewLine();
            if (c == '\t') {
                Word("\\tab");
                continue;
            }
            if (c == 0x2028 || c == 0x2029) {
                Word("\\line");
                continue;
            }
            if (c < 0x20 || c == QChar::ObjectReplacementCharacter) continue;
            if (needSpace_) {
                body_ += ' ';
                needSpace_ = false;
            }
            if (c == '\\' || c == '{' || c == '}') {
                body_ += '\\';
                body_ += char(c);
            } else if (c < plainLimit) {
                body_ += char(c);
            } else if (!ansi) {
                body_ += "\\u" + std::to_string(int(int16_t(c))) + '?';
            } else {
                int b = UnicodeToCp1252(c);
                if (b >= 0x80 && !(b >= 0x80 && b <= 0x9F && b == int(c))) {
                    AppendHexByte(body_, uint8_t(b));
                } else if (b >= 0 && b < 0x80) {
                    body_ += char(b);
                } else {
                    // Characters outside the code page, surrogate halves included.
                    body_ += "\\u" + std::to_string(int(int16_t(c))) + '?';
                }
            }
        }
    }

    // ---- character formats -------------------------------------------------

    RunState StateOf(const QTextCharFormat& f) {
        RunState s;
        QStringList fams = f.fontFamilies().toStringList();
        QString family = !fams.isEmpty() && !fams.front().isEmpty() ? fams.front() : defaultFamily_;
        int charset = f.hasProperty(kCharsetProperty) ? f.intProperty(kCharsetProperty) : 0;
        s.font = FontIndex(family, charset);
        double pt = f.fontPointSize() > 0 ? f.fontPointSize() : defaultPoints_;
        s.halfPoints = std::max(1, int(std::lround(pt * 2)));
        s.bold = f.fontWeight() > QFont::Medium;
        s.italic = f.fontItalic();
        s.strike = f.fontStrikeOut();
        s.protect = f.boolProperty(kProtectedProperty);
        QTextCharFormat::UnderlineStyle u = f.underlineStyle();
        if (u == QTextCharFormat::NoUnderline && f.fontUnderline()) u = QTextCharFormat::SingleUnderline;
        s.underline = int(u);
        int off = f.intProperty(kOffsetTwipsProperty);
        if (off != 0) {
            // Half points; an offset never rounds away to nothing.
            int hp = int(std::lround(off / 10.0));
            if (hp == 0) hp = off > 0 ? 1 : -1;
            s.offsetHalfPoints = hp;
        } else if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) {
            s.vAlign = 1;
        } else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) {
            s.vAlign = 2;
        }
        if (f.hasProperty(QTextFormat::ForegroundBrush)) s.fg = ColorIndex(f.foreground());
        if (f.hasProperty(QTextFormat::BackgroundBrush)) s.bg = ColorIndex(f.background());
        s.cstyle = f.intProperty(kCharStyleProperty);
        return s;
    }

    void WriteRunState(const RunState& s) {
        RunState& c = cur_;
        if (s.font != c.font) Word("\\f", s.font);
        if (s.halfPoints != c.halfPoints) Word("\\fs", s.halfPoints);
        if (s.bold != c.bold) Word(s.bold ? "\\b" : "\\b0");
        if (s.italic != c.italic) Word(s.italic ? "\\i" : "\\i0");
        if (s.underline != c.underline) {
            switch (s.underline) {
            case 0: Word("\\ulnone"); break;
            case QTextCharFormat::DotLine: Word("\\uld"); break;
            case QTextCharFormat::DashUnderline: Word("\\uldash"); break;
            case QTextCharFormat::DashDotLine: Word("\\uldashd"); break;
            case QTextCharFormat::DashDotDotLine: Word("\\uldashdd"); break;
            case QTextCharFormat::WaveUnderline: Word("\\ulwave"); break;
            default: Word("\\ul"); break;
            }
        }
        if (s.strike != c.strike) Word(s.strike ? "\\strike" : "\\strike0");
        if (s.offsetHalfPoints != c.offsetHalfPoints || s.vAlign != c.vAlign) {
            if (c.vAlign && !s.vAlign) Word("\\nosupersub");
            if (s.offsetHalfPoints > 0)
                Word("\\up", s.offsetHalfPoints);
            else if (s.offsetHalfPoints < 0)
                Word("\\dn", -s.offsetHalfPoints);
            else if (c.offsetHalfPoints != 0)
                Word("\\up0");
            if (s.vAlign == 1) Word("\\super");
            if (s.vAlign == 2) Word("\\sub");
        }
        if (s.fg != c.fg) Word("\\cf", s.fg);
        if (s.bg != c.bg) Word("\\highlight", s.bg);
        if (s.protect != c.protect) Word(s.protect ? "\\protect" : "\\protect0");
        if (s.cstyle != c.cstyle) Word("\\cs", s.cstyle);
        c = s;
    }

    // ---- paragraphs --------------------------------------------------------

    ParaKey KeyOf(const QTextBlock& block) {
        QTextBlockFormat f = block.blockFormat();
        ParaKey k;
        Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
        k.align = a & Qt::AlignHCenter ? 1 : a & Qt::AlignRight ? 2 : a & Qt::AlignJustify ? 3 : 0;
        ParaIndents ind = GetIndents(f);
        k.li = ind.start + ind.offset;
        k.fi = -ind.offset;
        k.ri = ind.right;
        k.sb = std::max(0, UnitsToTwips(f.topMargin()));
        k.sa = std::max(0, UnitsToTwips(f.bottomMargin()));
        const qreal lh = f.lineHeight();
        switch (f.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
            if (lh > 0 && std::abs(lh - 100.0) > 0.01) {
                k.sl = int(std::lround(lh * 240.0 / 100.0));
                k.slmult = true;
            }
            break;
        case QTextBlockFormat::MinimumHeight:
            if (lh > 0) k.sl = UnitsToTwips(lh);
            break;
        case QTextBlockFormat::FixedHeight:
            if (lh > 0) k.sl = -UnitsToTwips(lh);
            break;
        default: break;
        }
        k.bullet = f.boolProperty(kBulletProperty) ||
                   (block.textList() && block.textList()->format().style() == QTextListFormat::ListDisc);
        if (!k.bullet && block.textList() && detail::IsNumberStyle(block.textList()->format().style()))
            k.number = block.textList()->format().style();
        const detail::ListWriter::Item item = lists_.ItemOf(block);
        k.ls = item.ls;
        k.ilvl = item.level;
        k.style = f.intProperty(kParaStyleProperty);
        const auto tabs = f.tabPositions();
        for (const QTextOption::Tab& t : tabs) {
            if (k.tabs.size() >= size_t(detail::kMaxTabStops)) break;
            k.tabs.emplace_back(UnitsToTwips(t.position), int(t.type));
        }
        return k;
    }

    // `depth`: the table level of the paragraph, 0 outside tables.
    void WritePara(const ParaKey& k, int depth) {
        if (paraValid_ && k == para_ && depth == paraDepth_) return;
        NewLine();
        Word("\\pard");
        if (k.style) Word("\\s", k.style);
        if (depth > 0) Word("\\intbl");
        if (depth > 1) Word("\\itap", depth);
        if (k.bullet) {
            int sym = FontIndex(QStringLiteral("Symbol"), 2);
            body_ += "{\\pntext\\f" + std::to_string(sym) + "\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf" +
                     std::to_string(sym) + "\\pnindent0{\\pntxtb\\'B7}}";
            needSpace_ = false;
        } else if (k.number) {
            const char* style = k.number == QTextListFormat::ListLowerAlpha   ? "\\pnlcltr"
                                : k.number == QTextListFormat::ListUpperAlpha ? "\\pnucltr"
                                : k.number == QTextListFormat::ListLowerRoman ? "\\pnlcrm"
                                : k.number == QTextListFormat::ListUpperRoman ? "\\pnucrm"
                                                                              : "\\pndec";
            body_ += std::string("{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1") + style + "{\\pntxta.}}";
            needSpace_ = false;
        }
        if (k.ls) {
            Word("\\ls", k.ls);
            Word("\\ilvl", k.ilvl);
        }
        if (k.fi) Word("\\fi", k.fi);
        if (k.li) Word("\\li", k.li);
        if (k.ri) Word("\\ri", k.ri);
        if (k.sb) Word("\\sb", k.sb);
        if (k.sa) Word("\\sa", k.sa);
        if (k.sl) {
            Word("\\sl", k.sl);
            Word(k.slmult ? "\\slmult1" : "\\slmult0");
        }
        for (auto [pos, type] : k.tabs) {
            if (type == QTextOption::CenterTab) Word("\\tqc");
            if (type == QTextOption::RightTab) Word("\\tqr");
            if (type == QTextOption::DelimiterTab) Word("\\tqdec");
            Word("\\tx", pos);
        }
        static const char* kAlign[] = {nullptr, "\\qc", "\\qr", "\\qj"};
        if (k.align) Word(kAlign[k.align]);
        para_ = k;
        paraValid_ = true;
        paraDepth_ = depth;
    }

    void WriteBlock(const QTextBlock& block, int depth) {
        ParaKey k = KeyOf(block);
        bool again = paraValid_ && k == para_ && depth == paraDepth_;
        WritePara(k, depth);
        if (again && k.bullet) {
            int sym = FontIndex(QStringLiteral("Symbol"), 2);
            body_ += "{\\pntext\\f" + std::to_string(sym) + "\\'B7\\tab}";
            needSpace_ = false;
        }
        if (k.number) {
            // The number as readers without lists show it ("1.", "b.", "iv.").
            std::string item = detail::ItemLabel(block).toLatin1().toStdString();
            item.erase(std::remove_if(item.begin(), item.end(),
                                      [](char ch) { return !std::isalnum(uint8_t(ch)) && ch != '.'; }),
                       item.end());
            body_ += "{\\pntext\\f0 " + item + "\\tab}";
            needSpace_ = false;
        }
        bool any = false;
        WriteHidden(block.blockFormat().stringProperty(kHiddenBlockProperty));
        QString before, after;  // hidden text of the fragment before
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment frag = it.fragment();
            if (!frag.isValid()) continue;
            QTextCharFormat f = frag.charFormat();
            // Hidden text once where a run of fragments carrying it begins
            // (before the text) or ends (after it).
            const QString nowBefore = f.stringProperty(kHiddenBeforeProperty);
            const QString nowAfter = f.stringProperty(kHiddenAfterProperty);
            if (!after.isEmpty() && nowAfter != after) WriteHidden(after);
            if (!nowBefore.isEmpty() && nowBefore != before) WriteHidden(nowBefore);
            before = nowBefore;
            after = nowAfter;
            QString href = f.isAnchor() ? LinkTarget(f.anchorHref()) : QString();
            if (href != link_) {
                CloseLink();
                if (!href.isEmpty()) OpenLink(href);
            }
            any = true;
            WriteRunState(StateOf(f));
            if (f.isImageFormat()) {
                QString text = frag.text();
                for (QChar ch : text)
                    if (ch == QChar::ObjectReplacementCharacter) WriteImage(f.toImageFormat());
                continue;
            }
            Text(frag.text());
        }
        WriteHidden(after);
        CloseLink();
        if (!any) {
            // An empty paragraph still carries its face and size.
            WriteRunState(StateOf(block.charFormat()));
        }
    }

    // Hidden text as a group of its own; U+2029 is a hidden paragraph mark.
    void WriteHidden(const QString& hidden) {
        if (hidden.isEmpty()) return;
        body_ += "{\\v ";
        needSpace_ = false;
        const QStringList parts = hidden.split(QChar(0x2029));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i) Word("\\par");
            Text(parts[i]);
        }
        body_ += '}';
        needSpace_ = false;
    }

    // The target as a field can hold it: no control characters, no quotes.
    static QString LinkTarget(const QString& href) {
        QString t;
        for (QChar c : href)
            if (c.unicode() >= 0x20 && c != QChar::ObjectReplacementCharacter && c.unicode() != 0x2028 &&
                c.unicode() != 0x2029)
                t += c == QLatin1Char('"') ? QStringLiteral("%22") : QString(c);
        return t.trimmed();
    }

    void OpenLink(const QString& href) {
        body_ += "{\\field{\\*\\fldinst{HYPERLINK \"";
        needSpace_ = false;
        Text(href, true);
        body_ += "\" }}{\\fldrslt{";
        needSpace_ = false;
        link_ = href;
        linkState_ = cur_;
    }

    void CloseLink() {
        if (link_.isEmpty()) return;
        body_ += "}}}";
        needSpace_ = false;
        // The field's groups end: the state is again the one before the link.
        cur_ = linkState_;
        link_.clear();
    }

    void WriteImage(const QTextImageFormat& f) {
        QByteArray bytes = f.property(kPictureBytesProperty).toByteArray();
        QString kind = f.stringProperty(kPictureKindProperty);
        EmfHeader emf;
        if (kind == QLatin1String("emf") &&
            ReadEmfHeader(std::string_view(bytes.constData(), size_t(bytes.size())), emf)) {
            // An enhanced metafile goes back as it came: its size in
            // hundredths of a millimetre, the shown size in twips.
            const int gw = f.width() > 0 ? UnitsToTwips(f.width()) : int(std::lround(emf.WidthHimetric() * 1440.0 / 2540));
            const int gh = f.height() > 0 ? UnitsToTwips(f.height()) : int(std::lround(emf.HeightHimetric() * 1440.0 / 2540));
            body_ += "{\\pict\\emfblip\\picw" + std::to_string(emf.WidthHimetric()) + "\\pich" +
                     std::to_string(emf.HeightHimetric()) + "\\picwgoal" + std::to_string(gw) + "\\pichgoal" +
                     std::to_string(gh);
            WriteHex(bytes);
            return;
        }
        if (bytes.isEmpty() || (kind != QLatin1String("png") && kind != QLatin1String("jpeg"))) {
            QImage img;
            QVariant res = doc_.resource(QTextDocument::ImageResource, QUrl(f.name()));
            if (res.canConvert<QImage>()) img = res.value<QImage>();
            if (img.isNull()) img.load(f.name());
            if (img.isNull()) return;
            bytes.clear();
            QBuffer buf(&bytes);
            buf.open(QIODevice::WriteOnly);
            if (!img.save(&buf, "PNG")) return;
            kind = QStringLiteral("png");
        }
        int pw = 0, ph = 0;
        if (!ImagePixelSize(std::string_view(bytes.constData(), size_t(bytes.size())), pw, ph)) return;
        int gw = f.width() > 0 ? UnitsToTwips(f.width()) : int(pw * kTwipsPerUnit);
        int gh = f.height() > 0 ? UnitsToTwips(f.height()) : int(ph * kTwipsPerUnit);
        if (f.width() > 0 && f.height() <= 0 && pw > 0) gh = int(std::lround(double(gw) * ph / pw));
        if (f.height() > 0 && f.width() <= 0 && ph > 0) gw = int(std::lround(double(gh) * pw / ph));
        body_ += "{\\pict";
        body_ += kind == QLatin1String("png") ? "\\pngblip" : "\\jpegblip";
        body_ += "\\picw" + std::to_string(pw) + "\\pich" + std::to_string(ph) + "\\picwgoal" +
                 std::to_string(gw) + "\\pichgoal" + std::to_string(gh) + "\\picscalex100\\picscaley100";
        WriteHex(bytes);
    }

    // The picture's data in lines of hex digits, and the group's end.
    void WriteHex(const QByteArray& bytes) {
        static const char kHex[] = "0123456789abcdef";
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (i % 64 == 0) body_ += "\r\n";
            uint8_t b = uint8_t(bytes[i]);
            body_ += kHex[b >> 4];
            body_ += kHex[b & 15];
        }
        body_ += "\r\n}";
        lineStart_ = body_.size();
        needSpace_ = false;
    }

    // ---- structure ---------------------------------------------------------

    void WriteFrame(QTextFrame* frame) {
        for (auto it = frame->begin(); !it.atEnd(); ++it) {
            if (QTextFrame* child = it.currentFrame()) {
                if (auto* table = qobject_cast<QTextTable*>(child)) {
                    // The paragraph before a table holds it: no mark between
                    // them, so that the reader puts the table there again.
                    pendingPar_ = false;
                    WriteTable(table, 1);
                } else {
                    WriteFrame(child);
                }
                continue;
            }
            QTextBlock block = it.currentBlock();
            if (!block.isValid()) continue;
            if (pendingPar_) Word("\\par");
            WriteBlock(block, 0);
            pendingPar_ = true;
        }
        if (pendingPar_ && frame == doc_.rootFrame()) {
            Word("\\par");
            pendingPar_ = false;
        }
    }

    // The row definition: merge marks and right edges of the cells.
    void WriteRowDef(QTextTable* table, int r) {
        const auto widths = table->format().columnWidthConstraints();
        const int cols = table->columns();
        Word("\\trowd\\trgaph108");
        int x = 0;
        for (int c = 0; c < cols; ++c) {
            // Merged cells: the first of a merge and the ones it covers.
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.isValid()) {
                if (cell.row() != r)
                    Word("\\clvmrg");
                else if (cell.rowSpan() > 1)
                    Word("\\clvmgf");
                if (cell.column() != c)
                    Word("\\clmrg");
                else if (cell.columnSpan() > 1)
                    Word("\\clmgf");
            }
            int w = 9000 / std::max(cols, 1);
            if (c < widths.size() && widths[c].type() == QTextLength::FixedLength)
                w = std::clamp(UnitsToTwips(widths[c].rawValue()), 1, detail::kMaxCellWidth);
            x += w;
            Word("\\cellx", x);
        }
    }

    // A table at level `depth`: level 1 rows are defined before their cells
    // and end with \cell and \row; the rows of a table inside a cell end
    // with \nestcell, their definition and \nestrow in \*\nesttableprops,
    // and a paragraph mark for readers that know no nested tables.
    void WriteTable(QTextTable* table, int depth) {
        const int cols = table->columns();
        for (int r = 0; r < table->rows(); ++r) {
            NewLine();
            if (depth == 1) WriteRowDef(table, r);
            paraValid_ = false;
            for (int c = 0; c < cols; ++c) {
                QTextTableCell cell = table->cellAt(r, c);
                if (cell.isValid() && cell.row() == r && cell.column() == c) WriteCell(cell, depth);
                Word(depth == 1 ? "\\cell" : "\\nestcell");
            }
            if (depth == 1) {
                Word("\\row");
            } else {
                body_ += "{\\*\\nesttableprops";
                needSpace_ = false;
                WriteRowDef(table, r);
                Word("\\nestrow");
                body_ += "}{\\nonesttables\\par}";
                needSpace_ = false;
            }
            paraValid_ = false;
        }
        paraValid_ = false;
    }

    void WriteCell(const QTextTableCell& cell, int depth) {
        bool markDue = false;   // a paragraph ends before the next one
        bool lastEmpty = false; // the last paragraph is empty and follows a mark
        // Tables too deep give their paragraphs to the cell, row by row, so
        // that none of their text is lost.
        std::function<void(QTextFrame::iterator, bool)> items = [&](QTextFrame::iterator it, bool flat) {
            for (bool first = true; !it.atEnd(); ++it, first = false) {
                if (QTextFrame* inner = it.currentFrame()) {
                    auto* nested = qobject_cast<QTextTable*>(inner);
                    if (nested && !flat && depth < detail::kMaxTableDepth) {
                        if (markDue) Word("\\par");
                        WriteTable(nested, depth + 1);
                        markDue = false;
                        lastEmpty = false;
                    } else if (nested) {
                        for (int nr = 0; nr < nested->rows(); ++nr)
                            for (int nc = 0; nc < nested->columns(); ++nc) {
                                const QTextTableCell n = nested->cellAt(nr, nc);
                                if (n.isValid() && n.row() == nr && n.column() == nc) items(n.begin(), true);
                            }
                    } else {
                        items(inner->begin(), flat);
                    }
                    continue;
                }
                QTextBlock block = it.currentBlock();
                if (!block.isValid()) continue;
                // The empty paragraph that holds a table at the start of
                // the cell comes back by itself.
                if (first && !flat && block.length() <= 1 && depth < detail::kMaxTableDepth) {
                    auto next = it;
                    ++next;
                    if (!next.atEnd() && qobject_cast<QTextTable*>(next.currentFrame())) continue;
                }
                const bool afterMark = markDue;
                if (markDue) Word("\\par");
                WriteBlock(block, depth);
                markDue = true;
                lastEmpty = afterMark && block.length() <= 1;
            }
        };
        items(cell.begin(), false);
        // A mark right before the cell mark ends no paragraph of its own:
        // an empty last paragraph needs one more.
        if (lastEmpty) Word("\\par");
    }

    const QTextDocument& doc_;
    QString defaultFamily_;
    double defaultPoints_;
    std::vector<std::pair<QString, int>> fonts_;
    std::map<std::pair<QString, int>, int> fontIndex_;
    std::vector<QRgb> colors_;
    std::map<QRgb, int> colorIndex_;

    std::string body_;
    size_t lineStart_ = 0;
    bool needSpace_ = true;
    RunState cur_;
    ParaKey para_;
    bool paraValid_ = false;
    int paraDepth_ = 0;
    bool pendingPar_ = false;
    QString link_;
    RunState linkState_;
    detail::ListWriter lists_;
};

} // namespace

std::string WriteRtf(const QTextDocument& doc) { return Writer(doc).Run(); }

std::string WriteRtf(const QTextDocumentFragment& fragment) {
    QTextDocument tmp;
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(12);
    tmp.setDefaultFont(f);
    QTextCursor c(&tmp);
    c.insertFragment(fragment);
    return Writer(tmp).Run();
}

} // namespace zt::textqt
