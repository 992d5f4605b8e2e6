#include "ui/textformat.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <functional>

#include "text/qt/charformat.h"
#include "text/qt/rtfdocument.h"

namespace zt::ui {

namespace tq = zt::textqt;

namespace {

// The selection's fragments and their formats are shared with the script
// text objects (text/qt/charformat.h).
using Piece = tq::FormatPiece;
using tq::FaceOf;
using tq::PointsOf;
using tq::SelectionPieces;

void ModifyChars(QTextCursor& cursor, const std::function<void(QTextCharFormat&)>& change) {
    tq::ModifySelectionChars(cursor, change);
}

tq::CharEffect Shared(CharEffect e) {
    switch (e) {
    case CharEffect::Bold: return tq::CharEffect::Bold;
    case CharEffect::Italic: return tq::CharEffect::Italic;
    case CharEffect::Underline: return tq::CharEffect::Underline;
    case CharEffect::StrikeOut: return tq::CharEffect::StrikeOut;
    }
    return tq::CharEffect::Bold;
}

bool EffectOf(const QTextCharFormat& f, CharEffect e) { return tq::EffectOf(f, Shared(e)); }
void SetEffect(QTextCharFormat& f, CharEffect e, bool on) { tq::SetEffect(f, Shared(e), on); }

template <class F> void ForEachBlock(QTextCursor& cursor, F&& f) {
    QTextDocument* doc = cursor.document();
    const QTextBlock last = doc->findBlock(cursor.selectionEnd());
    QTextCursor c(doc);
    cursor.beginEditBlock();
    for (QTextBlock b = doc->findBlock(cursor.selectionStart()); b.isValid(); b = b.next()) {
        c.setPosition(b.position());
        QTextBlockFormat bf = b.blockFormat();
        f(b, bf);
        c.setBlockFormat(bf);
        if (b == last) break;
    }
    cursor.endEditBlock();
}

std::vector<QTextBlock> SelectedBlocks(const QTextCursor& cursor) {
    std::vector<QTextBlock> blocks;
    const QTextDocument* doc = cursor.document();
    const QTextBlock last = doc->findBlock(cursor.selectionEnd());
    for (QTextBlock b = doc->findBlock(cursor.selectionStart()); b.isValid(); b = b.next()) {
        blocks.push_back(b);
        if (b == last) break;
    }
    return blocks;
}

int HeightTwips(const QTextCursor& cursor, int defaultSizeTwips) {
    const auto formats = SelectionCharFormats(cursor);
    if (formats.empty() || !formats.front().hasProperty(QTextFormat::FontPointSize)) return defaultSizeTwips;
    return int(formats.front().fontPointSize() * 20 + 0.5);
}

} // namespace

std::vector<QTextCharFormat> SelectionCharFormats(const QTextCursor& cursor) {
    std::vector<QTextCharFormat> out;
    if (!cursor.hasSelection()) {
        out.push_back(cursor.charFormat());
        return out;
    }
    for (Piece& p : SelectionPieces(cursor)) out.push_back(std::move(p.format));
    if (out.empty()) out.push_back(cursor.charFormat());
    return out;
}

SelectionFont GetSelectionFont(const QTextCursor& cursor) {
    const auto formats = SelectionCharFormats(cursor);
    const QTextDocument* doc = cursor.document();
    SelectionFont r;
    r.face = FaceOf(formats.front(), doc);
    double pts = PointsOf(formats.front(), doc);
    bool sameSize = true;
    for (const auto& f : formats) {
        if (FaceOf(f, doc) != r.face) r.face.clear();
        if (PointsOf(f, doc) != pts) sameSize = false;
    }
    r.points = sameSize ? int(pts + 0.5) : -1;
    return r;
}

bool HasEffectUniformly(const QTextCursor& cursor, CharEffect effect) {
    const auto formats = SelectionCharFormats(cursor);
    return std::all_of(formats.begin(), formats.end(), [&](const QTextCharFormat& f) { return EffectOf(f, effect); });
}

bool IsSuperscript(const QTextCursor& cursor) {
    const auto formats = SelectionCharFormats(cursor);
    return std::all_of(formats.begin(), formats.end(), [](const QTextCharFormat& f) {
        return f.verticalAlignment() == QTextCharFormat::AlignSuperScript;
    });
}

bool IsSubscript(const QTextCursor& cursor) {
    const auto formats = SelectionCharFormats(cursor);
    return std::all_of(formats.begin(), formats.end(), [](const QTextCharFormat& f) {
        return f.verticalAlignment() == QTextCharFormat::AlignSubScript;
    });
}

bool HasExplicitColour(const QTextCursor& cursor) {
    const auto formats = SelectionCharFormats(cursor);
    return std::any_of(formats.begin(), formats.end(),
                       [](const QTextCharFormat& f) { return f.hasProperty(QTextFormat::ForegroundBrush); });
}

bool HasExplicitBackground(const QTextCursor& cursor) {
    const auto formats = SelectionCharFormats(cursor);
    return std::any_of(formats.begin(), formats.end(),
                       [](const QTextCharFormat& f) { return f.hasProperty(QTextFormat::BackgroundBrush); });
}

std::optional<int> UniformStartIndent(const QTextCursor& cursor) {
    std::optional<int> s;
    for (const QTextBlock& b : SelectedBlocks(cursor)) {
        const int v = tq::GetIndents(b.blockFormat()).start;
        if (s && *s != v) return std::nullopt;
        s = v;
    }
    return s;
}

static std::vector<int> TabsOf(const QTextBlockFormat& f) {
    std::vector<int> t;
    for (const QTextOption::Tab& tab : f.tabPositions()) t.push_back(tq::UnitsToTwips(tab.position));
    return t;
}

std::optional<std::vector<int>> UniformTabStops(const QTextCursor& cursor) {
    std::optional<std::vector<int>> r;
    for (const QTextBlock& b : SelectedBlocks(cursor)) {
        std::vector<int> t = TabsOf(b.blockFormat());
        if (r && *r != t) return std::nullopt;
        r = std::move(t);
    }
    return r;
}

QTextCharFormat DefaultCharFormat(const CZTEditDefaults& d) {
    QTextCharFormat f;
    f.setFontFamilies(QStringList{d.face});
    f.setFontPointSize(d.sizeTwips / 20.0);
    f.setFontWeight(QFont::Normal);
    f.setFontItalic(false);
    f.setFontUnderline(false);
    f.setFontStrikeOut(false);
    f.setVerticalAlignment(QTextCharFormat::AlignNormal);
    f.setProperty(tq::kCharsetProperty, 1);
    f.setProperty(tq::kOffsetTwipsProperty, 0);
    f.setProperty(tq::kProtectedProperty, true);
    return f;
}

void ApplyDefaultFormat(QTextCursor& cursor, const CZTEditDefaults& d) {
    QTextCharFormat f = DefaultCharFormat(d);
    // Keep anchors (links) and pictures: only the character look changes.
    ModifyChars(cursor, [&](QTextCharFormat& c) {
        if (c.isImageFormat()) return;
        const QVariant anchor = c.property(QTextFormat::AnchorHref);
        const bool isAnchor = c.isAnchor();
        c = f;
        if (isAnchor) {
            c.setAnchor(true);
            c.setProperty(QTextFormat::AnchorHref, anchor);
        }
    });
    QFont font(d.face);
    font.setPointSizeF(d.sizeTwips / 20.0);
    cursor.document()->setDefaultFont(font);
}

void ToggleCharEffect(QTextCursor& cursor, CharEffect effect) {
    SetCharEffect(cursor, effect, !HasEffectUniformly(cursor, effect));
}

void SetCharEffect(QTextCursor& cursor, CharEffect effect, bool on) {
    ModifyChars(cursor, [&](QTextCharFormat& f) { SetEffect(f, effect, on); });
}

bool SetFontFace(QTextCursor& cursor, const QString& face, int charset) {
    if (face.isEmpty() || GetSelectionFont(cursor).face == face) return false;
    ModifyChars(cursor, [&](QTextCharFormat& f) {
        f.setFontFamilies(QStringList{face});
        f.setProperty(tq::kCharsetProperty, charset);
    });
    return true;
}

bool SetFontSize(QTextCursor& cursor, int points) {
    if (points <= 0 || GetSelectionFont(cursor).points == points) return false;
    ModifyChars(cursor, [&](QTextCharFormat& f) { f.setFontPointSize(points); });
    return true;
}

void SetTextColour(QTextCursor& cursor, std::optional<QColor> colour) {
    ModifyChars(cursor, [&](QTextCharFormat& f) {
        if (colour)
            f.setForeground(*colour);
        else
            f.clearForeground();
    });
}

void SetTextBackground(QTextCursor& cursor, std::optional<QColor> colour) {
    ModifyChars(cursor, [&](QTextCharFormat& f) {
        if (colour)
            f.setBackground(*colour);
        else
            f.clearBackground();
    });
}

void ToggleSuperscript(QTextCursor& cursor, int defaultSizeTwips) {
    const bool clear = IsSuperscript(cursor);
    const int offset = clear ? 0 : HeightTwips(cursor, defaultSizeTwips) / 20;
    ModifyChars(cursor, [&](QTextCharFormat& f) {
        f.setVerticalAlignment(clear ? QTextCharFormat::AlignNormal : QTextCharFormat::AlignSuperScript);
        f.setProperty(tq::kOffsetTwipsProperty, offset);
    });
}

void ToggleSubscript(QTextCursor& cursor, int defaultSizeTwips) {
    const bool clear = IsSubscript(cursor);
    const int offset = clear ? 0 : -(HeightTwips(cursor, defaultSizeTwips) / 3);
    ModifyChars(cursor, [&](QTextCharFormat& f) {
        f.setVerticalAlignment(clear ? QTextCharFormat::AlignNormal : QTextCharFormat::AlignSubScript);
        f.setProperty(tq::kOffsetTwipsProperty, offset);
    });
}

bool TakeDefaultFont(const QTextCursor& cursor, CZTEditDefaults& defaults) {
    const SelectionFont sf = GetSelectionFont(cursor);
    if (sf.face.isEmpty() || sf.points <= 0) return false;
    defaults.face = sf.face.left(31);
    defaults.sizeTwips = sf.points * 20;
    return true;
}

bool UseDefaultFont(QTextCursor& cursor, const CZTEditDefaults& defaults) {
    return SetFontFace(cursor, defaults.face, 1);
}

void ConvertCase(QTextCursor& cursor, bool upper) {
    if (!cursor.hasSelection()) return;
    const std::vector<Piece> pieces = SelectionPieces(cursor);
    const int s = cursor.selectionStart(), e = cursor.selectionEnd();
    QTextCursor c(cursor.document());
    cursor.beginEditBlock();
    for (const Piece& p : pieces) {
        if (p.format.isImageFormat()) continue;
        c.setPosition(p.start);
        c.setPosition(p.end, QTextCursor::KeepAnchor);
        const QString text = c.selectedText();
        // Case mapping may change the length (ß -> SS); keep the code page's
        // one-to-one mapping by converting character by character.
        QString same;
        same.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QString one = upper ? QString(text[i]).toUpper() : QString(text[i]).toLower();
            same += one.size() == 1 ? one[0] : text[i];
        }
        if (same != text) c.insertText(same, p.format);
    }
    cursor.endEditBlock();
    cursor.setPosition(s);
    cursor.setPosition(e, QTextCursor::KeepAnchor);
}

void ToggleBullets(QTextCursor& cursor, int indentStep) {
    const auto blocks = SelectedBlocks(cursor);
    const bool all = std::all_of(blocks.begin(), blocks.end(), [](const QTextBlock& b) { return tq::HasBullet(b); });
    cursor.beginEditBlock();
    ForEachBlock(cursor, [&](const QTextBlock&, QTextBlockFormat& bf) {
        tq::ParaIndents p = tq::GetIndents(bf);
        if (all)
            p.offset = 0;
        else if (p.offset == 0)
            p.offset = indentStep;
        tq::SetIndents(bf, p);
    });
    tq::SetBullets(cursor, !all);
    cursor.endEditBlock();
}

void IndentMore(QTextCursor& cursor, int step) {
    const std::optional<int> s = UniformStartIndent(cursor);
    const int v = s && *s > 0 ? *s + step : step;
    ForEachBlock(cursor, [&](const QTextBlock&, QTextBlockFormat& bf) {
        tq::ParaIndents p = tq::GetIndents(bf);
        p.start = v;
        tq::SetIndents(bf, p);
    });
}

void IndentLess(QTextCursor& cursor, int step) {
    const std::optional<int> s = UniformStartIndent(cursor);
    const int v = s && *s > 0 ? std::max(0, *s - step) : 0;
    ForEachBlock(cursor, [&](const QTextBlock&, QTextBlockFormat& bf) {
        tq::ParaIndents p = tq::GetIndents(bf);
        p.start = v;
        tq::SetIndents(bf, p);
    });
}

void SetAlignment(QTextCursor& cursor, Qt::Alignment alignment) {
    ForEachBlock(cursor, [&](const QTextBlock&, QTextBlockFormat& bf) { bf.setAlignment(alignment); });
}

void SetParagraphIndents(QTextCursor& cursor, int start, int offset, int right) {
    ForEachBlock(cursor, [&](const QTextBlock&, QTextBlockFormat& bf) {
        tq::SetIndents(bf, tq::ParaIndents{start, offset, right});
    });
}

void SetTabStops(QTextCursor& cursor, std::vector<int> twips) {
    std::sort(twips.begin(), twips.end());
    twips.erase(std::unique(twips.begin(), twips.end()), twips.end());
    twips.erase(std::remove_if(twips.begin(), twips.end(), [](int t) { return t <= 0 || t > kMaxTabTwips; }),
                twips.end());
    if (twips.size() > size_t(kMaxTabStops)) twips.resize(size_t(kMaxTabStops));
    QList<QTextOption::Tab> tabs;
    for (int t : twips) tabs.append(QTextOption::Tab(tq::TwipsToUnits(t), QTextOption::LeftTab));
    ForEachBlock(cursor, [&](const QTextBlock&, QTextBlockFormat& bf) { bf.setTabPositions(tabs); });
}

} // namespace zt::ui
